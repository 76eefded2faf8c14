// The shared echo socket and the connection check in network namespaces made here: against a
// responder of the test's own, which reads each request off a raw socket and answers it with
// packets it writes itself (right, wrong or hostile), and against a real router.
#include "platform/connection_state.h"
#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct CSeenRequest {
    uint32_t dwFrom = 0, dwTo = 0; // network byte order
    uint16_t nId = 0, nSequence = 0;
};

// An IPv4 datagram around an ICMP message: type, code, the two 16-bit words of an echo header
// (wrapping), the body; checksummed.
std::vector<uint8_t> Datagram(uint32_t dwFrom, uint32_t dwTo, uint8_t nType, uint8_t nCode, int nId,
                              int nSequence, const std::vector<uint8_t>& arrBody) {
    std::vector<uint8_t> arr(20, 0);
    arr.insert(arr.end(), {nType, nCode, 0, 0});
    for (const int n : {nId, nSequence})
        arr.insert(arr.end(), {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    arr.insert(arr.end(), arrBody.begin(), arrBody.end());
    uint32_t nSum = 0;
    for (size_t i = 20; i < arr.size(); i += 2)
        nSum += static_cast<uint32_t>(arr[i] << 8 | (i + 1 < arr.size() ? arr[i + 1] : 0));
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    arr[22] = static_cast<uint8_t>(~nSum >> 8);
    arr[23] = static_cast<uint8_t>(~nSum);
    arr[0] = 0x45;
    arr[2] = static_cast<uint8_t>(arr.size() >> 8);
    arr[3] = static_cast<uint8_t>(arr.size());
    arr[8] = 64;
    arr[9] = IPPROTO_ICMP;
    std::memcpy(&arr[12], &dwFrom, 4);
    std::memcpy(&arr[16], &dwTo, 4);
    return arr;
}

// Addresses in network byte order; TARGET stands for the echo's own target.
const uint32_t TARGET = 0xFFFFFFFF, OTHER = inet_addr("127.0.0.3"), ROUTER = inet_addr("127.0.0.1");

// One packet of an answer: an echo reply from dwFrom with its identifier and sequence moved by
// the deltas, or (dwAbout set) "host unreachable" from dwFrom quoting the request as sent there.
struct CPacket {
    uint32_t dwFrom;
    int nIdDelta = 0, nSequenceDelta = 0;
    size_t nSize = 32;
    uint8_t nByte = 0x45;
    uint32_t dwAbout = 0;
};

// Reads echo requests and writes whole IP datagrams, any source address it likes.
class CResponder {
public:
    ~CResponder() { close(m_fdListen), close(m_fdSend); }

    // The next echo request seen on the wire (false after a second of silence).
    bool NextRequest(CSeenRequest& request) {
        uint8_t arr[2048];
        for (pollfd p{m_fdListen, POLLIN, 0}; poll(&p, 1, 1000) == 1;) {
            if (recv(m_fdListen, arr, sizeof(arr), 0) < 28 || arr[20] != 8)
                continue;
            std::memcpy(&request.dwFrom, arr + 12, 4);
            std::memcpy(&request.dwTo, arr + 16, 4);
            request.nId = static_cast<uint16_t>(arr[24] << 8 | arr[25]);
            request.nSequence = static_cast<uint16_t>(arr[26] << 8 | arr[27]);
            return true;
        }
        return false;
    }

    void Send(const CSeenRequest& q, const CPacket& p) {
        const uint32_t dwFrom = p.dwFrom == TARGET ? q.dwTo : p.dwFrom;
        const std::vector<uint8_t> arr =
            p.dwAbout == 0
                ? Datagram(dwFrom, q.dwFrom, 0, 0, q.nId + p.nIdDelta,
                           q.nSequence + p.nSequenceDelta, std::vector<uint8_t>(p.nSize, p.nByte))
                : Datagram(dwFrom, q.dwFrom, 3, 1, 0, 0,
                           Datagram(q.dwFrom, p.dwAbout == TARGET ? q.dwTo : p.dwAbout, 8, 0, q.nId,
                                    q.nSequence, std::vector<uint8_t>(32)));
        const sockaddr_in to{AF_INET, 0, {q.dwFrom}, {}};
        ASSERT_EQ(sendto(m_fdSend, arr.data(), arr.size(), 0,
                         reinterpret_cast<const sockaddr*>(&to), sizeof(to)),
                  static_cast<ssize_t>(arr.size()));
    }

private:
    int m_fdListen = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    int m_fdSend = socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
};

const CPacket ERROR_ABOUT_OTHER{ROUTER, 0, 0, 0, 0, OTHER};

// Answered, status, from, last error.
using CEchoResult = std::tuple<bool, uint32_t, std::string, uint32_t>;

// Case i pings 127.0.0.(11 + i).
const std::pair<std::vector<CPacket>, CEchoResult> ANSWER_CASES[] = {
    {{{TARGET}}, {true, 0, "127.0.0.11", 0}},                    // our reply
    {{{TARGET, 0, 1}}, {false, 0, "", PING_ERROR_TIMED_OUT}},    // another sequence
    {{{TARGET, 1}}, {false, 0, "", PING_ERROR_TIMED_OUT}},       // another identifier
    {{{OTHER}}, {false, 0, "", PING_ERROR_TIMED_OUT}},           // from another address
    {{ERROR_ABOUT_OTHER}, {false, 0, "", PING_ERROR_TIMED_OUT}}, // an error about another target
    {{{ROUTER, 0, 0, 0, 0, TARGET}},
     {true, PING_STATUS_DEST_HOST_UNREACHABLE, "127.0.0.1", 0}},        // about ours
    {{{TARGET, 0, 0, 16}}, {false, 0, "", PING_ERROR_BAD_REPLY}},       // truncated
    {{{TARGET, 0, 0, 40}}, {false, 0, "", PING_ERROR_BAD_REPLY}},       // resized
    {{{TARGET, 0, 0, 32, 0x46}}, {false, 0, "", PING_ERROR_BAD_REPLY}}, // other data
    {{{TARGET, 0, -1}, {OTHER}, ERROR_ABOUT_OTHER, {TARGET}},
     {true, 0, "127.0.0.20", 0}}, // decoys first
};

// Namespace c ignores echo requests: the responder there answers them in place of 127.0.0.x.
class EchoSocketLab : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string strWhyNot = CNetnsLab::WhyUnavailable(); !strWhyNot.empty())
            GTEST_SKIP() << strWhyNot;
        ASSERT_TRUE(!m_strC.empty() &&
                    m_lab.Exec(m_strC, "sysctl -qw net.ipv4.icmp_echo_ignore_all=1 "
                                       "net.ipv4.ping_group_range='0 2147483647'"));
    }
    void TearDown() override { _CPING_ICMP::Get().SetSocketKind(m_nKind); }
    // f() with each socket kind, inside c.
    template <class F> void WithEachKind(F f) {
        m_lab.InNamespace(m_strC, [&] {
            for (int nUse : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
                SCOPED_TRACE("socket kind " + std::to_string(nUse));
                _CPING_ICMP::Get().SetSocketKind(nUse);
                f();
            }
        });
    }

    const int m_nKind = _CPING_ICMP::Get().GetSocketKind();
    CNetnsLab m_lab{"e"};
    const std::string m_strC = m_lab.Add("c");
};

} // namespace

