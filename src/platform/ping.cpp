#include "platform/ping.h"

#include "platform/echo_socket.h"
#include "platform/last_error.h"
#include "platform/resolver.h"

#include <cerrno>

#include <netinet/in.h>
#include <unistd.h>

namespace {

std::atomic<PFN_PING_TRACE> g_pfnTrace{nullptr};

[[maybe_unused]] _CPING_ICMP& g_icmpAtStart = _CPING_ICMP::Get();

void Trace(const std::string& strText) {
    if (PFN_PING_TRACE pfn = g_pfnTrace.load())
        pfn(strText);
}

} // namespace

_CPING_ICMP::_CPING_ICMP() : m_nSocketKind(ProbeSocketKind()) {}

_CPING_ICMP& _CPING_ICMP::Get() {
    static _CPING_ICMP s_holder;
    return s_holder;
}

int _CPING_ICMP::ProbeSocketKind() {
    for (int nKind : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
        const int fd = CEchoSocket::OpenIcmpSocket(nKind == ICMP_SOCKET_RAW, AF_INET);
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

    CEchoSocket::CRequest request;
    if (!ResolveHost(strHostName, 0, request.target)) {
        Trace("CPing::PingUsingICMP, Could not resolve the host name " + strHostName + "\n");
        return false;
    }
    const std::shared_ptr<CEchoSocket> pSocket =
        CEchoSocket::Acquire(nKind == ICMP_SOCKET_RAW, request.target.GetFamily());
    if (pSocket == nullptr) {
        SetLastError(static_cast<uint32_t>(errno));
        Trace("CPing::PingUsingICMP, Could not get a valid ICMP handle\n");
        return false;
    }

    request.nTTL = nTTL;
    request.nTOS = nTOS;
    request.bDontFragment = bDontFragment;
    request.wDataSize = wDataSize;
    request.dwTimeoutMs = dwTimeoutMs;
    CEchoSocket::CAnswer answer;
    switch (pSocket->Echo(request, pevStop, answer)) {
    case CEchoSocket::EEnd::ANSWERED:
        break;
    case CEchoSocket::EEnd::BAD_REPLY:
        SetLastError(PING_ERROR_BAD_REPLY);
        Trace("CPing::PingUsingICMP, Could not get a valid ICMP response\n");
        return false;
    case CEchoSocket::EEnd::TIMED_OUT:
        SetLastError(PING_ERROR_TIMED_OUT);
        return false;
    case CEchoSocket::EEnd::STOPPED:
        SetLastError(PING_ERROR_CANCELLED);
        return false;
    case CEchoSocket::EEnd::FAILED:
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    pr.Address = answer.from.GetFamily() == AF_INET
                     ? reinterpret_cast<const sockaddr_in*>(&answer.from.m_addr)->sin_addr.s_addr
                     : 0;
    pr.From = answer.from;
    pr.RTT = answer.dwRTT;
    pr.RTTTenths = answer.dwRTTTenths;
    pr.Status = answer.dwStatus;
    return true;
}
