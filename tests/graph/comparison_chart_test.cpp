#include "graph/comparison_chart.h"

#include "core/history_store.h"
#include "core/host.h"
#include "core/test_files.h"
#include "gui_test_support.h"
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

namespace {

const QColor INK(51, 51, 51);
using Span = std::pair<int, int>;

int CountColor(const QImage& image, const QRect& rc, const QColor& color) {
    int n = 0;
    for (int y = rc.top(); y <= rc.bottom(); ++y)
        for (int x = rc.left(); x <= rc.right(); ++x)
            n += image.pixel(x, y) == color.rgb();
    return n;
}

// The first and last column of rc that hold the colour.
Span ColumnSpan(const QImage& image, const QRect& rc, const QColor& color) {
    int nFirst = -1, nLast = -1;
    for (int x = rc.left(); x <= rc.right(); ++x)
        if (CountColor(image, QRect(x, rc.top(), 1, rc.height()), color) > 0)
            nLast = x, nFirst = nFirst < 0 ? x : nFirst;
    return {nFirst, nLast};
}

class ComparisonChartTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void AddHost(const std::string& strName, std::vector<uint32_t> arrPings, int nTests, int nUp,
                 int64_t nHistoryId = 0) {
        CHost host;
        host.m_strName = strName, host.m_nHistoryId = nHistoryId;
        *host.m_pPingHistory = std::move(arrPings);
        host.m_nTests = nTests, host.m_nTestsUp = nUp;
        m_comparison.Add(host);
    }
    // The comparison painted (with its history from pStore); m_layout is its layout.
    QImage Render(QSize size = {900, 700}, CHistoryStore* pStore = nullptr, int64_t tNow = 0) {
        if (pStore)
            m_comparison.ReadHistory(*pStore, tNow);
        QImage image(size, QImage::Format_RGB32);
        QPainter dc(&image);
        CComparisonChart(m_comparison).Paint(dc, size);
        m_layout = CComparisonChart(m_comparison).Layout(size);
        return image;
    }

    CHostComparison m_comparison;
    CComparisonChart::SLayout m_layout;
};

// Twelve colours; spread rows by median, fastest first: host 4's slow tail (90th percentile 180
// ms) does not move it from the top. Host 0: the band from the 10th to the 90th percentile with
// the median and a whisker to the minimum, a bar 3/4 up and 1/4 down.
TEST_F(ComparisonChartTest, TwelveHostsSortedByMedian) {
    const int arrMedians[12] = {50, 30, 120, 60, 15, 75, 105, 45, 150, 135, 165, 20};
    for (int h = 0; h < 12; ++h) {
        std::vector<uint32_t> arrPings(h ? 10 : 50, arrMedians[h]);
        arrPings[0] -= 10, arrPings[9] += 10;
        for (uint32_t i = 0; h == 0 && i < 50; ++i)
            arrPings[i] = i * 2 + 2; // p10 10, median 50, p90 90
        if (h == 4)
            std::fill(arrPings.begin() + 6, arrPings.end(), 180);
        AddHost("Host " + std::to_string(h), arrPings, h ? 10 : 80, h ? 10 : 60);
    }
    const QImage image = Render({900, 900});
    ASSERT_EQ(Span(m_layout.nSpreadRows, m_layout.nUptimeRows), Span(12, 12));
    const std::vector<size_t> arrOrder{4, 11, 1, 7, 0, 3, 5, 6, 2, 9, 8, 10};
    EXPECT_EQ(m_comparison.ByMedian(), arrOrder);
    std::set<QRgb> setColors;
    for (int i = 0; i < 12; ++i) {
        const QColor color = CComparisonChart::HostColor(static_cast<size_t>(i));
        setColors.insert(color.rgb());
        EXPECT_GT(CountColor(image, m_layout.UptimeBar(i), color), 0) << i;
        // The row of rank i: the host's colour inside the frame, the median in ink.
        const size_t h = arrOrder[static_cast<size_t>(i)];
        const QRect row = m_layout.SpreadRow(i);
        const QRect plot(m_layout.rcSpread.left() + 1, row.top(), m_layout.rcSpread.width() - 2,
                         row.height());
        EXPECT_GT(CountColor(image, plot, CComparisonChart::HostColor(h)), 0) << i;
        EXPECT_EQ(image.pixel(m_layout.SpreadX(arrMedians[h]), row.center().y()), INK.rgb()) << i;
    }
    EXPECT_EQ(setColors.size(), 12u);
    const QColor color = CComparisonChart::HostColor(0);
    const int y = m_layout.SpreadRow(4).center().y();
    const std::tuple<double, int, QColor, bool> arrSpread[] = {
        {10, -2, color, true}, {90, -2, color, true}, {50, -2, INK, true},
        {8, -2, color, false}, {4, 0, color, true},   {1, 0, color, false}};
    for (auto [dMs, dy, c, bIs] : arrSpread)
        EXPECT_EQ(image.pixel(m_layout.SpreadX(dMs), y + dy) == c.rgb(), bIs) << dMs;
    const QRect bar = m_layout.UptimeBar(0);
    const int nUp = static_cast<int>(std::lround(0.75 * bar.width()));
    EXPECT_EQ(ColumnSpan(image, bar, color), Span(bar.left(), bar.left() + nUp - 1));
    EXPECT_EQ(ColumnSpan(image, bar, CComparisonChart::DOWN_COLOR),
              Span(bar.left() + nUp, bar.right()));
}

