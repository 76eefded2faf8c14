#include "sample_host_graph.h"

#include "core/history_store.h"
#include "core/host.h"
#include "core/vantrel_doc.h"
#include <arpa/inet.h>
#include <cmath>

void FillSampleHost(CHost& host, int nEntries) {
    host.m_strName = "Example Hosting";
    host.m_strTestURL = "http://www.example.com/";
    host.m_nTests = nEntries + nEntries / 25, host.m_nTestsUp = nEntries;
    for (int i = 0; i < nEntries; ++i) {
        // A daily swing, some jitter, and a few slow answers.
        const auto nPing = static_cast<uint32_t>(62 + 18 * std::sin(i / 40.0) + (i * 37) % 11 +
                                                 (i % 53 == 17 ? 45 : 0));
        host.m_pPingHistory->push_back(nPing);
        host.m_nPingTotal += static_cast<int32_t>(nPing);
    }
}

void AddSampleHosts(CVantrelDoc& doc, int nHosts, int nEntries, bool bSomeWithout) {
    static const char* const s_arrNames[] = {
        "Bluefin Hosting", "Harbor Web Services", "Northwind Servers",  "Pebble Pages",
        "Quartz Cloud",    "Summit Hosting Co.",  "Tidewater Networks", "Lantern Web"};
    for (int h = 0; h < nHosts; ++h) {
        auto* pHost = new CHost;
        pHost->m_strName = s_arrNames[h % 8];
        if (h >= 8)
            pHost->m_strName += " " + std::to_string(h / 8 + 1);
        pHost->m_strTestURL = "http://host" + std::to_string(h) + ".example.com/";
        const int nEntriesHere = bSomeWithout && h % 5 == 4 ? 0 : nEntries;
        const double dBase = 20 + 17 * (h % 8), dSwing = 4 + 3 * (h % 5);
        for (int i = 0; i < nEntriesHere; ++i) {
            const auto nPing =
                static_cast<uint32_t>(dBase + dSwing * std::sin((i + 7 * h) / 23.0) +
                                      (i * 37 + h * 11) % 9 + (i % (41 + h) == 5 ? dBase : 0));
            pHost->m_pPingHistory->push_back(nPing);
            pHost->m_nPingTotal += static_cast<int32_t>(nPing);
        }
        pHost->m_nTests = nEntriesHere + nEntriesHere * (h % 4) / 20;
        pHost->m_nTestsUp = nEntriesHere;
        pHost->m_nSecondsTested = pHost->m_nTests * 300;
        doc.m_arrHosts.push_back(pHost);
    }
}

bool AddSampleHistory(CHistoryStore& store, const std::vector<int64_t>& arrIds, int64_t tNow,
                      int nDays) {
    std::vector<CTestRecord> arrTests;
    for (size_t h = 0; h < arrIds.size(); ++h) {
        const int nHost = static_cast<int>(h);
        const double dBase = 20 + 17 * (nHost % 8);
        const int64_t tCert = tNow + (20 + 9 * int64_t{nHost}) * 86400;
        for (int k = nDays * 144; k > 0; --k) {
            const int64_t tWhen = tNow - k * 600;
            const double dDay = std::sin(2 * M_PI * static_cast<double>(tWhen % 86400) / 86400);
            const int nJitter = (k * 37 + nHost * 11) % 9;
            const bool bRefused = h % 3 == 1 && k >= 3 * 144 && k < 3 * 144 + 12;
            const bool bServerError = h % 4 == 2 && k >= 156 && k < 162;
            if (bRefused || bServerError || (k * 7 + nHost) % 997 == 0) {
                arrTests.push_back({arrIds[h], tWhen, false,
                                    bRefused       ? "connection refused"
                                    : bServerError ? "HTTP 503"
                                                   : "timed out",
                                    bRefused ? static_cast<int32_t>(dBase * 10) : -1, 0, AF_INET, 4,
                                    bRefused ? 4 : 0, bServerError ? 503 : 0, -1, -1, -1, -1, -1,
                                    tCert});
                continue;
            }
            const double dPing = dBase + (4 + 3 * (nHost % 5)) * dDay + nJitter;
            const auto nPing = static_cast<int32_t>(dPing * 10);
            const int32_t nDns = 20 + nJitter, nTls = nDns + 3 * nPing;
            const int32_t nFirstByte =
                nTls + static_cast<int32_t>((80 + 25 * (nHost % 6)) * 10 *
                                            (1.2 + dDay + (k % 29 == 3 ? 1.5 : 0)));
            arrTests.push_back({arrIds[h], tWhen, true, "", nPing, 0, AF_INET, 4,
                                k % (17 + nHost) == 0 ? 3 : 4, 200, nDns, nDns + nPing, nTls,
                                nFirstByte, nFirstByte + 150 + 30 * nJitter, tCert});
        }
    }
    return store.WriteCycle(arrTests);
}
