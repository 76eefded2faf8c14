#include "core/host.h"
#include "core/hosts_file.h"
#include "core/test_control.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "graph/compare_hosts_dlg.h"
#include "gui_test_support.h"
#include "testing/engine_fakes.h"
#include "ui/vantrel_view.h"
#include "widgets/message_box_queue.h"
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

using Marks = std::vector<int>;

class VantrelViewTest : public ::testing::Test, public CTestControl {
protected:
    void StartTests(CVantrelDoc&) override { m_arrCalls.push_back("start"); }
    void StopTests(CVantrelDoc&) override { m_arrCalls.push_back("stop"); }
    bool IsConnected() override { return m_bConnected; }

    CHost& Add(const std::string& strName, int nTesting = 0, int nState = HOST_UNKNOWN) {
        auto* pHost = new CHost;
        pHost->m_strName = strName;
        pHost->m_strTestURL = "http://example.com/";
        pHost->m_bTesting = nTesting;
        pHost->m_nState = nState;
        m_doc.AddHost(pHost);
        return *pHost;
    }
    void ShowView(int nHosts = 0) {
        for (int i = 0; i < nHosts; ++i)
            Add(std::string(1, char('A' + i)));
        m_view.resize(800, 400);
        m_view.show();
        m_view.OnInitialUpdate(m_doc);
        QObject::connect(&m_view, &CVantrelView::CommandMessage,
                         [this](const QString& str) { m_arrNotes << str; });
        QCoreApplication::processEvents();
    }
    // A click, or the events of a double-click, at x on the row.
    void Click(int nRow, int nX, bool bDouble = false) {
        const QPoint pos(nX, m_view.visualRect(m_view.GetModel()->index(nRow, 1)).center().y());
        QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, pos);
        if (bDouble) {
            QTest::mouseDClick(m_view.viewport(), Qt::LeftButton, {}, pos);
            QTest::mouseRelease(m_view.viewport(), Qt::LeftButton, {}, pos);
        }
    }
    // Per row, from the list and the store: "name tick box-image testing status".
    QStringList Rows() {
        QStringList rows;
        EXPECT_EQ(m_view.GetModel()->rowCount(), int(m_doc.m_arrHosts.size()));
        for (int i = 0; i < m_view.GetModel()->rowCount(); ++i)
            rows << QStringList{m_view.GetItemText(i, 1), QString::number(m_view.m_arrMarked[i]),
                                QString::number(m_view.GetStateImage(i)),
                                QString::number(m_doc.m_arrHosts[i]->m_bTesting),
                                m_view.GetItemText(i, 3)}
                        .join(' ');
        return rows;
    }

    // Cancels the windows that commands open (boxes aside) while it runs, noting their titles,
    // or for the comparison the hosts it compares.
    QTimer m_rejecter;
    QStringList m_arrRejected;
    QMetaObject::Connection m_connection = QObject::connect(&m_rejecter, &QTimer::timeout, [this] {
        auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!pDialog || qobject_cast<QMessageBox*>(pDialog))
            return;
        QStringList arrNames{pDialog->windowTitle()};
        if (auto* pCompare = qobject_cast<CCompareHostsDlg*>(pDialog))
            for (const CHostComparison::SHost& host : pCompare->GetComparison().GetHosts())
                arrNames.append(QString::fromLatin1(host.strName));
        m_arrRejected << arrNames.join(','), pDialog->reject();
    });
    std::vector<std::string> m_arrCalls;
    QStringList m_arrNotes; // the status bar's
    bool m_bConnected = true;
    CMessageBoxQueue m_queue;
    CVantrelDoc m_doc{m_queue, this};
    QApplication& m_app = EnsureApp(); // before the first widget
    CVantrelView m_view;
};

