#include "graph/history_series.h"

#include "core/history_store.h"

#include <algorithm>

bool CHistorySeries::ForEachTest(CHistoryStore& store, int64_t nHostId, int64_t tFrom, int64_t tTo,
                                 const std::function<bool(const CTestRecord&)>& fnTest) {
    for (int64_t t = tFrom; t < tTo; t += SLICE_SECONDS)
        for (const CTestRecord& test : store.Tests(nHostId, t, std::min(t + SLICE_SECONDS, tTo)))
            if (!fnTest(test))
                return false;
    return true;
}

int CHistorySeries::ColumnOf(int64_t tWhen) const {
    const int64_t nSpan = std::max<int64_t>(m_tTo - m_tFrom, 1);
    const auto nColumns = static_cast<int64_t>(m_arrColumns.size());
    return static_cast<int>(std::clamp<int64_t>((tWhen - m_tFrom) * nColumns / nSpan, 0,
                                                std::max<int64_t>(nColumns - 1, 0)));
}

void CHistorySeries::Read(CHistoryStore& store, int64_t nHostId, int64_t tFrom, int64_t tTo,
                          int nColumns) {
    Start(tFrom, tTo, nColumns);
    ForEachTest(store, nHostId, m_tFrom, m_tTo, [this](const CTestRecord& test) {
        Add(test);
        return true;
    });
    Finish();
}

void CHistorySeries::Start(int64_t tFrom, int64_t tTo, int nColumns) {
    m_tFrom = tFrom;
    m_tTo = std::max(tTo, tFrom + 1);
    m_arrColumns.assign(static_cast<size_t>(std::max(nColumns, 1)), CColumn());
    m_arrSums.assign(m_arrColumns.size(), CSums());
}

void CHistorySeries::Add(const CTestRecord& test) {
    if (test.tWhen < m_tFrom || test.tWhen >= m_tTo || m_arrSums.empty())
        return;
    const auto i = static_cast<size_t>(ColumnOf(test.tWhen));
    CSums& sums = m_arrSums[i];
    ++(test.bUp ? m_arrColumns[i].nUp : m_arrColumns[i].nDown);
    if (test.nPingTenths >= 0)
        sums.nPing += test.nPingTenths, ++sums.nPings;
    if (test.bUp && test.nTotalTenths >= 0)
        sums.nResponse += test.nTotalTenths, ++sums.nResponses;
}

void CHistorySeries::Finish() {
    for (size_t i = 0; i < m_arrSums.size(); ++i) {
        const CSums& sums = m_arrSums[i];
        if (sums.nPings > 0)
            m_arrColumns[i].nPingTenths = static_cast<int32_t>(sums.nPing / sums.nPings);
        if (sums.nResponses > 0)
            m_arrColumns[i].nResponseTenths =
                static_cast<int32_t>(sums.nResponse / sums.nResponses);
    }
    m_arrSums.clear();
}
