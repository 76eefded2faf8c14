// The echo and the connection check against a real router R (10.211.1.2, fd11:1::2) of network
// namespaces made here: it answers 10.211.3.0/24 with "host unreachable", drops 10.211.4.0/24,
// sends 10.211.9.0/24 back (the same for fd11:3::/64, fd11:4::/64 and fd11:9::/64).
#include "platform/connection_state.h"
#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/resolver.h"
#include "platform/tcp_ping.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

using namespace std::chrono_literals;

namespace {

// (default route, live interface) as the two connection queries answer inside namespace strC.
std::pair<bool, bool> ConnectionIn(CNetnsLab& lab, const std::string& strC) {
    return lab.InNamespace(strC, [] {
        const CConnectionState state;
        return std::pair(state.InternetGetConnectedState(), state.IsNetworkAlive());
    });
}

// false, PING_ERROR_CANCELLED and within 500 ms from wait(evStop) whose stop comes after 200 ms.
void ExpectStopped(const std::function<bool(const CEvent&)>& wait) {
    CEvent evStop;
    std::jthread stopper([&] { std::this_thread::sleep_for(200ms), evStop.Set(); });
    const auto tStart = std::chrono::steady_clock::now();
    SetLastError(0);
    EXPECT_FALSE(wait(evStop));
    EXPECT_EQ(GetLastError(), PING_ERROR_CANCELLED);
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, 500ms);
}

} // namespace

