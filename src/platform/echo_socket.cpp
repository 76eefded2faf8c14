#include "platform/echo_socket.h"

#include "platform/event.h"
#include "platform/socket_wait.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <tuple>
#include <vector>

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

struct CEchoSocket::CPending {
    CHostAddress target;
    uint16_t wDataSize = 0;
    Clock::time_point tSent;
    bool bDone = false;
    EEnd eEnd = EEnd::TIMED_OUT;
    CAnswer answer;
    std::condition_variable cv; // waits with the socket's m_mtxPending
};

struct CEchoSocket::CPacket {
    bool bError = false; // an ICMP error quoting one of our requests, else an echo reply
    uint16_t nId = 0;
    uint16_t nSequence = 0;
    CHostAddress about; // the reply's source, or the destination the error quotes
    CHostAddress from;  // who sent it
    uint32_t dwStatus = PING_STATUS_SUCCESS;
    const uint8_t* pData = nullptr; // a reply's data
    size_t nDataSize = 0;
    Clock::time_point tReceived;
};

namespace {

constexpr uint8_t ECHO_DATA_BYTE = 0x45;
constexpr size_t ICMP_HEADER_SIZE = 8;
constexpr size_t IPV6_HEADER_SIZE = 40;
constexpr size_t RECEIVE_BUFFER_SIZE = 65536;
constexpr int RECEIVE_BUFFER_BYTES = 1 << 20; // many hosts answer at once

// Sequence numbers are unique within the process, so two echoes never wait for the same one.
std::atomic<uint16_t> g_nSequence{0};

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

bool IsIcmpError(uint8_t nType) {
    return nType == ICMP_DEST_UNREACH || nType == ICMP_TIME_EXCEEDED ||
           nType == ICMP_PARAMETERPROB || nType == ICMP_SOURCE_QUENCH;
}

// An address of the family from raw bytes (4 or 16).
CHostAddress AddressOf(int nFamily, const uint8_t* pBytes) {
    CHostAddress address;
    address.m_addr.ss_family = static_cast<sa_family_t>(nFamily);
    if (nFamily == AF_INET6) {
        address.m_nSize = sizeof(sockaddr_in6);
        std::memcpy(&reinterpret_cast<sockaddr_in6*>(&address.m_addr)->sin6_addr, pBytes, 16);
    } else {
        address.m_nSize = sizeof(sockaddr_in);
        std::memcpy(&reinterpret_cast<sockaddr_in*>(&address.m_addr)->sin_addr, pBytes, 4);
    }
    return address;
}

// The same host, whatever the ports and scope.
bool SameHost(const CHostAddress& a, const CHostAddress& b) {
    if (a.GetFamily() != b.GetFamily())
        return false;
    if (a.GetFamily() == AF_INET6)
        return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(&a.m_addr)->sin6_addr,
                           &reinterpret_cast<const sockaddr_in6*>(&b.m_addr)->sin6_addr,
                           sizeof(in6_addr)) == 0;
    return a.GetFamily() == AF_INET &&
           reinterpret_cast<const sockaddr_in*>(&a.m_addr)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(&b.m_addr)->sin_addr.s_addr;
}

