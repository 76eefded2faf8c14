#pragma once

#include "platform/connection_state.h"
#include "platform/ping.h"
#include "platform/tcp_ping.h"
#include "testing/probes.h"

// The probes over the platform: ICMP echo, name resolution, libcurl, connection state.
class CSystemProbes : public CProbes {
public:
    // Sets up libcurl for the process: make the probes before the worker thread starts.
    CSystemProbes();

    bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                       uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                       bool bDontFragment, const CEvent& evStop) override;
    bool ConnectTCP(const std::string& strHost, uint16_t nPort, CPingResult& result,
                    uint32_t dwTimeoutMs, const CEvent& evStop) override;
    bool IsEchoPermitted() override;
    CHostLookup::EResult LookUp(const std::string& strServer, CResolvedHost& addresses,
                                const CEvent& evStop) override;
    std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) override;
    bool IsConnected() override;

private:
    CPing m_ping;
    CTcpPing m_tcpPing;
    CConnectionState m_connection;
};
