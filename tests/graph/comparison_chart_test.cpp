#include "graph/comparison_chart.h"

#include "core/history_store.h"
#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "sample_host_graph.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <set>

namespace {

const QColor INK(51, 51, 51);

// Pixels of exactly this colour inside rc.
int CountColor(const QImage& image, const QRect& rc, const QColor& color) {
    int n = 0;
    for (int y = rc.top(); y <= rc.bottom(); ++y)
        for (int x = rc.left(); x <= rc.right(); ++x)
            n += image.pixel(x, y) == color.rgb();
    return n;
}

// Columns of rc, left to right, that hold the colour.
std::pair<int, int> ColumnSpan(const QImage& image, const QRect& rc, const QColor& color) {
    int nFirst = -1, nLast = -1;
    for (int x = rc.left(); x <= rc.right(); ++x)
        if (CountColor(image, QRect(x, rc.top(), 1, rc.height()), color) > 0)
            nLast = x, nFirst = nFirst < 0 ? x : nFirst;
    return {nFirst, nLast};
}

class ComparisonChartTest : public ::testing::Test, public CMessageSink {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void ShowMessage(const std::string&) override {}

    // A host with the given pings, nTests tests of which nUp up.
    CHost& AddHost(const std::string& strName, std::vector<uint32_t> arrPings, int nTests,
                   int nUp) {
        CHost& host = *m_doc.m_arrHosts.emplace_back(new CHost);
        host.m_strName = strName;
        *host.m_pPingHistory = std::move(arrPings);
        host.m_nTests = nTests, host.m_nTestsUp = nUp;
        return host;
    }
    QImage Render(QSize size = {900, 700}) {
        m_comparison = CHostComparison();
        for (CHost* pHost : m_doc.m_arrHosts)
            m_comparison.Add(*pHost);
        QImage image(size, QImage::Format_RGB32);
        QPainter dc(&image);
        CComparisonChart(m_comparison).Paint(dc, size);
        return image;
    }
    CComparisonChart::SLayout Layout(QSize size = {900, 700}) const {
        return CComparisonChart(m_comparison).Layout(size);
    }

