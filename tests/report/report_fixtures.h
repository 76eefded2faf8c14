#pragma once

#include "core/host.h"
#include "core/test_files.h"

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

// MakeThreeHosts' hosts 3, 0, 2 under the weights 10,5,7,2,3,6,8,9,1.
inline std::string ExpectedThreeHosts() {
    return ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts.html");
}
