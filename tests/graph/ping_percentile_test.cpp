#include "graph/ping_percentile.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// Nearest rank: the value at rank ceil(p / 100 * N), from 1; p = 0 gives the first value.
TEST(PingPercentile, NearestRankTableAndNoPercentile) {
    const std::vector<uint32_t> ONE{42}, TWO{10, 20}, FIVE{15, 20, 35, 40, 50},
        TEN{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, ELEVEN{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
        SAME{7, 7, 7, 7}, BIG{0, 4294967295u};
    struct SCase {
        const std::vector<uint32_t>& arrSorted;
        int nPercent;
        uint32_t nExpected;
    };
    const SCase arrCases[] = {
        {ONE, 0, 42},   {ONE, 50, 42},   {ONE, 100, 42},         {TWO, 0, 10},    {TWO, 50, 10},
        {TWO, 51, 20},  {TWO, 100, 20},  {FIVE, 5, 15},          {FIVE, 30, 20},  {FIVE, 40, 20},
        {FIVE, 50, 35}, {FIVE, 100, 50}, {TEN, 10, 1},           {TEN, 11, 2},    {TEN, 50, 5},
        {TEN, 90, 9},   {TEN, 91, 10},   {ELEVEN, 10, 2},        {ELEVEN, 50, 6}, {ELEVEN, 90, 10},
        {SAME, 90, 7},  {BIG, 50, 0},    {BIG, 100, 4294967295u}};
    for (const SCase& c : arrCases)
        EXPECT_EQ(NearestRankPercentile(c.arrSorted, c.nPercent), c.nExpected)
            << c.arrSorted.size() << " values, " << c.nPercent << "%";
    // Ranks are worked out in whole numbers; outside 0..100 and on no values there is none.
    const std::vector<uint32_t> arrValues{3, 5, 8};
    EXPECT_EQ(NearestRankPercentile({}, 50), std::nullopt);
    EXPECT_EQ(NearestRankPercentile(arrValues, -1), std::nullopt);
    EXPECT_EQ(NearestRankPercentile(arrValues, 101), std::nullopt);
    std::vector<uint32_t> arrMillion(1000000);
    for (uint32_t i = 0; i < arrMillion.size(); ++i)
        arrMillion[i] = i;
    EXPECT_EQ(NearestRankPercentile(arrMillion, 10), 99999u);
    EXPECT_EQ(NearestRankPercentile(arrMillion, 90), 899999u);
}

} // namespace