    CVantrelDoc m_doc{*this, nullptr};
    CHostComparison m_comparison;
};

// One host: its line runs from 50 cycles ago to the newest, its spread row shows the band from
// the 10th to the 90th percentile and the median, its bar is 3/4 up and 1/4 down.
TEST_F(ComparisonChartTest, OneHost) {
    std::vector<uint32_t> arrPings;
    for (uint32_t i = 1; i <= 50; ++i)
        arrPings.push_back(i * 2); // 2 .. 100: p10 10, median 50, p90 90
    AddHost("Solo", arrPings, 80, 60);
    const QImage image = Render();
    const CComparisonChart::SLayout layout = Layout();
    const QColor color = CComparisonChart::HostColor(0);
    EXPECT_EQ(layout.dLinesTop, 100);
    // A line two pixels wide covers a point's column and the one left of it.
    EXPECT_EQ(ColumnSpan(image, layout.rcLines, color),
              std::pair(layout.LinesX(50) - 1, layout.LinesX(1)));
    const QRect row = layout.SpreadRow(0);
    const int yMid = row.center().y();
    EXPECT_EQ(image.pixel(layout.SpreadX(10), yMid - 2), color.rgb());
    EXPECT_EQ(image.pixel(layout.SpreadX(90), yMid - 2), color.rgb());
    EXPECT_EQ(image.pixel(layout.SpreadX(50), yMid - 2), INK.rgb());  // median
    EXPECT_NE(image.pixel(layout.SpreadX(8), yMid - 2), color.rgb()); // below the band
    EXPECT_EQ(image.pixel(layout.SpreadX(4), yMid), color.rgb());     // whisker to the minimum
    EXPECT_NE(image.pixel(layout.SpreadX(2) - 2, yMid), color.rgb());
    const QRect bar = layout.UptimeBar(0);
    const int nUp = static_cast<int>(std::lround(0.75 * bar.width()));
    EXPECT_EQ(ColumnSpan(image, bar, color), std::pair(bar.left(), bar.left() + nUp - 1));
    EXPECT_EQ(ColumnSpan(image, bar, CComparisonChart::DOWN_COLOR),
              std::pair(bar.left() + nUp, bar.right()));
}

// Twelve colours, each in all three views; spread rows by median, fastest first.
// A slow tail (90th percentile 900 ms) does not move a host with the faster median down.
TEST_F(ComparisonChartTest, SortedByTheMedianNotTheTail) {
    AddHost("Tail", {10, 20, 20, 20, 20, 20, 900, 900, 900, 900}, 10, 10);
    AddHost("Even", std::vector<uint32_t>(10, 30), 10, 10);
    Render();
    EXPECT_EQ(m_comparison.ByMedian(), (std::vector<size_t>{0, 1}));
}

TEST_F(ComparisonChartTest, TwelveHostsSortedByMedian) {
    const int arrMedians[12] = {90, 30, 120, 60, 15, 75, 105, 45, 150, 135, 165, 20};
    for (int h = 0; h < 12; ++h) {
        const auto m = static_cast<uint32_t>(arrMedians[h]); // band m - 10 .. m + 10
        AddHost("Host " + std::to_string(h), {m - 10, m, m, m, m, m, m, m, m, m + 10}, 10, 10);
    }
    const QImage image = Render({900, 900});
    const CComparisonChart::SLayout layout = Layout({900, 900});
    ASSERT_EQ(std::pair(layout.nSpreadRows, layout.nUptimeRows), std::pair(12, 12));
    std::set<QRgb> setColors;
    for (size_t h = 0; h < 12; ++h) {
        const QColor color = CComparisonChart::HostColor(h);
        setColors.insert(color.rgb());
        EXPECT_GT(CountColor(image, layout.rcLines, color), 0) << h;
        EXPECT_GT(CountColor(image, layout.UptimeBar(static_cast<int>(h)), color), 0) << h;
    }
    EXPECT_EQ(setColors.size(), 12u);
    const std::vector<size_t> arrOrder{4, 11, 1, 7, 3, 5, 0, 6, 2, 9, 8, 10};
    EXPECT_EQ(m_comparison.ByMedian(), arrOrder);
    for (int nRank = 0; nRank < 12; ++nRank) {
        const QRect row = layout.SpreadRow(nRank);
        const QRect plot(layout.rcSpread.left() + 1, row.top(), layout.rcSpread.width() - 2,
                         row.height());
        const size_t h = arrOrder[static_cast<size_t>(nRank)];
        EXPECT_GT(CountColor(image, plot, CComparisonChart::HostColor(h)), 0) << nRank;
        EXPECT_EQ(image.pixel(layout.SpreadX(arrMedians[h]), row.center().y()), INK.rgb()) << nRank;
    }
}

// 288 and 5,000 entries both fill the axis with the newest entries' values.
TEST_F(ComparisonChartTest, LinesShowTheNewest288Cycles) {
    for (int nEntries : {100, 288, 5000}) {
        SCOPED_TRACE(nEntries);
        m_doc.m_arrHosts.clear();
        std::vector<uint32_t> arrPings(static_cast<size_t>(nEntries), 500);
        std::fill(arrPings.end() - std::min(nEntries, 288), arrPings.end(), 60);
        AddHost("Long", arrPings, nEntries, nEntries);
        const QImage image = Render();
        const CComparisonChart::SLayout layout = Layout();
        ASSERT_EQ(m_comparison.GetHosts()[0].arrRecent.size(),
                  static_cast<size_t>(std::min(nEntries, 288)));
        EXPECT_EQ(layout.dLinesTop, 100); // only 60s shown
        EXPECT_EQ(ColumnSpan(image, layout.rcLines, CComparisonChart::HostColor(0)),
                  std::pair(layout.LinesX(std::min(nEntries, 288)) - 1, layout.LinesX(1)));
        EXPECT_EQ(layout.dSpreadTop, nEntries > 288 ? 500 : 100); // the spread is of all entries
        m_doc.m_arrHosts.clear();
    }
}

// More up than tests keeps the bar in its box; scale tops are 1, 2 or 5 times a power of ten.
TEST_F(ComparisonChartTest, SharesAndScaleTops) {
    CHostComparison::SHost more, none;
    more.nTests = 4, more.nTestsUp = 9, none.nTestsUp = 9;
    EXPECT_EQ(std::tuple(CHostComparison::UpShare(more), CHostComparison::DownShare(more),
                         CHostComparison::UpShare(none), CHostComparison::DownShare(none)),
              std::tuple(1.0, 0.0, 0.0, 0.0));
    const std::pair<double, double> arrTops[] = {{0, 10},     {1, 1},     {7, 10},
                                                 {11, 20},    {20, 20},   {201, 500},
                                                 {501, 1000}, {4e9, 5e9}, {-3, 10}};
    for (auto [dMax, dTop] : arrTops)
        EXPECT_EQ(CComparisonChart::NiceTop(dMax), dTop) << dMax;
}

TEST_F(ComparisonChartTest, SavesPngAndSvgAndRefusesBadTargets) {
    // A NUL and an ESC from a damaged file are left out: XML cannot hold them.
    AddHost(std::string("R&D <Host\0ing> \x1b\"Caf\xe9\"", 22), std::vector<uint32_t>(20, 33), 20,
            19);
    Render();
    const CComparisonChart chart(m_comparison);
    QTemporaryDir dir;
    QString strError;
    auto Path = [&dir](const char* pszName) { return dir.filePath(pszName).toStdString(); };
    ASSERT_TRUE(chart.Save(Path("c.png"), {640, 480}, strError) &&
                chart.Save(Path("c.SVG"), {640, 480}, strError))
        << qPrintable(strError);
    EXPECT_EQ(QImage(dir.filePath("c.png")).size(), QSize(640, 480));
    QFile svg(dir.filePath("c.SVG"));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&svg);
    QStringList arrTexts, arrRoot;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::Characters)
            arrTexts << xml.text().toString();
        if (xml.isStartElement() && xml.name() == QStringLiteral("svg"))
            for (const char* pszName : {"width", "height", "viewBox", "style"})
                arrRoot << xml.attributes().value(pszName).toString();
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    // CSS pixels, and never wider than the page.
    EXPECT_EQ(arrRoot, (QStringList{"640", "480", "0 0 640 480", "max-width: 100%; height: auto"}));
    EXPECT_TRUE(arrTexts.contains(QString::fromLatin1("R&D <Hosting> \"Caf\xe9\"")));

    QFile older(dir.filePath("older.png"));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly) && older.write("kept") == 4 && older.flush());
    older.close();
    QDir(dir.path()).mkdir("folder.png");
    const std::pair<QString, QString> arrBad[] = {
        {dir.filePath("c.gif"), dir.filePath("c.gif") + " does not end in .png or .svg"},
        {dir.filePath("none/c.png"),
         "Cannot save " + dir.filePath("none/c.png") + ": no such file or folder"},
        {dir.filePath("folder.png"),
         "Cannot save " + dir.filePath("folder.png") + ": the path names a folder"}};
    for (const auto& [strPath, strText] : arrBad) {
        strError.clear();
        EXPECT_FALSE(chart.Save(strPath.toStdString(), {640, 480}, strError));
        EXPECT_EQ(strError, strText);
    }
    EXPECT_FALSE(chart.Save(Path("older.png"), {0, 480}, strError));
    EXPECT_EQ(strError, "0 x 480 is not an image size from 1 to 20000 pixels");
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), "kept");
    QStringList arrFiles = QDir(dir.path()).entryList(QDir::Files);
    arrFiles.sort();
    EXPECT_EQ(arrFiles, (QStringList{"c.SVG", "c.png", "older.png"}));
}

} // namespace

