#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class CHistoryStore;
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

// nDays of tests every 10 minutes up to tNow for the hosts arrIds of a history: ping and web
// response times with a daily swing and jitter per host, some lost echoes, and outages (a
// refusal of two hours 3 days ago for every third host, a 503 for an hour 26 hours ago for
// every fourth, one timed-out test now and then). False when the store refused them.
bool AddSampleHistory(CHistoryStore& store, const std::vector<int64_t>& arrIds, int64_t tNow,
                      int nDays);
// The History window of a host with 30 days of that history, showing 7 days, and the Compare
// Hosts window of nHosts sample hosts with 2 days of it; PNG files of nWidth x nHeight.
bool WriteSampleHistoryPng(const QString& strPath, int nWidth, int nHeight);
bool WriteSampleComparisonHistoryPng(const QString& strPath, int nHosts, int nWidth, int nHeight);
