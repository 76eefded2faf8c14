#include "platform/resolver.h"

#include "platform/last_error.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

bool ParseDottedIPv4(const std::string& strHost, uint32_t& dwAddress) {
    // inet_aton accepts "a.b.c.d junk"; a name with white space is no address.
    if (strHost.empty() || strHost.find_first_of(" \t\r\n") != std::string::npos)
        return false;
    in_addr addr{};
    if (inet_aton(strHost.c_str(), &addr) == 0)
        return false;
    dwAddress = addr.s_addr;
    return true;
}

namespace {

// First address of the family for a name; no host name holds white space or control bytes,
// such text is not looked up at all.
bool LookUp(const std::string& strHost, int nFamily, CHostAddress& address) {
    const bool bName = !strHost.empty() && std::none_of(strHost.begin(), strHost.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
    });
    addrinfo hints{};
    hints.ai_family = nFamily;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    if (!bName || getaddrinfo(strHost.c_str(), nullptr, &hints, &pResult) != 0 ||
        pResult == nullptr)
        return false;
    std::memcpy(&address.m_addr, pResult->ai_addr, pResult->ai_addrlen);
    address.m_nSize = pResult->ai_addrlen;
    freeaddrinfo(pResult);
    return true;
}

} // namespace

bool ResolveIPv4(const std::string& strHost, uint32_t& dwAddress) {
    if (ParseDottedIPv4(strHost, dwAddress))
        return true;
    CHostAddress address;
    if (!LookUp(strHost, AF_INET, address)) {
        SetLastError(RESOLVE_ERROR_HOST_NOT_FOUND);
        return false;
    }
    dwAddress = reinterpret_cast<const sockaddr_in*>(&address.m_addr)->sin_addr.s_addr;
    return true;
}

bool ResolveHost(const std::string& strHost, uint16_t nPort, CHostAddress& address) {
    address = CHostAddress();
    uint32_t dwAddress = 0;
    in6_addr addr6{};
    if (ParseDottedIPv4(strHost, dwAddress)) {
        auto* pIn = reinterpret_cast<sockaddr_in*>(&address.m_addr);
        pIn->sin_family = AF_INET;
        pIn->sin_addr.s_addr = dwAddress;
        address.m_nSize = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, strHost.c_str(), &addr6) == 1) {
        auto* pIn6 = reinterpret_cast<sockaddr_in6*>(&address.m_addr);
        pIn6->sin6_family = AF_INET6;
        pIn6->sin6_addr = addr6;
        address.m_nSize = sizeof(sockaddr_in6);
    } else if (!LookUp(strHost, AF_INET, address) && !LookUp(strHost, AF_INET6, address)) {
        SetLastError(RESOLVE_ERROR_HOST_NOT_FOUND);
        return false;
    }
    if (address.GetFamily() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&address.m_addr)->sin_port = htons(nPort);
    else
        reinterpret_cast<sockaddr_in6*>(&address.m_addr)->sin6_port = htons(nPort);
    return true;
}

std::string FormatAddress(const CHostAddress& address) {
    char szText[INET6_ADDRSTRLEN] = {};
    if (address.GetFamily() == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address.m_addr)->sin6_addr,
                  szText, sizeof(szText));
    else if (address.GetFamily() == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address.m_addr)->sin_addr, szText,
                  sizeof(szText));
    return szText;
}

std::string FormatIPv4(uint32_t dwAddress) {
    in_addr addr{};
    addr.s_addr = dwAddress;
    char szText[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, szText, sizeof(szText));
    return szText;
}
