#include "platform/host_lookup.h"

#include "platform/event.h"
#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

// A resolver that hangs, as one whose DNS server never answers, until the test lets it go;
// then every name is 127.0.0.7.
std::promise<void> g_answer;
const std::shared_future<void> g_fAnswered = g_answer.get_future().share();
std::atomic<int> g_nCalls{0};

} // namespace

// Stopped tests leave their look-ups behind: the next look-up of a name joins
// the one still running, and no more than the most resolver threads ever run.
TEST(HostLookup, AbandonedLookUpsAreJoinedAndCapped) {
    CHostLookup::SetResolveHook(
        [](const char*, const char* pszService, const addrinfo* pHints, addrinfo** ppList) {
            ++g_nCalls;
            g_fAnswered.wait();
            return getaddrinfo("127.0.0.7", pszService, pHints, ppList);
        });
    CEvent evStop;
    evStop.Set();
    CResolvedHost found;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(CHostLookup::LookUp("a.example", found, &evStop), CHostLookup::EResult::STOPPED);
    EXPECT_EQ(CHostLookup::GetLookupThreads(), 1u);
    for (size_t i = 0; i < CHostLookup::MAX_LOOKUP_THREADS + 5; ++i)
        EXPECT_EQ(CHostLookup::LookUp("n" + std::to_string(i) + ".example", found, &evStop),
                  CHostLookup::EResult::STOPPED);
    EXPECT_EQ(CHostLookup::GetLookupThreads(), CHostLookup::MAX_LOOKUP_THREADS);

    auto joined = std::async(std::launch::async, [] {
        CResolvedHost addresses;
        const CHostLookup::EResult eResult = CHostLookup::LookUp("a.example", addresses);
        return std::pair(eResult, FormatAddress(addresses.m_ipv4));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_answer.set_value();
    EXPECT_EQ(joined.get(), std::pair(CHostLookup::EResult::FOUND, std::string("127.0.0.7")));
    for (int i = 0; i < 100 && CHostLookup::GetLookupThreads() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(CHostLookup::GetLookupThreads(), 0u);
    EXPECT_EQ(g_nCalls, static_cast<int>(CHostLookup::MAX_LOOKUP_THREADS));
    CHostLookup::SetResolveHook(nullptr);
}
