#include "core/host.h"

#include <algorithm>
#include <cstdio>

namespace {

// File order of the answer indices.
constexpr int32_t CHost::*s_arrAnswerFields[CHost::ANSWER_COUNT] = {
    &CHost::m_nStorage,       &CHost::m_nTransfer,      &CHost::m_nCost,
    &CHost::m_nEmailAccounts, &CHost::m_nForwarding,    &CHost::m_nAutoresponders,
    &CHost::m_nWebMail,       &CHost::m_nMailingLists,  &CHost::m_nResponseTime,
    &CHost::m_nOnlineDocs,    &CHost::m_nHelpDesk,      &CHost::m_nForums,
    &CHost::m_nTollFree,      &CHost::m_nSupportRating, &CHost::m_nBackups,
    &CHost::m_nUPS,           &CHost::m_nGenerator,     &CHost::m_nMonitoring,
    &CHost::m_nBackupMail,    &CHost::m_nFailOver,      &CHost::m_nUptimeGuarantee,
    &CHost::m_nFeatureRating,
};

std::string Format(const char* pszFormat, double dValue) {
    char szBuf[64];
    std::snprintf(szBuf, sizeof(szBuf), pszFormat, dValue);
    return szBuf;
}

} // namespace

CHost::CHost()
    : m_pMutex(std::make_unique<std::recursive_timed_mutex>()),
      m_pPingHistory(std::make_unique<std::vector<uint32_t>>()) {}

CHost::~CHost() = default;

void CHost::CopyFrom(const CHost& src) {
    m_strName = src.m_strName;
    m_strWebSite = src.m_strWebSite;
    m_strTestURL = src.m_strTestURL;
    for (int i = 0; i < ANSWER_COUNT; ++i)
        Answer(i) = src.Answer(i);
    for (int i = 0; i < FEATURE_COUNT; ++i)
        m_arrFeatures[i] = src.m_arrFeatures[i];
    m_nSecondsTested = src.m_nSecondsTested;
    m_nTests = src.m_nTests;
    m_nTestsUp = src.m_nTestsUp;
    m_pPingHistory->assign(src.m_pPingHistory->begin(), src.m_pPingHistory->end());
    PublishPings();
    m_nPingTotal = src.m_nPingTotal;
    m_tLastTest = src.m_tLastTest;
    m_bNewRun = src.m_bNewRun;
    m_bResolved = src.m_bResolved;
    m_bTesting = src.m_bTesting;
    m_nState = src.m_nState;
    m_tDownSince = src.m_tDownSince;
    m_nHistoryId = src.m_nHistoryId;
    m_lastTest = src.m_lastTest;
    m_nMedianResponseTenths = src.m_nMedianResponseTenths;
    m_tCertNoticed = src.m_tCertNoticed;
}

int32_t& CHost::Answer(int nIndex) {
    return this->*s_arrAnswerFields[nIndex];
}

const int32_t& CHost::Answer(int nIndex) const {
    return this->*s_arrAnswerFields[nIndex];
}

double CHost::GetUptime() const {
    // A file may hold any counts; what it shows stays a percentage.
    if (m_nTests <= 0)
        return 100.0;
    return std::clamp(static_cast<double>(m_nTestsUp) / static_cast<double>(m_nTests) * 100.0, 0.0,
                      100.0);
}

std::string CHost::GetUptimeText() const {
    return Format("%.1f%%", GetUptime());
}

std::string CHost::GetAvgPingText() const {
    if (m_pPingHistory->empty())
        return "- ms";
    // Round-trip times are never negative, whatever total a file holds.
    return Format("%.1f ms", static_cast<double>(std::max(m_nPingTotal, 0)) /
                                 static_cast<double>(m_pPingHistory->size()));
}

std::string CHost::GetTimeTestedText() const {
    const int32_t s = m_nSecondsTested;
    const int32_t nDays = s / 86400;
    const int32_t nHours = (s - nDays * 86400) / 3600;
    const int32_t nMinutes = (s - nDays * 86400 - nHours * 3600) / 60;
    char szBuf[48];
    std::snprintf(szBuf, sizeof(szBuf), "%dd %dh %dm", nDays, nHours, nMinutes);
    return szBuf;
}

std::string CHost::GetStatusText() const {
    if (!m_bTesting)
        return "Not Testing";
    switch (m_nState) {
    case HOST_UP:
        return STATUS_TESTING_UP;
    case HOST_DOWN:
        return STATUS_TESTING_DOWN;
    default:
        return "Testing - Unknown";
    }
}
