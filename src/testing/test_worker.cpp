#include "testing/test_worker.h"

#include "core/app_settings.h"
#include "core/host_check.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "platform/ping.h"
#include "testing/alert_raiser.h"
#include "testing/engine_clock.h"
#include "testing/history_recorder.h"
#include "testing/host_probe.h"
#include "testing/probes.h"
#include "testing/row_update_sink.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A moment's hold on a host's lock (a row being drawn) is waited for; a longer one (Edit Host)
// makes the host wait for the others.
constexpr std::chrono::milliseconds BUSY_TRY{100};
// Takes the lock unless it stays held for BUSY_TRY. Plain tries in short steps: a timed lock
// of the mutex is invisible to ThreadSanitizer, which then reports every unlock.
bool TryLockBriefly(std::unique_lock<std::recursive_timed_mutex>& lock) {
    const auto tEnd = std::chrono::steady_clock::now() + BUSY_TRY;
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= tEnd)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Look-ups in a row that say "no such name" before a host that never resolved leaves testing.
constexpr int NOT_FOUND_LIMIT = 3;

constexpr int64_t SECONDS_PER_DAY = 24 * 60 * 60;
// A host's web response time is the median of its latest up tests', seeded from its history
// of the last day.
constexpr size_t RECENT_RESPONSES = 20;

int32_t Median(std::vector<int32_t> arrValues) {
    const auto itMiddle = arrValues.begin() + static_cast<ptrdiff_t>(arrValues.size() / 2);
    std::nth_element(arrValues.begin(), itMiddle, arrValues.end());
    return *itMiddle;
}

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
        m_arrLookups.resize(m_doc.m_arrHosts.size());
        m_arrResponses.resize(m_doc.m_arrHosts.size());
        m_bRecording = m_seams.pRecorder && m_seams.pRecorder->BeginRun(m_doc.GetDataPath());

        // Connection gate: no cycle begins before there is a connection.
        while (!m_seams.pProbes->IsConnected()) {
            const bool bStop = WaitInterval();
            AddRunTime();
            if (bStop)
                return Stopping();
        }
        for (;;) {
            AttachHistory();
            RunCycle();
            WriteHistory(); // the tests that ended, also in a cycle cut short
            const bool bStop = WaitInterval();
            AddRunTime();
            // A failed write keeps the previous file; the store reports it when it closes. A host
            // held by Edit Host would hold up the write and every test after it: the file is
            // then written after the next cycle (the edit writes it too).
            if (AllHostsFree())
                m_doc.SaveHosts();
            if (bStop)
                return Stopping();
        }
    }

