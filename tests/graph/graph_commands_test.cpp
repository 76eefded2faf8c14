// The graph commands: Build Graph, Compare Hosts and History.
#include "core/history_store.h"
#include "core/host.h"
#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/history_csv.h"
#include "graph/history_dlg.h"
#include "graph/host_graph_dlg.h"
#include "graph/time_chart.h"
#include "gui_test_support.h"
#include "sample_host_graph.h"
#include "testing/wait_observer.h"
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

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
        const auto fnRecord = [this](QWidget* p, const std::string& str) {
            const bool bOwned = p == &m_parent || (p && p->parentWidget() == &m_parent);
            m_arrMessages.push_back(bOwned ? str : "(not owned) " + str);
        };
        CHostGraphDlg::SetMessageFunction(fnRecord);
        CCompareHostsDlg::SetMessageFunction(fnRecord);
        CHistoryDlg::SetMessageFunction(fnRecord);
    }
    void TearDown() override {
        CHostGraphDlg::SetMessageFunction({});
        CCompareHostsDlg::SetMessageFunction({});
        CHistoryDlg::SetMessageFunction({});
        CCompareHostsDlg::SetPlacementStore(nullptr);
        CHistoryDlg::SetPlacementStore(nullptr);
    }
    void ShowMessage(const std::string&) override {}
    void BeginWait() override { m_strWait += "begin "; }
    void StepWait() override { m_strWait += "step "; }
    void EndWait() override { m_strWait += "end "; }
    void Serve() override {}

    // As the test worker: holds the host's lock for 300 ms, then runs fnLast still holding it.
    // Returns once the lock is taken.
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

// Too few pings are told at once, without the wait dialog, while the worker holds the lock. Else
// at most the 288 newest entries, labelled by how many cycles ago; a label every twelfth.
TEST_F(GraphCommandsTest, GraphOfTheNewestPingsOrAMessage) {
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
    }
}

// Both commands wait for the worker that holds a host's lock, leave the lock free and keep their
// snapshot. The graph's figures; the scale's numbers as tall as the window's own text.
TEST_F(GraphCommandsTest, SnapshotsAfterTheWorkerAndLabelHeight) {
    CHost& host = AddHost(12);
    std::thread worker = HoldLock(host, [&host] {
        for (int nPing = 200; nPing < 208; ++nPing)
            AddPing(host, nPing);
        host.m_nTests = 30, host.m_nTestsUp = 20;
    });
    const auto pDlg = CHostGraphDlg::Prepare(&m_parent, m_doc, 0, this);
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
    const CHostComparison::SHost& figures = pCompare->GetComparison().GetHosts()[0];
    EXPECT_EQ(std::tuple(figures.arrRecent.size(), figures.arrRecent.back(), figures.nMax,
                         figures.nTests),
              std::tuple(size_t{21}, 999u, 999u, 31));
    QStringList arrTexts;
    for (QLabel* pLabel : pDlg->findChildren<QLabel*>())
        arrTexts << pLabel->text();
    EXPECT_TRUE(arrTexts.contains("144.7 ms") && arrTexts.contains("66.7%"))
        << qPrintable(arrTexts.join("|"));
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
// "Save Image..." writes the charts at the window's size, a refusal told.
TEST_F(GraphCommandsTest, CompareKeepsItsSizeAndSavesItsImage) {
    EXPECT_EQ(CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr), nullptr);
    AddSampleHosts(m_doc, 3, 20);
    QTemporaryDir dir;
    CSettingsStore store(dir.filePath("Vantrel.conf").toStdString());
    CCompareHostsDlg::SetPlacementStore(&store);
    auto pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(900, 700));
    pDlg->resize(640, 520);
    pDlg->reject();
    pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(640, 520));
    pDlg->resize(800, 600);
    ASSERT_TRUE(pDlg->SaveImage(dir.filePath("c.png")));
    EXPECT_EQ(QImage(dir.filePath("c.png")), pDlg->GetChartWidget()->grab().toImage());
    EXPECT_FALSE(pDlg->SaveImage(dir.filePath("c.bmp")));
    EXPECT_EQ(m_arrMessages,
              (Texts{"There are no web hosts to compare.", "The image could not be saved.\n" +
                                                               dir.filePath("c.bmp").toStdString() +
                                                               " does not end in .png or .svg."}));
}

constexpr int64_t T = 1'800'000'000; // 2027-01-15 08:00:00 UTC
constexpr int64_t NOW = T + 60;

// A test a day from 40 to 3 days ago, then one every 10 minutes for two days with a 40-minute
// refusal 5 hours ago, one 503 an hour ago and a time-out at the end. Every tenth recent test
// loses one of its four echoes.
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

class HistoryDlgTest : public GraphCommandsTest {
protected:
    void SetUp() override {
        GraphCommandsTest::SetUp();
        CHistoryStore store;
        ASSERT_NE(store.Open(m_strPath), CHistoryStore::EOpen::FAILED) << store.GetLastError();
        m_nHostId = store.Attach({{"Alpha", "https://alpha.example/"}}).at(0);
        ASSERT_TRUE(store.WriteCycle(MadeUpHistory(m_nHostId))) << store.GetLastError();
        ASSERT_TRUE(m_dlg.Open(m_strPath, m_nHostId, "Alpha", "https://alpha.example/", NOW));
    }