// The figures per column; the status tooltip names the last result and the last column the
// median response.
TEST_F(VantrelViewTest, RowsShowTheFiguresTheLastTestAndTheMedianResponse) {
    Add("Caf\xE9 Hosting").m_strTestURL = "http://caf\xE9.example.com/";
    CHost& up = Add("Up", 1, HOST_UP);
    up.m_nTests = 4, up.m_nTestsUp = 3, up.m_nSecondsTested = 90061, up.m_nPingTotal = 25;
    up.m_pPingHistory->assign({10, 15});
    CHost& down = Add("Down", 1, HOST_DOWN);
    down.m_nTests = 3, down.m_nSecondsTested = 59;
    Add("Stopped", 0, HOST_UP); // no longer tested: the old state is not shown
    const struct {
        bool bUp;
        const char* pszReason;
        int nHttp, nFirstByte, nPing, nMedian;
        const char *pszTip, *pszResponse;
    } arrCases[] = {
        {false, "certificate has expired", 0, -1, -1, 3120, "Down: certificate has expired",
         "312 ms"},
        {true, "", 200, 3120, 155, 3124, "Up: HTTP 200, first byte 312 ms", "312 ms"},
        {true, "", 200, 42, 155, 99, "Up: HTTP 200, first byte 4.2 ms", "9.9 ms"},
        {true, "", 0, -1, 155, -1, "Up: ping 16 ms", "-"},
        {true, "answers 404: check the test URL", 404, 1234, -1, 100,
         "Up: HTTP 404, first byte 123 ms, answers 404: check the test URL", "10 ms"},
        {false, "TLS failure: <b>bad</b>", 0, -1, -1, -1,
         "<p>Down: TLS failure: &lt;b&gt;bad&lt;/b&gt;</p>", "-"},
        {false, nullptr, 0, -1, -1, 0, "", "0.0 ms"}, // never tested
    };
    for (const auto& c : arrCases) {
        CHost& host = Add("H", 1, c.pszReason ? (c.bUp ? HOST_UP : HOST_DOWN) : HOST_UNKNOWN);
        host.m_nMedianResponseTenths = c.nMedian;
        if (c.pszReason)
            host.m_lastTest = {.tWhen = 1'800'000'000,
                               .bUp = c.bUp,
                               .strReason = c.pszReason,
                               .nPingTenths = c.nPing,
                               .nHttpStatus = c.nHttp,
                               .nFirstByteTenths = c.nFirstByte};
    }
    ShowView();
    QStringList rows; // the headers, then the rows: column texts joined by '|'
    for (int nRow = -1; nRow < 4; ++nRow) {
        QStringList texts;
        for (int i = 0; i < CVantrelView::COLUMN_COUNT; ++i)
            texts << (nRow < 0 ? m_view.GetModel()->headerData(i, Qt::Horizontal).toString()
                               : m_view.GetItemText(nRow, i));
        rows << texts.join('|');
    }
    EXPECT_EQ(rows, (QStringList{
                        " |Hosting Company|Test URL|Status|Time Tested|Uptime %|Ping RTT|Response",
                        QString::fromLatin1("|Caf\xE9 Hosting|http://caf\xE9.example.com/|"
                                            "Not Testing|0d 0h 0m|100.0%|- ms|-"),
                        "|Up|http://example.com/|Testing - Up|1d 1h 1m|75.0%|12.5 ms|-",
                        "|Down|http://example.com/|Testing - Down|0d 0h 0m|0.0%|- ms|-",
                        "|Stopped|http://example.com/|Not Testing|0d 0h 0m|100.0%|- ms|-"}));
    for (int nRow = 4; nRow < m_view.GetModel()->rowCount(); ++nRow) {
        EXPECT_EQ(m_view.GetModel()->index(nRow, 3).data(Qt::ToolTipRole).toString(),
                  arrCases[nRow - 4].pszTip);
        EXPECT_EQ(m_view.GetItemText(nRow, 7), arrCases[nRow - 4].pszResponse);
    }
}

