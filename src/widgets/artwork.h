#pragma once

#include <QImage>
#include <QRgb>

class QPainter;

// The program's own pictures, painted in code. Like the bitmaps of a resource file they use
// magenta as the transparent colour; MaskMagenta turns that colour into transparency.
class CArtwork {
public:
    static constexpr QRgb MAGENTA = 0xFFFF00FF;

    static constexpr int TOOLBAR_WIDTH = 48;
    static constexpr int TOOLBAR_HEIGHT = 47;
    static constexpr int TOOLBAR_IMAGES = 10;
    static constexpr int CHECK_WIDTH = 26;
    static constexpr int CHECK_HEIGHT = 16;

    // Toolbar images side by side, 48 x 47 each: add, edit, remove, start, stop, graph,
    // report, tutorial, compare, history. The low-colour strip uses the 16 colours of a basic
    // display.
    static QImage ToolbarStrip(bool bLowColour);
    // Tick boxes side by side, 26 pixels wide each: empty, ticked.
    static QImage CheckBoxStrip();
    // The logo at the top right of dialogs.
    static QImage Logo();
    // The program icon at any size (already transparent, no magenta).
    static QImage ProgramIcon(int nSize);
    // The program icon's shapes in a 64 x 64 box, for any paint device (also SVG).
    static void PaintProgramIcon(QPainter& p);

    // Magenta pixels become fully transparent; every other pixel is kept as it is.
    static QImage MaskMagenta(const QImage& image);
};
