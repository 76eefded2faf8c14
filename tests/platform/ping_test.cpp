#include "platform/ping.h"

#include "platform/last_error.h"
#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <unistd.h>

TEST(Ping, WithoutASocketKindEveryPingFailsAtOnce) {
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    _CPING_ICMP::Get().SetSocketKind(ICMP_SOCKET_NONE);
    static std::vector<std::string> s_arrTraces; // the echo code's diagnostic texts
    CPing::SetTraceHook([](const std::string& strText) { s_arrTraces.push_back(strText); });
    CPingResult result;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(CPing().PingUsingICMP("127.0.0.1", result, 64, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(1));
    EXPECT_EQ(GetLastError(), PING_ERROR_NOT_LOADED);
    CPing::SetTraceHook(nullptr);
    _CPING_ICMP::Get().SetSocketKind(nKind);
    EXPECT_EQ(s_arrTraces,
              std::vector<std::string>{"CPing::PingUsingICMP, ICMP dll is not available\n"});
}

// Concurrent pings to eight loopback addresses, each with a payload size of its own, share one
// socket and each get the reply to their own request.
TEST(Ping, LoopbackRepliesReachTheirOwnRequestsFromManyThreads) {
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    if (nKind == ICMP_SOCKET_NONE)
        GTEST_SKIP() << "no ICMP socket is allowed here (not root, ping_group_range excludes us)";
    for (int nUse : {nKind, geteuid() == 0 ? ICMP_SOCKET_RAW : nKind}) {
        _CPING_ICMP::Get().SetSocketKind(nUse);
        std::atomic<int> nAnswered{0};
        std::vector<std::jthread> arrThreads;
        for (int t = 0; t < 8; ++t)
            arrThreads.emplace_back([&nAnswered, t] {
                const std::string strTarget = "127.0.0." + std::to_string(t + 1);
                for (int i = 0; i < 5; ++i) {
                    CPingResult r;
                    nAnswered += CPing().PingUsingICMP(strTarget, r, 64, 5000,
                                                       static_cast<uint16_t>(32 + 5 * t + i)) &&
                                 r.Status == 0 && FormatAddress(r.From) == strTarget &&
                                 r.RTT < 1000;
                }
            });
        arrThreads.clear();
        EXPECT_EQ(nAnswered, 40) << "socket kind " << nUse;
    }
    _CPING_ICMP::Get().SetSocketKind(nKind);
    CPingResult result; // other sizes and options
    EXPECT_TRUE(CPing().PingUsingICMP("localhost", result, 1, 2000, 1400, 0x10, true));
    EXPECT_EQ(result.Address, 0x0100007Fu);
}
