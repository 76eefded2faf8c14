#include "graph/ping_percentile.h"

std::optional<uint32_t> NearestRankPercentile(std::span<const uint32_t> arrSorted, int nPercent) {
    if (arrSorted.empty() || nPercent < 0 || nPercent > 100)
        return std::nullopt;
    // In whole numbers: a product like 0.9 * 10 in floating point may land a rank too high.
    const uint64_t nCount = arrSorted.size();
    const uint64_t nRank = (static_cast<uint64_t>(nPercent) * nCount + 99) / 100;
    return arrSorted[nRank == 0 ? 0 : nRank - 1];
}
