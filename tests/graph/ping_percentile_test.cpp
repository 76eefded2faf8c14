#include "graph/ping_percentile.h"

#include <gtest/gtest.h>
#include <numeric>
#include <vector>

// Nearest rank: the value at rank ceil(p / 100 * N), from 1; p = 0 gives the first value. Ranks
// in whole numbers (a million values); none (-1) outside 0..100 or on no values.
TEST(PingPercentile, NearestRankTableAndNoPercentile) {
    const std::vector<uint32_t> NONE, TWO{10, 20}, FIVE{15, 20, 35, 40, 50},
        TEN{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, BIG{0, 4294967295u};
    std::vector<uint32_t> MILLION(1000000);
    std::iota(MILLION.begin(), MILLION.end(), 0u);
    const std::tuple<const std::vector<uint32_t>&, int, int64_t> arrCases[] = {
        {TWO, 0, 10},   {TWO, 50, 10},          {TWO, 51, 20},        {FIVE, 5, 15},
        {FIVE, 30, 20}, {FIVE, 40, 20},         {FIVE, 50, 35},       {FIVE, 100, 50},
        {TEN, 10, 1},   {TEN, 11, 2},           {TEN, 90, 9},         {TEN, 91, 10},
        {BIG, 50, 0},   {BIG, 100, 0xFFFFFFFF}, {MILLION, 10, 99999}, {MILLION, 90, 899999},
        {NONE, 50, -1}, {FIVE, -1, -1},         {FIVE, 101, -1}};
    for (const auto& [arrSorted, nPercent, nExpected] : arrCases) {
        const std::optional<uint32_t> n = NearestRankPercentile(arrSorted, nPercent);
        EXPECT_EQ(n ? int64_t{*n} : -1, nExpected) << arrSorted.size() << " values, " << nPercent;
    }
}
