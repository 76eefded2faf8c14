#include "platform/ping.h"

#include "platform/ping_settings_guard.h"

#include "platform/last_error.h"
#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

class PingTest : public ::testing::Test {
protected:
    CPingSettingsGuard m_guard;
};

} // namespace

TEST_F(PingTest, WithoutASocketKindEveryPingFailsAtOnce) {
    _CPING_ICMP::Get().SetSocketKind(ICMP_SOCKET_NONE);
    EXPECT_FALSE(_CPING_ICMP::Get().IsLoaded());
    CPingResult result;
    SetLastError(0);
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(CPing().PingUsingICMP("127.0.0.1", result, 64, 5000, 32, 0, false));
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(1));
    EXPECT_EQ(GetLastError(), 2u);
    EXPECT_EQ(result.Address, 0u);
    EXPECT_EQ(result.RTT, 0u);
    EXPECT_EQ(result.Status, 0u);
    EXPECT_EQ(CPingSettingsGuard::Traces(),
              std::vector<std::string>{"CPing::PingUsingICMP, ICMP dll is not available\n"});
}

TEST_F(PingTest, LoopbackAnswersFromManyThreads) {
    if (!_CPING_ICMP::Get().IsLoaded())
        GTEST_SKIP() << "no ICMP socket is allowed here (not root, ping_group_range excludes us)";
    EXPECT_EQ(_CPING_ICMP::Get().GetSocketKind(), _CPING_ICMP::ProbeSocketKind());
    // Concurrent pings each get their own reply: none times out or takes another's.
    std::vector<std::thread> arrThreads;
    std::atomic<int> nAnswered{0};
    for (int t = 0; t < 8; ++t) {
        arrThreads.emplace_back([&nAnswered] {
            for (int i = 0; i < 5; ++i) {
                CPingResult result;
                if (CPing().PingUsingICMP("127.0.0.1", result, 64, 5000, 32, 0, false) &&
                    result.Status == 0 && result.Address == 0x0100007F && result.RTT < 1000)
                    ++nAnswered;
            }
        });
    }
    for (std::thread& thread : arrThreads)
        thread.join();
    EXPECT_EQ(nAnswered, 40);

    // Other sizes, type of service and don't-fragment; "127.1" is a dotted address too.
    CPingResult result;
    EXPECT_TRUE(CPing().PingUsingICMP("127.1", result, 1, 2000, 0, 0x10, true));
    EXPECT_EQ(result.Status, 0u);
    EXPECT_TRUE(CPing().PingUsingICMP("localhost", result, 64, 2000, 1400, 0, false));
    EXPECT_EQ(result.Address, 0x0100007Fu);
    EXPECT_TRUE(CPingSettingsGuard::Traces().empty());
}

TEST_F(PingTest, UnresolvableNameFailsWithoutSending) {
    if (!_CPING_ICMP::Get().IsLoaded())
        GTEST_SKIP() << "no ICMP socket is allowed here";
    CPingResult result;
    EXPECT_FALSE(CPing().PingUsingICMP("", result, 64, 1000, 32, 0, false));
    EXPECT_EQ(GetLastError(), RESOLVE_ERROR_HOST_NOT_FOUND);
    EXPECT_EQ(CPingSettingsGuard::Traces(),
              std::vector<std::string>{"CPing::PingUsingICMP, Could not resolve the host name \n"});
}

TEST(Resolver, DottedAddressesAndNames) {
    uint32_t dwAddress = 0;
    EXPECT_TRUE(ParseDottedIPv4("10.1.2.3", dwAddress));
    EXPECT_EQ(FormatIPv4(dwAddress), "10.1.2.3");
    EXPECT_TRUE(ParseDottedIPv4("255.255.255.255", dwAddress));
    EXPECT_EQ(dwAddress, 0xFFFFFFFFu);
    EXPECT_TRUE(ParseDottedIPv4("127.1", dwAddress));
    EXPECT_EQ(FormatIPv4(dwAddress), "127.0.0.1");
    for (const char* pszText : {"", "1.2.3.4 junk", "1.2.3.4.5", "256.1.1.1", "localhost"})
        EXPECT_FALSE(ParseDottedIPv4(pszText, dwAddress)) << pszText;
    ASSERT_TRUE(ResolveIPv4("localhost", dwAddress));
    EXPECT_EQ(FormatIPv4(dwAddress), "127.0.0.1");
    // Never a name: refused without a look-up, with the "host not found" error.
    for (const char* pszText : {"", "1.2.3.4 junk", "local\thost", "a\nb"}) {
        SetLastError(0);
        dwAddress = 7;
        EXPECT_FALSE(ResolveIPv4(pszText, dwAddress)) << pszText;
        EXPECT_EQ(GetLastError(), RESOLVE_ERROR_HOST_NOT_FOUND);
        EXPECT_EQ(dwAddress, 7u);
    }
}
