#pragma once

#include <cstdint>
#include <string>

// What one test of a host found: the one place where its result is known, before the host's
// statistics take it.
struct CHostTestResult {
    enum class EOutcome {
        UP,      // an echo (or connect) answered and the web request got a response
        DOWN,    // tested, and not up
        STOPPED, // cut short by a stop: counts for nothing
    };
    EOutcome eOutcome = EOutcome::DOWN;
    std::string strReason; // why the host is down, in plain words; empty when up
    bool bPinged = false;  // an echo (or connect) answered: nPingMs is its round trip
    uint32_t nPingMs = 0;
    int nMethod = 0;     // PING_METHOD_ICMP or PING_METHOD_TCP
    int nFamily = 0;     // AF_INET or AF_INET6 of the address that answered; 0: none did
    int nEchoesSent = 0; // echo (or connect) attempts over both families
    int nEchoesAnswered = 0;
};
