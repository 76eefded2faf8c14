#pragma once

#include <QString>

class CHost;
class CVantrelDoc;

// A new host with nEntries plausible ping times (300: a day and a bit), for pictures of the graph.
void FillSampleHost(CHost& host, int nEntries = 300);
// The graph dialog of that host as a PNG file; false with too few entries or an unwritable file.
bool WriteSampleGraphPng(const QString& strPath, int nEntries = 300);

// nHosts hosts of different speed, spread and uptime, each with nEntries ping times (some
// hosts with none when bSomeWithout), appended to doc, for pictures of the comparison.
void AddSampleHosts(CVantrelDoc& doc, int nHosts, int nEntries, bool bSomeWithout = false);
// The comparison window of nHosts such hosts as a PNG file at nWidth x nHeight.
bool WriteSampleComparisonPng(const QString& strPath, int nHosts, int nWidth, int nHeight);
