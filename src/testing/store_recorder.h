#pragma once

#include "core/history_store.h"
#include "testing/history_recorder.h"

// The program's recorder: the worker's own connection to the history database beside the data
// file, open for as long as a run lasts.
class CStoreRecorder : public CHistoryRecorder {
public:
    bool BeginRun(const std::string& strDataPath) override;
    void EndRun() override;
    std::vector<int64_t> Attach(const std::vector<CHistoryStore::CHostKey>& arrHosts) override;
    std::vector<int32_t> ResponseTimesSince(int64_t nHostId, int64_t tFrom) override;
    bool WriteCycle(const std::vector<CTestRecord>& arrTests) override;
    void Prune(int64_t tNow, int nKeepDays) override;
    std::string GetLastError() const override { return m_store.GetLastError(); }

private:
    CHistoryStore m_store;
};
