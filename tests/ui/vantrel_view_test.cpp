#include "fake_test_control.h"
#include "gui_test_support.h"

#include "core/host.h"
#include "core/vantrel_doc.h"
#include "ui/message_box_queue.h"
#include "ui/vantrel_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>
#include <QWizard>

#include <gtest/gtest.h>

#include <thread>

namespace {

CHost* MakeHost(const std::string& strName, const std::string& strURL) {
    auto* pHost = new CHost;
    pHost->m_strName = strName;
    pHost->m_strTestURL = strURL;
    return pHost;
}

class VantrelViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        m_pDoc = std::make_unique<CVantrelDoc>(m_queue, &m_control);
    }

    // A view of the store's hosts, shown at 800 x 400.
    void ShowView() {
        m_view.resize(800, 400);
        m_view.show();
        QCoreApplication::processEvents();
        m_view.OnInitialUpdate(*m_pDoc);
        QCoreApplication::processEvents();
    }

    // What the window system delivers for a double-click: press, release, double-click,
    // release.
    void DoubleClick(const QPoint& pos) {
        QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(m_view.viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseRelease(m_view.viewport(), Qt::LeftButton, {}, pos);
    }

    QPoint RowPoint(int nRow, int nX) {
        const QRect rect = m_view.visualRect(m_view.GetModel()->index(nRow, 1));
        return QPoint(nX, rect.center().y());
    }

    QStringList RowTexts(int nRow) {
        QStringList texts;
        for (int i = 1; i < CVantrelView::COLUMN_COUNT; ++i)
            texts << m_view.GetItemText(nRow, i);
        return texts;
    }

    void SelectRow(int nRow) {
        QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, RowPoint(nRow, 200));
    }

    // Cancels every assistant that opens, noting its title.
    void CancelAssistants() {
        QObject::connect(&m_rejecter, &QTimer::timeout, [this] {
            if (auto* pWizard = qobject_cast<QWizard*>(QApplication::activeModalWidget())) {
                m_arrAssistants << pWizard->windowTitle();
                pWizard->reject();
            }
        });
        m_rejecter.start(20);
    }

    QTimer m_rejecter;
    QStringList m_arrAssistants;
    CMessageBoxQueue m_queue;
    CFakeTestControl m_control;
    std::unique_ptr<CVantrelDoc> m_pDoc;
    CVantrelView m_view;
};

