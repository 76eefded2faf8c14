#pragma once

#include "core/message_sink.h"
#include <cstdint>
#include <vector>

class CHistoryStore;
class CHost;
class CVantrelDoc;

// The sink of a sample document: it has nothing to tell.
struct CSampleSink : CMessageSink {
    void ShowMessage(const std::string&) override {}
};

// A new host with nEntries plausible ping times (300: a day and a bit), for pictures of the graph.
void FillSampleHost(CHost& host, int nEntries = 300);

// nHosts hosts of different speed, spread and uptime, each with nEntries ping times (some
// hosts with none when bSomeWithout), appended to doc, for pictures of the comparison.
void AddSampleHosts(CVantrelDoc& doc, int nHosts, int nEntries, bool bSomeWithout = false);

// nDays of tests every 10 minutes up to tNow for the hosts arrIds of a history: ping and web
// times with a daily swing and jitter per host, some lost echoes, and outages (every third host
// refused for two hours 3 days ago, every fourth a 503 for an hour 26 hours ago, a time-out now
// and then). False when the store refused them.
bool AddSampleHistory(CHistoryStore& store, const std::vector<int64_t>& arrIds, int64_t tNow,
                      int nDays);
