#include "graph/chart_layout.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>

// The graph's chart, 412 x 227, with a series of two values and a slot with nothing to scale: from
// 0 to the first step above the larger placeable value, in whole-number arithmetic for steps of 1
// and more ((6 + 2) / 2 * 2.5), the next multiple above for finer ones. The title ends at inner
// bottom / 10 of a larger chart.
TEST(ChartLayout, ScaleTopAndTitle) {
    const double NAN_ = std::nan(""), INF = INFINITY, EMPTY = CChartSeries::EMPTY_POINT;
    const double arrCases[][4] = {{0, 0, 10, 10},      {120, 65, 10, 130},   {123, 7, 10, 130},
                                  {510, 500, 10, 520}, {-25, -40, 10, 10},   {6, 6, 2.5, 10},
                                  {5, 5, 2.5, 7.5},    {1.2, 1.2, 0.5, 1.5}, {4e9, 1, 10, 4e9 + 10},
                                  {12, NAN_, 10, 20},  {12, EMPTY, 10, 20},  {INF, 10, 10, 20}};
    std::array<CChartSeries, 64> arrSeries;
    arrSeries[63].AddPoint(EMPTY);
    EXPECT_EQ(CChartLayout::Compute(800, 600, true, 10, arrSeries).m_rcTitle,
              (CChartRect{10, 7, 790, 59}));
    arrSeries[5].AddPoint(0), arrSeries[5].AddPoint(0);
    for (const auto& c : arrCases) {
        arrSeries[5].SetPoint(0, c[0]), arrSeries[5].SetPoint(1, c[1]);
        const CChartLayout layout = CChartLayout::Compute(412, 227, true, c[2], arrSeries);
        EXPECT_EQ(std::tuple(layout.m_nSlots, layout.m_bHasScale, layout.m_dYMin),
                  std::tuple(2, true, 0.0));
        EXPECT_DOUBLE_EQ(layout.m_dYMax, c[3]) << c[0] << ", " << c[1] << " step " << c[2];
    }
}