// An ICMP or ICMPv6 message (no IP header) from source: an echo reply, or an error that quotes
// an echo request. False for anything else.
bool ParseIcmp(int nFamily, const uint8_t* pIcmp, size_t nSize, const CHostAddress& source,
               CEchoSocket::CPacket& packet) {
    if (nSize < ICMP_HEADER_SIZE)
        return false;
    const bool bIPv6 = nFamily == AF_INET6;
    const uint8_t nType = pIcmp[0];
    packet.from = source;
    if (nType == (bIPv6 ? ICMP6_ECHO_REPLY : ICMP_ECHOREPLY)) {
        packet.bError = false;
        packet.nId = Read16(pIcmp + 4);
        packet.nSequence = Read16(pIcmp + 6);
        packet.about = source;
        packet.pData = pIcmp + ICMP_HEADER_SIZE;
        packet.nDataSize = nSize - ICMP_HEADER_SIZE;
        return true;
    }
    // An error quotes the IP header and at least the first 8 bytes of the datagram that
    // caused it.
    const uint8_t* pQuoted = pIcmp + ICMP_HEADER_SIZE;
    const size_t nQuotedSize = nSize - ICMP_HEADER_SIZE;
    const uint8_t* pRequest = nullptr;
    if (bIPv6) {
        if (nType >= 128 || nQuotedSize < IPV6_HEADER_SIZE + ICMP_HEADER_SIZE ||
            pQuoted[6] != IPPROTO_ICMPV6)
            return false;
        packet.about = AddressOf(AF_INET6, pQuoted + 24);
        pRequest = pQuoted + IPV6_HEADER_SIZE;
        packet.dwStatus = StatusOfIcmp6Error(nType, pIcmp[1]);
    } else {
        if (!IsIcmpError(nType) || nQuotedSize < 20)
            return false;
        const size_t nHeaderSize = static_cast<size_t>(pQuoted[0] & 0x0F) * 4;
        if ((pQuoted[0] >> 4) != 4 || nHeaderSize < 20 ||
            nQuotedSize < nHeaderSize + ICMP_HEADER_SIZE || pQuoted[9] != IPPROTO_ICMP)
            return false;
        packet.about = AddressOf(AF_INET, pQuoted + 16);
        pRequest = pQuoted + nHeaderSize;
        packet.dwStatus = StatusOfIcmpError(nType, pIcmp[1]);
    }
    if (pRequest[0] != (bIPv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO))
        return false;
    packet.bError = true;
    packet.nId = Read16(pRequest + 4);
    packet.nSequence = Read16(pRequest + 6);
    return true;
}

// A raw IPv4 socket reads whole datagrams.
bool ParseRawIPv4(const uint8_t* pPacket, size_t nSize, CEchoSocket::CPacket& packet) {
    if (nSize < 20 || (pPacket[0] >> 4) != 4)
        return false;
    const size_t nHeaderSize = static_cast<size_t>(pPacket[0] & 0x0F) * 4;
    if (nHeaderSize < 20 || nSize < nHeaderSize || pPacket[9] != IPPROTO_ICMP)
        return false;
    return ParseIcmp(AF_INET, pPacket + nHeaderSize, nSize - nHeaderSize,
                     AddressOf(AF_INET, pPacket + 12), packet);
}

// A ping socket hears of ICMP errors about its requests on the error queue: the data is our
// request's ICMP header as the error quoted it, the name the destination it went to.
bool ReadErrorQueue(int fd, int nFamily, CEchoSocket::CPacket& packet) {
    const bool bIPv6 = nFamily == AF_INET6;
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
        // at once, for ever.
        int nError = 0;
        socklen_t nErrorSize = sizeof(nError);
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &nErrorSize);
        return false;
    }
    packet.tReceived = Clock::now();
    for (cmsghdr* pMsg = CMSG_FIRSTHDR(&msg); pMsg != nullptr; pMsg = CMSG_NXTHDR(&msg, pMsg)) {
        if (bIPv6 ? pMsg->cmsg_level != SOL_IPV6 || pMsg->cmsg_type != IPV6_RECVERR
                  : pMsg->cmsg_level != SOL_IP || pMsg->cmsg_type != IP_RECVERR)
            continue;
        const auto* pError = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(pMsg));
        if (pError->ee_origin != (bIPv6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP) ||
            static_cast<size_t>(nRead) < ICMP_HEADER_SIZE ||
            arrData[0] != (bIPv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO) || to.ss_family != nFamily)
            return false;
        packet.bError = true;
        packet.nId = Read16(arrData + 4);
        packet.nSequence = Read16(arrData + 6);
        packet.about = CHostAddress();
        packet.about.m_nSize = bIPv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        std::memcpy(&packet.about.m_addr, &to, packet.about.m_nSize);
        const sockaddr* pOffender = SO_EE_OFFENDER(pError);
        packet.from = CHostAddress();
        if (pOffender->sa_family == AF_INET6 || pOffender->sa_family == AF_INET) {
            packet.from.m_nSize =
                pOffender->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
            std::memcpy(&packet.from.m_addr, pOffender, packet.from.m_nSize);
        } else {
            packet.from.m_addr.ss_family = static_cast<sa_family_t>(nFamily);
        }
        packet.dwStatus = bIPv6 ? StatusOfIcmp6Error(pError->ee_type, pError->ee_code)
                                : StatusOfIcmpError(pError->ee_type, pError->ee_code);
        return true;
    }
    return false;
}

