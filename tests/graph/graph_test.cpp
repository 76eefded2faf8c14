// The graph layer: the charts and the Build Graph, Compare Hosts and History commands.
#include "core/history_store.h"
#include "core/host.h"
#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "graph/chart_layout.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/comparison_chart.h"
#include "graph/history_csv.h"
#include "graph/history_dlg.h"
#include "graph/host_graph_dlg.h"
#include "graph/time_chart.h"
#include "gui_test_support.h"
#include "sample_host_graph.h"
#include "testing/wait_observer.h"
#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

// The graph's chart, 412 x 227, two values and a slot with nothing to scale: 0 up to the first
// step above the larger placeable value, in whole numbers for steps from 1 ((6 + 2) / 2 * 2.5),
// the next multiple above for finer ones. The title ends at inner bottom / 10.
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
    const std::vector<size_t> arrOrder{4, 11, 1, 7, 0, 3, 5, 6, 2, 9, 8, 10};
    EXPECT_EQ(m_comparison.ByMedian(), arrOrder);
    std::set<QRgb> setColors;
    for (int i = 0; i < 12; ++i) {
        const QColor color = CComparisonChart::HostColor(static_cast<size_t>(i));
        setColors.insert(color.rgb());
        EXPECT_GT(CountColor(image, m_layout.UptimeBar(i), color), 0) << i;
        // The row of rank i: the median in ink.
        const size_t h = arrOrder[static_cast<size_t>(i)];
        EXPECT_EQ(image.pixel(m_layout.SpreadX(arrMedians[h]), m_layout.SpreadRow(i).center().y()),
                  INK.rgb())
            << i;
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

// With a test history: ping lines on the real time axis, each at its ping's height (Early, tested
// only in the span's first two hours, ends there), web response rows by median with the
// 10th-90th percentile band, and each host in its list colour in every view.
TEST_F(ComparisonChartTest, HistoryDrawsTimedLinesAndWebResponseInEachHostsColour) {
    constexpr int64_t T = 1'800'000'000;
    QTemporaryDir dir;
    CHistoryStore store;
    ASSERT_NE(store.Open(dir.filePath("h").toStdString()), CHistoryStore::EOpen::FAILED);
    const std::vector<int64_t> arrIds = store.Attach({{"Slow", ""}, {"Fast", ""}, {"Early", ""}});
    // Totals in fives: the 10th percentile, median and 90th are the 1st, 3rd and 5th.
    const int32_t arrTotals[2][5] = {{1000, 1200, 1500, 1800, 2500}, {100, 200, 300, 400, 500}};
    const int32_t arrPings[3] = {800, 200, 400};
    std::vector<CTestRecord> arrTests;
    for (size_t h = 0; h < 3; ++h) {
        AddHost("Host", {10, 20, 30, 40, 50, 60, 70}, 7, 7, arrIds[h]);
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

// The document's message sink and, counting its calls, the wait dialog of a graph command.
class GraphCommandsTest : public ::testing::Test, public CMessageSink, public CWaitObserver {
protected:
    static void SetUpTestSuite() {
        EnsureApp();
        setenv("TZ", "UTC", 1); // the history shows local times
        tzset();
    }
    void SetUp() override {
        // Records the messages, marked when owned by no window of m_parent.
        RouteMessages([this](QWidget* p, const std::string& str) {
            const bool bOwned = p == &m_parent || (p && p->parentWidget() == &m_parent);
            m_arrMessages.push_back(bOwned ? str : "(not owned) " + str);
        });
    }
    void TearDown() override {
        RouteMessages({});
        CCompareHostsDlg::SetPlacementStore(nullptr);
        CHistoryDlg::SetPlacementStore(nullptr);
    }
    static void RouteMessages(const CHistoryDlg::MessageFn& fnMessage) {
        CHostGraphDlg::SetMessageFunction(fnMessage);
        CCompareHostsDlg::SetMessageFunction(fnMessage);
        CHistoryDlg::SetMessageFunction(fnMessage);
    }
    void ShowMessage(const std::string&) override {}
    void BeginWait() override { m_strWait += "begin "; }
    void StepWait() override { m_strWait += "step "; }
    void EndWait() override { m_strWait += "end "; }
    void Serve() override {}

    // As the test worker: holds the host's lock (returns once taken) 300 ms, then runs fnLast.
    static std::thread HoldLock(CHost& host, std::function<void()> fnLast) {
        std::atomic<bool> bTaken = false; // not touched by the worker once set
        std::thread worker([&host, &bTaken, fnLast] {
            std::lock_guard lock(*host.m_pMutex);
            bTaken = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            fnLast();
        });
        while (!bTaken)
            std::this_thread::yield();
        return worker;
    }
    // A host "Acme Web" with nPings ping times 100, 101, 102, ... and as many tests, all up.
    CHost& AddHost(int nPings) {
        CHost& host = *m_doc.m_arrHosts.emplace_back(new CHost);
        host.m_strName = "Acme Web", host.m_strTestURL = "http://acme.example/";
        for (int i = 0; i < nPings; ++i)
            AddPing(host, 100 + i);
        host.m_nTests = host.m_nTestsUp = nPings;
        return host;
    }
    // As the worker does it, publishing the history's new length.
    static void AddPing(CHost& host, int nPing) {
        host.m_pPingHistory->push_back(static_cast<uint32_t>(nPing));
        host.PublishPings();
        host.m_nPingTotal += nPing;
    }

    QWidget m_parent;
    CVantrelDoc m_doc{*this, nullptr};
    Texts m_arrMessages;
    std::string m_strWait;
};

// Build Graph: too few pings told at once, without the wait dialog, while the worker holds the
// lock; else at most the 288 newest entries, labelled by how many cycles ago, a label every
// twelfth (how Compare Hosts draws them: the guide's picture of 400 entries a host).
TEST_F(GraphCommandsTest, BuildGraphMessagesPointsAndSnapshot) {
    std::atomic<bool> bReleased{false};
    std::thread worker = HoldLock(AddHost(11), [&] { bReleased = true; });
    AddHost(0);
    for (auto [nRow, nMinutes] : {std::pair(-1, 5), std::pair(2, 5), std::pair(0, 5), {1, 30}}) {
        m_doc.m_nIntervalMinutes = nMinutes;
        EXPECT_EQ(CHostGraphDlg::Prepare(&m_parent, m_doc, nRow, this), nullptr) << nRow;
    }
    EXPECT_FALSE(bReleased);
    worker.join();
    const std::string strNone = "Please select a web host to build the graph for.";
    const std::string strFew = "There is not enough data collected to build the graph.\n"
                               "For the accurate building of the graph please wait till\n"
                               "at least 12 test cycles complete ( test cycle is set to ";
    EXPECT_EQ(m_arrMessages,
              (Texts{strNone, strNone, strFew + "5 min now ).", strFew + "30 min now )."}));
    EXPECT_EQ(m_strWait, "");

    const std::pair<int, int> arrCases[] = {{12, 1},   {23, 1},   {24, 2},   {100, 8},
                                            {287, 23}, {288, 24}, {289, 24}, {300, 24}};
    for (auto [nPings, nStep] : arrCases) {
        SCOPED_TRACE(nPings);
        AddHost(nPings);
        const int nRow = static_cast<int>(m_doc.m_arrHosts.size()) - 1;
        const auto pDlg = CHostGraphDlg::Prepare(&m_parent, m_doc, nRow, nullptr);
        ASSERT_NE(pDlg, nullptr);
        CChartCtrl& chart = pDlg->GetChart();
        const int nShown = std::min(nPings, 288);
        double dValue = 0;
        std::string strLabel;
        for (int i = 0; i < nShown; ++i) {
            ASSERT_TRUE(chart.GetPoint(0, i, dValue) && chart.GetXLabel(i, strLabel)) << i;
            EXPECT_EQ(std::pair(dValue, strLabel),
                      std::pair(100.0 + nPings - nShown + i, std::to_string(nShown - i)));
        }
        EXPECT_FALSE(chart.GetPoint(0, nShown, dValue) || chart.GetXLabel(nShown, strLabel));
        EXPECT_EQ(chart.GetXLabelStep(), nStep);
        // Compare Hosts' lines: the same entries; its spread of all.
        const CHostComparison::SHost figures = CHostComparison::Snapshot(*m_doc.m_arrHosts.back());
        EXPECT_EQ(std::tuple(figures.arrRecent.size(), figures.arrRecent[0], figures.nMin),
                  std::tuple(size_t(nShown), uint32_t(100 + nPings - nShown), 100u));
    }

    // Both commands wait for the worker that holds a host's lock, leave the lock free and keep
    // their snapshot. The scale's numbers as tall as the window's own text.
    CHost& host = AddHost(12);
    worker = HoldLock(host, [&host] {
        for (int nPing = 200; nPing < 208; ++nPing)
            AddPing(host, nPing);
        host.m_nTests = 30, host.m_nTestsUp = 20;
    });
    const int nRow = static_cast<int>(m_doc.m_arrHosts.size()) - 1;
    const auto pDlg = CHostGraphDlg::Prepare(&m_parent, m_doc, nRow, this);
    worker.join();
    ASSERT_NE(pDlg, nullptr);
    worker = HoldLock(host, [&host] { AddPing(host, 999), ++host.m_nTests; });
    const auto pCompare = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, this);
    worker.join();
    ASSERT_NE(pCompare, nullptr);
    EXPECT_EQ(m_strWait, "begin end begin end ");
    // The lock is recursive: only another thread sees it left taken.
    EXPECT_TRUE(std::async(std::launch::async, [&] {
                    return host.m_pMutex->try_lock() && (host.m_pMutex->unlock(), true);
                }).get());
    AddPing(host, 5);
    host.m_strName = "Renamed";
    EXPECT_EQ(pDlg->GetHistory().size(), 20u);
    const CHostComparison::SHost& figures = pCompare->GetComparison().GetHosts().back();
    EXPECT_EQ(std::tuple(figures.arrRecent.size(), figures.arrRecent.back(), figures.nMax,
                         figures.nTests),
              std::tuple(size_t{21}, 999u, 999u, 31));
    EXPECT_EQ(pDlg->GetAvgPingText(), "144.7 ms");
    CChartCtrl& chart = pDlg->GetChart();
    EXPECT_EQ(chart.GetTitle(), "Acme Web - http://acme.example/");

    // At its smallest, the first run of rows with dark pixels under the axis: the numbers.
    pDlg->show();
    pDlg->resize(pDlg->minimumSizeHint());
    QCoreApplication::processEvents();
    const QImage image = chart.grab().toImage();
    const CChartRect& X = chart.GetLayout().m_rcXLabels;
    std::string strRows; // '#': a row with dark pixels
    for (int y = X.top + 1; y < X.bottom; ++y) {
        bool bDark = false;
        for (int x = X.left; x < X.right; ++x)
            bDark = bDark || qGray(image.pixel(x, y)) < 128;
        strRows += bDark ? '#' : '.';
    }
    const size_t nTop = strRows.find('#');
    EXPECT_GE(strRows.find('.', nTop) - nTop, size_t(QFontMetrics(pDlg->font()).capHeight()));
}

// No hosts: told (which hosts of a list it shows is the list view's test). The size kept;
// "Save Image..." writes the charts at the window's size. A refusal explained, an older file kept,
// nothing else written.
TEST_F(GraphCommandsTest, CompareKeepsItsSizeAndSavesItsImage) {
    EXPECT_EQ(CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr), nullptr);
    AddSampleHosts(m_doc, 3, 20);
    CTempDir dir;
    CSettingsStore store(dir / "Vantrel.conf");
    CCompareHostsDlg::SetPlacementStore(&store);
    auto pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr);
    pDlg->show();
    pDlg->resize(640, 520);
    pDlg->reject();
    pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(640, 520));
    pDlg->resize(800, 600);
    const QString strPng = QString::fromStdString(dir / "c.png");
    ASSERT_TRUE(pDlg->SaveImage(strPng));
    EXPECT_EQ(QImage(strPng), pDlg->GetChartWidget()->grab().toImage());
    WriteFileBytes(dir / "older.png", "kept");
    std::filesystem::create_directory(dir / "folder.png");
    EXPECT_FALSE(pDlg->SaveImage(QString::fromStdString(dir / "c.bmp")));
    EXPECT_FALSE(pDlg->SaveImage(QString::fromStdString(dir / "folder.png")));
    QString strError;
    EXPECT_FALSE(CComparisonChart(pDlg->GetComparison()).Save(dir / "older.png", {0, 9}, strError));
    EXPECT_EQ(strError, "0 x 9 is not an image size from 1 to 20000 pixels");
    EXPECT_EQ(ReadFileBytes(dir / "older.png"), "kept");
    EXPECT_EQ(dir.Names(), (Texts{"Vantrel.conf", "c.png", "folder.png", "older.png"}));
    const std::string strNot = "The image could not be saved.\n";
    EXPECT_EQ(m_arrMessages,
              (Texts{"There are no web hosts to compare.",
                     strNot + dir / "c.bmp" + " does not end in .png or .svg.",
                     strNot + "Cannot save " + dir / "folder.png" + ": the path names a folder."}));
}

