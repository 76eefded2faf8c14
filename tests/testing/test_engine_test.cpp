#include "core/test_files.h"
#include "testing/engine_fakes.h"
#include "testing/gui_thread_fakes.h"
#include "testing/system_clock.h"
#include "testing/test_commands.h"
#include "testing/test_engine.h"
#include "testing/test_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

namespace {

// A gate the fake echo waits at, opened by the test.
class CGate {
public:
    void Open() {
        {
            std::lock_guard lock(m_mtx);
            m_bOpen = true;
        }
        m_cv.notify_all();
    }
    void Pass() {
        std::unique_lock lock(m_mtx);
        m_bWaiting = true;
        m_cv.notify_all();
        m_cv.wait(lock, [this] { return m_bOpen; });
    }
    void WaitUntilSomeoneWaits() {
        std::unique_lock lock(m_mtx);
        m_cv.wait(lock, [this] { return m_bWaiting; });
    }

private:
    std::mutex m_mtx;
    std::condition_variable m_cv;
    bool m_bOpen = false;
    bool m_bWaiting = false;
};

// The engine over a store as the desktop program sets it up, with the real clock and wait.
class EngineTest : public ::testing::Test {
protected:
    CEngineSeams MakeSeams() {
        CEngineSeams seams;
        seams.pProbes = &m_probes;
        seams.pAlerts = &m_alerts;
        seams.pRowSink = &m_rows;
        seams.pClock = &m_clock;
        return seams;
    }
    ~EngineTest() override {
        if (m_engine.IsRunning())
            m_doc.StopTests();
    }

    CHost& AddHost(const std::string& strURL) {
        auto* pHost = new CHost;
        pHost->m_strTestURL = strURL;
        pHost->m_bTesting = 1;
        m_doc.AddHost(pHost);
        return *pHost;
    }
    void Open() { ASSERT_TRUE(m_doc.OnNewDocument(m_dir / "Vantrel.dat", CAppSettings())); }

    // One tested host whose echo waits at the gate until the test opens it.
    CHost& OpenWithEchoHeldAt(CGate& echo) {
        CHost& host = AddHost("http://www.alpha.test/");
        m_probes.m_onPing = [&echo](const std::string&, CPingResult& reply) {
            echo.Pass();
            reply.RTT = 8;
            return true;
        };
        Open();
        return host;
    }

    // The worker shows the unresolvable-host box while it holds that host's lock.
    void OpenWithWorkerShowingABox() {
        AddHost("http://nowhere.test/");
        m_probes.SetServer("nowhere.test", {false, true, 0, 0, true});
        Open();
    }