bool SetOption(int fd, int nLevel, int nOption, int nValue) {
    return setsockopt(fd, nLevel, nOption, &nValue, sizeof(nValue)) == 0;
}

// Only the ICMP types that can answer an echo reach a raw socket; a ping socket reports errors
// on its error queue.
bool PrepareSocket(int fd, bool bRaw, int nFamily) {
    SetOption(fd, SOL_SOCKET, SO_RCVBUF, RECEIVE_BUFFER_BYTES); // best effort
    if (nFamily == AF_INET6) {
        if (!bRaw)
            return SetOption(fd, IPPROTO_IPV6, IPV6_RECVERR, 1);
        icmp6_filter filter{};
        ICMP6_FILTER_SETBLOCKALL(&filter);
        for (int nType : {ICMP6_ECHO_REPLY, ICMP6_DST_UNREACH, ICMP6_PACKET_TOO_BIG,
                          ICMP6_TIME_EXCEEDED, ICMP6_PARAM_PROB})
            ICMP6_FILTER_SETPASS(nType, &filter);
        return setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof(filter)) == 0;
    }
    if (!bRaw)
        return SetOption(fd, IPPROTO_IP, IP_RECVERR, 1);
    icmp_filter filter{};
    filter.data =
        ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_SOURCE_QUENCH) |
          (1U << ICMP_TIME_EXCEEDED) | (1U << ICMP_PARAMETERPROB));
    return setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof(filter)) == 0;
}

// Sockets belong to the network namespace of the thread that opens them.
using CKey = CEchoSocket::CKey;

CKey KeyOf(bool bRaw, int nFamily) {
    struct stat st {};
    if (stat("/proc/thread-self/ns/net", &st) != 0)
        st = {};
    return {st.st_dev, st.st_ino, bRaw, nFamily};
}

// A socket nobody has used for this long is closed (and its namespace let go).
constexpr std::chrono::seconds IDLE_CLOSE{10};

// Never destroyed: a receiver may still look at it while the process exits.
struct CRegistry {
    std::mutex mtx;
    std::map<CKey, std::shared_ptr<CEchoSocket>> mapSockets;
};

CRegistry& Registry() {
    static CRegistry& s_registry = *new CRegistry;
    return s_registry;
}

} // namespace

int CEchoSocket::OpenIcmpSocket(bool bRaw, int nFamily) {
    return socket(nFamily, (bRaw ? SOCK_RAW : SOCK_DGRAM) | SOCK_CLOEXEC,
                  nFamily == AF_INET6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP);
}

std::shared_ptr<CEchoSocket> CEchoSocket::Acquire(bool bRaw, int nFamily) {
    const CKey key = KeyOf(bRaw, nFamily);
    CRegistry& registry = Registry();
    std::lock_guard lock(registry.mtx);
    if (const auto it = registry.mapSockets.find(key); it != registry.mapSockets.end())
        return it->second;
    const int fd = OpenIcmpSocket(bRaw, nFamily);
    if (fd < 0)
        return nullptr;
    const int fdWake = PrepareSocket(fd, bRaw, nFamily) ? eventfd(0, EFD_CLOEXEC) : -1;
    if (fdWake < 0) {
        const int nError = errno;
        close(fd);
        errno = nError;
        return nullptr;
    }
    std::shared_ptr<CEchoSocket> pSocket(new CEchoSocket(fd, fdWake, bRaw, nFamily));
    registry.mapSockets[key] = pSocket;
    pSocket->m_receiver = std::thread([pRaw = pSocket.get(), key] {
        // The receiver ends by taking the socket out of the registry; the last reference
        // goes with this thread.
        const std::shared_ptr<CEchoSocket> pLast = pRaw->Receive(key);
    });
    return pSocket;
}

