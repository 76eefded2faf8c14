#include "graph/host_graph_dlg.h"

#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "gui_app.h"
#include "sample_host_graph.h"
#include "testing/wait_observer.h"
#include "ui/styled_label.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

const std::string NOT_ENOUGH_DATA_5 =
    "There is not enough data collected to build the graph.\n"
    "For the accurate building of the graph please wait till\n"
    "at least 12 test cycles complete ( test cycle is set to 5 min now ).";

class CNoSink : public CMessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

class CRecordingObserver : public CWaitObserver {
public:
    void BeginWait() override { m_arrEvents.push_back("begin"); }
    void StepWait() override { m_arrEvents.push_back("step"); }
    void EndWait() override { m_arrEvents.push_back("end"); }
    void Serve() override { ++m_nServes; }

    std::vector<std::string> m_arrEvents;
    int m_nServes = 0;
};

class HostGraphTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GuiApp(); }

    void SetUp() override {
        CHostGraphDlg::SetMessageFunction([this](QWidget* pOwner, const std::string& strText) {
            m_arrMessages.push_back(strText);
            m_pMessageOwner = pOwner;
        });
    }
    void TearDown() override { CHostGraphDlg::SetMessageFunction({}); }

    // A host whose history holds nPings times: 100, 101, 102, ...
    CHost& AddHost(int nPings) {
        auto* pHost = new CHost;
        pHost->m_strName = "Acme Web";
        pHost->m_strTestURL = "http://acme.example/";
        for (int i = 0; i < nPings; ++i)
            AddPing(*pHost, static_cast<uint32_t>(100 + i));
        pHost->m_nTests = nPings;
        pHost->m_nTestsUp = nPings;
        m_doc.m_arrHosts.push_back(pHost);
        return *pHost;
    }

    static void AddPing(CHost& host, uint32_t nPing) {
        host.m_pPingHistory->push_back(nPing);
        host.m_nPingTotal += static_cast<int32_t>(nPing);
    }

    std::unique_ptr<CHostGraphDlg> Prepare(int nRow, CWaitObserver* pObserver = nullptr) {
        return CHostGraphDlg::Prepare(&m_parent, m_doc, nRow, pObserver);
    }

    static std::vector<std::string> Labels(CChartCtrl& chart) {
        std::vector<std::string> arrLabels;
        std::string strLabel;
        for (int i = 0; chart.GetXLabel(i, strLabel); ++i)
            arrLabels.push_back(strLabel);
        return arrLabels;
    }

    static std::vector<double> Points(CChartCtrl& chart) {
        std::vector<double> arrPoints;
        double dValue = 0;
        for (int i = 0; chart.GetPoint(0, i, dValue); ++i)
            arrPoints.push_back(dValue);
        return arrPoints;
    }

    QWidget m_parent;
    CNoSink m_sink;
    CVantrelDoc m_doc{m_sink, nullptr};
    std::vector<std::string> m_arrMessages;
    QWidget* m_pMessageOwner = nullptr;
};

} // namespace

TEST_F(HostGraphTest, NoSelectedHost) {
    AddHost(20);
    for (int nRow : {-1, 1, 7}) {
        m_arrMessages.clear();
        EXPECT_EQ(Prepare(nRow), nullptr) << nRow;
        EXPECT_EQ(m_arrMessages,
                  std::vector<std::string>{"Please select a web host to build the graph for."});
        EXPECT_EQ(m_pMessageOwner, &m_parent);
    }
}

TEST_F(HostGraphTest, NotEnoughDataNamesTheInterval) {
    AddHost(11);
    AddHost(0);
    EXPECT_EQ(Prepare(0), nullptr);
    EXPECT_EQ(m_arrMessages, std::vector<std::string>{NOT_ENOUGH_DATA_5});

    m_arrMessages.clear();
    m_doc.m_nIntervalMinutes = 30;
    EXPECT_EQ(Prepare(1), nullptr);
    ASSERT_EQ(m_arrMessages.size(), 1u);
    EXPECT_EQ(m_arrMessages[0], "There is not enough data collected to build the graph.\n"
                                "For the accurate building of the graph please wait till\n"
                                "at least 12 test cycles complete ( test cycle is set to 30 "
                                "min now ).");
}

TEST_F(HostGraphTest, TwelveEntriesAreAllPlottedAndLabelled) {
    AddHost(12);
    std::unique_ptr<CHostGraphDlg> pDlg = Prepare(0);
    ASSERT_NE(pDlg, nullptr);
    EXPECT_TRUE(m_arrMessages.empty());
    CChartCtrl& chart = pDlg->GetChart();
    EXPECT_EQ(Points(chart),
              (std::vector<double>{100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111}));
    EXPECT_EQ(Labels(chart), (std::vector<std::string>{"12", "11", "10", "9", "8", "7", "6", "5",
                                                       "4", "3", "2", "1"}));
    EXPECT_EQ(chart.GetXLabelStep(), 1);
}

