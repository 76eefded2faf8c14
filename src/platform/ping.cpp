#include "platform/ping.h"

#include "platform/last_error.h"
#include "platform/resolver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

#include <linux/errqueue.h>
#include <linux/icmp.h>
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

int OpenIcmpSocket(int nKind) {
    if (nKind == ICMP_SOCKET_DGRAM)
        return socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (nKind == ICMP_SOCKET_RAW)
        return socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
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

// pIcmp points at an ICMP message (no IP header) of nSize bytes from dwSource.
EPacket ClassifyIcmp(const uint8_t* pIcmp, size_t nSize, uint32_t dwSource,
                     const CExpected& expected, uint32_t& dwStatus) {
    if (nSize < ICMP_HEADER_SIZE)
        return EPacket::Foreign;
    const uint8_t nType = pIcmp[0];
    if (nType == ICMP_ECHOREPLY) {
        if (dwSource != expected.dwTarget || Read16(pIcmp + 6) != expected.nSequence ||
            (expected.bCheckId && Read16(pIcmp + 4) != expected.nId))
            return EPacket::Foreign;
        const uint8_t* pData = pIcmp + ICMP_HEADER_SIZE;
        const size_t nDataSize = nSize - ICMP_HEADER_SIZE;
        if (nDataSize != expected.nDataSize)
            return EPacket::BadReply;
        for (size_t i = 0; i < nDataSize; ++i) {
            if (pData[i] != ECHO_DATA_BYTE)
                return EPacket::BadReply;
        }
        dwStatus = PING_STATUS_SUCCESS;
        return EPacket::Reply;
    }
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
        Read16(pRequest + 6) != expected.nSequence ||
        (expected.bCheckId && Read16(pRequest + 4) != expected.nId))
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

// A ping socket reports ICMP errors about its requests on the error queue (IP_RECVERR).
EPacket ReadErrorQueue(int fd, const CExpected& expected, uint32_t& dwSource, uint32_t& dwStatus) {
    uint8_t arrData[576];
    uint8_t arrControl[512];
    sockaddr_in target{};
    iovec iov{arrData, sizeof(arrData)};
    msghdr msg{};
    msg.msg_name = &target;
    msg.msg_namelen = sizeof(target);
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
    for (cmsghdr* pMsg = CMSG_FIRSTHDR(&msg); pMsg != nullptr; pMsg = CMSG_NXTHDR(&msg, pMsg)) {
        if (pMsg->cmsg_level != SOL_IP || pMsg->cmsg_type != IP_RECVERR)
            continue;
        const auto* pError = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(pMsg));
        if (pError->ee_origin != SO_EE_ORIGIN_ICMP)
            continue;
        // The data is our request's ICMP header as the error quoted it.
        if (static_cast<size_t>(nRead) < ICMP_HEADER_SIZE ||
            target.sin_addr.s_addr != expected.dwTarget || arrData[0] != ICMP_ECHO ||
            Read16(arrData + 6) != expected.nSequence)
            return EPacket::Foreign;
        const auto* pOffender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(pError));
        dwSource = pOffender->sin_family == AF_INET ? pOffender->sin_addr.s_addr : 0;
        dwStatus = StatusOfIcmpError(pError->ee_type, pError->ee_code);
        return EPacket::Error;
    }
    return EPacket::Foreign;
}

bool SetIpOption(int fd, int nOption, int nValue) {
    return setsockopt(fd, IPPROTO_IP, nOption, &nValue, sizeof(nValue)) == 0;
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
                          bool bDontFragment) const {
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    if (nKind == ICMP_SOCKET_NONE) {
        SetLastError(PING_ERROR_NOT_LOADED);
        Trace("CPing::PingUsingICMP, ICMP dll is not available\n");
        return false;
    }

    uint32_t dwTarget = 0;
    if (!ResolveIPv4(strHostName, dwTarget)) {
        Trace("CPing::PingUsingICMP, Could not resolve the host name " + strHostName + "\n");
        return false;
    }

    CSocketHolder sock(OpenIcmpSocket(nKind));
    const int fd = sock.Get();
    const bool bRaw = nKind == ICMP_SOCKET_RAW;
    bool bReady =
        fd >= 0 && SetIpOption(fd, IP_TTL, nTTL) && SetIpOption(fd, IP_TOS, nTOS) &&
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
    if (!bReady) {
        SetLastError(static_cast<uint32_t>(errno));
        Trace("CPing::PingUsingICMP, Could not get a valid ICMP handle\n");
        return false;
    }

    CExpected expected{dwTarget, static_cast<uint16_t>(getpid()), bRaw, ++g_nSequence, wDataSize};
    std::vector<uint8_t> arrRequest(ICMP_HEADER_SIZE + wDataSize, ECHO_DATA_BYTE);
    arrRequest[0] = ICMP_ECHO;
    arrRequest[1] = 0;
    Write16(&arrRequest[2], 0);
    Write16(&arrRequest[4], expected.nId); // a ping socket puts its own identifier here
    Write16(&arrRequest[6], expected.nSequence);
    Write16(&arrRequest[2], Checksum(arrRequest.data(), arrRequest.size()));

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = dwTarget;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point tStart = Clock::now();
    const Clock::time_point tDeadline = tStart + std::chrono::milliseconds(dwTimeoutMs);
    if (sendto(fd, arrRequest.data(), arrRequest.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof(to)) < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }

    std::vector<uint8_t> arrBuffer(RECEIVE_BUFFER_SIZE);
    for (;;) {
        const int64_t nLeft = std::clamp<int64_t>(
            std::chrono::ceil<std::chrono::milliseconds>(tDeadline - Clock::now()).count(), 0,
            std::numeric_limits<int>::max());
        pollfd poller{fd, POLLIN, 0};
        const int nReady = poll(&poller, 1, static_cast<int>(nLeft));
        if (nReady < 0 && errno == EINTR)
            continue;
        if (nReady < 0) {
            SetLastError(static_cast<uint32_t>(errno));
            return false;
        }
        if (nReady == 0) {
            SetLastError(PING_ERROR_TIMED_OUT);
            return false;
        }

        uint32_t dwSource = 0;
        uint32_t dwStatus = 0;
        EPacket packet = EPacket::Foreign;
        if (poller.revents & POLLERR) {
            packet = ReadErrorQueue(fd, expected, dwSource, dwStatus);
        } else {
            sockaddr_in from{};
            socklen_t nFromSize = sizeof(from);
            const ssize_t nRead = recvfrom(fd, arrBuffer.data(), arrBuffer.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&from), &nFromSize);
            if (nRead < 0)
                continue;
            if (bRaw) {
                packet = ClassifyRaw(arrBuffer.data(), static_cast<size_t>(nRead), expected,
                                     dwSource, dwStatus);
            } else {
                dwSource = from.sin_addr.s_addr;
                packet = ClassifyIcmp(arrBuffer.data(), static_cast<size_t>(nRead), dwSource,
                                      expected, dwStatus);
            }
        }
        if (packet == EPacket::Foreign)
            continue;
        if (packet == EPacket::BadReply) {
            SetLastError(PING_ERROR_BAD_REPLY);
            Trace("CPing::PingUsingICMP, Could not get a valid ICMP response\n");
            return false;
        }
        pr.Address = dwSource;
        pr.RTT = static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tStart).count());
        pr.Status = dwStatus;
        return true;
    }
}
