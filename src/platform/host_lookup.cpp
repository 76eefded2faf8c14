#include "platform/host_lookup.h"

#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/socket_wait.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>

namespace {

// Shared by the waiting caller and the resolver's thread, which may outlive the caller.
struct CPendingLookup {
    std::mutex mtx;
    std::condition_variable cv;
    bool bDone = false;
    int nError = 0;
    CResolvedHost found;
};

void Keep(CHostAddress& address, const addrinfo& info) {
    if (address.GetFamily() != 0 || info.ai_addrlen > sizeof(address.m_addr))
        return;
    std::memcpy(&address.m_addr, info.ai_addr, info.ai_addrlen);
    address.m_nSize = info.ai_addrlen;
}

void Resolve(const std::shared_ptr<CPendingLookup>& pPending, const std::string& strHost) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pList = nullptr;
    CResolvedHost found;
    const int nError = getaddrinfo(strHost.c_str(), nullptr, &hints, &pList);
    if (nError == 0) {
        for (const addrinfo* p = pList; p != nullptr; p = p->ai_next)
            Keep(p->ai_family == AF_INET ? found.m_ipv4 : found.m_ipv6, *p);
        freeaddrinfo(pList);
    }
    std::lock_guard lock(pPending->mtx);
    pPending->nError = nError;
    pPending->found = found;
    pPending->bDone = true;
    pPending->cv.notify_all();
}

bool IsHostName(const std::string& strHost) {
    return !strHost.empty() && std::none_of(strHost.begin(), strHost.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || c == 0x7F;
    });
}

} // namespace

CHostLookup::EResult CHostLookup::LookUp(const std::string& strHost, CResolvedHost& result,
                                         const CEvent* pevStop) {
    result = CResolvedHost();
    CHostAddress literal;
    uint32_t dwAddress = 0;
    in6_addr addr6{};
    if (ParseDottedIPv4(strHost, dwAddress) || inet_pton(AF_INET6, strHost.c_str(), &addr6) == 1) {
        ResolveHost(strHost, 0, literal); // a literal: no look-up
        (literal.GetFamily() == AF_INET ? result.m_ipv4 : result.m_ipv6) = literal;
        return EResult::FOUND;
    }
    SetLastError(RESOLVE_ERROR_HOST_NOT_FOUND);
    if (!IsHostName(strHost))
        return EResult::NOT_FOUND;

    auto pPending = std::make_shared<CPendingLookup>();
    std::thread([pPending, strHost] { Resolve(pPending, strHost); }).detach();
    std::unique_lock lock(pPending->mtx);
    while (!pPending->cv.wait_for(lock, STOP_POLL_SLICE, [&] { return pPending->bDone; }))
        if (pevStop != nullptr && pevStop->IsSet())
            return EResult::STOPPED;
    if (pPending->nError == 0 && (pPending->found.HasIPv4() || pPending->found.HasIPv6())) {
        result = pPending->found;
        return EResult::FOUND;
    }
    return pPending->nError == EAI_NONAME || pPending->nError == EAI_NODATA || pPending->nError == 0
               ? EResult::NOT_FOUND
               : EResult::FAILED;
}
