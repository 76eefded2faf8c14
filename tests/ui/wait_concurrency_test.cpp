// The worker shows a message box while it holds a host's lock, and the user stops that host at
// that very moment: the box must be shown from the wait, the wait dialog come and go, and
// nothing hang.
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

#include <QStandardItemModel>

#include <gtest/gtest.h>

namespace {

TEST(WaitConcurrencyTest, StoppingAHostTheWorkerHoldsServesItsBox) {
    CMessageBoxQueue queue;
    CMainFrame frame(&queue);
    queue.SetOwner(&frame);
    CFakeWorld world; // probes, clock and alerts; the clock waits on the real stop event
    world.m_onWait = [](const CEvent& evStop, int64_t nMs) { return evStop.Wait(nMs); };
    world.SetServer("lost.example.com", {.bResolves = false});
    CTestEngine engine({&world, &world, frame.GetView(), &world}, frame.GetWaitDialog());
    CVantrelDoc doc(queue, &engine);
    auto* pLost = new CHost; // cannot be resolved: the worker says so while holding its lock
    pLost->m_strName = "Lost";
    pLost->m_strTestURL = "http://lost.example.com/";
    pLost->m_bTesting = 1;
    doc.AddHost(pLost);
    frame.show();
    CVantrelView& view = *frame.GetView();
    view.OnInitialUpdate(doc);
    doc.StartTests();
    while (queue.GetPendingCount() == 0) // nothing served yet
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(IsHeldByAnyone(*pLost->m_pMutex));

    CBoxAnswerer answerer;
    bool bDialogWhileBox = false;
    answerer.m_onBox = [&] { bDialogWhileBox = frame.GetWaitDialog()->isVisible(); };
    view.selectionModel()->select(view.GetModel()->index(0, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    {
        CWatchdog watchdog(std::chrono::seconds(30), "stopping a host behind a worker box");
        view.OnStopTests();
    }
    EXPECT_EQ(answerer.Texts(),
              QStringList{"Test URL http://lost.example.com/ could not be "
                          "resolved.\nThe tests will not be held for this host."});
    EXPECT_TRUE(bDialogWhileBox && answerer.m_arrSeen[0].bHasOwner);
    EXPECT_EQ(frame.GetWaitDialog()->GetWaitsShown(), 1);
    EXPECT_FALSE(frame.GetWaitDialog()->isVisible());
    EXPECT_EQ(pLost->m_bTesting, 0);
    EXPECT_EQ(view.GetItemText(0, 3), "Not Testing");
    doc.StopTests(); // before the store goes
}

} // namespace
