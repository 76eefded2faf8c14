// The graph commands: Build Graph and Compare Hosts.
#include "core/host.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/host_graph_dlg.h"
#include "gui_test_support.h"
#include "sample_host_graph.h"
#include "testing/wait_observer.h"
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTemporaryDir>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

// The document's message sink and, counting its calls, the wait dialog of a graph command.
class GraphCommandsTest : public ::testing::Test, public CMessageSink, public CWaitObserver {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void SetUp() override {
        // Records the messages, marked when owned by no window of m_parent.
        const auto fnRecord = [this](QWidget* p, const std::string& str) {
            const bool bOwned = p == &m_parent || (p && p->parentWidget() == &m_parent);
            m_arrMessages.push_back(bOwned ? str : "(not owned) " + str);
        };
        CHostGraphDlg::SetMessageFunction(fnRecord);
        CCompareHostsDlg::SetMessageFunction(fnRecord);
    }
    void TearDown() override {
        CHostGraphDlg::SetMessageFunction({});
        CCompareHostsDlg::SetMessageFunction({});
        CCompareHostsDlg::SetPlacementStore(nullptr);
    }
    void ShowMessage(const std::string&) override {}
    void BeginWait() override { m_strWait += "begin "; }
    void StepWait() override { m_strWait += "step "; }
    void EndWait() override { m_strWait += "end "; }
    void Serve() override {}

    // As the test worker: holds the host's lock for 300 ms, then runs fnLast still holding it.
    // Returns once the lock is taken.
    static std::thread HoldLock(CHost& host, std::function<void()> fnLast) {
        std::promise<void> locked;
        std::future<void> taken = locked.get_future();
        std::thread worker([&host, fnLast, promise = std::move(locked)]() mutable {
            std::lock_guard lock(*host.m_pMutex);
            promise.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            fnLast();
        });
        taken.wait();
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

} // namespace
