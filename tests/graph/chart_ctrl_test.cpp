#include "graph/chart_ctrl.h"

#include "gui_test_support.h"
#include <gtest/gtest.h>

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

void ExpectPixels(const QImage& image, QColor color,
                  std::initializer_list<std::pair<int, int>> at) {
    for (auto [x, y] : at)
        EXPECT_EQ(QColor(image.pixel(x, y)), color) << x << "," << y;
}

// A 412 x 227 control with the host graph's settings.
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
    CChartCtrl m_chart;
};

// Value 65 twelve times on a 0..70 scale: the area spans x 60..391, y 35..194.
TEST_F(ChartCtrlTest, AreaChartPixels) {
    for (int i = 0; i < 12; ++i)
        m_chart.AddPoint(0, 65);
    const QImage image = m_chart.grab().toImage();
    ASSERT_EQ(m_chart.GetLayout().m_dYMax, 70.0);
    ExpectPixels(image, BLACK, {{0, 0}, {411, 0}, {0, 226}, {411, 226}, {200, 226}}); // frame
    ExpectPixels(image, WHITE, {{1, 1}, {200, 225}, {407, 194}, {200, 33}, {58, 150}, {393, 150}});
    // Axes: x = 45 from 194 up to 22 (excluded), y = 194 from 45 to 406.
    ExpectPixels(image, BLACK, {{45, 23}, {45, 100}, {45, 193}, {46, 194}, {59, 194}, {406, 194}});
    ExpectPixels(image, GREEN, {{61, 193}, {200, 150}, {200, 36}, {390, 40}, {200, 194}});
    EXPECT_TRUE(HasInk(image, 5, 2, 407, 22)); // the title in its band
    for (int i = 0; i <= 10; ++i) {            // the eleven scale labels
        const CChartRect rc = m_chart.GetLayout().YLabelRect(i, 10);
        EXPECT_TRUE(HasInk(image, rc.left, rc.top, rc.right, rc.bottom)) << i;
    }
}

// Empty slots only: the framework, no scale. Then points at x 90 and 271 around the empty slot at
// 180: the area follows the straight edge (heights 62 to 36) and ends at the last point.
TEST_F(ChartCtrlTest, EmptySlots) {
    for (int i = 0; i < 4; ++i)
        m_chart.AddPoint(0, CChartSeries::EMPTY_POINT);
    QImage image = m_chart.grab().toImage();
    ExpectPixels(image, BLACK, {{0, 0}, {45, 100}, {300, 194}});
    EXPECT_TRUE(HasInk(image, 5, 2, 407, 22));     // title
    EXPECT_FALSE(HasInk(image, 26, 22, 45, 204));  // no scale
    EXPECT_FALSE(HasInk(image, 46, 22, 407, 194)); // no series
    m_chart.SetPoint(0, 0, 100), m_chart.SetPoint(0, 2, 120);
    image = m_chart.grab().toImage();
    ExpectPixels(image, GREEN, {{180, 55}, {180, 190}});
    ExpectPixels(image, WHITE, {{180, 45}, {300, 190}});
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
