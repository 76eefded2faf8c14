#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The nPercent-th percentile (0 to 100) of values sorted in ascending order, by the nearest-rank
// method: the value at rank ceil(nPercent / 100 * N), counted from 1; rank 0 is the first value.
// Empty input or a percent outside 0..100 has no percentile.
std::optional<uint32_t> NearestRankPercentile(std::span<const uint32_t> arrSorted, int nPercent);
