#include "graph/chart_ctrl.h"

#include "gui_app.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

const QColor GREEN(72, 190, 103);
const QColor WHITE(255, 255, 255);
const QColor BLACK(0, 0, 0);

class ChartCtrlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GuiApp(); }

    void SetUp() override {
        m_chart.resize(412, 227);
        m_chart.SetBackgroundColor(WHITE);
    }

    // The host graph's settings.
    void ConfigureLikeTheGraph() {
        m_chart.SetSeriesType(0, CChartSeries::TYPE_AREA);
        m_chart.SetSeriesColor(0, GREEN);
        m_chart.SetSeriesSize(0, 1);
        m_chart.SetYDivisions(10);
        m_chart.SetTitle("Host - http://example.com/");
    }

    QImage Render() { return m_chart.grab().toImage(); }

    CChartCtrl m_chart;
};

} // namespace

TEST_F(ChartCtrlTest, InitialValuesAndSetterLimits) {
    CChartCtrl chart;
    EXPECT_EQ(chart.GetBackgroundColor(), QColor(200, 255, 255));
    QColor color(1, 2, 3);
    int nSize = 0;
    ASSERT_TRUE(chart.GetSeriesColor(63, color));
    ASSERT_TRUE(chart.GetSeriesSize(63, nSize));
    EXPECT_EQ(color, BLACK);
    EXPECT_EQ(nSize, 2);

    for (auto [nSet, nStored] : {std::pair{0, 1}, {1, 1}, {-4, 1}, {24, 24}}) {
        chart.SetXLabelStep(nSet);
        EXPECT_EQ(chart.GetXLabelStep(), nStored) << nSet;
    }
    for (auto [nSet, nStored] : {std::pair{150, 100}, {-1, 0}, {10, 10}}) {
        chart.SetYDivisions(nSet);
        EXPECT_EQ(chart.GetYDivisions(), nStored) << nSet;
    }
    EXPECT_FALSE(chart.SetYStep(0));
    EXPECT_FALSE(chart.SetYStep(-5));
    EXPECT_EQ(chart.GetYStep(), 10.0);
    for (auto [nSet, nStored] : {std::pair{0, 1}, {11, 10}, {7, 7}}) {
        chart.SetSeriesSize(3, nSet);
        chart.GetSeriesSize(3, nSize);
        EXPECT_EQ(nSize, nStored) << nSet;
    }

    // Series outside 0..63 are refused and nothing changes.
    int nValue = 77;
    double dValue = 5.5;
    for (int nSeries : {-1, 64}) {
        EXPECT_FALSE(chart.SetSeriesColor(nSeries, GREEN));
        EXPECT_FALSE(chart.GetSeriesType(nSeries, nValue));
        EXPECT_FALSE(chart.AddPoint(nSeries, 1.0));
        EXPECT_FALSE(chart.GetPoint(nSeries, 0, dValue));
    }
    EXPECT_EQ(nValue, 77);
    EXPECT_EQ(dValue, 5.5);
    EXPECT_FALSE(chart.CalcLayout()); // no point was added anywhere
}

TEST_F(ChartCtrlTest, PointsAndLabels) {
    CChartCtrl chart;
    double dValue = 0;
    EXPECT_FALSE(chart.SetPoint(0, 0, 1.0)); // no point 0 yet
    EXPECT_TRUE(chart.AddPoint(0, 4.0));
    EXPECT_TRUE(chart.AddPoint(0, 6.0));
    EXPECT_TRUE(chart.SetPoint(0, 1, 9.0));
    EXPECT_FALSE(chart.SetPoint(0, 2, 1.0));
    EXPECT_FALSE(chart.SetPoint(0, -1, 1.0));
    EXPECT_TRUE(chart.GetPoint(0, 1, dValue));
    EXPECT_EQ(dValue, 9.0);
    EXPECT_FALSE(chart.GetPoint(0, 2, dValue));
    EXPECT_FALSE(chart.GetPoint(1, 0, dValue));

    std::string strLabel = "unchanged";
    EXPECT_FALSE(chart.GetXLabel(0, strLabel));
    EXPECT_TRUE(chart.SetXLabel(3, "3 ago"));
    EXPECT_TRUE(chart.GetXLabel(1, strLabel));
    EXPECT_EQ(strLabel, "");
    EXPECT_TRUE(chart.GetXLabel(3, strLabel));
    EXPECT_EQ(strLabel, "3 ago");
    EXPECT_FALSE(chart.GetXLabel(4, strLabel));
    EXPECT_FALSE(chart.SetXLabel(-1, "x"));

    EXPECT_TRUE(chart.CalcLayout());
    EXPECT_EQ(chart.GetLayout().m_nSlots, 2);
    EXPECT_EQ(chart.GetLayout().m_dYMax, 10.0);
}

