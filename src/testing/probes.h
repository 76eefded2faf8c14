#pragma once

#include "platform/host_lookup.h"
#include "platform/ping.h"
#include "testing/internet_session.h"

#include <cstdint>
#include <memory>
#include <string>

class CEvent;

// Everything the worker asks of the network. The program uses CSystemProbes; unit tests
// script the answers.
class CProbes {
public:
    virtual ~CProbes() = default;
    // One echo request; true when a valid reply came back (then result is filled). Gives up
    // as soon as evStop is set.
    virtual bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                               uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                               bool bDontFragment, const CEvent& evStop) = 0;
    // One TCP connect in place of an echo: true when the server answered (connected or
    // refused), then result holds the round trip. Gives up as soon as evStop is set.
    virtual bool ConnectTCP(const std::string& strHost, uint16_t nPort, CPingResult& result,
                            uint32_t dwTimeoutMs, const CEvent& evStop) = 0;
    // False when this user may not send ICMP echoes at all.
    virtual bool IsEchoPermitted() = 0;
    // The server's addresses, looked up once per test; a stop does not wait for the resolver.
    virtual CHostLookup::EResult LookUp(const std::string& strServer, CResolvedHost& addresses,
                                        const CEvent& evStop) = 0;
    // The run's HTTP client handle; null when it cannot be opened.
    virtual std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) = 0;
    // Whether the computer has an internet connection at all.
    virtual bool IsConnected() = 0;
};
