#pragma once

#include "core/host.h"

#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

// A host list for report tests: owns the records and hands out the pointer array the report
// code reads, as the host store does.
class CReportHosts {
public:
    CHost& Add() {
        m_arrOwned.push_back(std::make_unique<CHost>());
        m_arrHosts.push_back(m_arrOwned.back().get());
        return *m_arrOwned.back();
    }
    CHost& operator[](size_t i) { return *m_arrHosts[i]; }
    const std::vector<CHost*>& Hosts() const { return m_arrHosts; }
    std::vector<int> All() const {
        std::vector<int> arr(m_arrHosts.size());
        std::iota(arr.begin(), arr.end(), 0);
        return arr;
    }

private:
    std::vector<std::unique_ptr<CHost>> m_arrOwned;
    std::vector<CHost*> m_arrHosts;
};

// Sets every answer to a neutral value (all "No", lowest positions), so that tests change only
// what they compare.
inline void AnswerNeutrally(CHost& host) {
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = 0;
    for (int32_t* p : {&host.m_nForwarding, &host.m_nAutoresponders, &host.m_nWebMail,
                       &host.m_nMailingLists, &host.m_nUPS, &host.m_nGenerator, &host.m_nMonitoring,
                       &host.m_nBackupMail, &host.m_nFailOver, &host.m_nUptimeGuarantee})
        *p = 1;
    host.m_nBackups = 3;
}

// Gives the host a ping history of the given values.
inline void SetPings(CHost& host, std::vector<uint32_t> arrPings) {
    host.m_nPingTotal = static_cast<int32_t>(std::accumulate(arrPings.begin(), arrPings.end(), 0u));
    *host.m_pPingHistory = std::move(arrPings);
}

inline void SetTests(CHost& host, int32_t nTests, int32_t nTestsUp) {
    host.m_nTests = nTests;
    host.m_nTestsUp = nTestsUp;
}