CEchoSocket::CEchoSocket(int fd, int fdWake, bool bRaw, int nFamily)
    : m_fd(fd), m_fdWake(fdWake), m_bRaw(bRaw), m_nFamily(nFamily),
      m_nId(static_cast<uint16_t>(getpid())) {}

CEchoSocket::~CEchoSocket() {
    if (m_receiver.joinable()) {
        const uint64_t nOne = 1;
        if (write(m_fdWake, &nOne, sizeof(nOne)) == sizeof(nOne))
            m_receiver.join();
        else
            m_receiver.detach();
    }
    close(m_fdWake);
    close(m_fd);
}

bool CEchoSocket::Send(const CRequest& request, const uint8_t* pData, size_t nSize) {
    std::lock_guard lock(m_mtxSend);
    const bool bIPv6 = m_nFamily == AF_INET6;
    const auto set = [this](int& nCurrent, int nValue, int nLevel, int nOption) {
        if (nCurrent == nValue)
            return true;
        if (!SetOption(m_fd, nLevel, nOption, nValue))
            return false;
        nCurrent = nValue;
        return true;
    };
    const int nPmtu = bIPv6 ? (request.bDontFragment ? IPV6_PMTUDISC_DO : IPV6_PMTUDISC_DONT)
                            : (request.bDontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT);
    const int nLevel = bIPv6 ? IPPROTO_IPV6 : IPPROTO_IP;
    if (!set(m_nTTL, request.nTTL, nLevel, bIPv6 ? IPV6_UNICAST_HOPS : IP_TTL) ||
        !set(m_nTOS, request.nTOS, nLevel, bIPv6 ? IPV6_TCLASS : IP_TOS) ||
        !set(m_nDontFragment, nPmtu, nLevel, bIPv6 ? IPV6_MTU_DISCOVER : IP_MTU_DISCOVER))
        return false;
    return sendto(m_fd, pData, nSize, 0, reinterpret_cast<const sockaddr*>(&request.target.m_addr),
                  request.target.m_nSize) >= 0;
}

CEchoSocket::EEnd CEchoSocket::Echo(const CRequest& request, const CEvent* pevStop,
                                    CAnswer& answer) {
    const bool bIPv6 = m_nFamily == AF_INET6;
    std::vector<uint8_t> arrRequest(ICMP_HEADER_SIZE + request.wDataSize, ECHO_DATA_BYTE);
    arrRequest[0] = bIPv6 ? ICMP6_ECHO_REQUEST : ICMP_ECHO;
    arrRequest[1] = 0;
    Write16(&arrRequest[2], 0);
    Write16(&arrRequest[4], m_nId); // a ping socket puts its own identifier here

    using namespace std::chrono;
    const Clock::time_point tStart = Clock::now();
    const Clock::time_point tDeadline = tStart + milliseconds(request.dwTimeoutMs);
    CPending pending;
    pending.target = request.target;
    pending.wDataSize = request.wDataSize;
    pending.tSent = tStart;
    std::unique_lock lock(m_mtxPending);
    uint16_t nSequence = ++g_nSequence;
    while (m_mapPending.contains(nSequence))
        nSequence = ++g_nSequence;
    m_mapPending[nSequence] = &pending;
    lock.unlock();
    Write16(&arrRequest[6], nSequence);
    // The kernel computes the ICMPv6 checksum, which covers a pseudo-header.
    if (!bIPv6)
        Write16(&arrRequest[2], Checksum(arrRequest.data(), arrRequest.size()));
    if (!Send(request, arrRequest.data(), arrRequest.size())) {
        const int nError = errno;
        lock.lock();
        m_mapPending.erase(nSequence);
        errno = nError;
        return EEnd::FAILED;
    }

    lock.lock();
    for (;;) {
        if (pending.bDone) {
            answer = pending.answer;
            return pending.eEnd;
        }
        const Clock::time_point tNow = Clock::now();
        const bool bStopped = pevStop != nullptr && pevStop->IsSet();
        if (bStopped || tNow >= tDeadline) {
            m_mapPending.erase(nSequence);
            return bStopped ? EEnd::STOPPED : EEnd::TIMED_OUT;
        }
        pending.cv.wait_for(lock, std::min<Clock::duration>(tDeadline - tNow, STOP_POLL_SLICE));
    }
}

