#pragma once

#include "platform/connection_state.h"
#include "platform/ping.h"
#include "testing/probes.h"

// The probes over the platform: ICMP echo, name resolution, libcurl, connection state.
class CSystemProbes : public CProbes {
public:
    // Sets up libcurl for the process: make the probes before the worker thread starts.
    CSystemProbes();

    bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                       uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                       bool bDontFragment) override;
    bool Resolve(const std::string& strServer) override;
    std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) override;
    bool IsConnected() override;

    // Tests and benchmarks only: the web request goes to this port instead of 80.
    void SetHttpPort(uint16_t nPort) { m_nHttpPort = nPort; }

private:
    CPing m_ping;
    CConnectionState m_connection;
    uint16_t m_nHttpPort = 80;
};
