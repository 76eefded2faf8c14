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

    std::vector<std::string> m_arrCalls;
    bool m_bConnected = true;
    CMessageBoxQueue m_queue;
    CVantrelDoc m_doc{m_queue, this};
    QApplication& m_app = EnsureApp(); // before the first widget
    CVantrelView m_view;
};

TEST_F(VantrelViewTest, RowsShowTheHostsFiguresAndColumnsKeepTheirWidths) {
    Add("Caf\xE9 Hosting").m_strTestURL = "http://caf\xE9.example.com/";
    CHost& up = Add("Up", 1, HOST_UP);
    up.m_nTests = 4;
    up.m_nTestsUp = 3;
    up.m_nSecondsTested = 90061;
    up.m_pPingHistory->assign({10, 15});
    up.m_nPingTotal = 25;
    CHost& down = Add("Down", 1, HOST_DOWN);
    down.m_nTests = 3;
    down.m_nSecondsTested = 59;
    Add("Stopped", 0, HOST_UP); // no longer tested: the old state is not shown
    ShowView();
    QStringList rows; // the headers, then the rows: column texts joined by '|'
    for (int nRow = -1; nRow < 4; ++nRow) {
        QStringList texts;
        for (int i = 0; i < CVantrelView::COLUMN_COUNT; ++i)
            texts << (nRow < 0 ? m_view.GetModel()->headerData(i, Qt::Horizontal).toString()
                               : m_view.GetItemText(nRow, i));
        rows << texts.join('|');
    }
    EXPECT_EQ(rows, (QStringList{" |Hosting Company|Test URL|Status|Time Tested|Uptime %|Ping RTT",
                                 QString::fromLatin1("|Caf\xE9 Hosting|http://caf\xE9.example.com/|"
                                                     "Not Testing|0d 0h 0m|100.0%|- ms"),
                                 "|Up|http://example.com/|Testing - Up|1d 1h 1m|75.0%|12.5 ms",
                                 "|Down|http://example.com/|Testing - Down|0d 0h 0m|0.0%|- ms",
                                 "|Stopped|http://example.com/|Not Testing|0d 0h 0m|100.0%|- ms"}));

    // At creation the two shared columns split the client width less 376, later less 406.
    const int nFirst = (m_view.viewport()->width() - 376) / 2;
    for (auto [nWidth, nShared] :
         {std::pair{0, nFirst}, {1001, 297}, {640, 117}, {407, 0}, {300, 0}}) {
        if (nWidth)
            m_view.resize(nWidth + m_view.width() - m_view.viewport()->width(), 300);
        QCoreApplication::processEvents();
        Marks widths;
        for (int i = 0; i < 7; ++i)
            widths.push_back(m_view.header()->sectionSize(i));
        EXPECT_EQ(widths, (Marks{26, nShared, nShared, 130, 90, 80, 80})) << nWidth;
    }
}

TEST_F(VantrelViewTest, TicksByClickSpaceAndDoubleClickAndTheRowOpensTheAssistant) {
    ShowView(3);
    m_view.setFocus();
    Click(1, 10);
    EXPECT_EQ(m_view.GetSelectedRow(), -1);  // the box ticks without selecting
    QTest::keyClick(&m_view, Qt::Key_Space); // nothing selected: nothing happens
    Click(2, 200);                           // right of the box: selects, does not tick
    EXPECT_EQ(m_view.GetSelectedRow(), 2);
    QTest::keyClick(&m_view, Qt::Key_Space);
    EXPECT_EQ(m_view.m_arrMarked, (Marks{0, 1, 1}));
    Click(1, 10);
    QTest::keyClick(&m_view, Qt::Key_Space);

    CBoxAnswerer answerer;
    QStringList assistants; // cancelled as they open
    QTimer rejecter;
    QObject::connect(&rejecter, &QTimer::timeout, [&] {
        if (auto* pWizard = qobject_cast<QWizard*>(QApplication::activeModalWidget())) {
            assistants << pWizard->windowTitle();
            pWizard->reject();
        }
    });
    rejecter.start(20);
    Click(0, 10, true); // toggles once, opens nothing
    Click(0, 200, true);
    m_view.OnAddHost();
    EXPECT_EQ(assistants, (QStringList{"Modify Host Assistant", "Add Host Assistant"}));
    // Cancelled: the list, the record, its lock and the worker are as they were.
    EXPECT_EQ(Rows(),
              (QStringList{"A 1 2 0 Not Testing", "B 0 1 0 Not Testing", "C 0 1 0 Not Testing"}));
    EXPECT_FALSE(IsHeldByAnyone(*m_doc.m_arrHosts[0]->m_pMutex));
    EXPECT_TRUE(m_arrCalls.empty() && answerer.m_arrSeen.empty());
}

