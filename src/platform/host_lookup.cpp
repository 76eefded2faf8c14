#include "platform/host_lookup.h"

#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/socket_wait.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>

namespace {

// Shared by the waiting caller and the resolver's thread, which may outlive the
// caller.
struct CPendingLookup {
    std::mutex mtx;
    std::condition_variable cv;
    bool bDone = false;
    int nError = 0;
    CResolvedHost found;
};

// The look-ups whose resolver thread still runs, by name. Never destroyed: a
// detached resolver may still finish while the process exits.
struct CRunningLookups {
    std::mutex mtx;
    std::condition_variable cvEnded; // a resolver thread has ended
    std::map<std::string, std::shared_ptr<CPendingLookup>> mapByName;
};

CRunningLookups& Running() {
    static CRunningLookups& s_running = *new CRunningLookups;
    return s_running;
}

std::atomic<CHostLookup::PFN_GETADDRINFO> g_pfnResolve{nullptr};

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
    const CHostLookup::PFN_GETADDRINFO pfnResolve = g_pfnResolve.load();
    const int nError = (pfnResolve != nullptr ? pfnResolve : &getaddrinfo)(strHost.c_str(), nullptr,
                                                                           &hints, &pList);
    if (nError == 0) {
        for (const addrinfo* p = pList; p != nullptr; p = p->ai_next)
            Keep(p->ai_family == AF_INET ? found.m_ipv4 : found.m_ipv6, *p);
        freeaddrinfo(pList);
    }
    {
        std::lock_guard lock(pPending->mtx);
        pPending->nError = nError;
        pPending->found = found;
        pPending->bDone = true;
    }
    pPending->cv.notify_all();
    CRunningLookups& running = Running();
    std::lock_guard lock(running.mtx);
    running.mapByName.erase(strHost);
    running.cvEnded.notify_all();
}

// The running look-up of the name, or a new one when fewer than the most
// resolver threads run (nullptr when pevStop is set while waiting for one to
// end).
std::shared_ptr<CPendingLookup> Join(const std::string& strHost, const CEvent* pevStop) {
    CRunningLookups& running = Running();
    std::unique_lock lock(running.mtx);
    for (;;) {
        if (const auto it = running.mapByName.find(strHost); it != running.mapByName.end())
            return it->second;
        if (running.mapByName.size() < CHostLookup::MAX_LOOKUP_THREADS) {
            auto pPending = std::make_shared<CPendingLookup>();
            running.mapByName[strHost] = pPending;
            std::thread([pPending, strHost] { Resolve(pPending, strHost); }).detach();
            return pPending;
        }
        if (pevStop != nullptr && pevStop->IsSet())
            return nullptr;
        running.cvEnded.wait_for(lock, STOP_POLL_SLICE);
    }
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

    const std::shared_ptr<CPendingLookup> pPending = Join(strHost, pevStop);
    if (pPending == nullptr)
        return EResult::STOPPED;
    std::unique_lock lock(pPending->mtx);
    while (!pPending->bDone) {
        if (pevStop != nullptr && pevStop->IsSet())
            return EResult::STOPPED;
        pPending->cv.wait_for(lock, STOP_POLL_SLICE);
    }
    if (pPending->nError == 0 && (pPending->found.HasIPv4() || pPending->found.HasIPv6())) {
        result = pPending->found;
        return EResult::FOUND;
    }
    return pPending->nError == EAI_NONAME || pPending->nError == EAI_NODATA || pPending->nError == 0
               ? EResult::NOT_FOUND
               : EResult::FAILED;
}

size_t CHostLookup::GetLookupThreads() {
    CRunningLookups& running = Running();
    std::lock_guard lock(running.mtx);
    return running.mapByName.size();
}

void CHostLookup::SetResolveHook(PFN_GETADDRINFO pfnResolve) {
    g_pfnResolve.store(pfnResolve);
}
