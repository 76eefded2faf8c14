#pragma once

#include <cstdint>
#include <string>

#include <sys/socket.h>

// Last error left by a failed name look-up (the platform's "host not found").
constexpr uint32_t RESOLVE_ERROR_HOST_NOT_FOUND = 11001;

// IPv4 address of strHost in network byte order: a dotted address (inet_addr forms such as
// "127.1" included) is taken as it is, anything else is looked up (getaddrinfo, AF_INET) and
// the first address wins. False with last error 11001 when nothing is found.
bool ResolveIPv4(const std::string& strHost, uint32_t& dwAddress);

// True, with no look-up, when strHost is a dotted IPv4 address.
bool ParseDottedIPv4(const std::string& strHost, uint32_t& dwAddress);

// "a.b.c.d" of an address in network byte order.
std::string FormatIPv4(uint32_t dwAddress);

// An address of either family, ready for the socket calls.
struct CHostAddress {
    sockaddr_storage m_addr{};
    socklen_t m_nSize = 0;
    int GetFamily() const { return m_addr.ss_family; }
};

// The address strHost stands for: an IPv4 address when it is one or a look-up finds one
// (IPv4 wins where a name has both), else an IPv6 literal or an IPv6 address of the name.
// nPort goes into the address. False with last error 11001 when nothing is found.
bool ResolveHost(const std::string& strHost, uint16_t nPort, CHostAddress& address);

// The address as text: "a.b.c.d" or the IPv6 form.
std::string FormatAddress(const CHostAddress& address);
