#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "testing/engine_fakes.h"
#include "testing/gui_thread_fakes.h"
#include "testing/system_clock.h"
#include "testing/test_commands.h"
#include "testing/test_engine.h"
#include "testing/test_worker.h"
#include "testing/waiter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using namespace std::chrono_literals;

namespace {

CHost& AddHost(CVantrelDoc& doc, const std::string& strURL, int32_t bTesting) {
    auto* pHost = new CHost;
    pHost->m_strTestURL = strURL;
    pHost->m_bTesting = bTesting;
    pHost->m_nState = HOST_DOWN;
    doc.AddHost(pHost);
    return *pHost;
}

// The worker runs on its thread and sits in the unresolvable-host box, holding that host's
// lock, until the waiting user-interface thread serves it.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        AddHost(m_doc, "http://nowhere.test/", 1);
        m_probes.SetServer("nowhere.test", {false});
        ASSERT_TRUE(m_doc.OnNewDocument(m_dir / "Vantrel.dat", CAppSettings()));
        m_gui.WaitForQueuedBox();
    }
    void TearDown() override { m_doc.StopTests(); }

    CWatchdog m_watchdog{30s, "a wait behind the worker's box"};
    CTempDir m_dir;
    CQueuedMessages m_gui;
    CFakeProbes m_probes;
    CRecordingAlerts m_alerts;
    CSystemClock m_clock;
    CTestEngine m_engine{{&m_probes, &m_alerts, nullptr, &m_clock}, &m_gui};
    CVantrelDoc m_doc{m_gui, &m_engine};
};

TEST_F(EngineTest, StopTestsServesTheWorkersBoxAndEnds) {
    m_doc.StopTests();
    EXPECT_THAT(m_gui.GetShown(), ElementsAre("Test URL http://nowhere.test/ could not be "
                                              "resolved.\nThe tests will not be held for this "
                                              "host."));
    EXPECT_FALSE(m_engine.IsRunning());
    EXPECT_FALSE(m_doc.m_hStopEvent.IsSet()) << "the next worker must start with it clear";
}

TEST_F(EngineTest, StopCommandGetsTheLockOnceTheBoxIsServed) {
    size_t nShownWhenLocked = 0;
    StopTestsOnHosts(m_doc, {0}, &m_gui, [&](int) { nShownWhenLocked = m_gui.GetShown().size(); });
    EXPECT_EQ(nShownWhenLocked, 1u);
    EXPECT_EQ(m_doc.m_arrHosts[0]->m_bNewRun, 1);
    EXPECT_EQ(m_doc.m_arrHosts[0]->GetStatusText(), "Not Testing");
}

TEST(Waiter, DialogAfterTheFirstTryThenOneStepPerFailedThreeSeconds) {
    CWatchdog watchdog(30s, "stepped wait");
    CQueuedMessages observer;
    const auto start = std::chrono::steady_clock::now();
    int nServedBeforeDialog = 0;
    // Ready after 4.5 s: the first try (0.1 s) and one step (to 3.1 s) fail, the next succeeds.
    CWaiter(&observer).WaitUntil([&](std::chrono::milliseconds ms) {
        if (observer.m_nBegin == 0)
            nServedBeforeDialog = observer.m_nServed;
        std::this_thread::sleep_for(ms);
        return std::chrono::steady_clock::now() - start >= 4500ms;
    });
    EXPECT_EQ(observer.m_nBegin, 1);
    EXPECT_EQ(observer.m_nSteps, 1);
    EXPECT_EQ(observer.m_nEnd, 1);
    EXPECT_GE(nServedBeforeDialog, 5); // served throughout, the first 100 ms included
}

TEST(TestCommands, StartAndStopChangeTheChosenHostsUnderTheirLocks) {
    EXPECT_THAT(GetChosenHosts({1, 0, 1}, 2), ElementsAre(0, 2, 2)); // ticked, then selected
    CRecordingSink sink;
    CFakeProbes probes;
    CTestEngine engine({&probes}, nullptr); // never started: it answers the connection check
    CVantrelDoc doc(sink, &engine);
    CHost& first = AddHost(doc, "", 0);
    CHost& second = AddHost(doc, "", 1);
    first.m_bNewRun = second.m_bNewRun = 0;
    std::vector<int> arrChanged;
    const auto onChanged = [&](int nIndex) {
        EXPECT_TRUE(IsHeldByAnyone(*doc.m_arrHosts[nIndex]->m_pMutex));
        arrChanged.push_back(nIndex);
    };
    probes.m_arrConnected = {false, false};
    StartTestsOnHosts(doc, {0}, nullptr, onChanged);
    StartTestsOnHosts(doc, {}, nullptr, onChanged); // nothing chosen: no check, no message
    StopTestsOnHosts(doc, {1}, nullptr, onChanged);
    EXPECT_THAT(arrChanged, ElementsAre(0, 1));
    EXPECT_THAT(sink.Get(), ElementsAre(NO_CONNECTION_TEXT));
    EXPECT_THAT(probes.Get(), ElementsAre("connected?"));
    EXPECT_EQ(first.GetStatusText(), "Testing - Unknown");
    EXPECT_EQ(first.m_bNewRun, 0);
    EXPECT_EQ(second.GetStatusText(), "Not Testing");
    EXPECT_EQ(second.m_bNewRun, 1);
}

} // namespace
