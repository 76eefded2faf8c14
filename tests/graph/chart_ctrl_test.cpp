#include "graph/chart_ctrl.h"

#include "gui_test_support.h"
#include <gtest/gtest.h>
#include <span>

namespace {

const QColor GREEN(72, 190, 103), WHITE(255, 255, 255), BLACK(0, 0, 0);

// Text is antialiased: any clearly dark pixel in the box counts as ink.
bool HasInk(const QImage& image, int nLeft, int nTop, int nRight, int nBottom) {
    for (int y = nTop; y < nBottom; ++y)
        for (int x = nLeft; x < nRight; ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

// A 412 x 227 control with the host graph's settings; the pixels at (x, y) of its picture.
class ChartCtrlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void SetUp() override {
        m_chart.resize(412, 227);
        m_chart.SetBackgroundColor(WHITE), m_chart.SetYDivisions(10);
        m_chart.SetSeriesType(0, CChartSeries::TYPE_AREA), m_chart.SetSeriesColor(0, GREEN);
        m_chart.SetSeriesSize(0, 1);
        m_chart.SetTitle("Host - http://example.com/");
    }
    using Probe = std::tuple<int, int, QColor>;
    void ExpectPixels(std::span<const Probe> at) {
        const QImage image = m_chart.grab().toImage();
        for (auto [x, y, color] : at)
            EXPECT_EQ(QColor(image.pixel(x, y)), color) << x << "," << y;
    }
    CChartCtrl m_chart;
};

// Value 65 twelve times on a 0..70 scale: the frame, the axes at x 45 and y 194, the area from
// x 60 to 391 and y 35 down, the title and the eleven scale labels in their boxes.
TEST_F(ChartCtrlTest, AreaChartPixels) {
    for (int i = 0; i < 12; ++i)
        m_chart.AddPoint(0, 65);
    const Probe arrProbes[] = {{0, 0, BLACK},    {411, 226, BLACK}, {1, 1, WHITE},
                               {45, 23, BLACK},  {45, 193, BLACK},  {406, 194, BLACK},
                               {61, 193, GREEN}, {200, 36, GREEN},  {390, 40, GREEN},
                               {200, 33, WHITE}, {58, 150, WHITE},  {393, 150, WHITE}};
    ExpectPixels(arrProbes); // lays the chart out
    EXPECT_EQ(m_chart.GetLayout().m_dYMax, 70.0);
    const QImage image = m_chart.grab().toImage();
    EXPECT_TRUE(HasInk(image, 5, 2, 407, 22));
    for (int i = 0; i <= 10; ++i) {
        const CChartRect rc = m_chart.GetLayout().YLabelRect(i, 10);
        EXPECT_TRUE(HasInk(image, rc.left, rc.top, rc.right, rc.bottom)) << i;
    }
}

// Empty slots only: the frame and title, no scale, no series. Then points at x 90 and 271 around
// the empty slot at 180: the area follows the straight edge (heights 62 to 36) and ends there.
TEST_F(ChartCtrlTest, EmptySlots) {
    for (int i = 0; i < 4; ++i)
        m_chart.AddPoint(0, CChartSeries::EMPTY_POINT);
    const QImage image = m_chart.grab().toImage();
    EXPECT_EQ(std::tuple(HasInk(image, 5, 2, 407, 22), HasInk(image, 26, 22, 45, 204),
                         HasInk(image, 46, 22, 407, 194)),
              std::tuple(true, false, false));
    m_chart.SetPoint(0, 0, 100), m_chart.SetPoint(0, 2, 120);
    const Probe arrProbes[] = {
        {180, 55, GREEN}, {180, 190, GREEN}, {180, 45, WHITE}, {300, 190, WHITE}};
    ExpectPixels(arrProbes);
}

// Thirteen labels, each from 45 + trunc(i * 362 / 13) below the axis, 11 pixels high.
TEST_F(ChartCtrlTest, XLabelsEveryStep) {
    for (int i = 0; i < 13; ++i)
        m_chart.AddPoint(0, 0), m_chart.SetXLabel(i, "8");
    for (int nStep : {1, 2}) {
        m_chart.SetXLabelStep(nStep);
        const QImage image = m_chart.grab().toImage();
        for (int i = 0; i < 13; ++i) {
            const int nLeft = 45 + static_cast<int>(i * 362.0 / 13);
            EXPECT_EQ(HasInk(image, nLeft, 195, nLeft + 8, 206), i % nStep == 0) << i;
        }
    }
}

} // namespace