    CTempDir m_dir;
    std::string m_strPath = m_dir / "Vantrel.dat.history";
    int64_t m_nHostId = 0;
    CHistoryDlg m_dlg{&m_parent};
};

// The figures of each range, the outages newest first (from the first down test to the first up
// test), and the refusal 5 hours ago shaded where its time falls, the hour after it not.
TEST_F(HistoryDlgTest, ShowsOutagesUptimeLossCertificateAndShading) {
    Texts arrFigures;
    for (int nFigure = 0; nFigure < CHistoryDlg::FIGURE_COUNT; ++nFigure)
        for (int nRange = 0; nRange < CHistoryDlg::RANGE_COUNT; ++nRange)
            arrFigures.push_back(m_dlg.GetFigure(nFigure, nRange));
    EXPECT_EQ(arrFigures, (Texts{"95.80%", "97.94%", "98.09%", "98.15%", // uptime
                                 "143", "292", "315", "326",             // tests
                                 "6.46% (535/572)", "4.36% (1117/1168)", "4.04% (1209/1260)",
                                 "3.91% (1253/1304)", // loss
                                 "312 ms", "312 ms", "312 ms", "312 ms"}));
    EXPECT_EQ(m_dlg.GetCertificateText(), "Certificate expires 2027-01-25 11:00 (in 10 days)");
    const Texts arrDay = {
        "2027-01-15 07:50 | still down | 11m 00s | timed out | 2027-01-15 07:40",
        "2027-01-15 07:00 | 2027-01-15 07:10 | 10m 00s | HTTP 503 | 2027-01-15 06:50",
        "2027-01-15 03:00 | 2027-01-15 03:40 | 40m 00s | connection refused | 2027-01-15 02:50"};
    EXPECT_EQ(m_dlg.GetOutageRows(), arrDay);
    EXPECT_EQ(m_dlg.GetOutageSummary(), "3 outages, longest 40m 00s, 1h 01m down in all");
    CTimeChart& chart = m_dlg.GetChart();
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
    for (int nRange : {CHistoryDlg::RANGE_WEEK, CHistoryDlg::RANGE_ALL}) {
        m_dlg.SetRange(nRange);
        EXPECT_EQ(m_dlg.GetOutageRows(), arrDay) << nRange; // the older days were all up
    }
    EXPECT_EQ(ColourAt(T - 20 * 86400), QColor(Qt::white));
    EXPECT_EQ(m_arrMessages, Texts{});
}

// The range's tests as CSV, a quoted reason. The command opens the list's host beside its data
// file and keeps the size. What is missing or in the way is told; nothing is written.
TEST_F(HistoryDlgTest, ExportsCsvAndOpensTheListsHostOrTellsWhatIsMissing) {
    ASSERT_TRUE(m_dlg.ExportCsv(m_dir / "out.csv"));
    const std::string strBytes = ReadFileBytes(m_dir / "out.csv");
    EXPECT_EQ(std::count(strBytes.begin(), strBytes.end(), '\n'), 144); // header, 24 hours
    EXPECT_EQ(strBytes.substr(strBytes.find('\n') + 1, 24), "2027-01-14T08:10:00Z,up,");
    EXPECT_TRUE(strBytes.ends_with("\n2027-01-15T07:50:00Z,down,timed out,,icmp,,4,0,,,,,,,\n"));
    CTestRecord test{0, T, false, "TLS failure: \"bad\", caf\xE9", -1, PING_METHOD_TCP};
    EXPECT_EQ(
        CHistoryCsv::Line(test),
        "2027-01-15T08:00:00Z,down,\"TLS failure: \"\"bad\"\", caf\xC3\xA9\",,tcp,,0,0,,,,,,,\n");
    std::filesystem::create_directory(m_dir / "folder.csv");
    EXPECT_FALSE(m_dlg.ExportCsv(m_dir / "folder.csv"));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir / "folder.csv"));

    WriteFileBytes(m_dir / "Vantrel.dat", "");
    ASSERT_EQ(m_doc.LoadHosts(m_dir / "Vantrel.dat").m_eResult, CHostsFile::LOAD_OK);
    auto* pHost = new CHost;
    pHost->m_strName = "Alpha";
    m_doc.AddHost(pHost);
    for (int nRow : {-1, 1, 0})
        EXPECT_EQ(CHistoryDlg::Prepare(&m_parent, m_doc, nRow, nullptr), nullptr);
    EXPECT_FALSE(m_dlg.Open(m_dir / "none.history", 1, "X", "", NOW));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "none.history"));
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
    CSettingsStore settings(m_dir / "Vantrel.conf");
    CHistoryDlg::SetPlacementStore(&settings);
    for (QSize size : {QSize(700, 600), QSize()}) {
        auto pDlg = CHistoryDlg::Prepare(&m_parent, m_doc, 0, nullptr);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->windowTitle(), "History of Alpha - Vantrel");
        pDlg->show();
        if (size.isValid())
            pDlg->resize(size), pDlg->reject();
        else
            EXPECT_EQ(pDlg->size(), QSize(700, 600));
    }
    EXPECT_EQ(m_arrMessages.size(), 5u);
}

} // namespace
