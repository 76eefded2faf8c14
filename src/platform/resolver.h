#pragma once

#include <cstdint>
#include <string>

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
