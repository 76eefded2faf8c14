#pragma once

#include <QString>

class CHost;

// A new host with nEntries plausible ping times (300: a day and a bit), for pictures of the graph.
void FillSampleHost(CHost& host, int nEntries = 300);
// The graph dialog of that host as a PNG file; false with too few entries or an unwritable file.
bool WriteSampleGraphPng(const QString& strPath, int nEntries = 300);