TEST_F(ChartCtrlTest, TitleGlyphsAreSizedAndPlacedByArialsCell) {
    // 800 x 600: the title band is y 7..59, a cell of 52 pixels: an em of 47, capitals of
    // 0.716 em = 34 pixels, the baseline at 7 + 42.
    m_chart.resize(800, 600);
    m_chart.SetTitle("H");
    const QImage image = Render();
    int nTop = -1, nBottom = -1;
    for (int y = 7; y < 59; ++y)
        if (HasInk(image, 10, y, 790, y + 1)) {
            nTop = nTop < 0 ? y : nTop;
            nBottom = y;
        }
    EXPECT_NEAR(nBottom - nTop + 1, 34, 1);
    EXPECT_NEAR(nBottom, 48, 1);
}

TEST_F(ChartCtrlTest, AreaChartPixels) {
    ConfigureLikeTheGraph();
    for (int i = 0; i < 12; ++i)
        m_chart.AddPoint(0, 65);
    const QImage image = Render();
    ASSERT_EQ(image.size(), QSize(412, 227));

    // Frame and background.
    for (auto [x, y] : {std::pair{0, 0},
                        {411, 0},
                        {0, 226},
                        {411, 226},
                        {0, 100},
                        {411, 100},
                        {200, 0},
                        {200, 226}})
        EXPECT_EQ(PixelAt(image, x, y), BLACK) << x << "," << y;
    for (auto [x, y] : {std::pair{1, 1}, {3, 100}, {409, 100}, {200, 225}, {408, 194}})
        EXPECT_EQ(PixelAt(image, x, y), WHITE) << x << "," << y;

    // Vertical axis at x = 45 from 194 up to, not including, 22; horizontal axis at y = 194
    // from 45 to 406, under the area between the first and last point.
    for (int y : {23, 100, 193})
        EXPECT_EQ(PixelAt(image, 45, y), BLACK) << y;
    for (int x : {46, 59, 392, 406})
        EXPECT_EQ(PixelAt(image, x, 194), BLACK) << x;
    EXPECT_EQ(PixelAt(image, 407, 194), WHITE);

    // The area spans x 60..391 and y 35..194 (value 65 of a 0..70 scale).
    ASSERT_EQ(m_chart.GetLayout().m_dYMax, 70.0);
    for (auto [x, y] : {std::pair{61, 193}, {200, 150}, {200, 36}, {390, 40}, {200, 194}})
        EXPECT_EQ(PixelAt(image, x, y), GREEN) << x << "," << y;
    for (auto [x, y] : {std::pair{200, 33}, {58, 150}, {393, 150}, {200, 25}})
        EXPECT_EQ(PixelAt(image, x, y), WHITE) << x << "," << y;

    // Title text in its band, and the eleven scale labels 0 to 130 left of the axis.
    EXPECT_TRUE(HasInk(image, 5, 2, 407, 22));
    const CChartLayout& layout = m_chart.GetLayout();
    for (int i = 0; i <= 10; ++i) {
        const CChartRect rc = layout.YLabelRect(i, 10);
        EXPECT_TRUE(HasInk(image, rc.left, rc.top, rc.right, rc.bottom)) << i;
    }
}

