#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class CHost;
class CWaitObserver;

// The nine compared attributes, in the order of the weights, the rank scores and the report.
enum EReportAttribute {
    ATTRIBUTE_STORAGE,
    ATTRIBUTE_TRANSFER,
    ATTRIBUTE_COST,
    ATTRIBUTE_EMAIL,
    ATTRIBUTE_SUPPORT,
    ATTRIBUTE_REDUNDANCY,
    ATTRIBUTE_FEATURES,
    ATTRIBUTE_SPEED,
    ATTRIBUTE_UPTIME,
    ATTRIBUTE_COUNT
};

using CReportWeights = std::array<int, ATTRIBUTE_COUNT>;

// Ranks the hosts of one comparison against one another. Each host earns, per attribute, the
// points of its place (n for the best, 1 for the worst; tied hosts share the mean of their
// places' points); the weighted sum is its total, valid for this comparison only.
// The results are indexed by the host's position in the comparison set.
class CReportScorer {
public:
    // Scores arrHosts[i] for every i of arrSet (sorted ascending and made unique here; every
    // index must be a valid position of arrHosts). Each host's lock is taken, one at a time,
    // while its test statistics are read; its answers are read without a lock. The test worker
    // may hold a host's lock while it waits for a message box: the user-interface thread
    // passes its wait observer, which shows the wait dialog and serves those boxes meanwhile.
    void Score(const std::vector<CHost*>& arrHosts, std::vector<int> arrSet,
               const CReportWeights& arrWeights, CWaitObserver* pWait = nullptr);

    size_t GetCount() const { return m_arrSet.size(); }
    // The host list indices in the report table's order, best total first.
    std::vector<int> GetRowsInOrder() const;

    std::vector<int> m_arrSet; // host list indices, ascending
    CReportWeights m_arrWeights{};
    std::vector<std::array<float, ATTRIBUTE_COUNT>> m_arrRankScores;
    std::vector<float> m_arrTotals;
    std::vector<int> m_arrEmailPoints;
    std::vector<int> m_arrRedundancyPoints;
    std::vector<uint32_t> m_arrAvgPing; // tenths of a millisecond, 0 without ping history
    std::vector<uint8_t> m_arrHasPing;  // 1 when the host has a ping history
    std::vector<uint32_t> m_arrUptime;  // tenths of a percent, 0 when never tested
    std::vector<size_t> m_arrRowOrder;  // set positions, best total first
};
