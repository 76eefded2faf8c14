#pragma once

#include <QString>

class CHost;

// A host with a day and a bit of plausible ping times (300 entries), for pictures of the graph.
void FillSampleHost(CHost& host);

// Renders the graph dialog of the sample host, as the Build graph command shows it, into a
// PNG file. False when the file cannot be written. Needs a QApplication.
bool WriteSampleGraphPng(const QString& strPath);
