#include "testing/test_worker.h"

#include "core/host_check.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "platform/ping.h"
#include "testing/alert_raiser.h"
#include "testing/engine_clock.h"
#include "testing/host_probe.h"
#include "testing/probes.h"
#include "testing/row_update_sink.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>

namespace {

// A data file may hold a counter near its limit: it stays there instead of overflowing.
int32_t AddClamped(int32_t nValue, int64_t nAdd) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{nValue} + nAdd, INT32_MIN, INT32_MAX));
}

// One run of the worker, from the opening of the internet handle to Stopping.
class CWorkerRun {
public:
    CWorkerRun(CVantrelDoc& doc, const CEngineSeams& seams) : m_doc(doc), m_seams(seams) {}

    unsigned Run() {
        m_pSession = m_seams.pProbes->InternetOpen(VANTREL_INTERNET_AGENT);
        if (!m_pSession) {
            m_doc.m_sink.ShowMessage("Cannot initialize internet functions. InternetOpen failed");
            return 0;
        }
        m_tCycleStart = m_seams.pClock->Now();

        // Connection gate: no cycle begins before there is a connection.
        while (!m_seams.pProbes->IsConnected()) {
            const bool bStop = WaitInterval();
            AddRunTime();
            if (bStop)
                return Stopping();
        }
        for (;;) {
            RunCycle();
            const bool bStop = WaitInterval();
            AddRunTime();
            // A failed write keeps the previous file; the store reports it when it closes.
            m_doc.SaveHosts();
            if (bStop)
                return Stopping();
        }
    }

private:
    void RunCycle() {
        const bool bConnected = m_seams.pProbes->IsConnected();
        for (size_t i = 0; i < m_doc.m_arrHosts.size(); ++i)
            if (!TestHost(static_cast<int>(i), bConnected))
                break;
    }

    // One host's visit; false leaves the host loop.
    bool TestHost(int nIndex, bool bConnected) {
        CHost& host = *m_doc.m_arrHosts[static_cast<size_t>(nIndex)];
        std::unique_lock lock(*host.m_pMutex);
        if (!host.m_bTesting)
            return true;
        if (!bConnected) {
            lock.unlock();
            m_doc.m_sink.ShowMessage(NO_CONNECTION_TEXT);
            return false;
        }

        // The messages below are shown under the host's lock; the flags change after the
        // user has closed the box.
        CHostProbe test;
        if (!test.SplitURL(host.m_strTestURL)) {
            m_doc.m_sink.ShowMessage(CHostProbe::BadURLText(host.m_strTestURL));
            EndHostTests(host, lock, nIndex);
            return true;
        }
        if (!host.m_bResolved && m_seams.pProbes->Resolve(test.m_strServer))
            host.m_bResolved = 1;
        if (!host.m_bResolved) {
            m_doc.m_sink.ShowMessage(CHostProbe::UnresolvedText(host.m_strTestURL));
            EndHostTests(host, lock, nIndex);
            return !StopRequested();
        }
        if (StopRequested())
            return false;

        const int32_t nBefore = host.m_nState;
        const time_t tPrevious = host.m_bNewRun ? m_seams.pClock->Now() : host.m_tLastTest;
        if (!test.IsSupportedService()) {
            m_doc.m_sink.ShowMessage(CHostProbe::UnknownServiceText(host.m_strTestURL));
            EndHostTests(host, lock, nIndex);
            return true;
        }

        CPingResult reply;
        const CHostProbe::EEcho eEcho =
            test.Echo(*m_seams.pProbes, m_doc.m_hStopEvent, reply, GetPingMethod());
        if (eEcho == CHostProbe::EEcho::STOPPED)
            return false; // the cycle's statistics stay as they were

        bool bUp = false;
        if (eEcho == CHostProbe::EEcho::ANSWERED) {
            bUp = test.RequestObject(*m_pSession, m_doc.m_hStopEvent);
            if (StopRequested())
                return false; // an aborted request is no result either
            host.m_pPingHistory->push_back(reply.RTT);
            host.PublishPings();
            host.m_nPingTotal = AddClamped(host.m_nPingTotal, reply.RTT);
        }
        if (bUp) {
            host.m_nTestsUp = AddClamped(host.m_nTestsUp, 1);
            host.m_nState = HOST_UP;
        } else {
            host.m_nState = HOST_DOWN;
        }
        const time_t tNow = m_seams.pClock->Now();
        host.m_bNewRun = 0;
        host.m_tLastTest = static_cast<int32_t>(tNow);
        // A clock set back must not take tested time away.
        host.m_nSecondsTested =
            AddClamped(host.m_nSecondsTested, std::max<time_t>(0, tNow - tPrevious));
        host.m_nTests = AddClamped(host.m_nTests, 1);
        // The one place where a host changes state: a down alert opens, an answer closes it.
        const CHostAlert alert{test.m_strServer, host.m_strName, host.m_strTestURL, tNow,
                               host.m_tDownSince};
        const bool bWentDown = nBefore == HOST_UP && !bUp;
        const bool bCameBack = bUp && host.m_tDownSince != 0;
        if (bWentDown)
            host.m_tDownSince = tNow;
        else if (bUp)
            host.m_tDownSince = 0;
        lock.unlock();
        PostHostUpdated(nIndex);

        if (bWentDown)
            m_seams.pAlerts->RaiseHostDownAlert(m_doc, alert);
        else if (bCameBack)
            m_seams.pAlerts->RaiseHostUpAlert(m_doc, alert);
        return !StopRequested();
    }