    CTempDir m_dir;
    CQueuedMessages m_gui;
    CFakeProbes m_probes;
    CRecordingAlerts m_alerts;
    CRecordingRows m_rows;
    CSystemClock m_clock;
    CTestEngine m_engine{MakeSeams(), &m_gui};
    CVantrelDoc m_doc{m_gui, &m_engine};
};

TEST_F(EngineTest, NewWorkerTestsAtOnceAndStopsFromItsIdleWait) {
    // Opening the store starts the worker, which tests at once.
    AddHost("http://www.alpha.test/");
    CWatchdog watchdog(20s, "first cycle and stop");
    CGate firstEcho;
    m_probes.m_onPing = [&](const std::string&, CPingResult& reply) {
        firstEcho.Open();
        reply.RTT = 3;
        return true;
    };
    Open();
    ASSERT_TRUE(m_engine.IsRunning());
    firstEcho.Pass();
    while (m_rows.GetRows().empty())
        std::this_thread::sleep_for(1ms);

    m_doc.StopTests();
    EXPECT_FALSE(m_engine.IsRunning());
    EXPECT_FALSE(m_doc.m_hStopEvent.IsSet()) << "the next worker must start with the event clear";
    CHost& host = *m_doc.m_arrHosts[0];
    EXPECT_EQ(host.m_nTests, 1);
    EXPECT_EQ(host.m_bNewRun, 1);
    EXPECT_EQ(m_probes.GetPings().size(), 1u);
}

TEST_F(EngineTest, StoppingAWorkerThatEndedOnItsOwnReturnsAtOnce) {
    m_probes.m_bInternetOpens = false;
    Open();
    {
        CWatchdog watchdog(20s, "worker's own end");
        m_gui.WaitForQueuedBox();
        m_gui.Serve();
    }
    CWatchdog watchdog(20s, "StopTests");
    // Let the worker's thread finish its last steps after the box closed.
    while (m_gui.GetShown().empty())
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    m_doc.StopTests();
    EXPECT_THAT(m_gui.GetShown(),
                ElementsAre("Cannot initialize internet functions. InternetOpen failed"));
    EXPECT_EQ(m_gui.m_nBegin, 0) << "no wait dialog for an ended worker";
    EXPECT_FALSE(m_doc.m_hStopEvent.IsSet());
}

TEST_F(EngineTest, StartingAgainAfterTheWorkerEndedOnItsOwnRunsANewOne) {
    AddHost("http://www.alpha.test/");
    m_probes.m_bInternetOpens = false;
    Open();
    CWatchdog watchdog(20s, "restart after the worker's own end");
    m_gui.WaitForQueuedBox();
    m_gui.Serve();
    while (!m_engine.WaitForEnd(10))
        ;
    m_probes.m_bInternetOpens = true;
    m_doc.StartTests();
    while (m_rows.GetRows().empty())
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(m_doc.m_arrHosts[0]->m_nTests, 1);
    m_doc.StopTests();
    EXPECT_EQ(m_probes.m_arrAgents.size(), 2u);
}

TEST_F(EngineTest, StopWhileAnEchoWaitsShowsTheDialogAndKeepsTheStatistics) {
    CGate echo;
    CHost& host = OpenWithEchoHeldAt(echo);
    CWatchdog watchdog(30s, "StopTests during an echo");
    echo.WaitUntilSomeoneWaits();
    // The dialog comes after the first 100 ms; the echo then ends and the worker with it.
    std::thread opener([&] {
        while (true) {
            std::this_thread::sleep_for(20ms);
            if (m_doc.m_hStopEvent.IsSet())
                break;
        }
        std::this_thread::sleep_for(300ms);
        echo.Open();
    });
    m_doc.StopTests();
    opener.join();

    EXPECT_EQ(m_gui.m_nBegin, 1);
    EXPECT_EQ(m_gui.m_nEnd, 1);
    EXPECT_EQ(host.m_nTests, 0);
    EXPECT_THAT(*host.m_pPingHistory, IsEmpty());
    EXPECT_EQ(host.m_nState, HOST_UNKNOWN);
    EXPECT_EQ(host.m_bNewRun, 1);
    EXPECT_FALSE(m_doc.m_hStopEvent.IsSet());
}

TEST_F(EngineTest, StopTestsServesTheWorkersMessageBoxInsteadOfDeadlocking) {
    OpenWithWorkerShowingABox();
    CWatchdog watchdog(30s, "StopTests while the worker shows a box");
    m_gui.WaitForQueuedBox();
    m_doc.StopTests();
    EXPECT_THAT(m_gui.GetShown(), ElementsAre("Test URL http://nowhere.test/ could not be "
                                              "resolved.\nThe tests will not be held for this "
                                              "host."));
    EXPECT_FALSE(m_engine.IsRunning());
    EXPECT_EQ(m_doc.m_arrHosts[0]->m_bTesting, 0);
}

TEST_F(EngineTest, HostCommandWaitsForALockHeldUnderAMessageBox) {
    OpenWithWorkerShowingABox();
    CWatchdog watchdog(30s, "stop command while the worker shows a box");
    m_gui.WaitForQueuedBox();
    // The wait serves the box; the worker then lets go of the host and we get its lock.
    size_t nShownWhenLocked = 0;
    StopTestsOnHosts(m_doc, {0}, &m_gui, [&](int) { nShownWhenLocked = m_gui.GetShown().size(); });
    EXPECT_EQ(nShownWhenLocked, 1u);
    EXPECT_EQ(m_doc.m_arrHosts[0]->m_bTesting, 0);
    EXPECT_EQ(m_doc.m_arrHosts[0]->m_bNewRun, 1);
}

TEST_F(EngineTest, StopCommandDuringATestWaitsAndTheResultIsStillRecorded) {
    CGate echo;
    CHost& host = OpenWithEchoHeldAt(echo);
    CWatchdog watchdog(30s, "stop command during a test");
    echo.WaitUntilSomeoneWaits();
    std::thread opener([&] {
        std::this_thread::sleep_for(400ms);
        echo.Open();
    });
    int32_t nTestsSeen = -1;
    StopTestsOnHosts(m_doc, {0}, &m_gui, [&](int) { nTestsSeen = host.m_nTests; });
    opener.join();
    EXPECT_EQ(m_gui.m_nBegin, 1);
    EXPECT_EQ(nTestsSeen, 1);
    EXPECT_EQ(host.m_nState, HOST_UP);
    EXPECT_EQ(host.GetStatusText(), "Not Testing");
}

TEST_F(EngineTest, StopCommandOnAnIdleWorkerNeedsNoDialog) {
    CHost& host = AddHost("http://www.alpha.test/");
    Open();
    CWatchdog watchdog(20s, "stop command on an idle worker");
    while (m_rows.GetRows().empty())
        std::this_thread::sleep_for(1ms);
    StopTestsOnHosts(m_doc, {0}, &m_gui, nullptr);
    EXPECT_EQ(m_gui.m_nBegin, 0);
    EXPECT_EQ(host.m_bTesting, 0);
    EXPECT_EQ(host.m_bNewRun, 1);
}

class CommandsTest : public ::testing::Test {
protected:
    static CEngineSeams MakeSeams(CProbes& probes) {
        CEngineSeams seams;
        seams.pProbes = &probes;
        return seams;
    }
    CommandsTest() {
        for (int i = 0; i < 3; ++i) {
            auto* pHost = new CHost;
            pHost->m_nState = HOST_DOWN;
            pHost->m_nTests = 7;
            pHost->m_bResolved = 1;
            pHost->m_bNewRun = 0;
            m_doc.AddHost(pHost);
        }
    }
    CHost& Host(int i) { return *m_doc.m_arrHosts[static_cast<size_t>(i)]; }

