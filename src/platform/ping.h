#pragma once

#include "platform/echo_socket.h"
#include "platform/resolver.h"

#include <atomic>
#include <cstdint>
#include <string>

class CEvent;

// Result of an answered echo; all zero until a reply fills it.
struct CPingResult {
    uint32_t Address = 0;   // the replying IPv4 address, network byte order
    uint32_t RTT = 0;       // round-trip time, whole milliseconds
    uint32_t Status = 0;    // 0 = echo reply; otherwise one of the PING_STATUS_ codes
    CHostAddress From;      // the replying address of either family (no family: none)
    uint32_t RTTTenths = 0; // the round-trip time in tenths of a millisecond
};

// Shown when echoes cannot be sent because this user may not open ICMP sockets.
inline constexpr char ICMP_NOT_PERMITTED_TEXT[] =
    "ICMP echo is not permitted for this user.\n"
    "To allow it: sudo sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"
    "To keep it after a restart, put that setting in a file in /etc/sysctl.d/, for example:\n"
    "  echo 'net.ipv4.ping_group_range = 0 2147483647' | sudo tee "
    "/etc/sysctl.d/60-ping-group.conf\n"
    "systemd-based systems allow it by default.";

// Last errors of a failed ping (beside errno values of failing socket calls and 11001 of the
// resolver).
constexpr uint32_t PING_ERROR_NOT_LOADED = 2;    // no ICMP socket kind works
constexpr uint32_t PING_ERROR_BAD_REPLY = 59;    // reply data differs from what we sent
constexpr uint32_t PING_ERROR_TIMED_OUT = 11010; // nothing answered within the timeout
constexpr uint32_t PING_ERROR_CANCELLED = 1223;  // the stop event was set while waiting

// Which ICMP socket the process uses.
enum : int {
    ICMP_SOCKET_NONE = 0,  // neither works: the echo "library" is not loaded
    ICMP_SOCKET_DGRAM = 1, // unprivileged ping socket (net.ipv4.ping_group_range)
    ICMP_SOCKET_RAW = 2,   // raw socket (root or CAP_NET_RAW)
};

// Process-wide holder: decides once, at program start, which socket kind works.
class _CPING_ICMP {
public:
    static _CPING_ICMP& Get();

    int GetSocketKind() const { return m_nSocketKind.load(); }
    bool IsLoaded() const { return GetSocketKind() != ICMP_SOCKET_NONE; }

    // Test hook: forces a socket kind (ICMP_SOCKET_NONE simulates a missing library).
    void SetSocketKind(int nKind) { m_nSocketKind.store(nKind); }
    // The kind that works for this thread's network namespace now.
    static int ProbeSocketKind();

private:
    _CPING_ICMP();
    std::atomic<int> m_nSocketKind;
};

// Diagnostic texts of the echo code ("CPing::PingUsingICMP, ..."); never shown to the user.
using PFN_PING_TRACE = void (*)(const std::string& strText);

// One ICMP echo request. Thread-safe: concurrent calls share one socket per address family.
class CPing {
public:
    // Sends one echo of wDataSize bytes of 0x45 to strHostName (dotted address or name) with
    // the given time to live, type of service and don't-fragment flag, and waits up to
    // dwTimeoutMs for the reply that answers it (other ICMP traffic is skipped).
    // True when a reply came: an echo reply with our data (Status 0) or an ICMP error
    // answering our request (Status non-zero, Address = the reporting router). False, with
    // the reason in the last error, otherwise; pr is filled only on true. A host with no IPv4
    // address is pinged over ICMPv6. The wait ends early, false with PING_ERROR_CANCELLED,
    // when pevStop is set.
    bool PingUsingICMP(const std::string& strHostName, CPingResult& pr, uint8_t nTTL = 64,
                       uint32_t dwTimeoutMs = 5000, uint16_t wDataSize = 32, uint8_t nTOS = 0,
                       bool bDontFragment = false, const CEvent* pevStop = nullptr) const;

    // Sets the diagnostic hook (nullptr = none, the default).
    static void SetTraceHook(PFN_PING_TRACE pfnTrace);
};