TEST_F(ChartCtrlTest, ScaleLabelsCanBeSwitchedOff) {
    ConfigureLikeTheGraph();
    m_chart.AddPoint(0, 65);
    m_chart.ShowYLabels(false);
    QImage image = Render();
    EXPECT_FALSE(HasInk(image, 5, 22, 45, 204));

    // Divisions 0 draw no scale labels either; the axis title still shows.
    m_chart.ShowYLabels(true);
    m_chart.SetYDivisions(0);
    m_chart.SetYAxisTitle("Ping Time");
    image = Render();
    EXPECT_FALSE(HasInk(image, 26, 22, 45, 204));
    EXPECT_TRUE(HasInk(image, 5, 100, 25, 194));
    EXPECT_FALSE(HasInk(image, 5, 22, 25, 60)); // read upwards from the bottom
}

TEST_F(ChartCtrlTest, XLabelsEveryStep) {
    ConfigureLikeTheGraph();
    for (int i = 0; i < 13; ++i) {
        m_chart.AddPoint(0, 0);
        m_chart.SetXLabel(i, "8");
    }
    // Each label starts at 45 + trunc(i * 362 / 13), below the axis, 11 pixels high.
    const auto labelDrawn = [](const QImage& image, int i) {
        const int nLeft = 45 + static_cast<int>(i * 362.0 / 13);
        return HasInk(image, nLeft, 195, nLeft + 8, 206);
    };
    QImage image = Render();
    for (int i = 0; i < 13; ++i)
        EXPECT_TRUE(labelDrawn(image, i)) << i;

    m_chart.SetXLabelStep(2);
    image = Render();
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(labelDrawn(image, i), i % 2 == 0) << i;
}

TEST_F(ChartCtrlTest, EmptySlotsAreJoinedOver) {
    ConfigureLikeTheGraph();
    // 0..130; x of the slots: 90, 271 for the points, the empty slot at 180
    for (double d : {100.0, CChartSeries::EMPTY_POINT, 100.0, CChartSeries::EMPTY_POINT})
        m_chart.AddPoint(0, d);
    m_chart.SetPoint(0, 2, 120);
    QImage image = Render();
    ASSERT_EQ(m_chart.GetLayout().m_dYMax, 130.0);
    const CChartLayout& layout = m_chart.GetLayout();
    ASSERT_EQ(layout.PointX(0), 90);
    ASSERT_EQ(layout.PointX(2), 271);
    // Between the points the area follows the straight edge (heights 62 and 36), it does
    // not drop to the axis in the empty slot; it ends at the last real point.
    EXPECT_EQ(PixelAt(image, 180, 55), GREEN);
    EXPECT_EQ(PixelAt(image, 180, 190), GREEN);
    EXPECT_EQ(PixelAt(image, 180, 45), WHITE);
    EXPECT_EQ(PixelAt(image, 300, 190), WHITE);

    // A line does the same, on the straight path between the two points.
    m_chart.SetSeriesType(0, CChartSeries::TYPE_LINE);
    m_chart.SetSeriesSize(0, 3);
    image = Render();
    EXPECT_EQ(PixelAt(image, 180, 49), GREEN);
    EXPECT_EQ(PixelAt(image, 180, 190), WHITE);
    EXPECT_EQ(PixelAt(image, 300, 49), WHITE);
}

