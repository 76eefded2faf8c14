#include "testing/gui_thread_fakes.h"
#include "testing/waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace std::chrono_literals;

namespace {

TEST(Waiter, FreeLockIsTakenWithoutTheDialog) {
    CQueuedMessages observer;
    std::recursive_timed_mutex mtx;
    CWaiter(&observer).Lock(mtx);
    EXPECT_FALSE(std::async(std::launch::async, [&] { return mtx.try_lock(); }).get());
    mtx.unlock();
    EXPECT_EQ(observer.m_nBegin, 0);
    EXPECT_EQ(observer.m_nEnd, 0);
}

TEST(Waiter, BusyLockShowsTheDialogAfterTheFirstTryAndServesThroughout) {
    CWatchdog watchdog(20s, "lock wait");
    CQueuedMessages observer;
    std::recursive_timed_mutex mtx;
    std::atomic<bool> bHeld{false};
    std::thread holder([&] {
        std::lock_guard lock(mtx);
        bHeld = true;
        std::this_thread::sleep_for(400ms);
    });
    while (!bHeld)
        std::this_thread::sleep_for(1ms);
    CWaiter(&observer).Lock(mtx);
    mtx.unlock();
    holder.join();
    EXPECT_EQ(observer.m_nBegin, 1);
    EXPECT_EQ(observer.m_nSteps, 0);
    EXPECT_EQ(observer.m_nEnd, 1);
    // Served every few milliseconds, the first 100 ms included.
    EXPECT_GE(observer.m_nServed, 10);
}

TEST(Waiter, EveryFailedStepOfThreeSecondsStepsTheBarOnce) {
    CWatchdog watchdog(30s, "stepped wait");
    CQueuedMessages observer;
    const auto start = std::chrono::steady_clock::now();
    int nServedBeforeDialog = -1;
    // Ready after 4.5 s: the first try (0.1 s) and one step (to 3.1 s) fail, the second
    // step (to 6.1 s) succeeds.
    CWaiter(&observer).WaitUntil([&](std::chrono::milliseconds ms) {
        if (observer.m_nBegin == 0)
            nServedBeforeDialog = observer.m_nServed;
        if (std::chrono::steady_clock::now() - start >= 4500ms)
            return true;
        std::this_thread::sleep_for(ms);
        return false;
    });
    EXPECT_EQ(observer.m_nBegin, 1);
    EXPECT_EQ(observer.m_nSteps, 1);
    EXPECT_EQ(observer.m_nEnd, 1);
    EXPECT_GE(nServedBeforeDialog, 5);
}

TEST(Waiter, WaitWithoutObserverStillEnds) {
    std::atomic<int> nTries{0};
    CWaiter(nullptr).WaitUntil([&](std::chrono::milliseconds) { return ++nTries == 3; });
    EXPECT_EQ(nTries, 3);
}

} // namespace
