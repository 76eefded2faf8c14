#include "graph/chart_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace {

using Series = std::array<CChartSeries, 64>;

CChartLayout Layout(const Series& series, bool bTitle = true, double dStep = 10.0, int nWidth = 412,
                    int nHeight = 227) {
    return CChartLayout::Compute(nWidth, nHeight, bTitle, dStep, series);
}

Series OneSeries(std::initializer_list<double> values, int nIndex = 0) {
    Series series;
    for (double d : values)
        series[static_cast<size_t>(nIndex)].AddPoint(d);
    return series;
}

double ScaleTop(std::initializer_list<double> values, double dStep = 10.0) {
    const CChartLayout layout = Layout(OneSeries(values), true, dStep);
    EXPECT_TRUE(layout.m_bHasScale);
    EXPECT_EQ(layout.m_dYMin, 0.0);
    return layout.m_dYMax;
}

} // namespace

// The graph dialog's chart: 412 x 227 pixels with a title.
TEST(ChartLayout, RectanglesOfATitledChart) {
    const CChartLayout layout = Layout(Series{});
    EXPECT_EQ(layout.m_rcClient, (CChartRect{0, 0, 412, 227}));
    EXPECT_EQ(layout.m_rcInner, (CChartRect{5, 2, 407, 225}));
    EXPECT_EQ(layout.m_rcTitle, (CChartRect{5, 2, 407, 22}));
    EXPECT_EQ(layout.m_rcBody, (CChartRect{5, 22, 407, 225}));
    EXPECT_EQ(layout.m_rcYLabels, (CChartRect{5, 22, 45, 194}));
    EXPECT_EQ(layout.m_rcXLabels, (CChartRect{45, 194, 407, 225}));
    EXPECT_EQ(layout.m_rcPlot, (CChartRect{45, 22, 407, 194}));
    EXPECT_EQ(layout.m_nSlots, 0);
    EXPECT_FALSE(layout.m_bHasScale);
}

TEST(ChartLayout, RectanglesWithoutTitleAndOfALargerChart) {
    const CChartLayout plain = Layout(Series{}, false);
    EXPECT_EQ(plain.m_rcTitle, CChartRect{});
    EXPECT_EQ(plain.m_rcBody, (CChartRect{5, 2, 407, 225}));
    EXPECT_EQ(plain.m_rcYLabels, (CChartRect{5, 2, 45, 191}));
    EXPECT_EQ(plain.m_rcXLabels, (CChartRect{45, 191, 407, 225}));
    EXPECT_EQ(plain.m_rcPlot, (CChartRect{45, 2, 407, 191}));

    // The title band ends at the inner bottom coordinate divided by 10, not at a tenth of
    // the height: 593 / 10 = 59.
    const CChartLayout large = Layout(Series{}, true, 10.0, 800, 600);
    EXPECT_EQ(large.m_rcInner, (CChartRect{10, 7, 790, 593}));
    EXPECT_EQ(large.m_rcTitle, (CChartRect{10, 7, 790, 59}));
    EXPECT_EQ(large.m_rcYLabels, (CChartRect{10, 59, 88, 512}));
    EXPECT_EQ(large.m_rcXLabels, (CChartRect{88, 512, 790, 593}));
    EXPECT_EQ(large.m_rcPlot, (CChartRect{88, 59, 790, 512}));
}

TEST(ChartLayout, ScaleRisesToTheFirstStepAboveTheMaximum) {
    EXPECT_EQ(ScaleTop({0, 0, 0}), 10.0);
    EXPECT_EQ(ScaleTop({120}), 130.0);
    EXPECT_EQ(ScaleTop({123, 7}), 130.0);
    EXPECT_EQ(ScaleTop({5}), 10.0);
    EXPECT_EQ(ScaleTop({129.9}), 130.0);
    EXPECT_EQ(ScaleTop({0.4}), 10.0);
    // Whole-number arithmetic for steps of 1 and more: (6 + 2) / 2 * 2.5.
    EXPECT_EQ(ScaleTop({6}, 2.5), 10.0);
    EXPECT_EQ(ScaleTop({5}, 2.5), 7.5);
    // Finer steps cannot use it (it would divide by zero): the next multiple above.
    EXPECT_DOUBLE_EQ(ScaleTop({1.2}, 0.5), 1.5);
    EXPECT_DOUBLE_EQ(ScaleTop({1.0}, 0.25), 1.25);
    // The scale starts at 0 even when every value is far above it.
    EXPECT_EQ(ScaleTop({500, 510}), 520.0);
}