TEST_F(ChartCtrlTest, BarsAndMarkers) {
    ConfigureLikeTheGraph();
    m_chart.SetSeriesType(0, CChartSeries::TYPE_BARS);
    m_chart.SetSeriesSize(0, 5);
    for (double d : {65.0, 120.0, 10.0, 120.0})
        m_chart.AddPoint(0, d);
    // dx = 90.5: bars 45 wide centred on 90, from y(65) = 108 down to the axis.
    QImage image = Render();
    for (auto [x, y] : {std::pair{68, 190}, {112, 190}, {90, 109}})
        EXPECT_EQ(PixelAt(image, x, y), GREEN) << x << "," << y;
    for (auto [x, y] : {std::pair{67, 190}, {113, 190}, {90, 106}, {130, 190}})
        EXPECT_EQ(PixelAt(image, x, y), WHITE) << x << "," << y;

    // A line of size 2 with square markers 8 across.
    m_chart.SetSeriesType(0, CChartSeries::TYPE_LINE);
    m_chart.SetSeriesSize(0, 2);
    m_chart.SetPoint(0, 2, 65);
    m_chart.SetPoint(0, 3, 65);
    image = Render();
    EXPECT_EQ(PixelAt(image, 90, 108), GREEN);
    EXPECT_EQ(PixelAt(image, 87, 111), WHITE);
    // Squares from 86 to 93 and 104 to 111.
    m_chart.SetSeriesMarker(0, CChartSeries::MARKER_SQUARE);
    image = Render();
    for (auto [x, y] : {std::pair{86, 104}, {93, 111}, {87, 111}})
        EXPECT_EQ(PixelAt(image, x, y), GREEN) << x << "," << y;
    for (auto [x, y] : {std::pair{85, 104}, {94, 111}, {87, 112}, {87, 103}})
        EXPECT_EQ(PixelAt(image, x, y), WHITE) << x << "," << y;
    // Triangles point up: wide at the bottom, narrow at the top.
    m_chart.SetSeriesMarker(0, CChartSeries::MARKER_TRIANGLE);
    image = Render();
    EXPECT_EQ(PixelAt(image, 87, 111), GREEN);
    EXPECT_EQ(PixelAt(image, 87, 105), WHITE);
    EXPECT_EQ(PixelAt(image, 90, 106), GREEN);
    EXPECT_EQ(PixelAt(image, 90, 102), WHITE);
}

TEST_F(ChartCtrlTest, LowerSeriesOnTopAndUnknownTypesDrawNothing) {
    ConfigureLikeTheGraph();
    const QColor RED(220, 0, 0);
    m_chart.SetSeriesType(1, CChartSeries::TYPE_AREA);
    m_chart.SetSeriesColor(1, RED);
    for (int i = 0; i < 3; ++i) {
        m_chart.AddPoint(0, 50);
        m_chart.AddPoint(1, 100);
    }
    QImage image = Render();
    EXPECT_EQ(PixelAt(image, 200, 180), GREEN);
    EXPECT_EQ(PixelAt(image, 200, 80), RED);

    m_chart.SetSeriesType(0, 3);
    image = Render();
    EXPECT_EQ(PixelAt(image, 200, 180), RED);
}

TEST_F(ChartCtrlTest, WithoutPointsOnlyTheFrameworkIsDrawn) {
    ConfigureLikeTheGraph();
    m_chart.SetYAxisTitle("Ping Time");
    m_chart.SetXAxisTitle("Test Cycles Ago");
    m_chart.AddPoint(0, CChartSeries::EMPTY_POINT);
    const QImage image = Render();
    EXPECT_EQ(PixelAt(image, 0, 0), BLACK);
    EXPECT_EQ(PixelAt(image, 45, 100), BLACK);
    EXPECT_EQ(PixelAt(image, 300, 194), BLACK);
    EXPECT_TRUE(HasInk(image, 5, 2, 407, 22));     // title
    EXPECT_TRUE(HasInk(image, 46, 205, 407, 225)); // X axis title
    EXPECT_FALSE(HasInk(image, 26, 22, 45, 204));  // no scale
    EXPECT_FALSE(HasInk(image, 46, 22, 407, 194)); // no series
}

TEST_F(ChartCtrlTest, TinyControlsPaintWithoutFault) {
    ConfigureLikeTheGraph();
    m_chart.SetXLabel(0, "1");
    m_chart.SetYAxisTitle("Ping Time");
    m_chart.AddPoint(0, 5);
    m_chart.AddPoint(1, 7);
    for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(3, 2)}) {
        m_chart.resize(size);
        QImage image(std::max(size.width(), 1), std::max(size.height(), 1), QImage::Format_RGB32);
        QPainter dc(&image);
        m_chart.Paint(dc);
        const CChartLayout& layout = m_chart.GetLayout();
        EXPECT_TRUE(layout.m_bHasScale);
        EXPECT_LE(layout.m_rcPlot.right, size.width());
        EXPECT_LE(layout.m_rcPlot.bottom, size.height());
    }
}