constexpr int64_t T = 1'800'000'000; // 2027-01-15 08:00:00 UTC
constexpr int64_t NOW = T + 60;

// A test a day from 40 to 3 days ago, then one every 10 minutes for two days: a 40-minute refusal 5
// hours ago, a 503 an hour ago, a time-out at the end; every tenth loses one of its four echoes.
std::vector<CTestRecord> MadeUpHistory(int64_t nId) {
    std::vector<CTestRecord> arrTests;
    auto Up = [&](int64_t t, int nAnswered, int32_t nTotal) {
        return CTestRecord{nId,       t,   true, "", 200, 0,    AF_INET, 4,
                           nAnswered, 200, 10,   50, 150, 2000, nTotal,  T + 10 * 86400 + 3 * 3600};
    };
    for (int nDays = 40; nDays > 2; --nDays)
        arrTests.push_back(Up(T - nDays * 86400 - 3600, 4, 5000));
    for (int k = 288; k > 0; --k) {
        const char* pszDown = (k >= 27 && k <= 30) ? "connection refused"
                              : k == 6             ? "HTTP 503"
                              : k == 1             ? "timed out"
                                                   : nullptr;
        arrTests.push_back(pszDown
                               ? CTestRecord{nId, T - k * 600, false, pszDown, -1, 0, 0, 4, 0,
                                             k == 6 ? 503 : 0, -1, -1, -1, -1, k == 6 ? 5000 : -1}
                               : Up(T - k * 600, k % 10 == 0 ? 3 : 4, 3120));
    }
    return arrTests;
}

