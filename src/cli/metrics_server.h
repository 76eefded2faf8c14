#pragma once

#include <cstdint>
#include <string>

class CMetricsExposition;
struct MHD_Daemon;

// GET /metrics of a headless run, served by libmicrohttpd on its own thread. Read-only: 404
// for other paths, 405 for other methods. Connections and their idle time are bounded, and
// a request only formats the exposition's copy of the figures, so no client reaches the
// worker.
class CMetricsServer {
public:
    explicit CMetricsServer(const CMetricsExposition& exposition);
    ~CMetricsServer();
    CMetricsServer(const CMetricsServer&) = delete;
    CMetricsServer& operator=(const CMetricsServer&) = delete;

    // strAddress is "ADDRESS:PORT" with a numeric address ("[::1]:9101" for IPv6) or
    // "localhost"; there is no wildcard default. False with the reason in strError.
    bool Start(const std::string& strAddress, std::string& strError);
    // The port listened on (the one chosen by the system for port 0).
    uint16_t GetPort() const { return m_nPort; }
    // "http://127.0.0.1:9891/metrics", the address as it was written.
    std::string GetURL() const;
    // False for an address outside 127.0.0.0/8 and ::1.
    bool IsLoopback() const { return m_bLoopback; }

    static constexpr unsigned CONNECTION_LIMIT = 32;
    static constexpr unsigned IDLE_SECONDS = 5;

private:
    const CMetricsExposition& m_exposition;
    std::string m_strHost; // as written, IPv6 in brackets
    MHD_Daemon* m_pDaemon = nullptr;
    int m_nSocket = -1;
    uint16_t m_nPort = 0;
    bool m_bLoopback = true;
};