TEST_F(VantrelViewTest, ColumnsHaveTheirHeadersAlignmentsAndWidths) {
    ShowView();
    const QStandardItemModel* pModel = m_view.GetModel();
    ASSERT_EQ(pModel->columnCount(), 7);
    const QStringList headers = {" ",           "Hosting Company", "Test URL", "Status",
                                 "Time Tested", "Uptime %",        "Ping RTT"};
    const int arrAlign[] = {Qt::AlignHCenter, Qt::AlignLeft,    Qt::AlignLeft,   Qt::AlignHCenter,
                            Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignHCenter};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(pModel->headerData(i, Qt::Horizontal).toString(), headers[i]);
        EXPECT_EQ(pModel->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
                      Qt::AlignHorizontal_Mask,
                  arrAlign[i]);
    }
    QHeaderView* pHeader = m_view.header();
    const int nClient = m_view.viewport()->width();
    EXPECT_EQ(m_view.m_nClientWidth, nClient);
    // At creation the two shared columns split the client width less 376 ...
    const std::vector<int> arrExpected = {26, (nClient - 376) / 2, (nClient - 376) / 2, 130, 90, 80,
                                          80};
    std::vector<int> arrWidths;
    for (int i = 0; i < 7; ++i)
        arrWidths.push_back(pHeader->sectionSize(i));
    EXPECT_EQ(arrWidths, arrExpected);
    EXPECT_EQ(pHeader->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_EQ(pHeader->sectionResizeMode(1), QHeaderView::Interactive);

    // ... and after every resize the new client width less 406.
    for (int nWidth : {1001, 640, 407}) {
        m_view.resize(nWidth, 300);
        QCoreApplication::processEvents();
        const int nNewClient = m_view.viewport()->width();
        EXPECT_EQ(pHeader->sectionSize(1), (nNewClient - 406) / 2) << nWidth;
        EXPECT_EQ(pHeader->sectionSize(2), (nNewClient - 406) / 2) << nWidth;
        EXPECT_EQ(pHeader->sectionSize(3), 130);
    }
    m_view.resize(300, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(pHeader->sectionSize(1), 0);
}

TEST_F(VantrelViewTest, RowsShowTheHostsFiguresAndStatus) {
    CHost* pNew = MakeHost("Caf\xE9 Hosting", "http://caf\xE9.example.com/");
    CHost* pUp = MakeHost("Up Host", "http://up.example.com/t.html");
    pUp->m_bTesting = 1;
    pUp->m_nState = HOST_UP;
    pUp->m_nTests = 4;
    pUp->m_nTestsUp = 3;
    pUp->m_nSecondsTested = 90061;
    pUp->m_pPingHistory->assign({10, 15});
    pUp->m_nPingTotal = 25;
    CHost* pDown = MakeHost("Down Host", "http://down.example.org/");
    pDown->m_bTesting = 1;
    pDown->m_nState = HOST_DOWN;
    pDown->m_nTests = 3;
    pDown->m_nSecondsTested = 59;
    CHost* pUnknown = MakeHost("Unknown Host", "http://unknown.example.net/");
    pUnknown->m_bTesting = 1;
    CHost* pStopped = MakeHost("Stopped Host", "http://stopped.example.net/");
    pStopped->m_nState = HOST_UP; // not tested any more: the old state is not shown
    for (CHost* pHost : {pNew, pUp, pDown, pUnknown, pStopped})
        m_pDoc->AddHost(pHost);
    ShowView();

    ASSERT_EQ(m_view.GetModel()->rowCount(), 5);
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_EQ(RowTexts(0), (QStringList{QString::fromLatin1("Caf\xE9 Hosting"),
                                        QString::fromLatin1("http://caf\xE9.example.com/"),
                                        "Not Testing", "0d 0h 0m", "100.0%", "- ms"}));
    EXPECT_EQ(RowTexts(1), (QStringList{"Up Host", "http://up.example.com/t.html", "Testing - Up",
                                        "1d 1h 1m", "75.0%", "12.5 ms"}));
    EXPECT_EQ(RowTexts(2), (QStringList{"Down Host", "http://down.example.org/", "Testing - Down",
                                        "0d 0h 0m", "0.0%", "- ms"}));
    EXPECT_EQ(m_view.GetItemText(3, 3), "Testing - Unknown");
    EXPECT_EQ(m_view.GetItemText(4, 3), "Not Testing");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(m_view.GetItemText(i, 0), "");
        EXPECT_EQ(m_view.GetStateImage(i), 1);
    }
}

TEST_F(VantrelViewTest, TickBoxesToggleByClickAndSpaceWithoutSelecting) {
    for (const char* pszName : {"A", "B", "C"})
        m_pDoc->AddHost(MakeHost(pszName, "http://example.com/"));
    ShowView();
    m_view.setFocus();

    QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, RowPoint(1, 10));
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(m_view.GetStateImage(1), 2);
    EXPECT_EQ(m_view.GetSelectedRow(), -1);
    // Space with no selected row does nothing.
    QTest::keyClick(&m_view, Qt::Key_Space);
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 1, 0}));

    // A click right of the box selects and does not tick.
    SelectRow(2);
    EXPECT_EQ(m_view.GetSelectedRow(), 2);
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 1, 0}));
    QTest::keyClick(&m_view, Qt::Key_Space);
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(m_view.GetStateImage(2), 2);
    QTest::keyClick(&m_view, Qt::Key_Space);
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(m_view.GetStateImage(2), 1);

    // A click on the box of another row leaves the selection where it was.
    QTest::mouseClick(m_view.viewport(), Qt::LeftButton, {}, RowPoint(1, 10));
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(m_view.GetSelectedRow(), 2);
    // Other keys keep their meaning: Down moves the selection.
    QTest::keyClick(&m_view, Qt::Key_Up);
    EXPECT_EQ(m_view.GetSelectedRow(), 1);
}

TEST_F(VantrelViewTest, DoubleClickOnTheBoxTogglesOnceAndOnTheRowEdits) {
    m_pDoc->AddHost(MakeHost("A", "http://example.com/"));
    ShowView();
    CBoxAnswerer answerer;
    DoubleClick(RowPoint(0, 10));
    SpinUntil([] { return false; }, 50);
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{1}));
    EXPECT_TRUE(answerer.m_arrSeen.empty());

    CancelAssistants();
    DoubleClick(RowPoint(0, 200));
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{1}));
    EXPECT_EQ(m_arrAssistants, QStringList{"Modify Host Assistant"});
    EXPECT_TRUE(answerer.m_arrSeen.empty());
}

