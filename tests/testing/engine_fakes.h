#pragma once

// Stand-ins for everything the test worker reaches outside itself, each logging what it saw.
#include "core/message_sink.h"
#include "testing/alert_raiser.h"
#include "testing/engine_clock.h"
#include "testing/probes.h"
#include "testing/row_update_sink.h"

#include <atomic>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// True when another thread cannot take the lock now (someone holds it).
inline bool IsHeldByAnyone(std::recursive_timed_mutex& mtx) {
    return std::async(std::launch::async,
                      [&mtx] { return !mtx.try_lock() || (mtx.unlock(), false); })
        .get();
}

// Thread-safe: the worker often runs on a thread of its own.
class CEventLog {
public:
    void Add(const std::string& strEvent) {
        std::unique_lock lock(m_mtx);
        m_arrEvents.push_back(strEvent);
        lock.unlock();
        if (m_onAdd) // as it happens: the box open, the lock held, the echo waiting
            m_onAdd(strEvent);
    }
    std::vector<std::string> Get() const {
        std::lock_guard lock(m_mtx);
        return m_arrEvents;
    }
    std::function<void(const std::string&)> m_onAdd;

protected:
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrEvents;
};

struct CRecordingSink : CMessageSink, CEventLog {
    void ShowMessage(const std::string& strText) override { Add(strText); }
};
struct CRecordingRows : CRowUpdateSink, CEventLog {
    void PostHostUpdated(int nIndex) override { Add("row " + std::to_string(nIndex)); }
};
struct CRecordingAlerts : CAlertRaiser, CEventLog {
    void RaiseHostDownAlert(CVantrelDoc&, const std::string& strServer) override {
        Add("alert " + strServer);
    }
};

// Logs every wait ("wait 5000"); m_onWait decides how it ends (else: the event's state).
struct CFakeClock : CEngineClock, CEventLog {
    time_t Now() override { return m_tNow; }
    bool WaitForStop(const CEvent& evStop, int64_t nMilliseconds) override {
        Add("wait " + std::to_string(nMilliseconds));
        return m_onWait ? m_onWait(evStop, nMilliseconds) : evStop.IsSet();
    }
    void Advance(time_t nSeconds) { m_tNow += nSeconds; }

    std::atomic<time_t> m_tNow{1'700'000'000};
    std::function<bool(const CEvent&, int64_t)> m_onWait;
};

// A server missing from the table resolves, answers echoes and serves its pages.
class CFakeProbes : public CProbes, public CEventLog {
public:
    struct CServer {
        bool bResolves = true;
        bool bAnswers = true; // echo replies
        uint32_t nRTT = 20;
        uint32_t nStatus = 0; // of the replies: not 0 is an ICMP error answering us
        bool bWebUp = true;
    };
    bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                       uint32_t dwTimeoutMs, uint16_t nSize, uint8_t nTOS,
                       bool bDontFragment) override {
        Add("ping " + strHost + " " + std::to_string(nTTL) + " " + std::to_string(dwTimeoutMs) +
            " " + std::to_string(nSize) + " " + std::to_string(nTOS) + " " +
            std::to_string(bDontFragment));
        const CServer server = GetServer(strHost);
        result = {0x0100007f, server.nRTT, server.nStatus};
        return server.bAnswers;
    }
    bool Resolve(const std::string& strServer) override {
        Add("resolve " + strServer);
        return GetServer(strServer).bResolves;
    }
    // The run's session: a view of this object.
    std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) override {
        Add("open " + strAgent);
        struct CView : CInternetSession {
            CFakeProbes& m_probes;
            explicit CView(CFakeProbes& probes) : m_probes(probes) {}
            bool SendRequest(const std::string& strServer, const std::string& strObject,
                             const std::string& strUser, const std::string& strPass) override {
                m_probes.Add("request " + strServer + " " + strObject + " " + strUser + " " +
                             strPass);
                return m_probes.GetServer(strServer).bWebUp;
            }
        };
        return m_bInternetOpens ? std::make_unique<CView>(*this) : nullptr;
    }
    bool IsConnected() override {
        Add("connected?");
        std::lock_guard lock(m_mtx);
        const bool bConnected = m_arrConnected.empty() || m_arrConnected.front();
        if (!m_arrConnected.empty())
            m_arrConnected.pop_front();
        return bConnected;
    }
    void SetServer(const std::string& strName, const CServer& server) {
        std::lock_guard lock(m_mtx);
        m_servers[strName] = server;
    }
    CServer GetServer(const std::string& strName) {
        std::lock_guard lock(m_mtx);
        return m_servers[strName];
    }

    bool m_bInternetOpens = true;
    std::deque<bool> m_arrConnected; // answers of IsConnected in turn, then true

private:
    std::map<std::string, CServer> m_servers;
};
