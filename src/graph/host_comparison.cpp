#include "graph/host_comparison.h"

#include "core/history_store.h"
#include "core/host.h"
#include "core/vantrel_doc.h"
#include "graph/history_series.h"
#include "graph/ping_percentile.h"
#include "testing/waiter.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

std::vector<int> CHostComparison::ChooseRows(const std::vector<int>& arrMarked, size_t nRows) {
    std::vector<int> arrRows;
    for (size_t nRow = 0; nRow < nRows && nRow < arrMarked.size(); ++nRow)
        if (arrMarked[nRow])
            arrRows.push_back(static_cast<int>(nRow));
    if (arrRows.empty())
        for (size_t nRow = 0; nRow < nRows; ++nRow)
            arrRows.push_back(static_cast<int>(nRow));
    return arrRows;
}

CHostComparison::SHost CHostComparison::Snapshot(const CHost& host) {
    SHost figures;
    figures.strName = host.m_strName;
    figures.nTests = host.m_nTests;
    figures.nTestsUp = host.m_nTestsUp;
    figures.strTimeTested = host.GetTimeTestedText();
    figures.nHistoryId = host.m_nHistoryId;
    const std::vector<uint32_t>& arrHistory = *host.m_pPingHistory;
    const size_t nRecent = std::min<size_t>(arrHistory.size(), RECENT_CYCLES);
    figures.arrRecent.assign(arrHistory.end() - static_cast<std::ptrdiff_t>(nRecent),
                             arrHistory.end());
    if (arrHistory.empty())
        return figures;
    std::vector<uint32_t> arrSorted = arrHistory;
    std::sort(arrSorted.begin(), arrSorted.end());
    figures.bHasPings = true;
    figures.nMin = arrSorted.front();
    figures.nP10 = *NearestRankPercentile(arrSorted, 10);
    figures.nMedian = *NearestRankPercentile(arrSorted, 50);
    figures.nP90 = *NearestRankPercentile(arrSorted, 90);
    figures.nMax = arrSorted.back();
    return figures;
}

void CHostComparison::TakeSnapshot(CVantrelDoc& doc, const std::vector<int>& arrRows,
                                   CWaitObserver* pWait) {
    for (int nRow : arrRows) {
        CHost& host = *doc.m_arrHosts.at(static_cast<size_t>(nRow));
        CWaiter(pWait).Lock(*host.m_pMutex);
        std::lock_guard lock(*host.m_pMutex, std::adopt_lock);
        m_arrHosts.push_back(Snapshot(host));
    }
}

void CHostComparison::AddHosts(const std::vector<CHost*>& arrHosts,
                               const std::vector<int>& arrRows) {
    for (int nRow : arrRows)
        Add(*arrHosts.at(static_cast<size_t>(nRow)));
}

std::vector<size_t> CHostComparison::ByMedian() const {
    std::vector<size_t> arrOrder;
    for (size_t i = 0; i < m_arrHosts.size(); ++i)
        if (m_arrHosts[i].bHasPings)
            arrOrder.push_back(i);
    std::stable_sort(arrOrder.begin(), arrOrder.end(), [this](size_t a, size_t b) {
        return m_arrHosts[a].nMedian < m_arrHosts[b].nMedian;
    });
    return arrOrder;
}

// A damaged file may hold more tests up than tests, or negative counts: shares stay in 0..1.
double CHostComparison::UpShare(const SHost& host) {
    if (host.nTests <= 0)
        return 0.0;
    return std::clamp(static_cast<double>(host.nTestsUp) / host.nTests, 0.0, 1.0);
}

double CHostComparison::DownShare(const SHost& host) {
    return host.nTests > 0 ? 1.0 - UpShare(host) : 0.0;
}

void CHostComparison::ReadHistory(CHistoryStore& store, int64_t tNow) {
    const int64_t tFrom = tNow - HISTORY_SECONDS, tTo = tNow + 1;
    // One pass over each host's tests: its response times, and its pings with their times,
    // kept (at most HISTORY_SECONDS of them) until the span all lines share is known.
    std::vector<std::vector<std::pair<int64_t, int32_t>>> arrPings(m_arrHosts.size());
    int64_t tFirst = 0;
    for (size_t i = 0; i < m_arrHosts.size(); ++i) {
        SHost& host = m_arrHosts[i];
        host.nResponseP10Tenths = host.nResponseMedianTenths = host.nResponseP90Tenths = -1;
        if (host.nHistoryId == 0)
            continue;
        std::vector<uint32_t> arrTotals;
        CHistorySeries::ForEachTest(store, host.nHistoryId, tFrom, tTo, [&](const CTestRecord& t) {
            if (tFirst == 0 || t.tWhen < tFirst)
                tFirst = t.tWhen;
            if (t.nPingTenths >= 0)
                arrPings[i].emplace_back(t.tWhen, t.nPingTenths);
            if (t.bUp && t.nTotalTenths >= 0)
                arrTotals.push_back(static_cast<uint32_t>(t.nTotalTenths));
            return true;
        });
        std::sort(arrTotals.begin(), arrTotals.end());
        for (auto [nPercent, pTenths] :
             {std::pair(10, &host.nResponseP10Tenths), std::pair(50, &host.nResponseMedianTenths),
              std::pair(90, &host.nResponseP90Tenths)})
            if (const std::optional<uint32_t> nValue = NearestRankPercentile(arrTotals, nPercent))
                *pTenths = static_cast<int32_t>(*nValue);
    }
    m_tHistoryFrom = tFirst;
    m_tHistoryTo = tFirst == 0 ? 0 : tTo;
    for (size_t i = 0; i < m_arrHosts.size(); ++i) {
        m_arrHosts[i].arrTimedPingTenths.assign(HISTORY_COLUMNS, -1);
        if (!HasHistory())
            continue;
        CHistorySeries series;
        series.Start(m_tHistoryFrom, m_tHistoryTo, HISTORY_COLUMNS);
        CTestRecord test;
        for (const auto& [tWhen, nTenths] : arrPings[i]) {
            test.tWhen = tWhen;
            test.nPingTenths = nTenths;
            series.Add(test);
        }
        series.Finish();
        for (size_t k = 0; k < series.m_arrColumns.size(); ++k)
            m_arrHosts[i].arrTimedPingTenths[k] = series.m_arrColumns[k].nPingTenths;
        arrPings[i] = {};
    }
}
