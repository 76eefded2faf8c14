#include "platform/resolver.h"

#include "platform/last_error.h"

#include <algorithm>

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

bool ResolveIPv4(const std::string& strHost, uint32_t& dwAddress) {
    if (ParseDottedIPv4(strHost, dwAddress))
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    // No host name holds white space or control bytes: such text is not looked up at all.
    const bool bName = !strHost.empty() && std::none_of(strHost.begin(), strHost.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
    });
    if (!bName || getaddrinfo(strHost.c_str(), nullptr, &hints, &pResult) != 0 ||
        pResult == nullptr) {
        SetLastError(RESOLVE_ERROR_HOST_NOT_FOUND);
        return false;
    }
    dwAddress = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(pResult);
    return true;
}

std::string FormatIPv4(uint32_t dwAddress) {
    in_addr addr{};
    addr.s_addr = dwAddress;
    char szText[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr, szText, sizeof(szText));
    return szText;
}