    // The host's test URL cannot be used: it leaves testing and its run ends.
    void EndHostTests(CHost& host, std::unique_lock<std::recursive_timed_mutex>& lock, int nIndex) {
        host.m_bTesting = 0;
        host.m_bNewRun = 1;
        lock.unlock();
        PostHostUpdated(nIndex);
    }

    void PostHostUpdated(int nIndex) {
        if (m_seams.pRowSink)
            m_seams.pRowSink->PostHostUpdated(nIndex);
    }

    bool StopRequested() const { return m_doc.m_hStopEvent.IsSet(); }

    // The chosen method; echoes that this user may not send are replaced by TCP connects, and
    // the user is told so once per program run, so that hosts are not all counted down.
    int GetPingMethod() {
        if (m_doc.m_nPingMethod == PING_METHOD_TCP)
            return PING_METHOD_TCP;
        if (m_seams.pProbes->IsEchoPermitted())
            return PING_METHOD_ICMP;
        if (!m_doc.m_bEchoHintShown.exchange(true))
            m_doc.m_sink.ShowMessage(ICMP_NOT_PERMITTED_TEXT);
        return PING_METHOD_TCP;
    }

    // The interval is read as the wait begins. Less than a minute would spin cycles that only
    // rewrite the data file; a damaged file's huge value must not overflow the wait. A wake ends
    // the wait when hosts were started, and otherwise measures the wait again with the interval set
    // now, from its start. True on a stop.
    bool WaitInterval() {
        using namespace std::chrono;
        const auto tBegin = steady_clock::now();
        int64_t nWait = GetIntervalMs();
        for (;;) {
            switch (
                m_seams.pClock->WaitForStopOrWake(m_doc.m_hStopEvent, m_doc.m_hWakeEvent, nWait)) {
            case CEngineClock::EWaitEnd::STOPPED:
                return true;
            case CEngineClock::EWaitEnd::ELAPSED:
                return false;
            case CEngineClock::EWaitEnd::WOKEN:
                break;
            }
            m_doc.m_hWakeEvent.Reset();
            if (m_doc.m_bHostsStarted.exchange(false))
                return false;
            nWait =
                GetIntervalMs() - duration_cast<milliseconds>(steady_clock::now() - tBegin).count();
            if (nWait <= 0)
                return false;
        }
    }

    int64_t GetIntervalMs() const {
        return int64_t{CHostCheck::ClampInterval(m_doc.m_nIntervalMinutes.load())} *
               m_seams.nMillisecondsPerMinute;
    }

    void AddRunTime() {
        const time_t tNow = m_seams.pClock->Now();
        m_doc.m_nRunSeconds =
            AddClamped(m_doc.m_nRunSeconds, std::max<time_t>(0, tNow - m_tCycleStart));
        m_tCycleStart = tNow;
    }

    unsigned Stopping() {
        for (CHost* pHost : m_doc.m_arrHosts) {
            std::lock_guard lock(*pHost->m_pMutex);
            pHost->m_bNewRun = 1;
        }
        m_pSession.reset();
        return 0;
    }

    CVantrelDoc& m_doc;
    const CEngineSeams& m_seams;
    std::unique_ptr<CInternetSession> m_pSession;
    time_t m_tCycleStart = 0;
};

} // namespace

unsigned TestWorker(CVantrelDoc& doc, const CEngineSeams& seams) {
    return CWorkerRun(doc, seams).Run();
}
