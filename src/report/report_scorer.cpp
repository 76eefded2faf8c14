#include "report/report_scorer.h"

#include "core/answer_tables.h"
#include "core/host.h"
#include "core/host_check.h"
#include "core/vantrel_doc.h"
#include "testing/waiter.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <numeric>

namespace {

// Truncates a non-negative figure to unsigned 32 bits; damaged statistics (negative totals,
// absurd counts) are clamped rather than converted out of range.
uint32_t TruncateFigure(double dValue) {
    if (!(dValue > 0.0))
        return 0;
    if (dValue >= 4294967295.0)
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(dValue);
}

// Fills one attribute's rank scores. arrKeys holds one key per set position, lower = better.
// A stable sort keeps equal keys in list order; each run of equal keys is a tie group whose
// members share the mean of the group's positional points.
void RankAttribute(const std::vector<int64_t>& arrKeys, int nAttribute,
                   std::vector<std::array<float, ATTRIBUTE_COUNT>>& arrRankScores,
                   std::vector<size_t>& arrOrder) {
    const size_t n = arrKeys.size();
    std::iota(arrOrder.begin(), arrOrder.end(), size_t{0});
    std::stable_sort(arrOrder.begin(), arrOrder.end(),
                     [&arrKeys](size_t a, size_t b) { return arrKeys[a] < arrKeys[b]; });
    for (size_t nFirst = 0; nFirst < n;) {
        size_t nLast = nFirst;
        while (nLast + 1 < n && arrKeys[arrOrder[nLast + 1]] == arrKeys[arrOrder[nFirst]])
            ++nLast;
        // Mean of n - p for p in [nFirst, nLast]; always a whole or half number.
        const double dMean = static_cast<double>(2 * n - nFirst - nLast) / 2.0;
        for (size_t p = nFirst; p <= nLast; ++p)
            arrRankScores[arrOrder[p]][nAttribute] = static_cast<float>(dMean);
        nFirst = nLast + 1;
    }
}

// Lower is cheaper; an unanswered cost ranks as dearer than every answer.
int64_t GetCostKey(const CHost& host) {
    const int32_t nCost = CHostCheck::GetAnswer(host, &CHost::m_nCost);
    return nCost < 0 ? static_cast<int64_t>(g_arrCost.size()) : nCost;
}

} // namespace