TEST_F(HostGraphTest, OnlyThe288NewestEntriesArePlotted) {
    AddHost(300);
    std::unique_ptr<CHostGraphDlg> pDlg = Prepare(0);
    ASSERT_NE(pDlg, nullptr);
    CChartCtrl& chart = pDlg->GetChart();
    const std::vector<double> arrPoints = Points(chart);
    ASSERT_EQ(arrPoints.size(), 288u);
    EXPECT_EQ(arrPoints.front(), 112.0); // entry 12
    EXPECT_EQ(arrPoints.back(), 399.0);  // entry 299
    const std::vector<std::string> arrLabels = Labels(chart);
    ASSERT_EQ(arrLabels.size(), 288u);
    EXPECT_EQ(arrLabels.front(), "288");
    EXPECT_EQ(arrLabels[24], "264");
    EXPECT_EQ(arrLabels.back(), "1");
    EXPECT_EQ(chart.GetXLabelStep(), 24);
    // The whole history stays in the snapshot.
    EXPECT_EQ(pDlg->GetHistory().size(), 300u);

    // Labels at slots 0, 24, 48, ...: "288" from x 45, "264" from 45 + trunc(24 * 362 / 288)
    // = 75, nothing between them.
    const QImage image = chart.grab().toImage();
    EXPECT_TRUE(HasInk(image, 45, 195, 52, 206));
    EXPECT_TRUE(HasInk(image, 75, 195, 82, 206));
    EXPECT_FALSE(HasInk(image, 66, 195, 74, 206));
}

TEST_F(HostGraphTest, LabelStepIsThePlottedEntriesDividedByTwelve) {
    for (auto [nPings, nStep] :
         {std::pair{23, 1}, {24, 2}, {100, 8}, {287, 23}, {288, 24}, {289, 24}, {5000, 24}}) {
        AddHost(nPings);
        std::unique_ptr<CHostGraphDlg> pDlg =
            Prepare(static_cast<int>(m_doc.m_arrHosts.size()) - 1);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(pDlg->GetChart().GetXLabelStep(), nStep) << nPings;
        EXPECT_EQ(Labels(pDlg->GetChart()).front(), std::to_string(std::min(nPings, 288)));
    }
}

TEST_F(HostGraphTest, TextsColoursAndTitles) {
    CHost& host = AddHost(12);
    host.m_nTests = 3;
    host.m_nTestsUp = 2;
    host.m_nPingTotal = 12 * 100 + 66 + 5; // mean 105.916...
    std::unique_ptr<CHostGraphDlg> pDlg = Prepare(0);
    ASSERT_NE(pDlg, nullptr);
    EXPECT_EQ(pDlg->GetAvgUptimeText(), "66.7%");
    EXPECT_EQ(pDlg->GetAvgPingText(), "105.9 ms");
    EXPECT_EQ(pDlg->GetHostName(), "Acme Web");
    EXPECT_EQ(pDlg->GetTestURL(), "http://acme.example/");
    EXPECT_EQ(pDlg->windowTitle(), "Vantrel");

    CChartCtrl& chart = pDlg->GetChart();
    int nType = 0, nSize = 0;
    QColor color;
    chart.GetSeriesType(0, nType);
    chart.GetSeriesSize(0, nSize);
    chart.GetSeriesColor(0, color);
    EXPECT_EQ(nType, CChartSeries::TYPE_AREA);
    EXPECT_EQ(nSize, 1);
    EXPECT_EQ(color, QColor(72, 190, 103));
    EXPECT_EQ(chart.GetBackgroundColor(), QColor(255, 255, 255));
    EXPECT_EQ(chart.GetYDivisions(), 10);
    EXPECT_EQ(chart.GetTitle(), "Acme Web - http://acme.example/");
    EXPECT_EQ(chart.GetYAxisTitle(), "Ping Time");
    EXPECT_EQ(chart.GetXAxisTitle(), "Test Cycles Ago");
    EXPECT_EQ(chart.size(), QSize(412, 227)); // 275 x 140 dialog units

    std::map<QString, QLabel*> mapLabels;
    for (QLabel* pLabel : pDlg->findChildren<QLabel*>())
        mapLabels[pLabel->text()] = pLabel;
    for (const char* pszText :
         {"Testing Graph", "Below outlines the uptime and connection speed for the host.",
          "Avg. Uptime", "Avg. Ping", "66.7%", "105.9 ms"})
        EXPECT_EQ(mapLabels.count(pszText), 1u) << pszText;
    const QFont title = mapLabels["Testing Graph"]->font();
    EXPECT_EQ(title.family(), "Verdana");
    EXPECT_EQ(title.pixelSize(), 20);
    EXPECT_NE(qobject_cast<CStyledLabel*>(mapLabels["66.7%"]), nullptr);
    EXPECT_EQ(mapLabels["66.7%"]->alignment(), Qt::AlignCenter);
    EXPECT_EQ(mapLabels["105.9 ms"]->frameShadow(), QFrame::Sunken);
}

