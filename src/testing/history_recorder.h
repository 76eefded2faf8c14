#pragma once

#include "core/history_store.h"
#include "core/test_record.h"

#include <cstdint>
#include <string>
#include <vector>

// Where the worker's tests go: the program keeps them in the history database beside the data
// file (CStoreRecorder); unit tests keep them in memory. Called by the worker thread only.
class CHistoryRecorder {
public:
    virtual ~CHistoryRecorder() = default;
    // A run over the data file strDataPath begins. False when its history cannot be opened:
    // the run then records nothing (the store has told the user why when it loaded).
    virtual bool BeginRun(const std::string& strDataPath) = 0;
    virtual void EndRun() = 0;
    // The history ids of the list's hosts (name and test URL, in list order).
    virtual std::vector<int64_t> Attach(const std::vector<CHistoryStore::CHostKey>& arrHosts) = 0;
    // The total web times of the host's up tests since tFrom, oldest first.
    virtual std::vector<int32_t> ResponseTimesSince(int64_t nHostId, int64_t tFrom) = 0;
    // One cycle's tests in one go. False when none of them could be kept (GetLastError).
    virtual bool WriteCycle(const std::vector<CTestRecord>& arrTests) = 0;
    // Drops tests older than nKeepDays; the history does it at most once a day.
    virtual void Prune(int64_t tNow, int nKeepDays) = 0;
    virtual std::string GetLastError() const = 0;
};
