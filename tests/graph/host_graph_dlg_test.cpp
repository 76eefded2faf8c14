#include "graph/host_graph_dlg.h"

#include "assistant/gui_test_app.h"
#include "core/host.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "testing/gui_thread_fakes.h"
#include "ui/styled_label.h"

#include <gtest/gtest.h>

namespace {

class HostGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GuiTestApp(); }
    void SetUp() override {
        CHostGraphDlg::SetMessageFunction([this](QWidget* pOwner, const std::string& strText) {
            m_arrMessages.push_back(pOwner == &m_parent ? strText : "(not owned) " + strText);
        });
    }
    void TearDown() override { CHostGraphDlg::SetMessageFunction({}); }

    // A host "Acme Web" with nPings ping times 100, 101, 102, ... and as many tests, all up.
    CHost& AddHost(int nPings) {
        CHost& host = *m_doc.m_arrHosts.emplace_back(new CHost);
        host.m_strName = "Acme Web", host.m_strTestURL = "http://acme.example/";
        for (int i = 0; i < nPings; ++i)
            AddPing(host, 100 + i);
        host.m_nTests = host.m_nTestsUp = nPings;
        return host;
    }
    static void AddPing(CHost& host, int nPing) {
        host.m_pPingHistory->push_back(static_cast<uint32_t>(nPing));
        host.m_nPingTotal += nPing;
    }
    std::unique_ptr<CHostGraphDlg> Prepare(int nRow, CWaitObserver* pObserver = nullptr) {
        return CHostGraphDlg::Prepare(&m_parent, m_doc, nRow, pObserver);
    }

    QWidget m_parent;
    CQueuedMessages m_ui; // the user-interface thread: the worker's boxes, the wait dialog
    CVantrelDoc m_doc{m_ui, nullptr};
    std::vector<std::string> m_arrMessages;
};

TEST_F(HostGraphTest, MessagesInsteadOfAGraph) {
    AddHost(11);
    AddHost(0);
    const std::string strNone = "Please select a web host to build the graph for.";
    const std::string strFew = "There is not enough data collected to build the graph.\n"
                               "For the accurate building of the graph please wait till\n"
                               "at least 12 test cycles complete ( test cycle is set to ";
    for (auto [nRow, nMinutes, strText] :
         {std::tuple(-1, 5, strNone), std::tuple(2, 5, strNone),
          std::tuple(0, 5, strFew + "5 min now )."), std::tuple(1, 30, strFew + "30 min now ).")}) {
        m_arrMessages.clear();
        m_doc.m_nIntervalMinutes = nMinutes;
        EXPECT_EQ(Prepare(nRow), nullptr);
        EXPECT_EQ(m_arrMessages, std::vector<std::string>{strText}) << nRow;
    }
}

// At most the 288 newest entries, labelled by how many cycles ago; a label every twelfth.
TEST_F(HostGraphTest, PointsLabelsAndLabelStep) {
    const std::pair<int, int> arrCases[] = {{12, 1},   {23, 1},   {24, 2},   {100, 8},
                                            {287, 23}, {288, 24}, {289, 24}, {300, 24}};
    for (auto [nPings, nStep] : arrCases) {
        SCOPED_TRACE(nPings);
        AddHost(nPings);
        const auto pDlg = Prepare(static_cast<int>(m_doc.m_arrHosts.size()) - 1);
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
        EXPECT_EQ(pDlg->GetHistory().size(), static_cast<size_t>(nPings));
    }
    EXPECT_TRUE(m_arrMessages.empty());
}

TEST_F(HostGraphTest, TextsColoursAndTitles) {
    CHost& host = AddHost(12);
    host.m_nTests = 3, host.m_nTestsUp = 2;
    host.m_nPingTotal = 12 * 100 + 66 + 5; // mean 105.916...
    const auto pDlg = Prepare(0);
    ASSERT_NE(pDlg, nullptr);
    EXPECT_EQ(pDlg->windowTitle(), "Vantrel");
    CChartCtrl& chart = pDlg->GetChart();
    int nType = 0, nSize = 0;
    QColor color;
    chart.GetSeriesType(0, nType), chart.GetSeriesSize(0, nSize), chart.GetSeriesColor(0, color);
    EXPECT_EQ(std::tuple(nType, nSize, color, chart.GetBackgroundColor(), chart.GetYDivisions()),
              std::tuple(CChartSeries::TYPE_AREA, 1, QColor(72, 190, 103), QColor(Qt::white), 10));
    EXPECT_EQ(chart.GetTitle() + "|" + chart.GetYAxisTitle() + "|" + chart.GetXAxisTitle(),
              "Acme Web - http://acme.example/|Ping Time|Test Cycles Ago");
    EXPECT_EQ(chart.size(), QSize(412, 227)); // 275 x 140 dialog units
    std::map<QString, QLabel*> mapLabels;
    for (QLabel* pLabel : pDlg->findChildren<QLabel*>())
        mapLabels[pLabel->text()] = pLabel;
    for (const char* pszText :
         {"Testing Graph", "Below outlines the uptime and connection speed for the host.",
          "Avg. Uptime", "Avg. Ping", "66.7%", "105.9 ms"})
        EXPECT_EQ(mapLabels.count(pszText), 1u) << pszText;
    const QFont title = mapLabels["Testing Graph"]->font();
    EXPECT_EQ(std::pair(title.family(), title.pixelSize()), std::pair(QString("Verdana"), 20));
    EXPECT_NE(qobject_cast<CStyledLabel*>(mapLabels["66.7%"]), nullptr);
    EXPECT_EQ(mapLabels["105.9 ms"]->frameShadow(), QFrame::Sunken);
}

// The worker holds the host's lock while its message box waits for the user, then records eight
// more pings: the command shows the wait dialog, serves the box, and its snapshot holds all
// twelve; later changes do not reach the dialog.
TEST_F(HostGraphTest, SnapshotWaitsForTheWorkerAndServesItsBox) {
    CHost& host = AddHost(4);
    std::atomic<bool> bLocked{false};
    std::thread worker([&] {
        std::lock_guard lock(*host.m_pMutex);
        bLocked = true;
        m_ui.ShowMessage("Host is down");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int nPing = 200; nPing < 208; ++nPing)
            AddPing(host, nPing);
        host.m_nTests = 12, host.m_nTestsUp = 9;
    });
    while (!bLocked)
        std::this_thread::yield();
    const auto pDlg = [&] {
        const CWatchdog watchdog(std::chrono::seconds(20), "the graph's snapshot");
        return Prepare(0, &m_ui);
    }();
    worker.join();
    ASSERT_NE(pDlg, nullptr);
    EXPECT_EQ(std::pair(m_ui.m_nBegin.load(), m_ui.m_nEnd.load()), std::pair(1, 1));
    EXPECT_EQ(m_ui.GetShown(), std::vector<std::string>{"Host is down"});
    AddPing(host, 999);
    host.m_strName = "Renamed";
    EXPECT_EQ(pDlg->GetHistory().size(), 12u);
    EXPECT_EQ(pDlg->GetHistory().back(), 207u);
    EXPECT_EQ(pDlg->GetAvgUptimeText(), "75.0%");
    EXPECT_EQ(pDlg->GetChart().GetTitle(), "Acme Web - http://acme.example/");
    std::thread([&] { // the lock is recursive: only another thread sees it left taken
        const bool bFree = host.m_pMutex->try_lock();
        EXPECT_TRUE(bFree);
        if (bFree)
            host.m_pMutex->unlock();
    })
        .join();
}

} // namespace