private:
    // What became of one host's visit.
    enum class EVisit { DONE, BUSY, STOP };

    // The hosts of one cycle, shared by the threads that test them: the next index to take, and
    // the hosts whose lock was held elsewhere (Edit Host), tried again while the others run.
    struct CCycle {
        std::atomic<size_t> nNext{0};
        std::atomic<int> nTesting{0}; // hosts of the list in progress
        std::mutex mtx;
        std::deque<int> arrBusy;
    };

    // Tests the hosts under test, at most the set number at a time, each on one thread from
    // its lock to its alert: a host that does not answer holds up nobody but itself.
    void RunCycle() {
        const size_t nHosts = m_doc.m_arrHosts.size();
        if (!m_seams.pProbes->IsConnected()) {
            if (AnyHostTesting())
                m_doc.m_sink.ShowMessage(NO_CONNECTION_TEXT);
            return;
        }
        const size_t nSlots =
            std::clamp<size_t>(static_cast<size_t>(std::clamp(m_doc.m_nConcurrentTests.load(), 1,
                                                              MAX_CONCURRENT_TESTS)),
                               1, std::max<size_t>(nHosts, 1));
        while (m_arrSessions.size() < nSlots)
            m_arrSessions.push_back(nullptr);
        CCycle cycle;
        std::vector<std::thread> arrThreads;
        for (size_t nSlot = 1; nSlot < nSlots; ++nSlot)
            arrThreads.emplace_back([this, &cycle, nSlot] { ServeSlot(cycle, nSlot); });
        ServeSlot(cycle, 0);
        for (std::thread& thread : arrThreads)
            thread.join();
    }

    // One of the cycle's threads: hosts in list order as they come free, then the busy ones
    // until the list is done.
    void ServeSlot(CCycle& cycle, size_t nSlot) {
        const size_t nHosts = m_doc.m_arrHosts.size();
        for (;;) {
            if (StopRequested())
                return;
            if (const size_t i = cycle.nNext++; i < nHosts) {
                ++cycle.nTesting;
                const EVisit visit = TestHost(static_cast<int>(i), nSlot);
                --cycle.nTesting;
                if (visit == EVisit::BUSY) {
                    std::lock_guard lock(cycle.mtx);
                    cycle.arrBusy.push_back(static_cast<int>(i));
                }
                continue;
            }
            int nBusy = -1;
            {
                std::lock_guard lock(cycle.mtx);
                if (cycle.arrBusy.empty())
                    return;
                nBusy = cycle.arrBusy.front();
                cycle.arrBusy.pop_front();
            }
            // A host still held when the rest of the list is done waits for the next cycle.
            if (TestHost(nBusy, nSlot) == EVisit::BUSY && cycle.nTesting > 0) {
                std::lock_guard lock(cycle.mtx);
                cycle.arrBusy.push_back(nBusy);
            }
        }
    }

    bool AllHostsFree() {
        return std::ranges::all_of(m_doc.m_arrHosts, [](CHost* pHost) {
            std::unique_lock lock(*pHost->m_pMutex, std::defer_lock);
            return TryLockBriefly(lock);
        });
    }

    bool AnyHostTesting() {
        return std::ranges::any_of(m_doc.m_arrHosts, [](CHost* pHost) {
            std::unique_lock lock(*pHost->m_pMutex, std::defer_lock);
            return TryLockBriefly(lock) && pHost->m_bTesting;
        });
    }

    // One host's visit. Its lock is held from the start of the test to its statistics; a lock
    // held elsewhere for longer than a moment makes the host BUSY, never the cycle wait.
    EVisit TestHost(int nIndex, size_t nSlot) {
        CHost& host = *m_doc.m_arrHosts[static_cast<size_t>(nIndex)];
        std::unique_lock lock(*host.m_pMutex, std::defer_lock);
        if (!TryLockBriefly(lock))
            return EVisit::BUSY;
        if (!host.m_bTesting)
            return EVisit::DONE;

        CHostProbe test;
        const std::string strURL = host.m_strTestURL;
        if (!test.SplitURL(strURL)) {
            EndHostTests(host, lock, nIndex, CHostProbe::BadURLText(strURL));
            return EVisit::DONE;
        }
        CLookupState& state = m_arrLookups[static_cast<size_t>(nIndex)];
        if (state.strURL != strURL)
            state = CLookupState{strURL};
        CResolvedHost addresses;
        const CHostLookup::EResult eLookup =
            m_seams.pProbes->LookUp(test.m_strServer, addresses, m_doc.m_hStopEvent);
        if (eLookup == CHostLookup::EResult::STOPPED || StopRequested())
            return EVisit::STOP;
        std::string strNotice;
        if (eLookup == CHostLookup::EResult::FOUND) {
            host.m_bResolved = 1;
            state = CLookupState{strURL};
        } else {
            // A name never found is taken out after the resolver has denied it on three
            // tests in a row; any other failure may be a passing DNS fault.
            state.nNotFound = eLookup == CHostLookup::EResult::NOT_FOUND ? state.nNotFound + 1 : 0;
            if (!host.m_bResolved && state.nNotFound >= NOT_FOUND_LIMIT) {
                EndHostTests(host, lock, nIndex, CHostProbe::UnresolvedText(strURL));
                return StopRequested() ? EVisit::STOP : EVisit::DONE;
            }
            if (!std::exchange(state.bNoticeShown, true))
                strNotice = CHostProbe::LookupFailedText(strURL);
        }

        const int32_t nBefore = host.m_nState;
        const time_t tPrevious = host.m_bNewRun ? m_seams.pClock->Now() : host.m_tLastTest;
        if (!test.IsSupportedService()) {
            EndHostTests(host, lock, nIndex, CHostProbe::UnknownServiceText(strURL));
            return EVisit::DONE;
        }

        bool bHint = false;
        const int nMethod = GetPingMethod(bHint);
        CHostTestResult result;
        test.m_bServerErrorsDown = m_doc.m_bServerErrorsDown;
        if (eLookup == CHostLookup::EResult::FOUND) {
            result = test.Test(*m_seams.pProbes, GetSession(nSlot), m_doc.m_hStopEvent, addresses,
                               nMethod);
        } else {
            result.nMethod = nMethod;
            result.strReason = eLookup == CHostLookup::EResult::NOT_FOUND ? "name not found"
                                                                          : "name look-up failed";
        }
        if (result.eOutcome == CHostTestResult::EOutcome::STOPPED)
            return EVisit::STOP; // a test cut short is no result
        const bool bUp = result.eOutcome == CHostTestResult::EOutcome::UP;
        RecordResult(host, result, tPrevious);
        KeepEvidence(host, static_cast<size_t>(nIndex), result);
        // The one place where a host changes state: a down alert opens, an answer closes it.
        const time_t tNow = host.m_tLastTest;
        CHostAlert alert{test.m_strServer, host.m_strName, host.m_strTestURL, tNow,
                         host.m_tDownSince};
        const bool bCertNotice = test.IsHttps() && IsCertNoticeDue(host, result.tCertExpiry, tNow);
        const bool bWentDown = nBefore == HOST_UP && !bUp;
        const bool bCameBack = bUp && host.m_tDownSince != 0;
        if (bWentDown)
            host.m_tDownSince = tNow;
        else if (bUp)
            host.m_tDownSince = 0;
        lock.unlock();
        // Messages are shown with no host lock held.
        if (bHint)
            m_doc.m_sink.ShowMessage(ICMP_NOT_PERMITTED_TEXT);
        if (!strNotice.empty())
            m_doc.m_sink.ShowMessage(strNotice);
        PostHostUpdated(nIndex);

        if (bWentDown)
            m_seams.pAlerts->RaiseHostDownAlert(m_doc, alert);
        else if (bCameBack)
            m_seams.pAlerts->RaiseHostUpAlert(m_doc, alert);
        if (bCertNotice) {
            alert.m_tCertExpiry = static_cast<time_t>(result.tCertExpiry);
            m_seams.pAlerts->RaiseCertificateNotice(m_doc, alert);
        }
        return StopRequested() ? EVisit::STOP : EVisit::DONE;
    }

    // The finished test becomes the host's last test, feeds its response time, and waits with
    // the cycle's others to be written; the caller holds the host's lock.
    void KeepEvidence(CHost& host, size_t nIndex, const CHostTestResult& result) {
        CTestRecord record = result;
        record.nHostId = host.m_nHistoryId;
        record.tWhen = host.m_tLastTest;
        record.bUp = result.eOutcome == CHostTestResult::EOutcome::UP;
        if (record.bUp && record.nTotalTenths >= 0) {
            std::deque<int32_t>& arrRecent = m_arrResponses[nIndex].arrRecent;
            arrRecent.push_back(record.nTotalTenths);
            if (arrRecent.size() > RECENT_RESPONSES)
                arrRecent.pop_front();
            host.m_nMedianResponseTenths =
                Median(std::vector<int32_t>(arrRecent.begin(), arrRecent.end()));
        }
        host.m_lastTest = record;
        if (m_bRecording && record.nHostId != 0) {
            std::lock_guard lock(m_mtxCycleTests);
            m_arrCycleTests.push_back(std::move(record));
        }
    }

    // At most one notice a day per host, while the certificate is within the warning days;
    // the caller holds the host's lock.
    bool IsCertNoticeDue(CHost& host, int64_t tExpiry, time_t tNow) {
        const int nDays = m_doc.m_nCertWarningDays;
        if (tExpiry == 0 || nDays <= 0 || tExpiry - tNow > int64_t{nDays} * SECONDS_PER_DAY ||
            (host.m_tCertNoticed != 0 && tNow - host.m_tCertNoticed < SECONDS_PER_DAY &&
             tNow >= host.m_tCertNoticed))
            return false;
        host.m_tCertNoticed = tNow;
        return true;
    }

    // Hosts added since the store attached the list get their history ids; a host's response
    // times are seeded from its history once it has one. Waits for no host held elsewhere:
    // those are attached at a later cycle.
    void AttachHistory() {
        if (!m_bRecording)
            return;
        std::vector<CHistoryStore::CHostKey> arrKeys;
        bool bMissing = false;
        for (CHost* pHost : m_doc.m_arrHosts) {
            std::unique_lock lock(*pHost->m_pMutex, std::defer_lock);
            if (!TryLockBriefly(lock))
                return;
            bMissing = bMissing || pHost->m_nHistoryId == 0;
            arrKeys.push_back({pHost->m_strName, pHost->m_strTestURL});
        }
        const std::vector<int64_t> arrIds =
            bMissing ? m_seams.pRecorder->Attach(arrKeys) : std::vector<int64_t>();
        const time_t tNow = m_seams.pClock->Now();
        for (size_t i = 0; i < m_doc.m_arrHosts.size(); ++i) {
            CHost& host = *m_doc.m_arrHosts[i];
            std::unique_lock lock(*host.m_pMutex, std::defer_lock);
            if (!TryLockBriefly(lock))
                continue;
            if (host.m_nHistoryId == 0 && i < arrIds.size())
                host.m_nHistoryId = arrIds[i];
            CResponses& responses = m_arrResponses[i];
            if (responses.bSeeded || host.m_nHistoryId == 0)
                continue;
            responses.bSeeded = true;
            const std::vector<int32_t> arrSeed =
                m_seams.pRecorder->ResponseTimesSince(host.m_nHistoryId, tNow - SECONDS_PER_DAY);
            const size_t nSkip = arrSeed.size() - std::min(arrSeed.size(), RECENT_RESPONSES);
            responses.arrRecent.assign(arrSeed.begin() + static_cast<ptrdiff_t>(nSkip),
                                       arrSeed.end());
            if (!responses.arrRecent.empty())
                host.m_nMedianResponseTenths = Median(
                    std::vector<int32_t>(responses.arrRecent.begin(), responses.arrRecent.end()));
        }
    }

    // The cycle's tests in one write. A disk that is full or read-only loses their history,
    // never the tests: the user is told once, until a write works again.
    void WriteHistory() {
        std::vector<CTestRecord> arrTests;
        {
            std::lock_guard lock(m_mtxCycleTests);
            arrTests.swap(m_arrCycleTests);
        }
        if (!m_bRecording || arrTests.empty())
            return;
        if (!m_seams.pRecorder->WriteCycle(arrTests)) {
            if (!m_doc.m_bHistoryFailureShown.exchange(true))
                m_doc.m_sink.ShowMessage(
                    "The test history cannot be written: " + m_seams.pRecorder->GetLastError() +
                    "\nThe tests go on, but their history is not kept.");
            return;
        }
        m_doc.m_bHistoryFailureShown = false;
        const time_t tNow = m_seams.pClock->Now();
        if (m_tLastPrune == 0 || tNow - m_tLastPrune >= SECONDS_PER_DAY || tNow < m_tLastPrune) {
            m_tLastPrune = tNow;
            m_seams.pRecorder->Prune(tNow, m_doc.m_nHistoryDays);
        }
    }

    // The host's statistics take a finished test's result; the caller holds its lock.
    void RecordResult(CHost& host, const CHostTestResult& result, time_t tPrevious) {
        if (result.bPinged) {
            host.m_pPingHistory->push_back(result.nPingMs);
            host.PublishPings();
            host.m_nPingTotal = AddClamped(host.m_nPingTotal, result.nPingMs);
        }
        if (result.eOutcome == CHostTestResult::EOutcome::UP) {
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
    }

    // The host's test URL cannot be used: it leaves testing, its run ends, and the user is
    // told why once the lock is released.
    void EndHostTests(CHost& host, std::unique_lock<std::recursive_timed_mutex>& lock, int nIndex,
                      const std::string& strMessage) {
        host.m_bTesting = 0;
        host.m_bNewRun = 1;
        lock.unlock();
        m_doc.m_sink.ShowMessage(strMessage);
        PostHostUpdated(nIndex);
    }

    void PostHostUpdated(int nIndex) {
        if (m_seams.pRowSink)
            m_seams.pRowSink->PostHostUpdated(nIndex);
    }

    bool StopRequested() const { return m_doc.m_hStopEvent.IsSet(); }

    // Each thread of a cycle has an HTTP client of its own; the first is the run's.
    CInternetSession& GetSession(size_t nSlot) {
        std::unique_ptr<CInternetSession>& pSession =
            nSlot == 0 ? m_pSession : m_arrSessions[nSlot];
        if (!pSession)
            pSession = m_seams.pProbes->InternetOpen(VANTREL_INTERNET_AGENT);
        return pSession ? *pSession : m_noSession;
    }

    // The chosen method; echoes that this user may not send are replaced by TCP connects, and
    // the user is told so once per program run (bHint), so that hosts are not all counted down.
    int GetPingMethod(bool& bHint) {
        if (m_doc.m_nPingMethod == PING_METHOD_TCP)
            return PING_METHOD_TCP;
        if (m_seams.pProbes->IsEchoPermitted())
            return PING_METHOD_ICMP;
        bHint = !m_doc.m_bEchoHintShown.exchange(true);
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

    // A host held by Edit Host keeps its flag: a stop must not wait for the user. A pause ends
    // no run: the worker starts again at once.
    unsigned Stopping() {
        for (CHost* pHost : m_doc.m_bPausing ? std::vector<CHost*>() : m_doc.m_arrHosts) {
            std::unique_lock lock(*pHost->m_pMutex, std::defer_lock);
            if (TryLockBriefly(lock))
                pHost->m_bNewRun = 1;
        }
        m_pSession.reset();
        m_arrSessions.clear();
        if (m_bRecording)
            m_seams.pRecorder->EndRun();
        return 0;
    }

    // A host's look-ups in a row that the resolver answered "no such name", and whether the
    // user has been told of the current failing streak; kept while the test URL stays the same.
    struct CLookupState {
        std::string strURL;
        int nNotFound = 0;
        bool bNoticeShown = false;
    };

    // Stands in for a thread's HTTP client that could not be opened: every request fails.
    class CNoSession : public CInternetSession {
    public:
        bool SendRequest(bool, const std::string&, const std::string&, uint16_t, const std::string&,
                         const std::string&, const std::string&, const CEvent&) override {
            return false;
        }
        CHttpExchange GetLastExchange() const override {
            CHttpExchange exchange;
            exchange.eFailure = CHttpExchange::EFailure::OTHER;
            exchange.strError = "Cannot initialize internet functions. InternetOpen failed";
            return exchange;
        }
    };

    CVantrelDoc& m_doc;
    const CEngineSeams& m_seams;
    std::unique_ptr<CInternetSession> m_pSession;
    std::vector<std::unique_ptr<CInternetSession>> m_arrSessions; // [0] unused: m_pSession
    CNoSession m_noSession;
    std::vector<CLookupState> m_arrLookups; // one per host; the list is fixed during a run
    time_t m_tCycleStart = 0;

    // A host's latest web response times (total, of up tests), oldest first.
    struct CResponses {
        bool bSeeded = false;
        std::deque<int32_t> arrRecent;
    };
    std::vector<CResponses> m_arrResponses; // one per host
    bool m_bRecording = false;              // the recorder took the run
    std::mutex m_mtxCycleTests;             // the cycle's threads add their tests
    std::vector<CTestRecord> m_arrCycleTests;
    time_t m_tLastPrune = 0;
};

} // namespace

unsigned TestWorker(CVantrelDoc& doc, const CEngineSeams& seams) {
    return CWorkerRun(doc, seams).Run();
}