// With a test history: the ping lines on the real time axis (a host tested only in the first
// two hours of the span ends there), a web response view by median with the 10th-90th
// percentile band, and every host in its list colour in each view.
TEST_F(ComparisonChartTest, HistoryDrawsTimedLinesAndWebResponseInEachHostsColour) {
    constexpr int64_t T = 1'800'000'000;
    QTemporaryDir dir;
    CHistoryStore store;
    ASSERT_NE(store.Open(dir.filePath("h").toStdString()), CHistoryStore::EOpen::FAILED);
    for (const char* pszName : {"Slow", "Fast", "Early", "Unrecorded"})
        AddHost(pszName, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 10, 10);
    const std::vector<int64_t> arrIds = store.Attach({{"Slow", ""}, {"Fast", ""}, {"Early", ""}});
    // Totals in fives: 10th percentile, median and 90th are the 1st, 3rd and 5th value.
    const int32_t arrTotals[2][5] = {{1000, 1200, 1500, 1800, 2500}, {100, 200, 300, 400, 500}};
    const int32_t arrPings[3] = {800, 200, 400};
    std::vector<CTestRecord> arrTests;
    for (int h = 0; h < 3; ++h)
        for (int k = h == 2 ? 39 : 1; k <= 50; ++k) {
            CTestRecord& test = arrTests.emplace_back();
            test.nHostId = arrIds[static_cast<size_t>(h)];
            test.tWhen = T - k * 600;
            test.bUp = true;
            test.nPingTenths = arrPings[h];
            test.nTotalTenths = h < 2 ? arrTotals[h][k % 5] : -1;
        }
    ASSERT_TRUE(store.WriteCycle(arrTests));
    for (size_t i = 0; i < 3; ++i)
        m_doc.m_arrHosts[i]->m_nHistoryId = arrIds[i];

    m_comparison = CHostComparison();
    for (CHost* pHost : m_doc.m_arrHosts)
        m_comparison.Add(*pHost);
    m_comparison.ReadHistory(store, T + 60);
    ASSERT_TRUE(m_comparison.HasHistory());
    EXPECT_EQ(m_comparison.GetHistoryFrom(), T - 30000);
    std::vector<std::string> arrFigures; // percentiles; columns at the host's ping + others
    for (size_t i = 0; i < m_comparison.GetHosts().size(); ++i) {
        const CHostComparison::SHost& host = m_comparison.GetHosts()[i];
        int nColumns = 0, nOther = 0;
        for (int32_t nTenths : host.arrTimedPingTenths)
            if (nTenths >= 0)
                ++(i < 3 && nTenths == arrPings[i] ? nColumns : nOther);
        arrFigures.push_back(host.strName + " " + std::to_string(host.nResponseP10Tenths) + " " +
                             std::to_string(host.nResponseMedianTenths) + " " +
                             std::to_string(host.nResponseP90Tenths) + " " +
                             std::to_string(nColumns) + "+" + std::to_string(nOther));
    }
    EXPECT_EQ(arrFigures,
              (std::vector<std::string>{"Slow 1000 1500 2500 50+0", "Fast 100 300 500 50+0",
                                        "Early -1 -1 -1 12+0", "Unrecorded -1 -1 -1 0+0"}));

    const QSize size(900, 800);
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter dc(&image);
        CComparisonChart(m_comparison).Paint(dc, size);
    }
    const CComparisonChart::SLayout layout = CComparisonChart(m_comparison).Layout(size);
    EXPECT_EQ(CComparisonChart(m_comparison).ByResponse(), (std::vector<size_t>{1, 0}));
    EXPECT_EQ(layout.dResponseTop, 500);
    const QColor slow = CComparisonChart::HostColor(0), fast = CComparisonChart::HostColor(1);
    const int yFast = layout.ResponseRow(0).center().y() - 2;
    const int ySlow = layout.ResponseRow(1).center().y() - 2;
    EXPECT_EQ(image.pixelColor(layout.ResponseX(20), yFast), fast);
    EXPECT_EQ(image.pixelColor(layout.ResponseX(30), yFast), INK); // median
    EXPECT_NE(image.pixelColor(layout.ResponseX(60), yFast), fast);
    EXPECT_EQ(image.pixelColor(layout.ResponseX(200), ySlow), slow);
    EXPECT_NE(image.pixelColor(layout.ResponseX(90), ySlow), slow);
    // The spread view keeps the same colours.
    EXPECT_EQ(image.pixelColor(layout.SpreadX(70), layout.SpreadRow(0).center().y()), slow);

    // Each line at its ping's height; Early's from the span's start to two hours in.
    const QRect& L = layout.rcLines;
    for (int h = 0; h < 3; ++h) {
        const QColor color = CComparisonChart::HostColor(static_cast<size_t>(h));
        const int y = layout.LinesY(arrPings[h] / 10.0);
        EXPECT_EQ(CountColor(image, QRect(L.left(), y - 1, L.width(), 3), color),
                  CountColor(image, L, color))
            << h;
        const auto [nFirst, nLast] = ColumnSpan(image, L, color);
        EXPECT_NEAR(nFirst, layout.TimeX(T - 30000), 2) << h;
        EXPECT_NEAR(nLast, layout.TimeX(h == 2 ? T - 23400 : T - 600), 2) << h;
    }
}
