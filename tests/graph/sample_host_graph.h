#pragma once

#include <QString>

class CHost;

// A host with nEntries plausible ping times (300: a day and a bit), for pictures of the graph.
void FillSampleHost(CHost& host, int nEntries = 300);

// Writes the graph dialog of the sample host, as Build graph shows it, to a PNG file. False
// when the file cannot be written or there are too few entries. Needs a QApplication.
bool WriteSampleGraphPng(const QString& strPath, int nEntries = 300);
