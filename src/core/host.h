#pragma once

#include "core/test_record.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int HOST_UP = 0;
constexpr int HOST_DOWN = 1;
constexpr int HOST_UNKNOWN = 2;

constexpr int FEATURE_COUNT = 37;

// Status texts; the host list also recognises these two to colour the cell.
inline constexpr const char* STATUS_TESTING_UP = "Testing - Up";
inline constexpr const char* STATUS_TESTING_DOWN = "Testing - Down";

// One hosting company: the texts and answers of the assistant, and the test statistics.
// Every field but the lock is read and written under m_pMutex once the record is shared
// with the test worker.
class CHost {
public:
    CHost();
    ~CHost();
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    // Copies everything but the lock; the history is replaced by the source's values.
    void CopyFrom(const CHost& src);

    // Figures shown in the list and the graph.
    double GetUptime() const;
    std::string GetUptimeText() const;     // "75.0%"
    std::string GetAvgPingText() const;    // "12.5 ms", "- ms" with no history
    std::string GetTimeTestedText() const; // "1d 1h 1m"
    std::string GetStatusText() const;     // "Not Testing", "Testing - Up", ...

    std::unique_ptr<std::recursive_timed_mutex> m_pMutex;
    std::string m_strName;
    std::string m_strWebSite;
    std::string m_strTestURL;
    int32_t m_nStorage = -1;
    int32_t m_nTransfer = -1;
    int32_t m_nCost = -1;
    int32_t m_nEmailAccounts = -1;
    int32_t m_nForwarding = -1;
    int32_t m_nAutoresponders = -1;
    int32_t m_nWebMail = -1;
    int32_t m_nMailingLists = -1;
    int32_t m_nResponseTime = -1;
    int32_t m_nOnlineDocs = -1;
    int32_t m_nHelpDesk = -1;
    int32_t m_nForums = -1;
    int32_t m_nTollFree = -1;
    int32_t m_nSupportRating = -1;
    int32_t m_nBackups = -1;
    int32_t m_nUPS = -1;
    int32_t m_nGenerator = -1;
    int32_t m_nMonitoring = -1;
    int32_t m_nBackupMail = -1;
    int32_t m_nFailOver = -1;
    int32_t m_nUptimeGuarantee = -1;
    int32_t m_nFeatureRating = -1;
    int32_t m_arrFeatures[FEATURE_COUNT] = {};
    int32_t m_nSecondsTested = 0;
    int32_t m_nTests = 0;
    int32_t m_nTestsUp = 0;
    std::unique_ptr<std::vector<uint32_t>> m_pPingHistory;
    // The history's length as last published under the lock, readable without it: Build
    // graph tells of too little data before it would wait for a test in progress.
    std::atomic<uint32_t> m_nPublishedPings{0};
    void PublishPings() { m_nPublishedPings = static_cast<uint32_t>(m_pPingHistory->size()); }
    int32_t m_nPingTotal = 0;
    int32_t m_tLastTest = 0;
    int32_t m_bNewRun = 1;
    int32_t m_bResolved = 0;
    int32_t m_bTesting = 0;
    int32_t m_nState = HOST_UNKNOWN;
    // When the test that found the host down after it was up ran; 0 while no down alert is
    // open. Not stored in the data file.
    time_t m_tDownSince = 0;
    // The host's id in the test history (0: none yet), its last test as recorded there, and
    // the median web response time of its recent up tests (-1: none). Not in the data file.
    int64_t m_nHistoryId = 0;
    CTestRecord m_lastTest;
    int32_t m_nMedianResponseTenths = -1;
    // When the user was last told that the server's certificate expires soon (0: never).
    // Not in the data file.
    time_t m_tCertNoticed = 0;

    // The 22 answer indices in file order, for code that walks them all.
    static constexpr int ANSWER_COUNT = 22;
    int32_t& Answer(int nIndex);
    const int32_t& Answer(int nIndex) const;
};
