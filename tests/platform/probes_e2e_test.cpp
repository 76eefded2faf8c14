// The echo against a real router R (10.211.1.2) of network namespaces made here: it answers
// 10.211.3.0/24 with "host unreachable", drops 10.211.4.0/24, sends 10.211.9.0/24 back.
#include "platform/last_error.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

// An ICMP error about our echo is a reply whose status says why and whose address says who.
TEST(PingInNamespaces, RepliesRouterErrorsAndSilenceWithEachSocketKind) {
    if (const std::string strWhyNot = CNetnsLab::WhyUnavailable(); !strWhyNot.empty())
        GTEST_SKIP() << strWhyNot;
    CNetnsLab lab("p");
    const std::string strC = lab.Add("c"), strR = lab.Add("r");
    ASSERT_TRUE(!strC.empty() && !strR.empty() &&
                lab.Link(strC, "c0", "10.211.1.1/24", strR, "r0", "10.211.1.2/24") &&
                lab.Ip(strC, "route add default via 10.211.1.2") &&
                lab.Ip(strR, "route add unreachable 10.211.3.0/24") &&
                lab.Ip(strR, "route add blackhole 10.211.4.0/24") &&
                lab.Ip(strR, "route add 10.211.9.0/24 via 10.211.1.1") &&
                lab.Exec(strR, "sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0") &&
                lab.Exec(strC, "sysctl -qw net.ipv4.ping_group_range='0 2147483647'"))
        << "cannot make the test network namespaces";
    using Case = std::tuple<const char*, uint8_t, bool, uint32_t, const char*>;
    const Case cases[] = {
        {"10.211.1.2", 64, true, 0, "10.211.1.2"},
        {"10.211.3.5", 64, true, PING_STATUS_DEST_HOST_UNREACHABLE, "10.211.1.2"},
        {"10.211.9.9", 1, true, PING_STATUS_TTL_EXPIRED_TRANSIT, "10.211.1.2"},
        {"10.211.4.5", 64, false, 0, "0.0.0.0"}, // dropped: times out
    };
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    lab.InNamespace(strC, [&cases] {
        for (int nUse : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
            _CPING_ICMP::Get().SetSocketKind(nUse);
            for (const auto& [pszHost, nTTL, bAnswered, dwStatus, pszFrom] : cases) {
                SCOPED_TRACE(pszHost + (" socket kind " + std::to_string(nUse)));
                CPingResult r;
                SetLastError(0);
                const auto tStart = std::chrono::steady_clock::now();
                EXPECT_EQ(CPing().PingUsingICMP(pszHost, r, nTTL, 1000), bAnswered);
                const auto tElapsed = std::chrono::steady_clock::now() - tStart;
                EXPECT_EQ(std::tuple(r.Status, FormatIPv4(r.Address), GetLastError()),
                          std::tuple(dwStatus, std::string(pszFrom),
                                     bAnswered ? 0 : PING_ERROR_TIMED_OUT));
                EXPECT_TRUE(tElapsed < std::chrono::seconds(2) &&
                            (tElapsed >= std::chrono::seconds(1)) != bAnswered);
            }
        }
    });
    _CPING_ICMP::Get().SetSocketKind(nKind);
}