TEST_F(HostGraphTest, TheSnapshotDoesNotFollowTheHost) {
    CHost& host = AddHost(12);
    std::unique_ptr<CHostGraphDlg> pDlg = Prepare(0);
    ASSERT_NE(pDlg, nullptr);
    AddPing(host, 999);
    host.m_nTests = 40;
    host.m_strName = "Renamed";
    EXPECT_EQ(pDlg->GetHistory().size(), 12u);
    EXPECT_EQ(Points(pDlg->GetChart()).size(), 12u);
    EXPECT_EQ(pDlg->GetAvgUptimeText(), "100.0%");
    EXPECT_EQ(pDlg->GetHostName(), "Acme Web");
}

TEST_F(HostGraphTest, WaitsForTheWorkerHoldingTheLock) {
    CHost& host = AddHost(4);
    CRecordingObserver observer;

    // Uncontended: no wait dialog.
    m_arrMessages.clear();
    EXPECT_EQ(Prepare(0, &observer), nullptr);
    EXPECT_TRUE(observer.m_arrEvents.empty());

    // The "worker" holds the lock while it records eight more pings; the snapshot sees them
    // all, so the graph now has its twelve points.
    std::promise<void> locked;
    std::atomic<bool> bReleased{false};
    std::thread worker([&] {
        std::lock_guard lock(*host.m_pMutex);
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        for (uint32_t nPing = 200; nPing < 208; ++nPing)
            AddPing(host, nPing);
        host.m_nTests = 12;
        host.m_nTestsUp = 9;
        bReleased = true;
    });
    locked.get_future().wait();
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<CHostGraphDlg> pDlg = Prepare(0, &observer);
    const auto waited = std::chrono::steady_clock::now() - start;
    worker.join();

    ASSERT_NE(pDlg, nullptr);
    EXPECT_TRUE(bReleased);
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_EQ(observer.m_arrEvents, (std::vector<std::string>{"begin", "end"}));
    EXPECT_GT(observer.m_nServes, 0);
    EXPECT_EQ(pDlg->GetHistory().size(), 12u);
    EXPECT_EQ(pDlg->GetHistory().back(), 207u);
    EXPECT_EQ(pDlg->GetAvgUptimeText(), "75.0%");
    EXPECT_EQ(Labels(pDlg->GetChart()).front(), "12");
    // The lock was given back.
    ASSERT_TRUE(host.m_pMutex->try_lock());
    host.m_pMutex->unlock();
}

TEST_F(HostGraphTest, TheCommandShowsTheDialogModally) {
    AddHost(30);
    CHostGraphDlg* pShown = nullptr;
    QTimer::singleShot(0, [&] {
        pShown = qobject_cast<CHostGraphDlg*>(QApplication::activeModalWidget());
        if (pShown)
            pShown->accept();
    });
    CHostGraphDlg::ShowForHost(&m_parent, m_doc, 0, nullptr);
    ASSERT_NE(pShown, nullptr);
    EXPECT_TRUE(m_arrMessages.empty());

    // Without a selection only the message comes up.
    CHostGraphDlg::ShowForHost(&m_parent, m_doc, -1, nullptr);
    EXPECT_EQ(m_arrMessages.size(), 1u);
}

TEST_F(HostGraphTest, SamplePictureShowsTheChart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath("graph.png");
    ASSERT_TRUE(WriteSampleGraphPng(strPath));
    const QImage image(strPath);
    ASSERT_EQ(image.size(), QSize(543, 367));
    // The chart sits at 10, 71 (7, 44 dialog units): its frame, and the green area inside.
    EXPECT_EQ(PixelAt(image, 10, 71), QColor(0, 0, 0));
    int nGreen = 0;
    for (int y = 71; y < 71 + 227; ++y)
        for (int x = 10; x < 10 + 412; ++x)
            nGreen += PixelAt(image, x, y) == QColor(72, 190, 103);
    EXPECT_GT(nGreen, 412 * 227 / 4);
    EXPECT_FALSE(WriteSampleGraphPng(dir.filePath("missing/graph.png")));
}