TEST_F(VantrelViewTest, RemoveHostAsksFirstAndKeepsRowsHostsAndTicksTogether) {
    for (const char* pszName : {"A", "B", "C"})
        m_pDoc->AddHost(MakeHost(pszName, "http://example.com/"));
    ShowView();
    CBoxAnswerer answerer(QMessageBox::No);

    m_view.OnRemoveHost();
    EXPECT_EQ(answerer.Texts(),
              QStringList{"There is no web host selected. You must highlight a web host before "
                          "you use this action."});
    EXPECT_EQ(answerer.m_arrSeen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(m_pDoc->m_arrHosts.size(), 3u);

    m_view.ToggleCheck(2);
    SelectRow(1);
    m_view.OnRemoveHost();
    ASSERT_EQ(answerer.m_arrSeen.size(), 2u);
    EXPECT_EQ(answerer.m_arrSeen[1].strText,
              "Are you sure you want to delete this web host? All details will be "
              "removed.\nYou cannot undo this action.");
    EXPECT_EQ(answerer.m_arrSeen[1].defaultButton, QMessageBox::No);
    EXPECT_EQ(m_pDoc->m_arrHosts.size(), 3u);
    EXPECT_TRUE(m_control.m_arrCalls.empty());

    answerer.SetAnswer(QMessageBox::Yes);
    m_view.OnRemoveHost();
    ASSERT_EQ(m_pDoc->m_arrHosts.size(), 2u);
    EXPECT_EQ(m_pDoc->m_arrHosts[0]->m_strName, "A");
    EXPECT_EQ(m_pDoc->m_arrHosts[1]->m_strName, "C");
    EXPECT_EQ(m_view.GetModel()->rowCount(), 2);
    EXPECT_EQ(m_view.GetItemText(1, 1), "C");
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 1}));
    EXPECT_EQ(m_view.GetStateImage(1), 2);
    EXPECT_EQ(m_control.m_arrCalls, (std::vector<std::string>{"stop", "start"}));

    // Down to an empty list: then nothing is selected any more.
    for (int i = 0; i < 2; ++i) {
        SelectRow(0);
        m_view.OnRemoveHost();
    }
    EXPECT_TRUE(m_pDoc->m_arrHosts.empty());
    EXPECT_EQ(m_view.GetModel()->rowCount(), 0);
    EXPECT_TRUE(m_view.m_arrMarked.empty());
    m_view.OnRemoveHost();
    EXPECT_EQ(answerer.m_arrSeen.back().strText.left(28), "There is no web host selecte");
}

TEST_F(VantrelViewTest, StartAndStopActOnTickedAndSelectedRowsAndClearTheTicks) {
    for (const char* pszName : {"A", "B", "C", "D"})
        m_pDoc->AddHost(MakeHost(pszName, "http://example.com/"));
    m_pDoc->m_arrHosts[3]->m_nState = HOST_DOWN;
    ShowView();
    CBoxAnswerer answerer;

    // Nothing ticked, nothing selected: nothing happens, no message.
    m_control.m_bConnected = false;
    m_view.OnStartTests();
    SpinUntil([] { return false; }, 30);
    EXPECT_TRUE(answerer.m_arrSeen.empty());
    for (CHost* pHost : m_pDoc->m_arrHosts)
        EXPECT_EQ(pHost->m_bTesting, 0);

    m_view.ToggleCheck(0);
    m_view.ToggleCheck(3);
    SelectRow(3); // ticked and selected: handled twice, tick cleared once
    m_view.OnStartTests();
    EXPECT_EQ(answerer.Texts(), QStringList{"The internet connection was not detected.\nThe tests "
                                            "will resume after you connect to the internet."});
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(m_view.GetStateImage(0), 1);
    EXPECT_EQ(m_view.GetStateImage(3), 1);
    const int arrTesting[] = {1, 0, 0, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m_pDoc->m_arrHosts[i]->m_bTesting, arrTesting[i]) << i;
        EXPECT_EQ(m_view.GetItemText(i, 3), arrTesting[i] ? "Testing - Unknown" : "Not Testing");
    }
    EXPECT_EQ(m_pDoc->m_arrHosts[3]->m_nState, HOST_UNKNOWN);

    // Stop the selected row and a ticked one; the stopped run is over.
    m_pDoc->m_arrHosts[0]->m_bNewRun = 0;
    m_view.ToggleCheck(0);
    m_view.OnStopTests();
    EXPECT_EQ(m_pDoc->m_arrHosts[0]->m_bTesting, 0);
    EXPECT_EQ(m_pDoc->m_arrHosts[0]->m_bNewRun, 1);
    EXPECT_EQ(m_pDoc->m_arrHosts[3]->m_bTesting, 0);
    EXPECT_EQ(m_view.GetItemText(0, 3), "Not Testing");
    EXPECT_EQ(m_view.GetItemText(3, 3), "Not Testing");
    EXPECT_EQ(m_view.m_arrMarked, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(answerer.m_arrSeen.size(), 1u); // stopping does not check the connection
}

