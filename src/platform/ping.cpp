#include "platform/ping.h"

#include "platform/last_error.h"
#include "platform/resolver.h"
#include "platform/socket_wait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint8_t ECHO_DATA_BYTE = 0x45;
constexpr size_t ICMP_HEADER_SIZE = 8;
constexpr size_t RECEIVE_BUFFER_SIZE = 65536;

std::atomic<PFN_PING_TRACE> g_pfnTrace{nullptr};
// Sequence numbers are unique within the process, so concurrent pings never take each other's
// replies.
std::atomic<uint16_t> g_nSequence{0};

[[maybe_unused]] _CPING_ICMP& g_icmpAtStart = _CPING_ICMP::Get();

void Trace(const std::string& strText) {
    if (PFN_PING_TRACE pfn = g_pfnTrace.load())
        pfn(strText);
}

class CSocketHolder {
public:
    explicit CSocketHolder(int fd) : m_fd(fd) {}
    ~CSocketHolder() {
        if (m_fd >= 0)
            close(m_fd);
    }
    CSocketHolder(const CSocketHolder&) = delete;
    CSocketHolder& operator=(const CSocketHolder&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

int OpenIcmpSocket(int nKind, int nFamily = AF_INET) {
    const int nProtocol = nFamily == AF_INET6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP;
    if (nKind == ICMP_SOCKET_DGRAM)
        return socket(nFamily, SOCK_DGRAM | SOCK_CLOEXEC, nProtocol);
    if (nKind == ICMP_SOCKET_RAW)
        return socket(nFamily, SOCK_RAW | SOCK_CLOEXEC, nProtocol);
    errno = EPROTONOSUPPORT;
    return -1;
}

uint16_t Read16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

void Write16(uint8_t* p, uint16_t n) {
    p[0] = static_cast<uint8_t>(n >> 8);
    p[1] = static_cast<uint8_t>(n);
}

uint16_t Checksum(const uint8_t* p, size_t nSize) {
    uint32_t nSum = 0;
    for (size_t i = 0; i + 1 < nSize; i += 2)
        nSum += Read16(p + i);
    if (nSize % 2)
        nSum += static_cast<uint32_t>(p[nSize - 1]) << 8;
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    return static_cast<uint16_t>(~nSum);
}

uint32_t StatusOfIcmpError(uint8_t nType, uint8_t nCode) {
    switch (nType) {
    case ICMP_DEST_UNREACH:
        switch (nCode) {
        case ICMP_NET_UNREACH:
        case ICMP_NET_UNKNOWN:
        case ICMP_NET_ANO:
        case ICMP_NET_UNR_TOS:
            return PING_STATUS_DEST_NET_UNREACHABLE;
        case ICMP_PROT_UNREACH:
            return PING_STATUS_DEST_PROT_UNREACHABLE;
        case ICMP_PORT_UNREACH:
            return PING_STATUS_DEST_PORT_UNREACHABLE;
        case ICMP_FRAG_NEEDED:
            return PING_STATUS_PACKET_TOO_BIG;
        case ICMP_SR_FAILED:
            return PING_STATUS_BAD_ROUTE;
        default:
            return PING_STATUS_DEST_HOST_UNREACHABLE;
        }
    case ICMP_TIME_EXCEEDED:
        return nCode == ICMP_EXC_FRAGTIME ? PING_STATUS_TTL_EXPIRED_REASSEM
                                          : PING_STATUS_TTL_EXPIRED_TRANSIT;
    case ICMP_PARAMETERPROB:
        return PING_STATUS_PARAM_PROBLEM;
    case ICMP_SOURCE_QUENCH:
        return PING_STATUS_SOURCE_QUENCH;
    default:
        return PING_STATUS_GENERAL_FAILURE;
    }
}

bool IsIcmpError(uint8_t nType) {
    return nType == ICMP_DEST_UNREACH || nType == ICMP_TIME_EXCEEDED ||
           nType == ICMP_PARAMETERPROB || nType == ICMP_SOURCE_QUENCH;
}

// What one received packet means for the echo we wait for.
enum class EPacket { Foreign, Reply, BadReply, Error };

struct CExpected {
    uint32_t dwTarget; // network byte order
    uint16_t nId;      // checked on raw sockets; the kernel matches it on ping sockets
    bool bCheckId;
    uint16_t nSequence;
    size_t nDataSize;
};

bool HasEchoData(const uint8_t* pData, size_t nSize, const CExpected& expected) {
    return nSize == expected.nDataSize &&
           std::all_of(pData, pData + nSize, [](uint8_t c) { return c == ECHO_DATA_BYTE; });
}

// The sequence number (and, where we must check it, the identifier) of an echo header.
bool IsOurEcho(const uint8_t* pHeader, const CExpected& expected) {
    return Read16(pHeader + 6) == expected.nSequence &&
           (!expected.bCheckId || Read16(pHeader + 4) == expected.nId);
}

// An echo reply of either family that came from the target or not.
EPacket ClassifyEchoReply(const uint8_t* pIcmp, size_t nSize, bool bFromTarget,
                          const CExpected& expected, uint32_t& dwStatus) {
    if (!bFromTarget || !IsOurEcho(pIcmp, expected))
        return EPacket::Foreign;
    if (!HasEchoData(pIcmp + ICMP_HEADER_SIZE, nSize - ICMP_HEADER_SIZE, expected))
        return EPacket::BadReply;
    dwStatus = PING_STATUS_SUCCESS;
    return EPacket::Reply;
}

// pIcmp points at an ICMP message (no IP header) of nSize bytes from dwSource.
EPacket ClassifyIcmp(const uint8_t* pIcmp, size_t nSize, uint32_t dwSource,
                     const CExpected& expected, uint32_t& dwStatus) {
    if (nSize < ICMP_HEADER_SIZE)
        return EPacket::Foreign;
    const uint8_t nType = pIcmp[0];
    if (nType == ICMP_ECHOREPLY)
        return ClassifyEchoReply(pIcmp, nSize, dwSource == expected.dwTarget, expected, dwStatus);
    if (!IsIcmpError(nType))
        return EPacket::Foreign;
    // An error quotes the IP header and the first 8 bytes of the datagram that caused it.
    const uint8_t* pQuoted = pIcmp + ICMP_HEADER_SIZE;
    const size_t nQuotedSize = nSize - ICMP_HEADER_SIZE;
    if (nQuotedSize < 20)
        return EPacket::Foreign;
    const size_t nHeaderSize = static_cast<size_t>(pQuoted[0] & 0x0F) * 4;
    if ((pQuoted[0] >> 4) != 4 || nHeaderSize < 20 ||
        nQuotedSize < nHeaderSize + ICMP_HEADER_SIZE || pQuoted[9] != IPPROTO_ICMP)
        return EPacket::Foreign;
    uint32_t dwQuotedTarget;
    std::memcpy(&dwQuotedTarget, pQuoted + 16, 4);
    const uint8_t* pRequest = pQuoted + nHeaderSize;
    if (dwQuotedTarget != expected.dwTarget || pRequest[0] != ICMP_ECHO ||
        !IsOurEcho(pRequest, expected))
        return EPacket::Foreign;
    dwStatus = StatusOfIcmpError(nType, pIcmp[1]);
    return EPacket::Error;
}

// A raw socket reads whole IP datagrams.
EPacket ClassifyRaw(const uint8_t* pPacket, size_t nSize, const CExpected& expected,
                    uint32_t& dwSource, uint32_t& dwStatus) {
    if (nSize < 20 || (pPacket[0] >> 4) != 4)
        return EPacket::Foreign;
    const size_t nHeaderSize = static_cast<size_t>(pPacket[0] & 0x0F) * 4;
    if (nHeaderSize < 20 || nSize < nHeaderSize || pPacket[9] != IPPROTO_ICMP)
        return EPacket::Foreign;
    std::memcpy(&dwSource, pPacket + 12, 4);
    return ClassifyIcmp(pPacket + nHeaderSize, nSize - nHeaderSize, dwSource, expected, dwStatus);
}

bool SetIpOption(int fd, int nOption, int nValue, int nLevel = IPPROTO_IP) {
    return setsockopt(fd, nLevel, nOption, &nValue, sizeof(nValue)) == 0;
}

uint32_t StatusOfIcmp6Error(uint8_t nType, uint8_t nCode) {
    switch (nType) {
    case ICMP6_DST_UNREACH:
        switch (nCode) {
        case ICMP6_DST_UNREACH_NOROUTE:
            return PING_STATUS_DEST_NET_UNREACHABLE;
        case ICMP6_DST_UNREACH_NOPORT:
            return PING_STATUS_DEST_PORT_UNREACHABLE;
        default:
            return PING_STATUS_DEST_HOST_UNREACHABLE;
        }
    case ICMP6_PACKET_TOO_BIG:
        return PING_STATUS_PACKET_TOO_BIG;
    case ICMP6_TIME_EXCEEDED:
        return nCode == ICMP6_TIME_EXCEED_REASSEMBLY ? PING_STATUS_TTL_EXPIRED_REASSEM
                                                     : PING_STATUS_TTL_EXPIRED_TRANSIT;
    case ICMP6_PARAM_PROB:
        return PING_STATUS_PARAM_PROBLEM;
    default:
        return PING_STATUS_GENERAL_FAILURE;
    }
}

bool SameIPv6(const in6_addr& a, const in6_addr& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

// An ICMPv6 message from source (both kinds of socket read it without the IPv6 header).
EPacket ClassifyIcmp6(const uint8_t* pIcmp, size_t nSize, const in6_addr& source,
                      const in6_addr& target, const CExpected& expected, uint32_t& dwStatus) {
    if (nSize < ICMP_HEADER_SIZE)
        return EPacket::Foreign;
    const uint8_t nType = pIcmp[0];
    if (nType == ICMP6_ECHO_REPLY)
        return ClassifyEchoReply(pIcmp, nSize, SameIPv6(source, target), expected, dwStatus);
    if (nType >= 128)
        return EPacket::Foreign; // informational, not an error about our request
    // An error quotes the 40-byte IPv6 header and the start of the packet that caused it.
    constexpr size_t IPV6_HEADER_SIZE = 40;
    const uint8_t* pQuoted = pIcmp + ICMP_HEADER_SIZE;
    if (nSize < ICMP_HEADER_SIZE + IPV6_HEADER_SIZE + ICMP_HEADER_SIZE || pQuoted[6] != 58)
        return EPacket::Foreign;
    in6_addr quotedTarget{};
    std::memcpy(&quotedTarget, pQuoted + 24, sizeof(quotedTarget));
    const uint8_t* pRequest = pQuoted + IPV6_HEADER_SIZE;
    if (!SameIPv6(quotedTarget, target) || pRequest[0] != ICMP6_ECHO_REQUEST ||
        !IsOurEcho(pRequest, expected))
        return EPacket::Foreign;
    dwStatus = StatusOfIcmp6Error(nType, pIcmp[1]);
    return EPacket::Error;
}

// A ping socket reports ICMP errors about its requests on the error queue (IP_RECVERR,
// IPV6_RECVERR).
EPacket ReadErrorQueue(int fd, const CHostAddress& target, const CExpected& expected,
                       CHostAddress& source, uint32_t& dwStatus) {
    const bool bIPv6 = target.GetFamily() == AF_INET6;
    uint8_t arrData[1280];
    uint8_t arrControl[512];
    sockaddr_storage to{};
    iovec iov{arrData, sizeof(arrData)};
    msghdr msg{};
    msg.msg_name = &to;
    msg.msg_namelen = sizeof(to);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = arrControl;
    msg.msg_controllen = sizeof(arrControl);
    const ssize_t nRead = recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (nRead < 0) {
        // A pending socket error without a queued message: clear it, or poll reports it again
        // at once until the time-out.
        int nError = 0;
        socklen_t nSize = sizeof(nError);
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &nSize);
        return EPacket::Foreign;
    }
    const bool bToTarget =
        bIPv6 ? SameIPv6(reinterpret_cast<const sockaddr_in6*>(&to)->sin6_addr,
                         reinterpret_cast<const sockaddr_in6*>(&target.m_addr)->sin6_addr)
              : reinterpret_cast<const sockaddr_in*>(&to)->sin_addr.s_addr == expected.dwTarget;
    for (cmsghdr* pMsg = CMSG_FIRSTHDR(&msg); pMsg != nullptr; pMsg = CMSG_NXTHDR(&msg, pMsg)) {
        if (bIPv6 ? pMsg->cmsg_level != SOL_IPV6 || pMsg->cmsg_type != IPV6_RECVERR
                  : pMsg->cmsg_level != SOL_IP || pMsg->cmsg_type != IP_RECVERR)
            continue;
        const auto* pError = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(pMsg));
        if (pError->ee_origin != (bIPv6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP))
            continue;
        // The data is our request's ICMP header as the error quoted it.
        if (static_cast<size_t>(nRead) < ICMP_HEADER_SIZE || !bToTarget ||
            arrData[0] != (bIPv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO) ||
            Read16(arrData + 6) != expected.nSequence)
            return EPacket::Foreign;
        const sockaddr* pOffender = SO_EE_OFFENDER(pError);
        source = CHostAddress();
        if (pOffender->sa_family == AF_INET6 || pOffender->sa_family == AF_INET) {
            source.m_nSize =
                pOffender->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            std::memcpy(&source.m_addr, pOffender, source.m_nSize);
        } else {
            source.m_addr.ss_family = static_cast<sa_family_t>(target.GetFamily());
        }
        dwStatus = bIPv6 ? StatusOfIcmp6Error(pError->ee_type, pError->ee_code)
                         : StatusOfIcmpError(pError->ee_type, pError->ee_code);
        return EPacket::Error;
    }
    return EPacket::Foreign;
}

// Opens the echo socket of the kind for the target's family, with the request's options.
int OpenEchoSocket(int nKind, int nFamily, uint8_t nTTL, uint8_t nTOS, bool bDontFragment) {
    const int fd = OpenIcmpSocket(nKind, nFamily);
    if (fd < 0)
        return -1;
    const bool bRaw = nKind == ICMP_SOCKET_RAW;
    bool bReady = false;
    if (nFamily == AF_INET6) {
        bReady = SetIpOption(fd, IPV6_UNICAST_HOPS, nTTL, IPPROTO_IPV6) &&
                 SetIpOption(fd, IPV6_TCLASS, nTOS, IPPROTO_IPV6) &&
                 SetIpOption(fd, IPV6_MTU_DISCOVER,
                             bDontFragment ? IPV6_PMTUDISC_DO : IPV6_PMTUDISC_DONT, IPPROTO_IPV6);
        if (bReady && bRaw) {
            icmp6_filter filter{};
            ICMP6_FILTER_SETBLOCKALL(&filter);
            for (int nType : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG,
                              ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB})
                ICMP6_FILTER_SETPASS(nType, &filter);
            bReady = setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof(filter)) == 0;
        } else if (bReady) {
            bReady = SetIpOption(fd, IPV6_RECVERR, 1, IPPROTO_IPV6);
        }
    } else {
        bReady =
            SetIpOption(fd, IP_TTL, nTTL) && SetIpOption(fd, IP_TOS, nTOS) &&
            SetIpOption(fd, IP_MTU_DISCOVER, bDontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT);
        if (bReady && bRaw) {
            // Only the ICMP types that can answer an echo reach us.
            icmp_filter filter{};
            filter.data =
                ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH) |
                  (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
            bReady = setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof(filter)) == 0;
        } else if (bReady) {
            bReady = SetIpOption(fd, IP_RECVERR, 1);
        }
    }
    if (!bReady) {
        const int nError = errno;
        close(fd);
        errno = nError;
        return -1;
    }
    return fd;
}