void CEchoSocket::Dispatch(const CPacket& packet) {
    std::lock_guard lock(m_mtxPending);
    const auto it = m_mapPending.find(packet.nSequence);
    if (it == m_mapPending.end())
        return;
    CPending& pending = *it->second;
    if ((m_bRaw && packet.nId != m_nId) || !SameHost(packet.about, pending.target))
        return; // another program's echo, or an answer from (or about) another host
    pending.eEnd = EEnd::ANSWERED;
    if (!packet.bError && (packet.nDataSize != pending.wDataSize ||
                           !std::all_of(packet.pData, packet.pData + packet.nDataSize,
                                        [](uint8_t c) { return c == ECHO_DATA_BYTE; })))
        pending.eEnd = EEnd::BAD_REPLY;
    pending.answer.from = packet.from;
    pending.answer.dwStatus = packet.bError ? packet.dwStatus : PING_STATUS_SUCCESS;
    const auto tRoundTrip = packet.tReceived - pending.tSent;
    pending.answer.dwRTT = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(tRoundTrip).count());
    pending.answer.dwRTTTenths = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(tRoundTrip).count() / 100);
    pending.bDone = true;
    m_mapPending.erase(it);
    pending.cv.notify_one();
}

std::shared_ptr<CEchoSocket> CEchoSocket::Receive(const CKey& key) {
    std::vector<uint8_t> arrBuffer(RECEIVE_BUFFER_SIZE);
    Clock::time_point tIdleCheck = Clock::now() + IDLE_CLOSE;
    for (;;) {
        const Clock::time_point tNow = Clock::now();
        if (tNow >= tIdleCheck) {
            // Idle when only the registry holds us: nobody else can take us while its lock
            // is held.
            CRegistry& registry = Registry();
            std::lock_guard lock(registry.mtx);
            const auto it = registry.mapSockets.find(key);
            if (it != registry.mapSockets.end() && it->second.get() == this &&
                it->second.use_count() == 1) {
                std::shared_ptr<CEchoSocket> pLast = std::move(it->second);
                registry.mapSockets.erase(it);
                m_receiver.detach();
                return pLast;
            }
            tIdleCheck = tNow + IDLE_CLOSE;
        }
        pollfd arrPoll[2] = {{m_fd, POLLIN, 0}, {m_fdWake, POLLIN, 0}};
        const auto nWait = std::chrono::ceil<std::chrono::milliseconds>(tIdleCheck - tNow);
        if (poll(arrPoll, 2, static_cast<int>(nWait.count())) < 0) {
            if (errno == EINTR)
                continue;
            return nullptr;
        }
        if (arrPoll[1].revents != 0)
            return nullptr;
        CPacket packet;
        if (arrPoll[0].revents & POLLERR) {
            if (ReadErrorQueue(m_fd, m_nFamily, packet))
                Dispatch(packet);
            continue;
        }
        // Read everything that has come before polling again.
        for (;;) {
            CHostAddress source;
            socklen_t nFromSize = sizeof(source.m_addr);
            const ssize_t nRead = recvfrom(m_fd, arrBuffer.data(), arrBuffer.size(), MSG_DONTWAIT,
                                           reinterpret_cast<sockaddr*>(&source.m_addr), &nFromSize);
            if (nRead < 0)
                break;
            source.m_nSize = nFromSize;
            packet = CPacket();
            packet.tReceived = Clock::now();
            const size_t nSize = static_cast<size_t>(nRead);
            if (m_bRaw && m_nFamily == AF_INET
                    ? ParseRawIPv4(arrBuffer.data(), nSize, packet)
                    : ParseIcmp(m_nFamily, arrBuffer.data(), nSize, source, packet))
                Dispatch(packet);
        }
    }
}
