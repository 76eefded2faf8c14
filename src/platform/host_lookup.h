#pragma once

#include "platform/resolver.h"

#include <cstddef>
#include <string>

#include <netdb.h>

class CEvent;

// The addresses one test of a host goes to: the first of each family that the
// name has.
struct CResolvedHost {
    CHostAddress m_ipv4; // no family when the name has no IPv4 address
    CHostAddress m_ipv6;
    bool HasIPv4() const { return m_ipv4.GetFamily() == AF_INET; }
    bool HasIPv6() const { return m_ipv6.GetFamily() == AF_INET6; }
};

// One look-up of a host's name for both families. The resolver runs on a thread
// of its own, so a stop never waits for a DNS server that does not answer: the
// look-up is then abandoned, and the next look-up of the name joins it rather
// than starting another. At most MAX_LOOKUP_THREADS resolver threads run; a
// look-up beyond them waits for one to end.
class CHostLookup {
public:
    enum class EResult {
        FOUND,     // at least one address
        NOT_FOUND, // the resolver says the name does not exist (or has no address)
        FAILED,    // no answer, a server failure: worth trying again later
        STOPPED,   // pevStop was set before the resolver answered
    };

    // A dotted IPv4 or an IPv6 literal is taken as it is, without a look-up; text
    // that no host name holds (white space, control bytes) is NOT_FOUND. Other
    // than FOUND leaves last error 11001.
    static EResult LookUp(const std::string& strHost, CResolvedHost& result,
                          const CEvent* pevStop = nullptr);

    static constexpr size_t MAX_LOOKUP_THREADS = 128;
    // Resolver threads running now, abandoned ones included.
    static size_t GetLookupThreads();

    // Test hook: what the resolver threads call instead of getaddrinfo (nullptr:
    // getaddrinfo).
    using PFN_GETADDRINFO = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static void SetResolveHook(PFN_GETADDRINFO pfnResolve);
};