// What one readable socket event means; source is filled for a reply or an error.
EPacket ReadPacket(int fd, short nEvents, bool bRaw, const CHostAddress& target,
                   const CExpected& expected, std::vector<uint8_t>& arrBuffer, CHostAddress& source,
                   uint32_t& dwStatus) {
    const bool bIPv6 = target.GetFamily() == AF_INET6;
    const in6_addr& target6 = reinterpret_cast<const sockaddr_in6*>(&target.m_addr)->sin6_addr;
    if (nEvents & POLLERR)
        return ReadErrorQueue(fd, target, expected, source, dwStatus);
    socklen_t nFromSize = sizeof(source.m_addr);
    const ssize_t nRead = recvfrom(fd, arrBuffer.data(), arrBuffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&source.m_addr), &nFromSize);
    if (nRead < 0)
        return EPacket::Foreign;
    source.m_nSize = nFromSize;
    const size_t nSize = static_cast<size_t>(nRead);
    if (bIPv6) {
        return ClassifyIcmp6(arrBuffer.data(), nSize,
                             reinterpret_cast<const sockaddr_in6*>(&source.m_addr)->sin6_addr,
                             target6, expected, dwStatus);
    }
    auto* pIn = reinterpret_cast<sockaddr_in*>(&source.m_addr);
    if (bRaw) {
        uint32_t dwSource = 0;
        const EPacket packet = ClassifyRaw(arrBuffer.data(), nSize, expected, dwSource, dwStatus);
        pIn->sin_addr.s_addr = dwSource;
        return packet;
    }
    return ClassifyIcmp(arrBuffer.data(), nSize, pIn->sin_addr.s_addr, expected, dwStatus);
}

} // namespace

