#pragma once

#include "platform/resolver.h"

#include <string>

class CEvent;

// The addresses one test of a host goes to: the first of each family that the name has.
struct CResolvedHost {
    CHostAddress m_ipv4; // no family when the name has no IPv4 address
    CHostAddress m_ipv6;
    bool HasIPv4() const { return m_ipv4.GetFamily() == AF_INET; }
    bool HasIPv6() const { return m_ipv6.GetFamily() == AF_INET6; }
};

// One look-up of a host's name for both families. The resolver runs on a thread of its own, so
// a stop never waits for a DNS server that does not answer: the look-up is then abandoned.
class CHostLookup {
public:
    enum class EResult {
        FOUND,     // at least one address
        NOT_FOUND, // the resolver says the name does not exist (or has no address)
        FAILED,    // no answer, a server failure: worth trying again later
        STOPPED,   // pevStop was set before the resolver answered
    };

    // A dotted IPv4 or an IPv6 literal is taken as it is, without a look-up; text that no
    // host name holds (white space, control bytes) is NOT_FOUND. Other than FOUND leaves last
    // error 11001.
    static EResult LookUp(const std::string& strHost, CResolvedHost& result,
                          const CEvent* pevStop = nullptr);
};