// The box ticks without selecting, Space the selected row; a double-click ticks once on the box
// and on the row opens the assistant, whose Cancel leaves the list, record, lock and worker.
TEST_F(VantrelViewTest, TicksByClickSpaceAndDoubleClickAndTheRowOpensTheAssistant) {
    ShowView(3);
    m_view.setFocus();
    Click(1, 10);
    EXPECT_EQ(m_view.GetSelectedRow(), -1);
    QTest::keyClick(&m_view, Qt::Key_Space); // nothing selected: nothing happens
    Click(2, 200);
    QTest::keyClick(&m_view, Qt::Key_Space);
    CBoxAnswerer answerer;
    m_rejecter.start(20);
    Click(0, 10, true);
    Click(0, 200, true);
    EXPECT_EQ(m_arrRejected, QStringList{"Modify Host Assistant - Vantrel"});
    EXPECT_EQ(Rows(),
              (QStringList{"A 1 2 0 Not Testing", "B 1 2 0 Not Testing", "C 1 2 0 Not Testing"}));
    EXPECT_FALSE(IsHeldByAnyone(*m_doc.m_arrHosts[0]->m_pMutex));
    EXPECT_TRUE(m_arrCalls.empty() && answerer.m_arrSeen.empty());
}

// Ticked hosts, else the selected one, else a note; starting clears the ticks, comparing and a
// cancelled report keep them.
TEST_F(VantrelViewTest, EveryCommandActsOnTheTickedHostsOrElseTheSelectedOne) {
    ShowView(4);
    m_rejecter.start(10);
    auto Names = [&](auto fnTest) { // the names a command acted on, "-" for none
        QStringList arrNames;
        for (int i = 0; i < 4; ++i)
            if (fnTest(size_t(i)))
                arrNames << m_view.GetItemText(i, 1);
        return arrNames.isEmpty() ? QString("-") : arrNames.join(',');
    };
    const struct {
        Marks arrTicks;
        int nSelected;
        const char* pszChosen;
    } arrCases[] = {{{0, 0, 0, 0}, -1, "-"},
                    {{0, 0, 0, 0}, 2, "C"},
                    {{0, 1, 0, 1}, 2, "B,D"},
                    {{1, 0, 0, 0}, -1, "A"}};
    for (const auto& c : arrCases) {
        SCOPED_TRACE(c.pszChosen);
        auto Prepare = [&](int nTesting) { // the case's ticks and selection, all hosts alike
            for (int i = 0; i < 4; ++i)
                if (c.arrTicks[size_t(i)] != m_view.m_arrMarked[size_t(i)])
                    m_view.ToggleCheck(i);
            m_view.selectionModel()->clear();
            if (c.nSelected >= 0)
                Click(c.nSelected, 200);
            for (CHost* pHost : m_doc.m_arrHosts)
                pHost->m_bTesting = nTesting;
        };
        QStringList arrActed;
        Prepare(0), m_view.OnStartTests();
        arrActed << Names([&](size_t i) { return m_doc.m_arrHosts[i]->m_bTesting == 1; });
        EXPECT_EQ(m_view.m_arrMarked, Marks(4, 0));
        Prepare(1);
        m_arrRejected.clear();
        m_view.OnCompareHosts();
        m_view.OnGenerateReport(); // the weights cancelled
        arrActed << Names([&](size_t i) { return m_view.m_arrMarked[i] != c.arrTicks[i]; });
        const QString strChosen = c.pszChosen;
        EXPECT_EQ(arrActed, (QStringList{strChosen, "-"}));
        EXPECT_EQ(m_arrRejected,
                  strChosen == "-"
                      ? QStringList()
                      : QStringList({"Compare Hosts - Vantrel," + strChosen, "Vantrel"}));
    }
    EXPECT_EQ(m_arrNotes, QStringList(3, CVantrelView::NO_HOST_CHOSEN));
}

