#pragma once

#include "platform/ping.h"

#include <cstdint>
#include <string>

class CEvent;

// Round-trip time measured by a TCP connect, for hosts that drop ICMP and for users who may not
// send echoes. Thread-safe: every call has its own socket.
class CTcpPing {
public:
    // Connects to nPort of strHostName (IPv4 first, as the echo) and closes at once. True when
    // the server answered: the connection completed or was refused (a reset is an answer too);
    // then pr holds the address and the round trip, Status 0. False, with the reason in the
    // last error, on a time-out (11010), a stop (1223), no route or a failed look-up.
    bool Connect(const std::string& strHostName, uint16_t nPort, CPingResult& pr,
                 uint32_t dwTimeoutMs, const CEvent* pevStop = nullptr) const;
};
