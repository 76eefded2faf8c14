#pragma once

#include <cstdint>
#include <vector>

class CHistoryStore;
class CHost;
class CVantrelDoc;

// A new host with nEntries plausible ping times (300: a day and a bit), for pictures of the graph.
void FillSampleHost(CHost& host, int nEntries = 300);

// nHosts hosts of different speed, spread and uptime, each with nEntries ping times (some
// hosts with none when bSomeWithout), appended to doc, for pictures of the comparison.
void AddSampleHosts(CVantrelDoc& doc, int nHosts, int nEntries, bool bSomeWithout = false);

// nDays of tests every 10 minutes up to tNow for the hosts arrIds of a history: ping and web
// response times with a daily swing and jitter per host, some lost echoes, and outages (a
// refusal of two hours 3 days ago for every third host, a 503 for an hour 26 hours ago for
// every fourth, one timed-out test now and then). False when the store refused them.
bool AddSampleHistory(CHistoryStore& store, const std::vector<int64_t>& arrIds, int64_t tNow,
                      int nDays);