TEST_F(VantrelViewTest, RowUpdatesFromTheWorkerNeverWaitForABusyHost) {
    for (const char* pszName : {"A", "B"})
        m_pDoc->AddHost(MakeHost(pszName, "http://example.com/"));
    ShowView();
    CHost& host = *m_pDoc->m_arrHosts[1];

    std::thread worker([&] {
        std::lock_guard lock(*host.m_pMutex);
        host.m_bTesting = 1;
        host.m_nState = HOST_UP;
        host.m_nTests = 1;
        host.m_nTestsUp = 1;
    });
    worker.join();
    std::thread([&] { m_view.PostHostUpdated(1); }).join();
    EXPECT_EQ(m_view.GetItemText(1, 3), "Not Testing"); // posted, not sent
    QCoreApplication::processEvents();
    EXPECT_EQ(m_view.GetItemText(1, 3), "Testing - Up");

    // The worker holds the lock: the notice is kept and the row redrawn once it is free.
    std::atomic<bool> bRelease{false};
    std::atomic<bool> bHeld{false};
    std::thread holder([&] {
        std::lock_guard lock(*host.m_pMutex);
        host.m_nState = HOST_DOWN;
        bHeld = true;
        while (!bRelease)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!bHeld)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_view.PostHostUpdated(1);
    const auto start = std::chrono::steady_clock::now();
    SpinUntil([] { return false; }, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(m_view.GetItemText(1, 3), "Testing - Up");
    bRelease = true;
    holder.join();
    EXPECT_TRUE(SpinUntil([&] { return m_view.GetItemText(1, 3) == "Testing - Down"; }, 2000));

    // A notice for a row that no longer exists is ignored.
    m_view.PostHostUpdated(2);
    m_view.PostHostUpdated(-1);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_view.GetModel()->rowCount(), 2);
}

TEST_F(VantrelViewTest, HostCommandsWithoutSelectionOrMarksSayWhatTheyNeed) {
    m_pDoc->m_arrHosts.push_back(MakeHost("Alpha", "http://alpha.example.com/"));
    ShowView();
    CBoxAnswerer answerer;
    m_view.OnEditHost();
    m_view.OnBuildGraph();
    m_view.OnGenerateReport();
    EXPECT_EQ(answerer.Texts(),
              (QStringList{"Please select a web host to edit.",
                           "Please select a web host to build the graph for.",
                           "Please mark at least one host to generate report for."}));
    EXPECT_TRUE(m_control.m_arrCalls.empty());
}

// Cancelling the assistant leaves the host list, the record, its lock and the worker as they
// were.
TEST_F(VantrelViewTest, CancelledAddAndEditChangeNothing) {
    m_pDoc->m_arrHosts.push_back(MakeHost("Alpha", "http://alpha.example.com/"));
    ShowView();
    CBoxAnswerer answerer;
    CancelAssistants();

    m_view.OnAddHost();
    EXPECT_EQ(m_view.GetModel()->rowCount(), 1);
    EXPECT_EQ(m_pDoc->m_arrHosts.size(), 1u);
    EXPECT_EQ(m_view.m_arrMarked.size(), 1u);

    SelectRow(0);
    m_view.OnEditHost();
    EXPECT_EQ(m_pDoc->m_arrHosts[0]->m_strName, "Alpha");
    EXPECT_EQ(m_arrAssistants, (QStringList{"Add Host Assistant", "Modify Host Assistant"}));
    EXPECT_EQ(answerer.Texts(), QStringList{}); // the first page closes without asking
    std::thread other([&] {
        EXPECT_TRUE(m_pDoc->m_arrHosts[0]->m_pMutex->try_lock());
        m_pDoc->m_arrHosts[0]->m_pMutex->unlock();
    });
    other.join();
    EXPECT_TRUE(m_control.m_arrCalls.empty());
}

} // namespace