TEST(ChartLayout, ScaleNeverEmptyForNegativeValues) {
    EXPECT_EQ(ScaleTop({-5}), 10.0);
    EXPECT_EQ(ScaleTop({-25, -40}), 10.0);
}

TEST(ChartLayout, SlotsAndScaleOverAllSeriesWithEmptySlotsSkipped) {
    Series series = OneSeries({10, CChartSeries::EMPTY_POINT, 30});
    series[5].AddPoint(7);
    for (int i = 0; i < 6; ++i)
        series[5].AddPoint(CChartSeries::EMPTY_POINT);
    series[63].AddPoint(45);
    CChartLayout layout = Layout(series);
    EXPECT_EQ(layout.m_nSlots, 7);
    EXPECT_EQ(layout.m_dYMax, 50.0);

    // Slots of empty points only: counted, but nothing to scale.
    layout = Layout(OneSeries({CChartSeries::EMPTY_POINT, CChartSeries::EMPTY_POINT}));
    EXPECT_EQ(layout.m_nSlots, 2);
    EXPECT_FALSE(layout.m_bHasScale);

    // Values that cannot be placed are skipped like empty slots.
    layout = Layout(OneSeries({std::nan(""), 20, std::numeric_limits<double>::infinity()}));
    EXPECT_EQ(layout.m_nSlots, 3);
    EXPECT_EQ(layout.m_dYMax, 30.0);
}

TEST(ChartLayout, PointsSitInTheMiddleOfTheirSlots) {
    Series series;
    for (int i = 0; i < 12; ++i)
        series[0].AddPoint(i == 3 ? 120 : 65);
    const CChartLayout layout = Layout(series);
    ASSERT_EQ(layout.m_dYMax, 130.0);
    // dx = 362 / 12 = 30.17
    EXPECT_EQ(layout.PointX(0), 60);
    EXPECT_EQ(layout.PointX(1), 90);
    EXPECT_EQ(layout.PointX(11), 391);
    EXPECT_EQ(layout.PointY(0), 194);
    EXPECT_EQ(layout.PointY(65), 108);
    EXPECT_EQ(layout.PointY(130), 22);
    EXPECT_EQ(layout.PointY(120), 194 - 158); // 172 * 120 / 130 = 158.8
    EXPECT_EQ(layout.BaseValue(), 0.0);
}

TEST(ChartLayout, LabelBoxesAndFontHeights) {
    const CChartLayout layout = Layout(OneSeries({120}));
    ASSERT_EQ(layout.m_dYMax, 130.0);
    // h = 40 / 4; y(k) = 194 + 5 - 172 * k / 10
    EXPECT_EQ(layout.YLabelHeight(), 10);
    EXPECT_EQ(layout.YLabelRect(0, 10), (CChartRect{5, 181, 45, 199}));
    EXPECT_EQ(layout.YLabelRect(5, 10), (CChartRect{5, 95, 45, 113}));
    EXPECT_EQ(layout.YLabelRect(10, 10), (CChartRect{5, 9, 45, 27}));
    EXPECT_EQ(layout.YLabelRect(0, 4), (CChartRect{5, 156, 45, 199}));

    // X label area 31 high: labels trunc(31 / 3) + 1, axis title 2 * trunc(31 / 3).
    EXPECT_EQ(layout.XLabelHeight(), 11);
    EXPECT_EQ(layout.XTitleHeight(), 20);
    EXPECT_EQ(layout.XLabelLeft(0, 13), 45);
    EXPECT_EQ(layout.XLabelLeft(1, 13), 72);   // 27.85
    EXPECT_EQ(layout.XLabelLeft(12, 13), 379); // 334.15
}

TEST(ChartLayout, HugeValuesStayDefined) {
    // A damaged data file can hold a ping time of four billion ms.
    const CChartLayout layout = Layout(OneSeries({4e9, 1}));
    EXPECT_EQ(layout.m_dYMax, 4000000010.0);
    EXPECT_EQ(layout.PointY(4e9), 23); // 171.9999 of 172
    EXPECT_EQ(layout.PointY(1), 194);
    EXPECT_EQ(CChartLayout::Trunc(-2.7), -2);
    EXPECT_EQ(CChartLayout::Trunc(std::nan("")), 0);
    EXPECT_GT(CChartLayout::Trunc(1e300), 1 << 20);
    EXPECT_LT(CChartLayout::Trunc(-1e300), -(1 << 20));
}
