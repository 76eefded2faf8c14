#include "platform/connection_state.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// /proc/thread-self follows the calling thread's network namespace; /proc/net that of the
// process's first thread.
std::string ReadProcNet(const char* pszName) {
    for (const char* pszDir : {"/proc/thread-self/net/", "/proc/net/"}) {
        std::ifstream file(std::string(pszDir) + pszName);
        if (file) {
            std::ostringstream text;
            text << file.rdbuf();
            return text.str();
        }
    }
    return std::string();
}

// An up route that is not a reject ("unreachable") route and does not lead to loopback.
bool IsUsableRoute(const std::string& strFlags, const std::string& strIface) {
    char* pEnd = nullptr;
    unsigned long nFlags = std::strtoul(strFlags.c_str(), &pEnd, 16);
    if (pEnd == strFlags.c_str() || *pEnd != '\0')
        return false;
    return (nFlags & RTF_UP) && !(nFlags & RTF_REJECT) && strIface != "lo";
}

// Lines "Iface Destination Gateway Flags RefCnt Use Metric Mask ...", hexadecimal fields.
bool HasIPv4DefaultRoute(const std::string& strRoutes,
                         const CConnectionState::LinkRunningFn& isLinkRunning) {
    std::istringstream lines(strRoutes);
    std::string strLine;
    std::getline(lines, strLine); // column titles
    while (std::getline(lines, strLine)) {
        std::istringstream fields(strLine);
        std::string strIface, strDestination, strGateway, strFlags, strRefCnt, strUse, strMetric,
            strMask;
        if (!(fields >> strIface >> strDestination >> strGateway >> strFlags >> strRefCnt >>
              strUse >> strMetric >> strMask))
            continue;
        if (strDestination == "00000000" && strMask == "00000000" &&
            IsUsableRoute(strFlags, strIface) && isLinkRunning(strIface))
            return true;
    }
    return false;
}

// Lines "dest plen src plen nexthop metric refcnt use flags iface", no titles.
bool HasIPv6DefaultRoute(const std::string& strRoutes,
                         const CConnectionState::LinkRunningFn& isLinkRunning) {
    std::istringstream lines(strRoutes);
    std::string strLine;
    while (std::getline(lines, strLine)) {
        std::istringstream fields(strLine);
        std::string strDestination, strPrefix, strSource, strSourcePrefix, strNextHop, strMetric,
            strRefCnt, strUse, strFlags, strIface;
        if (!(fields >> strDestination >> strPrefix >> strSource >> strSourcePrefix >> strNextHop >>
              strMetric >> strRefCnt >> strUse >> strFlags >> strIface))
            continue;
        if (strDestination == std::string(32, '0') && strPrefix == "00" &&
            IsUsableRoute(strFlags, strIface) && isLinkRunning(strIface))
            return true;
    }
    return false;
}

} // namespace

bool CConnectionState::IsConnected() const {
    return InternetGetConnectedState() && IsNetworkAlive();
}

bool CConnectionState::InternetGetConnectedState() const {
    return HasDefaultRoute(ReadProcNet("route"), ReadProcNet("ipv6_route"), IsLinkRunning);
}

bool CConnectionState::IsNetworkAlive() const {
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0)
        return false;
    bool bAlive = false;
    for (ifaddrs* p = pList; p != nullptr && !bAlive; p = p->ifa_next) {
        if (p->ifa_addr == nullptr ||
            (p->ifa_addr->sa_family != AF_INET && p->ifa_addr->sa_family != AF_INET6))
            continue;
        bAlive = (p->ifa_flags & IFF_UP) && (p->ifa_flags & IFF_RUNNING) &&
                 !(p->ifa_flags & IFF_LOOPBACK);
    }
    freeifaddrs(pList);
    return bAlive;
}

bool CConnectionState::HasDefaultRoute(const std::string& strIPv4Routes,
                                       const std::string& strIPv6Routes,
                                       const LinkRunningFn& isLinkRunning) {
    return HasIPv4DefaultRoute(strIPv4Routes, isLinkRunning) ||
           HasIPv6DefaultRoute(strIPv6Routes, isLinkRunning);
}

bool CConnectionState::IsLinkRunning(const std::string& strDevice) {
    ifreq request{};
    if (strDevice.empty() || strDevice.size() >= sizeof(request.ifr_name))
        return false;
    strDevice.copy(request.ifr_name, sizeof(request.ifr_name) - 1);
    // A socket of the calling thread's network namespace, as the route tables read above.
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool bKnown = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    close(fd);
    return bKnown && (request.ifr_flags & IFF_UP) && (request.ifr_flags & IFF_RUNNING);
}