// Echoes and connects from c through router r. An ICMP error about our echo is a reply whose status
// says why and whose address says who; over ICMPv6 a route to nowhere is "no route" rather than
// "host unreachable". Only an up default route over a real link is a connection: not one
// through lo, not the link's own routes.
TEST(PingInNamespaces, RepliesRouterErrorsSilenceAndStops) {
    if (const std::string strWhyNot = CNetnsLab::WhyUnavailable(); !strWhyNot.empty())
        GTEST_SKIP() << strWhyNot;
    CNetnsLab lab("p");
    const std::string strC = lab.Add("c"), strR = lab.Add("r");
    ASSERT_TRUE(!strC.empty() && lab.Ip(strC, "route add default dev lo"));
    EXPECT_EQ(ConnectionIn(lab, strC), std::pair(false, false));
    // No duplicate address detection: the link-local addresses the replies need work at once.
    const char* const pszNoDad =
        "sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0";
    ASSERT_TRUE(!strR.empty() && lab.Exec(strC, pszNoDad) && lab.Exec(strR, pszNoDad) &&
                lab.Link(strC, "c0", "10.211.1.1/24", strR, "r0", "10.211.1.2/24") &&
                lab.Ip(strC, "addr add fd11:1::1/64 nodad dev c0") &&
                lab.Ip(strR, "addr add fd11:1::2/64 nodad dev r0"))
        << "cannot make the test network namespaces";
    EXPECT_EQ(ConnectionIn(lab, strC), std::pair(false, true)); // fe80::/64 is not the default
    for (const char* pszRoute :
         {"route add unreachable 10.211.3.0/24", "route add blackhole 10.211.4.0/24",
          "route add 10.211.9.0/24 via 10.211.1.1", "-6 route add unreachable fd11:3::/64",
          "-6 route add blackhole fd11:4::/64", "-6 route add fd11:9::/64 via fd11:1::1"})
        ASSERT_TRUE(lab.Ip(strR, pszRoute)) << pszRoute;
    ASSERT_TRUE(lab.Ip(strC, "route del default") &&
                lab.Ip(strC, "route add default via 10.211.1.2") &&
                lab.Ip(strC, "-6 route add default via fd11:1::2") &&
                lab.Exec(strR, "sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0 "
                               "net.ipv6.conf.all.forwarding=1 net.ipv6.icmp.ratelimit=0") &&
                lab.Exec(strC, "sysctl -qw net.ipv4.ping_group_range='0 2147483647'"));
    EXPECT_EQ(ConnectionIn(lab, strC), std::pair(true, true));
    lab.InNamespace(strC, [] {
        // New IPv6 neighbours take a few seconds before they answer at once.
        for (int i = 0; i < 10; ++i) {
            CPingResult r;
            if (CPing().PingUsingICMP("fd11:1::2", r, 64, 1000) &&
                CPing().PingUsingICMP("fd11:1::2", r, 64, 100))
                break;
        }
    });
    // Each echo with each socket kind: the result, the reply's address (the IPv4 field too), the
    // last error, and a time-out of 1000 ms only for silence.
    const struct {
        const char* pszHost;
        uint8_t nTTL;
        bool bAnswered;
        uint32_t dwStatus;
        const char* pszFrom; // "" when nothing answered
    } echoes[] = {
        {"10.211.1.2", 64, true, 0, "10.211.1.2"},
        {"10.211.3.5", 64, true, PING_STATUS_DEST_HOST_UNREACHABLE, "10.211.1.2"},
        {"10.211.9.9", 1, true, PING_STATUS_TTL_EXPIRED_TRANSIT, "10.211.1.2"},
        {"10.211.4.5", 64, false, 0, ""}, // dropped: times out
        {"fd11:1::2", 64, true, 0, "fd11:1::2"},
        {"fd11:3::5", 64, true, PING_STATUS_DEST_NET_UNREACHABLE, "fd11:1::2"},
        {"fd11:9::9", 1, true, PING_STATUS_TTL_EXPIRED_TRANSIT, "fd11:1::2"},
        {"fd11:4::5", 64, false, 0, ""},
    };
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    lab.InNamespace(strC, [&echoes] {
        CPingResult r;
        // New IPv6 neighbours take a few seconds before they answer at once.
        for (int i = 0; i < 10 && !(CPing().PingUsingICMP("fd11:1::2", r, 64, 1000) &&
                                    CPing().PingUsingICMP("fd11:1::2", r, 64, 100));
             ++i)
            ;
        for (int nUse : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
            _CPING_ICMP::Get().SetSocketKind(nUse);
            for (const auto& c : echoes) {
                SCOPED_TRACE(c.pszHost + (" socket kind " + std::to_string(nUse)));
                const bool bIPv6 = std::string(c.pszHost).find(':') != std::string::npos;
                r = CPingResult();
                SetLastError(0);
                const auto tStart = std::chrono::steady_clock::now();
                EXPECT_EQ(CPing().PingUsingICMP(c.pszHost, r, c.nTTL, 1000), c.bAnswered);
                const auto tElapsed = std::chrono::steady_clock::now() - tStart;
                EXPECT_EQ(std::tuple(r.Status, FormatAddress(r.From), FormatIPv4(r.Address),
                                     GetLastError()),
                          std::tuple(c.dwStatus, std::string(c.pszFrom),
                                     std::string(bIPv6 || !c.bAnswered ? "0.0.0.0" : c.pszFrom),
                                     c.bAnswered ? 0 : PING_ERROR_TIMED_OUT));
                EXPECT_TRUE(tElapsed < 2s && (tElapsed >= 1s) != c.bAnswered);
            }
        }
        // A stop ends an echo or a TCP connect that nobody answers; a refused connect is an
        // answer, an unrouted one is not.
        ExpectStopped([&](const CEvent& ev) {
            return CPing().PingUsingICMP("10.211.4.5", r, 64, 5000, 32, 0, false, &ev);
        });
        ExpectStopped(
            [&](const CEvent& ev) { return CTcpPing().Connect("10.211.4.5", 80, r, 5000, &ev); });
        SetLastError(0);
        EXPECT_FALSE(CTcpPing().Connect("10.211.4.5", 80, r, 300));
        EXPECT_EQ(GetLastError(), PING_ERROR_TIMED_OUT);
        // Nobody listens on port 1 here.
        EXPECT_TRUE(CTcpPing().Connect("127.0.0.1", 1, r, 1000));
        EXPECT_EQ(std::tuple(FormatAddress(r.From), r.Status), std::tuple("127.0.0.1", 0u));
        EXPECT_TRUE(CTcpPing().Connect("::1", 1, r, 1000));
        EXPECT_EQ(FormatAddress(r.From), "::1");
    });
    _CPING_ICMP::Get().SetSocketKind(nKind);
}
