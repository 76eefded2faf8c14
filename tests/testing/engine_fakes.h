#pragma once

// One stand-in for everything the test worker reaches outside itself: probes, clock, message
// boxes, row updates, alerts, and the user-interface thread that waits for the worker. It logs
// every call in order ("ping h.test 64 5000 32 0 0", "wait 5000", "row 0", "alert h.test",
// "box " and its text).
#include "core/message_sink.h"
#include "testing/alert_raiser.h"
#include "testing/engine_clock.h"
#include "testing/probes.h"
#include "testing/row_update_sink.h"
#include "testing/wait_observer.h"

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// True when another thread cannot take the lock now (someone holds it).
inline bool IsHeldByAnyone(std::recursive_timed_mutex& mtx) {
    return std::async(std::launch::async, [&] { return !mtx.try_lock() || (mtx.unlock(), false); })
        .get();
}

class CFakeWorld : public CProbes,
                   public CEngineClock,
                   public CMessageSink,
                   public CRowUpdateSink,
                   public CAlertRaiser,
                   public CWaitObserver {
public:
    // A server missing from the table resolves, answers echoes and serves its pages.
    struct CServer { // bAnswers: echo replies; nStatus not 0: an ICMP error answers us
        bool bResolves = true, bAnswers = true;
        uint32_t nRTT = 20, nStatus = 0;
        bool bWebUp = true;
    };

    bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                       uint32_t dwTimeoutMs, uint16_t nSize, uint8_t nTOS, bool bDF,
                       const CEvent&) override {
        Add("ping " + strHost + " " + std::to_string(nTTL) + " " + std::to_string(dwTimeoutMs) +
            " " + std::to_string(nSize) + " " + std::to_string(nTOS) + " " + std::to_string(bDF));
        const CServer server = GetServer(strHost);
        result = {0x0100007f, server.nRTT, server.nStatus, {}};
        return server.bAnswers;
    }
    // A TCP connect is answered where an echo would be; a refusal answers too.
    bool ConnectTCP(const std::string& strHost, uint16_t nPort, CPingResult& result,
                    uint32_t dwTimeoutMs, const CEvent&) override {
        Add("connect " + strHost + " " + std::to_string(nPort) + " " + std::to_string(dwTimeoutMs));
        const CServer server = GetServer(strHost);
        result = {0x0100007f, server.nRTT + 1, 0, {}};
        return server.bAnswers;
    }
    bool IsEchoPermitted() override { return m_bEchoPermitted; }
    bool Resolve(const std::string& strServer) override {
        Add("resolve " + strServer);
        return GetServer(strServer).bResolves;
    }
    std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) override {
        struct CSession : CInternetSession { // the run's requests, logged by the world
            CFakeWorld& m_world;
            explicit CSession(CFakeWorld& world) : m_world(world) {}
            bool SendRequest(bool bHttps, const std::string& strServer, uint16_t nPort,
                             const std::string& strObject, const std::string& strUser,
                             const std::string& strPass, const CEvent& evStop) override {
                m_world.Add("request " + std::string(bHttps ? "https " : "http ") + strServer +
                            ":" + std::to_string(nPort) + " " + strObject + " " + strUser + " " +
                            strPass);
                if (m_world.m_onRequest)
                    m_world.m_onRequest(evStop);
                return m_world.GetServer(strServer).bWebUp && !evStop.IsSet();
            }
            std::string GetLastErrorText() const override { return "refused"; }
        };
        Add("open " + strAgent);
        return std::make_unique<CSession>(*this);
    }
    bool IsConnected() override {
        Add("connected?");
        std::lock_guard lock(m_mtx);
        return m_nChecks >= m_arrConnected.size() || m_arrConnected[m_nChecks++];
    }
    time_t Now() override { return m_tNow; }
    // m_onWait decides how a wait ends (else: the event's state).
    bool WaitForStop(const CEvent& evStop, int64_t nMilliseconds) override {
        Add("wait " + std::to_string(nMilliseconds));
        return m_onWait ? m_onWait(evStop, nMilliseconds) : evStop.IsSet();
    }
    void ShowMessage(const std::string& strText) override { Add("box " + strText); }
    void PostHostUpdated(int nIndex) override { Add("row " + std::to_string(nIndex)); }
    void RaiseHostDownAlert(CVantrelDoc&, const CHostAlert& alert) override {
        Add("alert " + alert.m_strServer);
    }
    void RaiseHostUpAlert(CVantrelDoc&, const CHostAlert& alert) override {
        Add("up " + alert.m_strServer + " " + std::to_string(alert.m_tWhen - alert.m_tDownSince));
    }

    void BeginWait() override {}
    void StepWait() override {}
    void EndWait() override {}
    void Serve() override { m_evServed.Set(); } // the waiting user-interface thread shows boxes

    void Advance(time_t nSeconds) { m_tNow += nSeconds; }
    void SetServer(const std::string& strName, const CServer& server) {
        std::lock_guard lock(m_mtx);
        m_servers[strName] = server;
    }
    CServer GetServer(const std::string& strName) {
        std::lock_guard lock(m_mtx);
        return m_servers[strName];
    }
    void Add(const std::string& strEvent) {
        {
            std::lock_guard lock(m_mtx);
            m_arrEvents.push_back(strEvent);
        }
        if (m_onAdd) // as it happens: the box open, the lock held, the echo waiting
            m_onAdd(strEvent);
    }
    // The events starting with strPrefix.
    std::vector<std::string> Get(const std::string& strPrefix = "") const {
        std::lock_guard lock(m_mtx);
        std::vector<std::string> arrEvents;
        for (const std::string& str : m_arrEvents)
            if (str.starts_with(strPrefix))
                arrEvents.push_back(str);
        return arrEvents;
    }

    std::function<void(const std::string&)> m_onAdd;
    std::function<bool(const CEvent&, int64_t)> m_onWait;
    std::function<void(const CEvent&)> m_onRequest; // while the web request runs
    std::atomic<bool> m_bEchoPermitted{true};
    std::atomic<time_t> m_tNow{1'700'000'000};
    std::vector<bool> m_arrConnected; // answers of IsConnected in turn, then true
    CEvent m_evServed;

private:
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrEvents;
    std::map<std::string, CServer> m_servers;
    size_t m_nChecks = 0;
};