    CRecordingSink m_sink;
    CFakeProbes m_probes;
    CTestEngine m_engine{MakeSeams(m_probes),
                         nullptr}; // answers the connection check; never started
    CVantrelDoc m_doc{m_sink, &m_engine};
    CQueuedMessages m_observer;
};

TEST_F(CommandsTest, ChosenHostsAreTheTickedRowsThenTheSelectedOne) {
    EXPECT_THAT(GetChosenHosts({1, 0, 1, 0}, 3), ElementsAre(0, 2, 3));
    EXPECT_THAT(GetChosenHosts({1, 0, 1}, 2), ElementsAre(0, 2, 2));
    EXPECT_THAT(GetChosenHosts({0, 0}, -1), IsEmpty());
    EXPECT_THAT(GetChosenHosts({}, 0), ElementsAre(0));
}

TEST_F(CommandsTest, StartMarksHostsUnknownUnderTheirLockAndKeepsStatistics) {
    std::vector<int> arrCalls;
    StartTestsOnHosts(m_doc, GetChosenHosts({1, 0, 1}, 2), &m_observer, [&](int nIndex) {
        EXPECT_TRUE(IsHeldByAnyone(*Host(nIndex).m_pMutex));
        EXPECT_EQ(Host(nIndex).GetStatusText(), "Testing - Unknown");
        arrCalls.push_back(nIndex);
    });
    EXPECT_THAT(arrCalls, ElementsAre(0, 2, 2));
    for (int i : {0, 2}) {
        EXPECT_EQ(Host(i).m_bTesting, 1);
        EXPECT_EQ(Host(i).m_nState, HOST_UNKNOWN);
        EXPECT_EQ(Host(i).m_nTests, 7);
        EXPECT_EQ(Host(i).m_bResolved, 1);
        EXPECT_EQ(Host(i).m_bNewRun, 0);
    }
    EXPECT_EQ(Host(1).m_bTesting, 0);
    EXPECT_EQ(Host(1).m_nState, HOST_DOWN);
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(m_observer.m_nBegin, 0);
    EXPECT_EQ(m_probes.m_nConnectionChecks, 1);
}

TEST_F(CommandsTest, StartWhileOfflineSaysSoOnceAndStartWithNothingChosenDoesNothing) {
    m_probes.m_arrConnected = {false};
    StartTestsOnHosts(m_doc, {0, 1}, &m_observer, nullptr);
    EXPECT_THAT(m_sink.GetMessages(), ElementsAre(NO_CONNECTION_TEXT));
    EXPECT_EQ(Host(1).GetStatusText(), "Testing - Unknown");

    m_probes.m_arrConnected = {false};
    StartTestsOnHosts(m_doc, {}, &m_observer, nullptr);
    EXPECT_EQ(m_sink.GetMessages().size(), 1u);
    EXPECT_EQ(m_probes.m_nConnectionChecks, 1);
}

TEST_F(CommandsTest, StopEndsTheRunOfEachChosenHost) {
    for (int i = 0; i < 3; ++i)
        Host(i).m_bTesting = 1;
    std::vector<int> arrCalls;
    StopTestsOnHosts(m_doc, GetChosenHosts({0, 1, 0}, 1), &m_observer,
                     [&](int nIndex) { arrCalls.push_back(nIndex); });
    EXPECT_THAT(arrCalls, ElementsAre(1, 1));
    EXPECT_EQ(Host(1).m_bTesting, 0);
    EXPECT_EQ(Host(1).m_bNewRun, 1);
    EXPECT_EQ(Host(1).m_nTests, 7);
    EXPECT_EQ(Host(0).m_bTesting, 1);
    EXPECT_EQ(Host(0).m_bNewRun, 0);
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(m_probes.m_nConnectionChecks, 0);
}

} // namespace