_CPING_ICMP::_CPING_ICMP() : m_nSocketKind(ProbeSocketKind()) {}

_CPING_ICMP& _CPING_ICMP::Get() {
    static _CPING_ICMP s_holder;
    return s_holder;
}

int _CPING_ICMP::ProbeSocketKind() {
    for (int nKind : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
        const int fd = OpenIcmpSocket(nKind);
        if (fd >= 0) {
            close(fd);
            return nKind;
        }
    }
    return ICMP_SOCKET_NONE;
}

void CPing::SetTraceHook(PFN_PING_TRACE pfnTrace) {
    g_pfnTrace.store(pfnTrace);
}

bool CPing::PingUsingICMP(const std::string& strHostName, CPingResult& pr, uint8_t nTTL,
                          uint32_t dwTimeoutMs, uint16_t wDataSize, uint8_t nTOS,
                          bool bDontFragment, const CEvent* pevStop) const {
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    if (nKind == ICMP_SOCKET_NONE) {
        SetLastError(PING_ERROR_NOT_LOADED);
        Trace("CPing::PingUsingICMP, ICMP dll is not available\n");
        return false;
    }

    CHostAddress target;
    if (!ResolveHost(strHostName, 0, target)) {
        Trace("CPing::PingUsingICMP, Could not resolve the host name " + strHostName + "\n");
        return false;
    }
    const bool bIPv6 = target.GetFamily() == AF_INET6;

    CSocketHolder sock(OpenEchoSocket(nKind, target.GetFamily(), nTTL, nTOS, bDontFragment));
    const int fd = sock.Get();
    if (fd < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        Trace("CPing::PingUsingICMP, Could not get a valid ICMP handle\n");
        return false;
    }

    const bool bRaw = nKind == ICMP_SOCKET_RAW;
    const uint32_t dwTarget =
        bIPv6 ? 0 : reinterpret_cast<const sockaddr_in*>(&target.m_addr)->sin_addr.s_addr;
    CExpected expected{dwTarget, static_cast<uint16_t>(getpid()), bRaw, ++g_nSequence, wDataSize};
    std::vector<uint8_t> arrRequest(ICMP_HEADER_SIZE + wDataSize, ECHO_DATA_BYTE);
    arrRequest[0] = bIPv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO;
    arrRequest[1] = 0;
    Write16(&arrRequest[2], 0);
    Write16(&arrRequest[4], expected.nId); // a ping socket puts its own identifier here
    Write16(&arrRequest[6], expected.nSequence);
    // The kernel computes the ICMPv6 checksum, which covers a pseudo-header.
    if (!bIPv6)
        Write16(&arrRequest[2], Checksum(arrRequest.data(), arrRequest.size()));

    using Clock = std::chrono::steady_clock;
    const Clock::time_point tStart = Clock::now();
    const Clock::time_point tDeadline = tStart + std::chrono::milliseconds(dwTimeoutMs);
    if (sendto(fd, arrRequest.data(), arrRequest.size(), 0,
               reinterpret_cast<const sockaddr*>(&target.m_addr), target.m_nSize) < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }

    std::vector<uint8_t> arrBuffer(RECEIVE_BUFFER_SIZE);
    for (;;) {
        pollfd poller{fd, POLLIN, 0};
        switch (WaitForSocket(poller, tDeadline, pevStop)) {
        case ESocketWait::READY:
            break;
        case ESocketWait::TIMED_OUT:
            SetLastError(PING_ERROR_TIMED_OUT);
            return false;
        case ESocketWait::STOPPED:
            SetLastError(PING_ERROR_CANCELLED);
            return false;
        case ESocketWait::FAILED:
            SetLastError(static_cast<uint32_t>(errno));
            return false;
        }
        CHostAddress source;
        uint32_t dwStatus = 0;
        const EPacket packet =
            ReadPacket(fd, poller.revents, bRaw, target, expected, arrBuffer, source, dwStatus);
        if (packet == EPacket::Foreign)
            continue;
        if (packet == EPacket::BadReply) {
            SetLastError(PING_ERROR_BAD_REPLY);
            Trace("CPing::PingUsingICMP, Could not get a valid ICMP response\n");
            return false;
        }
        pr.Address = source.GetFamily() == AF_INET
                         ? reinterpret_cast<const sockaddr_in*>(&source.m_addr)->sin_addr.s_addr
                         : 0;
        pr.From = source;
        const auto tRoundTrip = Clock::now() - tStart;
        pr.RTT = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(tRoundTrip).count());
        pr.RTTTenths = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(tRoundTrip).count() / 100);
        pr.Status = dwStatus;
        return true;
    }
}