TEST_F(VantrelViewTest, StartAndStopActOnTickedAndSelectedRowsAndClearTheTicks) {
    ShowView(4);
    m_doc.m_arrHosts[3]->m_nState = HOST_DOWN;
    CBoxAnswerer answerer;
    m_bConnected = false;
    m_view.OnStartTests(); // nothing ticked or selected: nothing happens, no message
    m_view.ToggleCheck(0);
    m_view.ToggleCheck(3);
    Click(3, 200); // ticked and selected
    m_view.OnStartTests();
    EXPECT_EQ(answerer.Texts(), QStringList{"The internet connection was not detected.\nThe tests "
                                            "will resume after you connect to the internet."});
    EXPECT_EQ(Rows(), (QStringList{"A 0 1 1 Testing - Unknown", "B 0 1 0 Not Testing",
                                   "C 0 1 0 Not Testing", "D 0 1 1 Testing - Unknown"}));

    m_doc.m_arrHosts[0]->m_bNewRun = 0;
    m_view.ToggleCheck(0);
    m_view.OnStopTests(); // the ticked row and the selected one; the stopped run is over
    EXPECT_EQ(Rows(), (QStringList{"A 0 1 0 Not Testing", "B 0 1 0 Not Testing",
                                   "C 0 1 0 Not Testing", "D 0 1 0 Not Testing"}));
    EXPECT_EQ(m_doc.m_arrHosts[0]->m_bNewRun, 1);
    EXPECT_EQ(answerer.m_arrSeen.size(), 1u); // stopping does not check the connection
}

TEST_F(VantrelViewTest, HostCommandsSayWhatTheyNeedAndEveryChangeIsOnDiskAtOnce) {
    CTempDir dir;
    WriteFileBytes(dir / "v.dat", "");
    ASSERT_EQ(m_doc.LoadHosts(dir / "v.dat").m_eResult, CHostsFile::LOAD_OK);
    ShowView(3);
    // "name testing ..." per stored host, then the stored interval.
    auto Stored = [&] {
        std::vector<CHost*> arrHosts;
        int32_t nRun = 0, nInterval = 0;
        CHostsFile::Load(dir / "v.dat", arrHosts, nRun, nInterval);
        std::string str;
        for (CHost* pHost : arrHosts) {
            str += pHost->m_strName + std::to_string(pHost->m_bTesting) + " ";
            delete pHost;
        }
        return str + "| " + std::to_string(nInterval);
    };
    CBoxAnswerer answerer(QMessageBox::No);
    m_view.OnRemoveHost(); // nothing selected or marked
    m_view.OnEditHost();
    m_view.OnBuildGraph();
    m_view.OnGenerateReport();
    Click(1, 200);
    m_view.OnStartTests();
    EXPECT_EQ(Stored(), "A0 B1 C0 | 5");
    m_view.OnStopTests();
    EXPECT_EQ(Stored(), "A0 B0 C0 | 5");
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
    m_view.ToggleCheck(1);
    m_view.OnRemoveHost();
    m_view.OnEditHost();
    m_view.OnStartTests();
    m_view.OnBuildGraph();
    const QString NO_HOST = "There is no web host selected. You must highlight a web host before "
                            "you use this action.",
                  NO_EDIT = "Please select a web host to edit.",
                  NO_GRAPH = "Please select a web host to build the graph for.",
                  SURE = "Are you sure you want to delete this web host? All details will be "
                         "removed.\nYou cannot undo this action.";
    EXPECT_EQ(answerer.Texts(),
              (QStringList{NO_HOST, NO_EDIT, NO_GRAPH,
                           "Please mark at least one host to generate report for.", SURE, SURE,
                           NO_HOST, NO_EDIT, NO_GRAPH}));
    const auto& box = answerer.m_arrSeen[0]; // the program's plain message box
    EXPECT_TRUE(box.buttons == QMessageBox::Ok && box.strTitle == "Vantrel" &&
                box.icon == QMessageBox::NoIcon && box.bOnTop && box.bHasOwner && box.bModal);
    EXPECT_EQ(answerer.m_arrSeen[4].defaultButton, QMessageBox::No);
    EXPECT_EQ(Rows(), (QStringList{"A 0 1 0 Not Testing", "C 0 1 0 Not Testing"}));
    EXPECT_EQ(Stored(), "A0 C0 | 5");

    CDialogDriver driver;
    driver.m_strName = "Acme";
    m_view.OnAddHost();
    EXPECT_EQ(Stored(), "A0 C0 Acme0 | 5");
    Click(2, 200);
    driver.m_strName = "Renamed";
    m_view.OnEditHost();
    EXPECT_EQ(Stored(), "A0 C0 Renamed0 | 5");
    driver.m_nInterval = 9;
    m_view.OnOptions();
    EXPECT_EQ(Stored(), "A0 C0 Renamed0 | 9");
    EXPECT_EQ(m_arrCalls, (std::vector<std::string>{"stop", "start", "stop", "start"}));
    EXPECT_EQ(answerer.m_arrSeen.size(), 9u);
}

