#include "gui_test_support.h"

#include "widgets/message_box.h"
#include "widgets/message_box_queue.h"
#include "widgets/wait_dialog.h"
#include <QLabel>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

// A peer's text cannot pose as a line of its own or steer the box: control characters show.
TEST(WidgetsTest, BoxesShowControlCharactersVisibly) {
    EnsureApp();
    CBoxAnswerer answerer;
    CMessageBox::Information(nullptr, "554 rejected\rThe test e-mail was sent\x1b[2J\t" +
                                          QString(QChar(0x85)) + "\nnext");
    EXPECT_EQ(answerer.Texts(),
              QStringList{"554 rejected\\rThe test e-mail was sent\\x1b[2J\\t\\x85\nnext"});
}

// Inside a wait only Serve() runs: the worker's boxes must be shown from there.
TEST(WidgetsTest, WaitDialogStepsByTenAndServesTheWorkersBoxes) {
    EnsureApp();
    CBoxAnswerer answerer;
    CMessageBoxQueue queue;
    CWaitDialog dlg(nullptr, &queue);
    EXPECT_EQ(dlg.windowTitle() + '/' + dlg.findChild<QLabel*>("waitText")->text(),
              "Vantrel/Waiting for pings to finish.");
    std::atomic<bool> bReturned{false};
    std::thread worker([&] {
        queue.ShowMessage("Host \xE9t\xE9 down");
        queue.ShowMessage("second");
        bReturned = true;
    });
    while (queue.GetPendingCount() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dlg.Serve(); // not shown yet: nothing served
    EXPECT_EQ(queue.GetPendingCount(), 1u);
    dlg.BeginWait();
    dlg.close(); // the user cannot close it
    std::vector<int> positions;
    for (int i = 0; i < 12; ++i) {
        dlg.StepWait();
        positions.push_back(dlg.GetPosition());
    }
    EXPECT_EQ(positions, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
    for (int i = 0; i < 2000 && !bReturned; ++i) {
        dlg.Serve();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    dlg.EndWait();
    worker.join();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(answerer.Texts(),
              (QStringList{QString::fromLatin1("Host \xE9t\xE9 down"), "second"}));
}

} // namespace
