#include "testing/store_recorder.h"

#include <limits>

bool CStoreRecorder::BeginRun(const std::string& strDataPath) {
    // The store opened (and checked, or made) the history when it loaded, and told the user
    // when it could not: a run's start, at every edit, must not check a year of tests again.
    return m_store.OpenExisting(CHistoryStore::PathFor(strDataPath)) == CHistoryStore::EOpen::OK;
}

void CStoreRecorder::EndRun() {
    m_store.Close();
}

std::vector<int64_t> CStoreRecorder::Attach(const std::vector<CHistoryStore::CHostKey>& arrHosts) {
    return m_store.Attach(arrHosts);
}

std::vector<int32_t> CStoreRecorder::ResponseTimesSince(int64_t nHostId, int64_t tFrom) {
    std::vector<int32_t> arrTimes;
    for (const CTestRecord& test :
         m_store.Tests(nHostId, tFrom, std::numeric_limits<int64_t>::max()))
        if (test.bUp && test.nTotalTenths >= 0)
            arrTimes.push_back(test.nTotalTenths);
    return arrTimes;
}

bool CStoreRecorder::WriteCycle(const std::vector<CTestRecord>& arrTests) {
    return m_store.WriteCycle(arrTests);
}

void CStoreRecorder::Prune(int64_t tNow, int nKeepDays) {
    m_store.Prune(tNow, nKeepDays);
}