// 288 and 5,000 entries both fill the axis with the newest entries' values; the spread is of all.
// A line two pixels wide covers a point's column and the one left of it.
TEST_F(ComparisonChartTest, LinesShowTheNewest288Cycles) {
    for (int nEntries : {100, 288, 5000}) {
        SCOPED_TRACE(nEntries);
        const int nShown = std::min(nEntries, 288);
        std::vector<uint32_t> arrPings(static_cast<size_t>(nEntries), 500);
        std::fill(arrPings.end() - nShown, arrPings.end(), 60);
        m_comparison = CHostComparison();
        AddHost("Long", arrPings, nEntries, nEntries);
        const QImage image = Render();
        EXPECT_EQ(m_comparison.GetHosts()[0].arrRecent.size(), static_cast<size_t>(nShown));
        EXPECT_EQ(std::pair(m_layout.dLinesTop, m_layout.dSpreadTop),
                  std::pair(100.0, nEntries > 288 ? 500.0 : 100.0));
        EXPECT_EQ(ColumnSpan(image, m_layout.rcLines, CComparisonChart::HostColor(0)),
                  Span(m_layout.LinesX(nShown) - 1, m_layout.LinesX(1)));
    }
}

// A refusal explained, an older file kept, nothing else written (what is saved: the command
// line's test).
TEST_F(ComparisonChartTest, SaveRefusesBadTargets) {
    AddHost("Solo", std::vector<uint32_t>(20, 33), 20, 19);
    const CComparisonChart chart(m_comparison);
    CTempDir dir;
    QString strError;
    WriteFileBytes(dir / "older.png", "kept");
    std::filesystem::create_directory(dir / "folder.png");
    EXPECT_FALSE(chart.Save(dir / "folder.png", {640, 480}, strError));
    EXPECT_EQ(strError.toStdString(),
              "Cannot save " + dir / "folder.png" + ": the path names a folder");
    EXPECT_FALSE(chart.Save(dir / "older.png", {0, 480}, strError));
    EXPECT_EQ(strError, "0 x 480 is not an image size from 1 to 20000 pixels");
    EXPECT_EQ(ReadFileBytes(dir / "older.png"), "kept");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"folder.png", "older.png"}));
}

// With a test history: ping lines on the real time axis, each at its ping's height (Early, tested
// only in the span's first two hours, ends there), web response rows by median with the
// 10th-90th percentile band, and each host in its list colour in every view.
TEST_F(ComparisonChartTest, HistoryDrawsTimedLinesAndWebResponseInEachHostsColour) {
    constexpr int64_t T = 1'800'000'000;
    QTemporaryDir dir;
    CHistoryStore store;
    ASSERT_NE(store.Open(dir.filePath("h").toStdString()), CHistoryStore::EOpen::FAILED);
    const char* const arrNames[] = {"Slow", "Fast", "Early"};
    const std::vector<int64_t> arrIds = store.Attach({{"Slow", ""}, {"Fast", ""}, {"Early", ""}});
    // Totals in fives: the 10th percentile, median and 90th are the 1st, 3rd and 5th.
    const int32_t arrTotals[2][5] = {{1000, 1200, 1500, 1800, 2500}, {100, 200, 300, 400, 500}};
    const int32_t arrPings[3] = {800, 200, 400};
    std::vector<CTestRecord> arrTests;
    for (size_t h = 0; h < 3; ++h) {
        AddHost(arrNames[h], {10, 20, 30, 40, 50, 60, 70}, 7, 7, arrIds[h]);
        for (int k = h == 2 ? 39 : 1; k <= 50; ++k)
            arrTests.push_back({arrIds[h], T - k * 600, true, "", arrPings[h], 0, 0, 0, 0, 0, -1,
                                -1, -1, -1, h < 2 ? arrTotals[h][k % 5] : -1});
    }
    ASSERT_TRUE(store.WriteCycle(arrTests));
    const QImage image = Render({900, 800}, &store, T + 60);
    EXPECT_EQ(m_comparison.GetHistoryFrom(), T - 30000);
    EXPECT_EQ(CComparisonChart(m_comparison).ByResponse(), (std::vector<size_t>{1, 0}));
    EXPECT_EQ(m_layout.dResponseTop, 500);
    const QColor slow = CComparisonChart::HostColor(0), fast = CComparisonChart::HostColor(1);
    const int yFast = m_layout.ResponseRow(0).center().y() - 2;
    const int ySlow = m_layout.ResponseRow(1).center().y() - 2;
    const std::tuple<double, int, QColor, bool> arrResponse[] = {{20, yFast, fast, true},
                                                                 {30, yFast, INK, true},
                                                                 {60, yFast, fast, false},
                                                                 {200, ySlow, slow, true},
                                                                 {90, ySlow, slow, false}};
    for (auto [dMs, y, c, bIs] : arrResponse)
        EXPECT_EQ(image.pixelColor(m_layout.ResponseX(dMs), y) == c, bIs) << dMs;
    EXPECT_EQ(image.pixelColor(m_layout.SpreadX(50), m_layout.SpreadRow(0).center().y()), slow);
    const QRect& L = m_layout.rcLines;
    for (int h = 0; h < 3; ++h) {
        const QColor color = CComparisonChart::HostColor(static_cast<size_t>(h));
        const int y = m_layout.LinesY(arrPings[h] / 10.0);
        EXPECT_EQ(CountColor(image, QRect(L.left(), y - 1, L.width(), 3), color),
                  CountColor(image, L, color))
            << h;
        const auto [nFirst, nLast] = ColumnSpan(image, L, color);
        EXPECT_NEAR(nFirst, m_layout.TimeX(T - 30000), 2) << h;
        EXPECT_NEAR(nLast, m_layout.TimeX(h == 2 ? T - 23400 : T - 600), 2) << h;
    }
}

} // namespace
