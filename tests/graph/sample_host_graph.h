#pragma once

#include <QString>

class CHost;

// A host with nEntries plausible ping times (300: a day and a bit), for pictures of the graph.
void FillSampleHost(CHost& host, int nEntries = 300);

// Renders the graph dialog of the sample host, as the Build graph command shows it, into a
// PNG file. False when the file cannot be written or there are too few entries for a graph.
// Needs a QApplication.
bool WriteSampleGraphPng(const QString& strPath, int nEntries = 300);