// The figures of each range, the outages newest first (from the first down test to the first up
// test), the refusal 5 hours ago shaded, the hour after it not; the range's tests as CSV. The
// command opens the list's host beside its data file and keeps the size. Refusals told.
TEST_F(GraphCommandsTest, HistoryWindowFiguresOutagesCsvAndCommand) {
    CTempDir dir;
    const std::string strPath = dir / "Vantrel.dat.history";
    int64_t nId = 0;
    {
        CHistoryStore store;
        ASSERT_NE(store.Open(strPath), CHistoryStore::EOpen::FAILED) << store.GetLastError();
        nId = store.Attach({{"Acme Web", "http://acme.example/"}}).at(0);
        ASSERT_TRUE(store.WriteCycle(MadeUpHistory(nId))) << store.GetLastError();
    }
    CHistoryDlg dlg(&m_parent);
    ASSERT_TRUE(dlg.Open(strPath, nId, "Acme Web", "http://acme.example/", NOW));
    Texts arrFigures;
    for (int nFigure = 0; nFigure < CHistoryDlg::FIGURE_COUNT; ++nFigure)
        for (int nRange = 0; nRange < CHistoryDlg::RANGE_COUNT; ++nRange)
            arrFigures.push_back(dlg.GetFigure(nFigure, nRange));
    EXPECT_EQ(arrFigures, (Texts{"95.80%", "97.94%", "98.09%", "98.15%", // uptime
                                 "143", "292", "315", "326",             // tests
                                 "6.46% (535/572)", "4.36% (1117/1168)", "4.04% (1209/1260)",
                                 "3.91% (1253/1304)", // loss
                                 "312 ms", "312 ms", "312 ms", "312 ms"}));
    EXPECT_EQ(dlg.GetCertificateText(), "Certificate expires 2027-01-25 11:00 (in 10 days)");
    const Texts arrDay = {
        "2027-01-15 07:50 | still down | 11m 00s | timed out | 2027-01-15 07:40",
        "2027-01-15 07:00 | 2027-01-15 07:10 | 10m 00s | HTTP 503 | 2027-01-15 06:50",
        "2027-01-15 03:00 | 2027-01-15 03:40 | 40m 00s | connection refused | 2027-01-15 02:50"};
    EXPECT_EQ(dlg.GetOutageRows(), arrDay);
    EXPECT_EQ(dlg.GetOutageSummary(), "3 outages, longest 40m 00s, 1h 01m down in all");
    CTimeChart& chart = dlg.GetChart();
    chart.resize(1000, 400);
    QImage image(chart.size(), QImage::Format_RGB32);
    // At the time t, at the height of dMs or just under the plot's top.
    auto ColourAt = [&](int64_t t, double dMs = -1) {
        chart.render(&image);
        const CChartLayout& layout = chart.GetLayout();
        return image.pixelColor(chart.TimeX(t),
                                dMs < 0 ? layout.m_rcPlot.top + 3 : layout.PointY(dMs));
    };
    EXPECT_EQ(ColourAt(T - 17000), CTimeChart::DOWN_SHADE);
    EXPECT_EQ(ColourAt(T - 12000), QColor(Qt::white));
    // The ping line (20 ms) bridges the columns between two tests.
    EXPECT_EQ(ColourAt(T - 12300, 20), QColor(72, 190, 103));
    EXPECT_EQ(ColourAt(T - 3300), CTimeChart::DOWN_SHADE);

    ASSERT_TRUE(dlg.ExportCsv(dir / "out.csv"));
    const std::string strBytes = ReadFileBytes(dir / "out.csv");
    EXPECT_EQ(std::count(strBytes.begin(), strBytes.end(), '\n'), 144); // header, 24 hours
    EXPECT_EQ(strBytes.substr(strBytes.find('\n') + 1, 24), "2027-01-14T08:10:00Z,up,");
    EXPECT_TRUE(strBytes.ends_with("\n2027-01-15T07:50:00Z,down,timed out,,icmp,,4,0,,,,,,,\n"));
    EXPECT_EQ(
        CHistoryCsv::Line({0, T, false, "TLS failure: \"bad\", caf\xE9", -1, PING_METHOD_TCP}),
        "2027-01-15T08:00:00Z,down,\"TLS failure: \"\"bad\"\", caf\xC3\xA9\",,tcp,,0,0,,,,,,,\n");
    dlg.SetRange(CHistoryDlg::RANGE_ALL);
    EXPECT_EQ(dlg.GetOutageRows(), arrDay); // the older days were all up
    EXPECT_EQ(ColourAt(T - 20 * 86400), QColor(Qt::white));
    std::filesystem::create_directory(dir / "folder.csv");
    EXPECT_FALSE(dlg.ExportCsv(dir / "folder.csv"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.csv"));

    WriteFileBytes(dir / "Vantrel.dat", "");
    ASSERT_EQ(m_doc.LoadHosts(dir / "Vantrel.dat").m_eResult, CHostsFile::LOAD_OK);
    AddHost(0);
    for (int nRow : {-1, 1, 0})
        EXPECT_EQ(CHistoryDlg::Prepare(&m_parent, m_doc, nRow, nullptr), nullptr);
    EXPECT_FALSE(dlg.Open(dir / "none.history", 1, "X", "", NOW));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.history"));
    Texts arrFirstLines; // the rest is the system's reason
    for (const std::string& strMessage : m_arrMessages)
        arrFirstLines.push_back(strMessage.substr(0, strMessage.find('\n')));
    EXPECT_EQ(arrFirstLines,
              (Texts{"The history could not be exported.",
                     "Please select a web host to show the history for.",
                     "Please select a web host to show the history for.",
                     "There is no history for this host yet: it is recorded from the host's "
                     "next test on.",
                     "The history cannot be read."}));

    ASSERT_TRUE(m_doc.OpenHistory());
    CSettingsStore settings(dir / "Vantrel.conf");
    CHistoryDlg::SetPlacementStore(&settings);
    auto pDlg = CHistoryDlg::Prepare(&m_parent, m_doc, 0, nullptr);
    ASSERT_NE(pDlg, nullptr);
    EXPECT_EQ(pDlg->windowTitle(), "History of Acme Web - Vantrel");
    pDlg->show();
    pDlg->resize(700, 600);
    pDlg->reject();
    pDlg = CHistoryDlg::Prepare(&m_parent, m_doc, 0, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(700, 600));
    EXPECT_EQ(m_arrMessages.size(), 5u);
}

} // namespace
