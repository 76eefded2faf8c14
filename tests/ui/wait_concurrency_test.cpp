// The worker shows a message box while it holds a host's lock, and the user-interface thread
// must wait for that host or for the worker at that very moment. The box is shown from the
// wait, the wait dialog comes and goes, and nothing hangs.
#include "gui_test_support.h"
#include "testing/engine_fakes.h"
#include "testing/gui_thread_fakes.h"

#include "core/host.h"
#include "core/vantrel_doc.h"
#include "testing/test_engine.h"
#include "ui/main_frame.h"
#include "ui/message_box_queue.h"
#include "ui/vantrel_view.h"
#include "ui/wait_dialog.h"

#include <QApplication>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class WaitConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_queue.SetOwner(&m_frame);
        // The clock waits on the real stop event, so the worker idles between cycles.
        m_clock.m_onWait = [](const CEvent& evStop, int64_t nMs) { return evStop.Wait(nMs); };
        m_probes.SetServer("lost.example.com", {false, false, 0, 0, false});
        CEngineSeams seams;
        seams.pProbes = &m_probes;
        seams.pAlerts = &m_alerts;
        seams.pRowSink = m_frame.GetView();
        seams.pClock = &m_clock;
        m_pEngine = std::make_unique<CTestEngine>(seams, m_frame.GetWaitDialog());
        m_pDoc = std::make_unique<CVantrelDoc>(m_queue, m_pEngine.get());

        // Host 0 cannot be resolved: the worker tells the user so while it holds the lock.
        auto* pLost = new CHost;
        pLost->m_strName = "Lost";
        pLost->m_strTestURL = "http://lost.example.com/";
        pLost->m_bTesting = 1;
        m_pDoc->AddHost(pLost);
        auto* pIdle = new CHost;
        pIdle->m_strName = "Idle";
        pIdle->m_strTestURL = "http://idle.example.com/";
        m_pDoc->AddHost(pIdle);

        m_frame.show();
        m_frame.GetView()->OnInitialUpdate(*m_pDoc);
        QCoreApplication::processEvents();
        m_pDoc->StartTests();
        // Without serving anything, wait until the worker sits in its box under the lock.
        while (m_queue.GetPendingCount() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(IsHeldByAnyone(*pLost->m_pMutex));
    }

    void TearDown() override {
        m_pDoc->StopTests();
        m_pDoc.reset();
        m_pEngine.reset();
    }

    CMainFrame m_frame{&m_queue};
    CMessageBoxQueue m_queue;
    CFakeProbes m_probes;
    CFakeClock m_clock;
    CRecordingAlerts m_alerts;
    std::unique_ptr<CTestEngine> m_pEngine;
    std::unique_ptr<CVantrelDoc> m_pDoc;
};

const QString kUnresolved = QStringLiteral(
    "Test URL http://lost.example.com/ could not be resolved.\nThe tests will not be held for "
    "this host.");

TEST_F(WaitConcurrencyTest, StoppingAHostTheWorkerHoldsServesItsBox) {
    CBoxAnswerer answerer;
    answerer.SetDelay(400); // long enough for the wait dialog to appear
    bool bDialogWhileBox = false;
    answerer.SetOnBox([&](const CBoxAnswerer::SSeen&) {
        bDialogWhileBox = m_frame.GetWaitDialog()->isVisible();
    });
    CVantrelView& view = *m_frame.GetView();
    view.selectionModel()->select(view.GetModel()->index(0, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    {
        CWatchdog watchdog(std::chrono::seconds(30), "stopping a host behind a worker box");
        view.OnStopTests();
    }
    EXPECT_EQ(answerer.Texts(), QStringList{kUnresolved});
    EXPECT_TRUE(bDialogWhileBox);
    EXPECT_EQ(m_frame.GetWaitDialog()->GetWaitsShown(), 1);
    EXPECT_FALSE(m_frame.GetWaitDialog()->isVisible());
    EXPECT_EQ(m_pDoc->m_arrHosts[0]->m_bTesting, 0);
    EXPECT_EQ(view.GetItemText(0, 3), "Not Testing");
}

TEST_F(WaitConcurrencyTest, StoppingTheWorkerDuringItsBoxServesItAndEnds) {
    CBoxAnswerer answerer;
    answerer.SetDelay(400);
    {
        CWatchdog watchdog(std::chrono::seconds(30), "stopping the worker behind its box");
        m_pDoc->StopTests();
    }
    EXPECT_FALSE(m_pEngine->IsRunning());
    EXPECT_EQ(answerer.Texts(), QStringList{kUnresolved});
    EXPECT_EQ(m_frame.GetWaitDialog()->GetWaitsShown(), 1);
    EXPECT_FALSE(m_frame.GetWaitDialog()->isVisible());
    // Row updates the worker posted meanwhile are drawn afterwards.
    EXPECT_TRUE(
        SpinUntil([&] { return m_frame.GetView()->GetItemText(0, 3) == "Not Testing"; }, 2000));
}

TEST_F(WaitConcurrencyTest, AnIdleUserInterfaceShowsTheBoxByItself) {
    CBoxAnswerer answerer;
    EXPECT_TRUE(SpinUntil([&] { return answerer.m_arrSeen.size() == 1; }, 5000));
    EXPECT_EQ(answerer.Texts(), QStringList{kUnresolved});
    EXPECT_EQ(m_frame.GetWaitDialog()->GetWaitsShown(), 0);
    EXPECT_TRUE(answerer.m_arrSeen[0].bHasOwner);
}

} // namespace