void CReportScorer::Score(const std::vector<CHost*>& arrHosts, std::vector<int> arrSet,
                          const CReportWeights& arrWeights, CWaitObserver* pWait) {
    std::sort(arrSet.begin(), arrSet.end());
    arrSet.erase(std::unique(arrSet.begin(), arrSet.end()), arrSet.end());
    m_arrSet = std::move(arrSet);
    m_arrWeights = arrWeights;
    const size_t n = m_arrSet.size();

    m_arrRankScores.assign(n, {});
    m_arrTotals.assign(n, 0.0f);
    m_arrEmailPoints.assign(n, 0);
    m_arrRedundancyPoints.assign(n, 0);
    m_arrAvgPing.assign(n, 0);
    m_arrHasPing.assign(n, 0);
    m_arrUptime.assign(n, 0);

    std::array<std::vector<int64_t>, ATTRIBUTE_COUNT> arrKeys;
    for (auto& arr : arrKeys)
        arr.resize(n);

    std::vector<int64_t> arrCostKeys(n);
    CWaiter waiter(pWait);
    for (size_t k = 0; k < n; ++k) {
        const CHost& host = *arrHosts[static_cast<size_t>(m_arrSet[k])];
        m_arrEmailPoints[k] = CVantrelDoc::GetEmailPoints(host);
        m_arrRedundancyPoints[k] = CVantrelDoc::GetRedundancyPoints(host);
        {
            // The test worker updates these; the answers above change only on this thread.
            waiter.Lock(*host.m_pMutex);
            std::lock_guard<std::recursive_timed_mutex> lock(*host.m_pMutex, std::adopt_lock);
            const size_t nPings = host.m_pPingHistory->size();
            if (nPings > 0) {
                m_arrHasPing[k] = 1;
                m_arrAvgPing[k] = TruncateFigure(static_cast<double>(host.m_nPingTotal) /
                                                 static_cast<double>(nPings) * 10.0);
            }
            if (host.m_nTests > 0)
                m_arrUptime[k] = std::min<uint32_t>(
                    1000, TruncateFigure(static_cast<double>(host.m_nTestsUp) * 1000.0 /
                                         static_cast<double>(host.m_nTests)));
        }
        // Keys sort ascending, best first: a higher-is-better value enters negated.
        // Unanswered (-1, or no position of its list) ranks below every answer.
        arrKeys[ATTRIBUTE_STORAGE][k] = -int64_t{CHostCheck::GetAnswer(host, &CHost::m_nStorage)};
        arrKeys[ATTRIBUTE_TRANSFER][k] = -int64_t{CHostCheck::GetAnswer(host, &CHost::m_nTransfer)};
        arrKeys[ATTRIBUTE_COST][k] = arrCostKeys[k] = GetCostKey(host);
        arrKeys[ATTRIBUTE_EMAIL][k] = -int64_t{m_arrEmailPoints[k]};
        arrKeys[ATTRIBUTE_SUPPORT][k] =
            -int64_t{CHostCheck::GetAnswer(host, &CHost::m_nSupportRating)};
        arrKeys[ATTRIBUTE_REDUNDANCY][k] = -int64_t{m_arrRedundancyPoints[k]};
        arrKeys[ATTRIBUTE_FEATURES][k] =
            -int64_t{CHostCheck::GetAnswer(host, &CHost::m_nFeatureRating)};
        // Hosts without a ping history come after every host with one, as one tie group.
        arrKeys[ATTRIBUTE_SPEED][k] =
            m_arrHasPing[k] ? int64_t{m_arrAvgPing[k]} : std::numeric_limits<int64_t>::max();
        arrKeys[ATTRIBUTE_UPTIME][k] = -int64_t{m_arrUptime[k]};
    }

    std::vector<size_t> arrOrder(n);
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
        RankAttribute(arrKeys[a], a, m_arrRankScores, arrOrder);

    for (size_t k = 0; k < n; ++k) {
        float fTotal = 0.0f;
        for (int a = 0; a < ATTRIBUTE_UPTIME; ++a)
            fTotal += static_cast<float>(m_arrWeights[a]) * m_arrRankScores[k][a];
        // Uptime counts twice.
        fTotal += 2.0f * static_cast<float>(m_arrWeights[ATTRIBUTE_UPTIME]) *
                  m_arrRankScores[k][ATTRIBUTE_UPTIME];
        m_arrTotals[k] = fTotal;
    }

    // Best total first; equal totals put the cheaper plan first, then keep list order. The key
    // is the total in hundredths, truncated (exact: totals are multiples of 0.5).
    std::vector<uint64_t> arrRowKeys(n);
    for (size_t k = 0; k < n; ++k)
        arrRowKeys[k] = m_arrTotals[k] > 0.0f
                            ? static_cast<uint64_t>(static_cast<double>(m_arrTotals[k]) * 100.0)
                            : 0;
    m_arrRowOrder.resize(n);
    std::iota(m_arrRowOrder.begin(), m_arrRowOrder.end(), size_t{0});
    std::stable_sort(m_arrRowOrder.begin(), m_arrRowOrder.end(), [&](size_t a, size_t b) {
        if (arrRowKeys[a] != arrRowKeys[b])
            return arrRowKeys[a] > arrRowKeys[b];
        return arrCostKeys[a] < arrCostKeys[b];
    });
}

std::vector<int> CReportScorer::GetRowsInOrder() const {
    std::vector<int> arrRows;
    for (size_t nPos : m_arrRowOrder)
        arrRows.push_back(m_arrSet[nPos]);
    return arrRows;
}
