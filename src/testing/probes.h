#pragma once

#include "platform/ping.h"
#include "testing/internet_session.h"

#include <cstdint>
#include <memory>
#include <string>

// Everything the worker asks of the network. The program uses CSystemProbes; unit tests
// script the answers.
class CProbes {
public:
    virtual ~CProbes() = default;
    // One echo request; true when a valid reply came back (then result is filled).
    virtual bool PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                               uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                               bool bDontFragment) = 0;
    // True when the name is a dotted IPv4 address or a look-up finds an address for it.
    virtual bool Resolve(const std::string& strServer) = 0;
    // The run's HTTP client handle; null when it cannot be opened.
    virtual std::unique_ptr<CInternetSession> InternetOpen(const std::string& strAgent) = 0;
    // Whether the computer has an internet connection at all.
    virtual bool IsConnected() = 0;
};
