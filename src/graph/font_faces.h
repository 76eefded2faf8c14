#pragma once

// The windows and charts ask for Verdana, MS Sans Serif and Arial, faces no Linux machine has;
// left to fontconfig, each machine would draw them in another substitute. MapFontFaces, called
// once after the application object exists, draws all three in DejaVu Sans (fonts-dejavu-core),
// loaded from its own files. Returns false when those files are missing (the faces then fall
// back to fontconfig's choice).
bool MapFontFaces();
