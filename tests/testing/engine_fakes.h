#pragma once

// Stand-ins for everything the test worker reaches outside itself, recording what it did.

#include "core/message_sink.h"
#include "core/vantrel_doc.h"
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

// What happened, in order, across all fakes.
class CEventLog {
public:
    void Add(const std::string& strEvent) {
        std::lock_guard lock(m_mtx);
        m_arrEvents.push_back(strEvent);
    }
    std::vector<std::string> Get() const {
        std::lock_guard lock(m_mtx);
        return m_arrEvents;
    }

private:
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrEvents;
};

// True when another thread cannot take the lock now (someone holds it).
inline bool IsHeldByAnyone(std::recursive_timed_mutex& mtx) {
    return std::async(std::launch::async,
                      [&mtx] {
                          if (!mtx.try_lock())
                              return true;
                          mtx.unlock();
                          return false;
                      })
        .get();
}

class CFakeClock : public CEngineClock {
public:
    time_t Now() override { return m_tNow.load(); }
    bool WaitForStop(const CEvent& evStop, int64_t nMilliseconds) override {
        {
            std::lock_guard lock(m_mtx);
            m_arrWaits.push_back(nMilliseconds);
        }
        if (m_onWait)
            return m_onWait(evStop, nMilliseconds);
        return evStop.IsSet();
    }
    void Advance(time_t nSeconds) { m_tNow += nSeconds; }
    std::vector<int64_t> GetWaits() const {
        std::lock_guard lock(m_mtx);
        return m_arrWaits;
    }

    std::atomic<time_t> m_tNow{1'700'000'000};
    std::function<bool(const CEvent&, int64_t)> m_onWait;

private:
    mutable std::mutex m_mtx;
    std::vector<int64_t> m_arrWaits;
};

class CFakeSession : public CInternetSession {
public:
    explicit CFakeSession(std::function<bool(const std::string&, const std::string&,
                                             const std::string&, const std::string&)>
                              request)
        : m_request(std::move(request)) {}
    bool SendRequest(const std::string& strServer, const std::string& strObject,
                     const std::string& strUser, const std::string& strPassword) override {
        return m_request(strServer, strObject, strUser, strPassword);
    }

private:
    std::function<bool(const std::string&, const std::string&, const std::string&,
                       const std::string&)>
        m_request;
};

// Servers answer as m_servers says (an unknown server resolves, answers and serves pages).
class CFakeProbes : public CProbes {
public:
    struct CServer {
        bool bResolves = true;
        bool bAnswers = true; // echo replies
        uint32_t nRTT = 20;
        uint32_t nStatus = 0; // status of the replies
        bool bWebUp = true;
    };
    struct CPingCall {
        std::string strHost;
        uint8_t nTTL;
        uint32_t dwTimeoutMs;
        uint16_t nSize;
        uint8_t nTOS;
        bool bDontFragment;
    };
    struct CRequest {
        std::string strServer, strObject, strUser, strPassword;
    };

    explicit CFakeProbes(CEventLog* pLog = nullptr) : m_pLog(pLog) {}

    bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                       uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                       bool bDontFragment) override {
        CServer server;
        {
            std::lock_guard lock(m_mtx);
            m_arrPings.push_back({strHost, nTTL, dwTimeoutMs, nPayloadSize, nTOS, bDontFragment});
            server = m_servers[strHost];
        }
        Log("ping " + strHost);
        if (m_pClock)
            m_pClock->Advance(m_nPingSeconds);
        if (m_onPing)
            return m_onPing(strHost, result);
        if (!server.bAnswers)
            return false;
        result.Address = 0x0100007f;
        result.RTT = server.nRTT;
        result.Status = server.nStatus;
        return true;
    }
    bool Resolve(const std::string& strServer) override {
        std::lock_guard lock(m_mtx);
        m_arrResolves.push_back(strServer);
        return m_servers[strServer].bResolves;
    }
    std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) override {
        {
            std::lock_guard lock(m_mtx);
            m_arrAgents.push_back(strAgent);
        }
        if (!m_bInternetOpens)
            return nullptr;
        return std::make_unique<CFakeSession>(
            [this](const std::string& strServer, const std::string& strObject,
                   const std::string& strUser, const std::string& strPassword) {
                bool bUp;
                {
                    std::lock_guard lock(m_mtx);
                    m_arrRequests.push_back({strServer, strObject, strUser, strPassword});
                    bUp = m_servers[strServer].bWebUp;
                }
                Log("request " + strServer + strObject);
                if (m_onRequest)
                    m_onRequest(strServer);
                return bUp;
            });
    }
    bool IsConnected() override {
        std::lock_guard lock(m_mtx);
        ++m_nConnectionChecks;
        if (m_arrConnected.empty())
            return true;
        const bool bConnected = m_arrConnected.front();
        m_arrConnected.pop_front();
        return bConnected;
    }

    void SetServer(const std::string& strName, const CServer& server) {
        std::lock_guard lock(m_mtx);
        m_servers[strName] = server;
    }
    std::vector<CPingCall> GetPings() const {
        std::lock_guard lock(m_mtx);
        return m_arrPings;
    }
    std::vector<CRequest> GetRequests() const {
        std::lock_guard lock(m_mtx);
        return m_arrRequests;
    }

    CFakeClock* m_pClock = nullptr;
    time_t m_nPingSeconds = 0; // each echo takes this long on m_pClock
    // Replaces the server table for echoes when set.
    std::function<bool(const std::string&, CPingResult&)> m_onPing;
    std::function<void(const std::string&)> m_onRequest;
    bool m_bInternetOpens = true;
    std::deque<bool> m_arrConnected; // answers of IsConnected in turn, then true

    mutable std::mutex m_mtx;
    std::map<std::string, CServer> m_servers;
    std::vector<CPingCall> m_arrPings;
    std::vector<CRequest> m_arrRequests;
    std::vector<std::string> m_arrResolves;
    std::vector<std::string> m_arrAgents;
    int m_nConnectionChecks = 0;

private:
    void Log(const std::string& strEvent) {
        if (m_pLog)
            m_pLog->Add(strEvent);
    }
    CEventLog* m_pLog;
};

class CRecordingSink : public CMessageSink {
public:
    explicit CRecordingSink(CEventLog* pLog = nullptr) : m_pLog(pLog) {}
    void ShowMessage(const std::string& strText) override {
        {
            std::lock_guard lock(m_mtx);
            m_arrMessages.push_back(strText);
        }
        if (m_pLog)
            m_pLog->Add("message " + strText);
        if (m_onShow)
            m_onShow(strText);
    }
    std::vector<std::string> GetMessages() const {
        std::lock_guard lock(m_mtx);
        return m_arrMessages;
    }

    std::function<void(const std::string&)> m_onShow; // runs while the "box" is open

private:
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrMessages;
    CEventLog* m_pLog;
};

class CRecordingRows : public CRowUpdateSink {
public:
    explicit CRecordingRows(CEventLog* pLog = nullptr) : m_pLog(pLog) {}
    void PostHostUpdated(int nIndex) override {
        {
            std::lock_guard lock(m_mtx);
            m_arrRows.push_back(nIndex);
        }
        if (m_pLog)
            m_pLog->Add("row " + std::to_string(nIndex));
        if (m_onPost)
            m_onPost(nIndex);
    }
    std::vector<int> GetRows() const {
        std::lock_guard lock(m_mtx);
        return m_arrRows;
    }

    std::function<void(int)> m_onPost;

private:
    mutable std::mutex m_mtx;
    std::vector<int> m_arrRows;
    CEventLog* m_pLog;
};

class CRecordingAlerts : public CAlertRaiser {
public:
    explicit CRecordingAlerts(CEventLog* pLog = nullptr) : m_pLog(pLog) {}
    void RaiseHostDownAlert(CVantrelDoc&, const std::string& strServer) override {
        {
            std::lock_guard lock(m_mtx);
            m_arrServers.push_back(strServer);
        }
        if (m_pLog)
            m_pLog->Add("alert " + strServer);
        if (m_onAlert)
            m_onAlert(strServer);
    }
    std::vector<std::string> GetServers() const {
        std::lock_guard lock(m_mtx);
        return m_arrServers;
    }

    std::function<void(const std::string&)> m_onAlert;

private:
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrServers;
    CEventLog* m_pLog;
};