// Echoes in flight at once, answered in the reverse order: only an echo reply with its own
// sequence, identifier, source and data, or an ICMP error quoting its request to its target,
// answers an echo. Then through router r (10.211.1.2, fd11:1::2): it answers 10.211.3.0/24 with
// "host unreachable", drops 10.211.4.0/24 and sends 10.211.9.0/24 back (the same for fd11:3::/64,
// fd11:4::/64 and fd11:9::/64). An ICMP error about our echo is a reply whose status says why and
// whose address says who; over ICMPv6 a route to nowhere is "no route".
TEST_F(EchoSocketLab, EachEchoTakesOnlyItsOwnAnswerRouterErrorsSilenceAndStops) {
    constexpr size_t CASES = std::size(ANSWER_CASES);
    const auto target = [](size_t i) { return "127.0.0." + std::to_string(11 + i); };
    // Only lo, with the default route through it: no connection and no live network.
    ASSERT_TRUE(m_lab.Ip(m_strC, "route add default dev lo"));
    EXPECT_FALSE(m_lab.InNamespace(m_strC, [] {
        const CConnectionState state;
        return state.InternetGetConnectedState() || state.IsNetworkAlive();
    }));
    const std::string strR = m_lab.Add("r");
    // No duplicate address detection: the link-local addresses the replies need work at once.
    const char* const pszNoDad =
        "sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0";
    ASSERT_TRUE(!strR.empty() && m_lab.Exec(m_strC, pszNoDad) && m_lab.Exec(strR, pszNoDad) &&
                m_lab.Link(m_strC, "c0", "10.211.1.1/24", strR, "r0", "10.211.1.2/24") &&
                m_lab.Ip(m_strC, "addr add fd11:1::1/64 nodad dev c0") &&
                m_lab.Ip(strR, "addr add fd11:1::2/64 nodad dev r0"));
    for (const char* pszRoute :
         {"route add unreachable 10.211.3.0/24", "route add blackhole 10.211.4.0/24",
          "route add 10.211.9.0/24 via 10.211.1.1", "-6 route add unreachable fd11:3::/64",
          "-6 route add blackhole fd11:4::/64", "-6 route add fd11:9::/64 via fd11:1::1"})
        ASSERT_TRUE(m_lab.Ip(strR, pszRoute)) << pszRoute;
    ASSERT_TRUE(m_lab.Ip(m_strC, "route replace default via 10.211.1.2") &&
                m_lab.Ip(m_strC, "-6 route add default via fd11:1::2") &&
                m_lab.Exec(strR, "sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratemask=0 "
                                 "net.ipv6.conf.all.forwarding=1 net.ipv6.icmp.ratelimit=0"));
    // Host, time to live, and the reply's status and address ("": nothing answered). Checked: the
    // result, the address (the IPv4 field too), the last error, and a 1000 ms wait only for
    // silence.
    const std::tuple<const char*, uint8_t, uint32_t, const char*> echoes[] = {
        {"10.211.1.2", 64, 0, "10.211.1.2"},
        {"10.211.3.5", 64, PING_STATUS_DEST_HOST_UNREACHABLE, "10.211.1.2"},
        {"10.211.9.9", 1, PING_STATUS_TTL_EXPIRED_TRANSIT, "10.211.1.2"},
        {"10.211.4.5", 64, 0, ""}, // dropped: times out
        {"fd11:1::2", 64, 0, "fd11:1::2"},
        {"fd11:3::5", 64, PING_STATUS_DEST_NET_UNREACHABLE, "fd11:1::2"},
        {"fd11:9::9", 1, PING_STATUS_TTL_EXPIRED_TRANSIT, "fd11:1::2"},
        {"fd11:4::5", 64, 0, ""},
    };
    WithEachKind([&] {
        CResponder responder;
        std::vector<std::future<CEchoResult>> arrEchoes;
        for (size_t i = 0; i < CASES; ++i)
            arrEchoes.push_back(std::async(std::launch::async, [&, i] {
                CPingResult r;
                SetLastError(0);
                const bool bAnswered = CPing().PingUsingICMP(target(i), r, 64, 1000);
                return std::tuple(bAnswered, r.Status, FormatAddress(r.From), GetLastError());
            }));
        std::vector<CSeenRequest> arrRequests(CASES);
        for (CSeenRequest& request : arrRequests)
            ASSERT_TRUE(responder.NextRequest(request));
        for (auto q = arrRequests.rbegin(); q != arrRequests.rend(); ++q)
            for (const CPacket& packet : ANSWER_CASES[ntohl(q->dwTo) - 0x7F00000B].first)
                responder.Send(*q, packet);
        for (size_t i = 0; i < CASES; ++i)
            EXPECT_EQ(arrEchoes[i].get(), ANSWER_CASES[i].second) << "case " << i;
        CPingResult r;
        // New IPv6 neighbours take a few seconds before they answer at once.
        for (int i = 0; i < 10 && !(CPing().PingUsingICMP("fd11:1::2", r, 64, 1000) &&
                                    CPing().PingUsingICMP("fd11:1::2", r, 64, 100));
             ++i)
            ;
        for (const auto& [pszHost, nTTL, dwStatus, pszFrom] : echoes) {
            SCOPED_TRACE(pszHost);
            const bool bAnswered = *pszFrom != '\0', bIPv6 = std::strchr(pszHost, ':') != nullptr;
            r = CPingResult();
            SetLastError(0);
            const auto tStart = std::chrono::steady_clock::now();
            EXPECT_EQ(CPing().PingUsingICMP(pszHost, r, nTTL, 1000), bAnswered);
            const auto tElapsed = std::chrono::steady_clock::now() - tStart;
            EXPECT_EQ(
                std::tuple(r.Status, FormatAddress(r.From), FormatIPv4(r.Address), GetLastError()),
                std::tuple(dwStatus, std::string(pszFrom),
                           std::string(bIPv6 || !bAnswered ? "0.0.0.0" : pszFrom),
                           bAnswered ? 0 : PING_ERROR_TIMED_OUT));
            EXPECT_TRUE(tElapsed < 2s && (tElapsed >= 1s) != bAnswered);
        }
        // A stop ends an echo that nobody answers within a fraction of a second.
        CEvent evStop;
        std::jthread stopper([&] { std::this_thread::sleep_for(200ms), evStop.Set(); });
        const auto tStart = std::chrono::steady_clock::now();
        EXPECT_FALSE(CPing().PingUsingICMP("10.211.4.5", r, 64, 5000, 32, 0, false, &evStop));
        EXPECT_EQ(GetLastError(), PING_ERROR_CANCELLED);
        EXPECT_LT(std::chrono::steady_clock::now() - tStart, 500ms);
    });
}
