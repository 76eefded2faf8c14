#pragma once

#include "core/history_store.h"
#include "core/host.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <numeric>

// Owns the records and hands out the pointer array the report code reads, as the store does.
class CReportHosts {
public:
    CHost& Add() { return *m_arrHosts.emplace_back(&m_arrOwned.emplace_back()); }
    CHost& operator[](size_t i) { return *m_arrHosts[i]; }
    const std::vector<CHost*>& Hosts() const { return m_arrHosts; }

private:
    std::deque<CHost> m_arrOwned;
    std::vector<CHost*> m_arrHosts;
};

// The 22 answers in file order (see CHost::Answer); for yes/no questions 0 is "Yes".
inline void SetAnswers(CHost& host, const std::array<int32_t, CHost::ANSWER_COUNT>& arrAnswers) {
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = arrAnswers[static_cast<size_t>(i)];
}

inline void SetStats(CHost& host, std::vector<uint32_t> arrPings, int32_t nTests, int32_t nUp) {
    host.m_nPingTotal = static_cast<int32_t>(std::accumulate(arrPings.begin(), arrPings.end(), 0u));
    *host.m_pPingHistory = std::move(arrPings);
    host.m_nTests = nTests, host.m_nTestsUp = nUp;
}

// Marked 0, 2, 3 and unmarked 1: name and site to escape, a Latin-1 letter, no answers at all.
inline void MakeThreeHosts(CReportHosts& hosts) {
    CHost& smith = hosts.Add();
    smith.m_strName = "Smith & Sons <Hosting>";
    smith.m_strWebSite = "http://smith.example/?a=1&b=\"2\"";
    SetAnswers(smith, {21, 0, 0, 20, 0, 0, 1, 1, 0, 0, 0, 0, 0, 9, 1, 0, 1, 0, 0, 1, 1, 6});
    SetStats(smith, {20, 21, 22}, 3, 2);
    hosts.Add().m_strName = "Unmarked";
    CHost& blank = hosts.Add();
    blank.m_strName = "Caf\xe9 Plain";
    blank.m_strWebSite = "http://plain.example/";
    blank.m_nTransfer = 50, blank.m_nCost = 51;
    CHost& beta = hosts.Add();
    beta.m_strName = "Beta Web";
    beta.m_strWebSite = "http://beta.example/";
    SetAnswers(beta, {10, 42, 24, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 1, 1, 0, 6});
    SetStats(beta, {100, 100, 100, 100, 100, 100, 100, 100, 100, 105}, 10, 10);
}

inline constexpr auto& ReadFile = ReadFileBytes;

// A made-up history of MakeThreeHosts' hosts up to tNow; Caf\xe9 Plain has none. Beta Web, tested
// since 40 days ago: 10 minutes of HTTP 503 20 days ago, 2 h 05 min timed out 3 days ago, its
// certificate good for 10 days 3 hours. Smith & Sons: two tests 6 days ago, losing 2 of 8
// echoes, its certificate expired 2 days ago. Nothing lies near the 7- and 30-day bounds.
inline void FillHistory(const std::string& strPath, const std::vector<CHost*>& arrHosts,
                        int64_t tNow) {
    constexpr int64_t DAY = 86400;
    CHistoryStore store;
    ASSERT_NE(store.Open(strPath), CHistoryStore::EOpen::FAILED) << store.GetLastError();
    const std::vector<int64_t> arrIds = store.Attach(CVantrelDoc::GetHistoryKeys(arrHosts));
    std::vector<CTestRecord> arrTests;
    const auto Add = [&](size_t nHost, int64_t tAgo, int nAnswered, int32_t nTotal, int64_t tCert,
                         const char* pszDown = nullptr) {
        CTestRecord& test = arrTests.emplace_back();
        test.nHostId = arrIds[nHost], test.tWhen = tNow - tAgo, test.bUp = !pszDown;
        test.strReason = pszDown ? pszDown : "";
        test.nEchoesSent = 4, test.nEchoesAnswered = nAnswered;
        test.nTotalTenths = nTotal, test.tCertExpiry = tCert;
    };
    const int64_t tBetaCert = tNow + 10 * DAY + 3 * 3600, tSmithCert = tNow - 2 * DAY;
    Add(3, 40 * DAY, 4, 2500, tBetaCert);
    Add(3, 20 * DAY, 4, 3120, tBetaCert);
    Add(3, 20 * DAY - 300, 3, -1, 0, "HTTP 503");
    Add(3, 20 * DAY - 600, 3, -1, 0, "HTTP 503");
    Add(3, 20 * DAY - 900, 4, 2000, tBetaCert);
    Add(3, 3 * DAY, 4, 5000, tBetaCert);
    for (int k = 1; k <= 25; ++k)
        Add(3, 3 * DAY - 300 * k, 0, -1, 0, "timed out");
    Add(3, 3 * DAY - 7800, 4, 4000, tBetaCert);
    Add(0, 6 * DAY, 4, 1500, tSmithCert);
    Add(0, 6 * DAY - 300, 2, 1700, tSmithCert);
    ASSERT_TRUE(store.WriteCycle(arrTests)) << store.GetLastError();
}
