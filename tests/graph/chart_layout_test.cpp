#include "graph/chart_layout.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>

namespace {

CChartLayout Layout(std::vector<double> arrValues, double dStep = 10, int nWidth = 412,
                    int nHeight = 227) {
    std::array<CChartSeries, 64> arrSeries;
    for (double d : arrValues)
        arrSeries[5].AddPoint(d);
    arrSeries[63].AddPoint(CChartSeries::EMPTY_POINT); // a slot, nothing to scale
    return CChartLayout::Compute(nWidth, nHeight, true, dStep, arrSeries);
}

// The graph's chart, 412 x 227; in a larger one the title ends at inner bottom / 10 (593 / 10).
TEST(ChartLayout, Rectangles) {
    const CChartLayout small = Layout({}), large = Layout({}, 10, 800, 600);
    EXPECT_EQ(small.m_rcInner, (CChartRect{5, 2, 407, 225}));
    EXPECT_EQ(small.m_rcTitle, (CChartRect{5, 2, 407, 22}));
    EXPECT_EQ(small.m_rcYLabels, (CChartRect{5, 22, 45, 194}));
    EXPECT_EQ(small.m_rcXLabels, (CChartRect{45, 194, 407, 225}));
    EXPECT_EQ(small.m_rcPlot, (CChartRect{45, 22, 407, 194}));
    EXPECT_EQ(std::pair(small.m_nSlots, small.m_bHasScale), std::pair(1, false));
    EXPECT_EQ(large.m_rcTitle, (CChartRect{10, 7, 790, 59}));
}

// From 0 to the first step above the larger placeable value of two: whole-number arithmetic for
// steps of 1 and more ((6 + 2) / 2 * 2.5), the next multiple above for finer ones.
TEST(ChartLayout, ScaleTop) {
    const double NAN_ = std::nan(""), INF = INFINITY, EMPTY = CChartSeries::EMPTY_POINT;
    const double arrCases[][4] = {{0, 0, 10, 10},      {120, 65, 10, 130},   {123, 7, 10, 130},
                                  {510, 500, 10, 520}, {-25, -40, 10, 10},   {6, 6, 2.5, 10},
                                  {5, 5, 2.5, 7.5},    {1.2, 1.2, 0.5, 1.5}, {4e9, 1, 10, 4e9 + 10},
                                  {12, NAN_, 10, 20},  {12, EMPTY, 10, 20},  {INF, 10, 10, 20}};
    for (const auto& c : arrCases) {
        const CChartLayout layout = Layout({c[0], c[1]}, c[2]);
        EXPECT_EQ(std::tuple(layout.m_nSlots, layout.m_bHasScale, layout.m_dYMin),
                  std::tuple(2, true, 0.0));
        EXPECT_DOUBLE_EQ(layout.m_dYMax, c[3]) << c[0] << ", " << c[1] << " step " << c[2];
    }
}

} // namespace