TEST_F(VantrelViewTest, HostCommandsSayWhatTheyNeedAndEveryChangeIsOnDiskAtOnce) {
    CTempDir dir;
    WriteFileBytes(dir / "v.dat", "");
    ASSERT_EQ(m_doc.LoadHosts(dir / "v.dat").m_eResult, CHostsFile::LOAD_OK);
    ASSERT_TRUE(m_doc.OpenHistory());
    ShowView(3);
    auto Stored = [&] { // "name testing ..." per stored host, then the stored interval
        std::vector<CHost*> arrHosts;
        int32_t nRun = 0, nInterval = 0;
        CHostsFile::Load(dir / "v.dat", arrHosts, nRun, nInterval);
        std::string str;
        for (CHost* pHost : arrHosts)
            str += pHost->m_strName + std::to_string(pHost->m_bTesting) + " ", delete pHost;
        return str + "| " + std::to_string(nInterval);
    };
    CBoxAnswerer answerer(QMessageBox::No);
    Click(1, 200);
    m_bConnected = false;
    m_view.OnStartTests();
    EXPECT_EQ(Rows()[1], "B 0 1 1 Testing - Unknown");
    EXPECT_EQ(Stored(), "A0 B1 C0 | 5");
    m_doc.m_arrHosts[1]->m_bNewRun = 0;
    m_view.OnStopTests();
    EXPECT_EQ(Stored(), "A0 B0 C0 | 5");
    EXPECT_EQ(m_doc.m_arrHosts[1]->m_bNewRun, 1); // the stopped run is over
    m_view.ToggleCheck(2);
    m_view.OnRemoveHost(); // answered No
    EXPECT_EQ(Rows(),
              (QStringList{"A 0 1 0 Not Testing", "B 0 1 0 Not Testing", "C 1 2 0 Not Testing"}));
    answerer.m_answer = QMessageBox::Yes;
    m_view.OnRemoveHost();
    EXPECT_EQ(Rows(), (QStringList{"A 0 1 0 Not Testing", "C 1 2 0 Not Testing"}));
    EXPECT_EQ(Stored(), "A0 C0 | 5");
    // Nothing is selected now: none of these may act on C, which moved into the removed row.
    EXPECT_EQ(m_view.GetSelectedRow(), -1);
    m_rejecter.start(20);
    m_view.ToggleCheck(1);
    m_view.OnRemoveHost();
    m_view.OnEditHost();
    m_view.OnStartTests();
    m_view.OnBuildGraph();
    const QString NO_HOST = "There is no web host selected. You must highlight a web host before "
                            "you use this action.",
                  NO_EDIT = "Please select a web host to edit.",
                  SURE = "Are you sure you want to delete this web host? All details will be "
                         "removed.\nYou cannot undo this action.\n\nB",
                  OFFLINE = "The internet connection was not detected.\nThe tests will resume "
                            "after you connect to the internet.";
    EXPECT_EQ(answerer.Texts(), (QStringList{OFFLINE, SURE, SURE, NO_HOST, NO_EDIT}));
    EXPECT_EQ(m_arrNotes, QStringList(2, CVantrelView::NO_HOST_CHOSEN)); // start, graph
    const auto& box = answerer.m_arrSeen[3]; // the program's plain message box
    EXPECT_TRUE(box.buttons == QMessageBox::Ok && box.strTitle == "Vantrel" &&
                box.icon == QMessageBox::NoIcon && box.bOnTop && box.bHasOwner && box.bModal);
    EXPECT_EQ(answerer.m_arrSeen[1].defaultButton, QMessageBox::No);
    m_rejecter.stop();
    EXPECT_TRUE(m_arrRejected.isEmpty()) << m_arrRejected.join(',').toStdString();
    CDialogDriver driver;
    m_view.OnAddHost();
    EXPECT_EQ(Stored(), "A0 C0 Acme0 | 5");
    Click(2, 200);
    driver.m_strName = "Renamed";
    m_view.OnEditHost();
    EXPECT_EQ(Stored(), "A0 C0 Renamed0 | 5");
    // The history knows the new name (its URL aside), and B's went with it.
    CHistoryStore history;
    ASSERT_EQ(history.OpenExisting(m_doc.GetHistoryPath()), CHistoryStore::EOpen::OK);
    EXPECT_EQ(history.Find({{"Renamed", "-"}, {"B", "-"}}),
              (std::vector<int64_t>{m_doc.m_arrHosts[2]->m_nHistoryId, 0}));
    EXPECT_NE(m_doc.m_arrHosts[2]->m_nHistoryId, 0);
    driver.m_nInterval = 9;
    m_view.OnOptions();
    EXPECT_EQ(Stored(), "A0 C0 Renamed0 | 9");
    // Each change stops the worker without waiting for a test, then starts it again.
    EXPECT_EQ(m_arrCalls, (std::vector<std::string>{"stop", "start", "stop", "start", "stop",
                                                    "start", "stop", "start"}));
}

} // namespace
