#pragma once

// One stand-in for all the test worker reaches outside itself, logging each call in order
// ("ping h.test 64 5000 32 0 0", "wait 5000", "row 0", "box " and its text...).
#include "core/message_sink.h"
#include "testing/alert_raiser.h"
#include "testing/engine_clock.h"
#include "testing/history_recorder.h"
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
    struct CServer {
        bool bResolves = true, bAnswers = true; // bAnswers: echo replies
        uint32_t nRTT = 20, nStatus = 0;        // nStatus not 0: an ICMP error answers us
        bool bWebUp = true;
        int nHttpStatus = 200;
        int32_t nWebTenths = 150;  // the web request's total time
        int64_t tCertExpiry = 0;   // of its certificate, when requested over https
        bool bLookupFails = false; // not resolving: the resolver fails, else no such name
    };

    bool PingUsingICMP(const std::string& strAddress, CPingResult& result, uint8_t nTTL,
                       uint32_t dwTimeoutMs, uint16_t nSize, uint8_t nTOS, bool bDF,
                       const CEvent& evStop) override {
        const std::string strHost = NameOf(strAddress);
        Add("ping " + strHost + " " + std::to_string(nTTL) + " " + std::to_string(dwTimeoutMs) +
            " " + std::to_string(nSize) + " " + std::to_string(nTOS) + " " + std::to_string(bDF));
        if (m_onEcho)
            m_onEcho(strHost, evStop);
        const CServer server = GetServer(strHost);
        result = {0x0100007f, server.nRTT, server.nStatus, {}, server.nRTT * 10};
        return server.bAnswers;
    }
    bool ConnectTCP(const std::string&, uint16_t, CPingResult&, uint32_t, const CEvent&) override {
        return false; // echoes are permitted
    }
    bool IsEchoPermitted() override { return true; }
    CHostLookup::EResult LookUp(const std::string& strServer, CResolvedHost& addresses,
                                const CEvent&) override {
        Add("resolve " + strServer);
        const CServer server = GetServer(strServer);
        if (!server.bResolves)
            return server.bLookupFails ? CHostLookup::EResult::FAILED
                                       : CHostLookup::EResult::NOT_FOUND;
        std::lock_guard lock(m_mtx);
        auto [it, bNew] = m_ids.try_emplace(strServer, m_ids.size() + 1);
        addresses = CResolvedHost();
        ResolveHost("10.0.0." + std::to_string(it->second), 0, addresses.m_ipv4);
        return CHostLookup::EResult::FOUND;
    }
    std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) override {
        struct CSession : CInternetSession { // the run's requests, logged by the world
            CFakeWorld& m_world;
            explicit CSession(CFakeWorld& world) : m_world(world) {}
            bool SendRequest(bool bHttps, const std::string& strServer, const std::string&,
                             uint16_t nPort, const std::string& strObject,
                             const std::string& strUser, const std::string& strPass,
                             const CEvent& evStop) override {
                m_world.Add("request " + std::string(bHttps ? "https " : "http ") + strServer +
                            ":" + std::to_string(nPort) + " " + strObject + " " + strUser + " " +
                            strPass);
                const CServer server = m_world.GetServer(strServer);
                m_last = CHttpExchange();
                if (!server.bWebUp)
                    m_last.eFailure = CHttpExchange::EFailure::REFUSED;
                m_last.nStatus = server.bWebUp ? server.nHttpStatus : 0;
                m_last.nFirstByteTenths = m_last.nTotalTenths = server.nWebTenths;
                m_last.tCertExpiry = bHttps ? server.tCertExpiry : 0;
                return server.bWebUp && !evStop.IsSet();
            }
            CHttpExchange GetLastExchange() const override { return m_last; }
            CHttpExchange m_last;
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
    void RaiseCertificateNotice(CVantrelDoc&, const CHostAlert& alert) override {
        Add("cert " + alert.m_strServer + " " +
            std::to_string((alert.m_tCertExpiry - alert.m_tWhen) / 86400));
    }
    void BeginWait() override {}
    void StepWait() override {}
    void EndWait() override {}
    void Serve() override {}

    void Advance(time_t nSeconds) { m_tNow += nSeconds; }
    void SetServer(const std::string& strName, const CServer& server) {
        std::lock_guard lock(m_mtx);
        m_servers[strName] = server;
    }
    std::string NameOf(const std::string& strAddress) const {
        std::lock_guard lock(m_mtx);
        for (const auto& [strName, nId] : m_ids)
            if (strAddress == "10.0.0." + std::to_string(nId))
                return strName;
        return strAddress;
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
    std::vector<std::string> Get(const std::string& strPrefix = "") const {
        std::lock_guard lock(m_mtx);
        std::vector<std::string> arrEvents;
        for (const std::string& str : m_arrEvents)
            if (str.starts_with(strPrefix))
                arrEvents.push_back(str);
        return arrEvents;
    }

    std::function<void(const std::string&)> m_onAdd;
    std::function<bool(const CEvent&, int64_t)> m_onWait;            // how a wait ends
    std::function<void(const std::string&, const CEvent&)> m_onEcho; // host; while it waits
    std::atomic<time_t> m_tNow{1'700'000'000};
    std::vector<bool> m_arrConnected; // answers of IsConnected in turn, then true

private:
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrEvents;
    std::map<std::string, CServer> m_servers;
    std::map<std::string, size_t> m_ids; // of the names looked up
    size_t m_nChecks = 0;
};

// A history in memory: every cycle as written ("write N" logged in the world).
class CFakeRecorder : public CHistoryRecorder {
public:
    explicit CFakeRecorder(CFakeWorld& world) : m_world(world) {}
    bool BeginRun(const std::string&) override { return true; }
    void EndRun() override { m_world.Add("history closed"); }
    std::vector<int64_t> Attach(const std::vector<CHistoryStore::CHostKey>& arrHosts) override {
        std::vector<int64_t> arrIds;
        for (const CHistoryStore::CHostKey& key : arrHosts)
            arrIds.push_back(m_ids.try_emplace(key.strTestURL, m_ids.size() + 1).first->second);
        return arrIds;
    }
    std::vector<int32_t> ResponseTimesSince(int64_t nHostId, int64_t tFrom) override {
        std::vector<int32_t> arrTimes;
        for (const std::vector<CTestRecord>& arrCycle : m_arrCycles)
            for (const CTestRecord& test : arrCycle)
                if (test.nHostId == nHostId && test.tWhen >= tFrom && test.bUp)
                    arrTimes.push_back(test.nTotalTenths);
        return arrTimes;
    }
    bool WriteCycle(const std::vector<CTestRecord>& arrTests) override {
        m_world.Add("write " + std::to_string(arrTests.size()));
        m_arrCycles.push_back(arrTests);
        return true;
    }
    void Prune(int64_t tNow, int nKeepDays) override {
        m_world.Add("prune " + std::to_string(tNow) + " " + std::to_string(nKeepDays));
    }
    std::string GetLastError() const override { return ""; }

    std::vector<std::vector<CTestRecord>> m_arrCycles;

private:
    CFakeWorld& m_world;
    std::map<std::string, int64_t> m_ids;
};