TEST_F(VantrelViewTest, DrawsStatusColoursGridAndShortenedTexts) {
    for (int nState : {HOST_UP, HOST_DOWN, HOST_UNKNOWN})
        Add("Host", 1, nState);
    ShowView();
    m_view.SetItemText(2, 3, QStringLiteral("Testing - Unknown, and a great deal more text"));
    m_view.m_bShowSelAlways = true;
    Click(1, 200);
    const QImage shot = m_view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto Cell = [&](int nRow) { return m_view.visualRect(m_view.GetModel()->index(nRow, 3)); };
    auto Count = [&](int nRow, QRgb colour) { // pixels of the cell in that colour
        const QImage cell = shot.copy(Cell(nRow));
        const auto* p = reinterpret_cast<const QRgb*>(cell.constBits());
        return std::count(p, p + cell.width() * cell.height(), colour);
    };
    EXPECT_GT(Count(0, CListViewEx::UP_COLOUR), 5);
    EXPECT_GT(Count(1, CListViewEx::DOWN_COLOUR), 5); // red on the selected row too
    EXPECT_EQ(Count(0, CListViewEx::DOWN_COLOUR) + Count(1, CListViewEx::UP_COLOUR) +
                  Count(2, CListViewEx::UP_COLOUR) + Count(2, CListViewEx::DOWN_COLOUR),
              0);
    EXPECT_EQ(shot.pixel(Cell(0).right(), Cell(0).center().y()), CListViewEx::GRID_COLOUR);
    const QFontMetrics metrics(m_view.font());
    const QString strFit = CListViewEx::FitText(metrics, m_view.GetItemText(2, 3), 130, 12);
    EXPECT_TRUE(strFit.startsWith("Testing - ") && strFit.endsWith("..."));
    EXPECT_LE(metrics.horizontalAdvance(strFit) + 12, 130);
    EXPECT_EQ(CListViewEx::FitText(metrics, "Wide", 3, 12), "W...");
    // The longest prefix that fits, as dropping one character at a time finds it, however the
    // search gets there; a text far longer than the cell costs no more.
    auto Oracle = [&](const QString& strText, int nWidth, int nMargin) {
        if (metrics.horizontalAdvance(strText) + nMargin <= nWidth)
            return strText;
        for (qsizetype n = strText.size() - 1; n >= 1; --n)
            if (metrics.horizontalAdvance(strText.left(n)) + nMargin +
                    metrics.horizontalAdvance("...") <=
                nWidth)
                return strText.left(n) + "...";
        return strText.left(1) + "...";
    };
    for (const QString& strText : {QString("Acme Hosting (iiii WWWW) Ltd."), QString(300, 'W'),
                                   QString("Caf") + QString(100, QChar(0xe9))})
        for (int nWidth : {0, 10, 37, 80, 151, 400})
            EXPECT_EQ(CListViewEx::FitText(metrics, strText, nWidth, 12),
                      Oracle(strText, nWidth, 12))
                << strText.left(10).toStdString() << " " << nWidth;
}

} // namespace

TEST_F(VantrelViewTest, CompareHostsKeepsTheTicks) {
    ShowView(4);
    QStringList arrSeen;
    for (const Marks& arrTicks : {Marks{0, 0, 0, 0}, Marks{0, 1, 0, 1}}) {
        for (int i = 0; i < 4; ++i)
            if (arrTicks[size_t(i)] != m_view.m_arrMarked[size_t(i)])
                m_view.ToggleCheck(i);
        const QStringList arrBefore = Rows();
        QTimer::singleShot(0, [&] {
            auto* pDlg = qobject_cast<CCompareHostsDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(pDlg, nullptr);
            QStringList arrNames;
            for (const CHostComparison::SHost& host : pDlg->GetComparison().GetHosts())
                arrNames << QString::fromLatin1(host.strName);
            arrSeen << arrNames.join(',');
            pDlg->reject();
        });
        m_view.OnCompareHosts();
        EXPECT_EQ(Rows(), arrBefore);
        EXPECT_EQ(m_view.m_arrMarked, arrTicks);
    }
    EXPECT_EQ(arrSeen, (QStringList{"A,B,C,D", "B,D"}));
}
