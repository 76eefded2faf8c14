// The probes against real peers in network namespaces made here:
//
//   client C  c0 10.211.1.1 --- r0 10.211.1.2  router R  r1 10.211.2.1 (MTU 1000) --- t0 10.211.2.2
//   target T
//             c1 10.211.5.1 --- f0 10.211.5.2 + 10.211.5.3  forger F (its kernel ignores echoes)
//
// R forwards, answers 10.211.3.0/24 with "host unreachable" and drops 10.211.4.0/24; C and T
// route through it by default. Pings run on a thread inside C.
#include "platform/connection_state.h"
#include "platform/http_client.h"
#include "platform/last_error.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/ping_settings_guard.h"
#include "platform/resolver.h"
#include "platform/url_splitter.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

CNetnsLab* g_pLab = nullptr;
std::string g_strWhyNot;
std::string g_nsClient, g_nsRouter, g_nsTarget, g_nsForger, g_nsBare;

class CLabEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        g_strWhyNot = CNetnsLab::WhyUnavailable();
        if (!g_strWhyNot.empty())
            return;
        auto pLab = std::make_unique<CNetnsLab>("p");
        g_nsClient = pLab->Add("c");
        g_nsRouter = pLab->Add("r");
        g_nsTarget = pLab->Add("t");
        g_nsForger = pLab->Add("f");
        g_nsBare = pLab->Add("b");
        const bool bMade =
            !g_nsClient.empty() && !g_nsRouter.empty() && !g_nsTarget.empty() &&
            !g_nsForger.empty() && !g_nsBare.empty() &&
            pLab->Link(g_nsClient, "c0", "10.211.1.1/24", g_nsRouter, "r0", "10.211.1.2/24") &&
            pLab->Link(g_nsRouter, "r1", "10.211.2.1/24", g_nsTarget, "t0", "10.211.2.2/24") &&
            pLab->Link(g_nsClient, "c1", "10.211.5.1/24", g_nsForger, "f0", "10.211.5.2/24") &&
            pLab->Ip(g_nsForger, "addr add 10.211.5.3/24 dev f0") &&
            pLab->Ip(g_nsRouter, "link set r1 mtu 1000") &&
            pLab->Ip(g_nsTarget, "link set t0 mtu 1000") &&
            pLab->Ip(g_nsClient, "route add default via 10.211.1.2") &&
            pLab->Ip(g_nsTarget, "route add default via 10.211.2.1") &&
            pLab->Ip(g_nsRouter, "route add unreachable 10.211.3.0/24") &&
            pLab->Ip(g_nsRouter, "route add blackhole 10.211.4.0/24") &&
            pLab->Exec(g_nsRouter, "sysctl -qw net.ipv4.ip_forward=1") &&
            // The router's "unreachable" answers share a per-peer budget with its other ICMP
            // errors; keep time-exceeded out of it so that both kinds of test get theirs.
            pLab->Exec(g_nsRouter, "sysctl -qw net.ipv4.icmp_ratemask=0") &&
            pLab->Exec(g_nsForger, "sysctl -qw net.ipv4.icmp_echo_ignore_all=1") &&
            // Ping sockets need the group to be allowed; the client's namespace allows all.
            pLab->Exec(g_nsClient, "sysctl -qw net.ipv4.ping_group_range='0 2147483647'");

        if (!bMade) {
            g_strWhyNot = "cannot make the test network namespaces";
            return;
        }
        g_pLab = pLab.release();
    }
    void TearDown() override {
        delete g_pLab;
        g_pLab = nullptr;
    }
};

[[maybe_unused]] auto* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CLabEnvironment);

uint32_t Address(const char* pszDotted) {
    uint32_t dwAddress = 0;
    ParseDottedIPv4(pszDotted, dwAddress);
    return dwAddress;
}

struct CPingOutcome {
    bool bResult = false;
    CPingResult result;
    uint32_t dwLastError = 0;
    int64_t nElapsedMs = 0;
};

CPingOutcome PingFromClient(const std::string& strHost, uint8_t nTTL = 64,
                            uint32_t dwTimeoutMs = 3000, uint16_t wDataSize = 32, uint8_t nTOS = 0,
                            bool bDontFragment = false) {
    return g_pLab->InNamespace(g_nsClient, [&] {
        CPingOutcome outcome;
        SetLastError(0);
        const auto tStart = Clock::now();
        outcome.bResult = CPing().PingUsingICMP(strHost, outcome.result, nTTL, dwTimeoutMs,
                                                wDataSize, nTOS, bDontFragment);
        outcome.nElapsedMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tStart).count();
        outcome.dwLastError = GetLastError();
        return outcome;
    });
}

uint16_t Checksum(const std::vector<uint8_t>& arrPacket) {
    uint32_t nSum = 0;
    for (size_t i = 0; i + 1 < arrPacket.size(); i += 2)
        nSum += static_cast<uint32_t>(arrPacket[i] << 8 | arrPacket[i + 1]);
    if (arrPacket.size() % 2)
        nSum += static_cast<uint32_t>(arrPacket.back()) << 8;
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    return static_cast<uint16_t>(~nSum);
}

// One packet the forger sends back after seeing the echo request.
struct CForged {
    int nDelayMs = 0;
    uint8_t nType = 0; // 0 = echo reply, else an ICMP error quoting the request
    uint8_t nCode = 0;
    int nIdDelta = 0;
    int nSeqDelta = 0;
    std::string strData; // echo reply data
    bool bFromSecondAddress = false;
};

// Raw sockets in F: waits for one echo request from the client, records how it looked and
// answers with the script.
class CForger {
public:
    explicit CForger(std::vector<CForged> arrScript) : m_arrScript(std::move(arrScript)) {
        std::promise<void> ready;
        auto readyFuture = ready.get_future();
        m_thread = std::thread([this, &ready] {
            CNetnsLab::Enter(g_nsForger);
            const int fdMain = OpenBound("10.211.5.2");
            const int fdSecond = OpenBound("10.211.5.3");
            ready.set_value();
            Serve(fdMain, fdSecond);
            close(fdMain);
            close(fdSecond);
        });
        readyFuture.wait();
    }
    ~CForger() { Join(); }

    // Waits until the script has been played; the request's fields below are read after it.
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    bool m_bSeen = false;
    uint8_t m_nTTL = 0, m_nTOS = 0;
    bool m_bDontFragment = false;
    std::string m_strData;

private:
    static int OpenBound(const char* pszAddress) {
        const int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = Address(pszAddress);
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        return fd;
    }

    void Serve(int fdMain, int fdSecond) {
        std::vector<uint8_t> arrRequest(70000);
        const auto tDeadline = Clock::now() + std::chrono::seconds(5);
        size_t nSize = 0;
        while (Clock::now() < tDeadline) {
            pollfd p{fdMain, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = recv(fdMain, arrRequest.data(), arrRequest.size(), 0);
            const size_t nHeader = static_cast<size_t>(arrRequest[0] & 0x0F) * 4;
            if (n > 0 && static_cast<size_t>(n) >= nHeader + 8 && arrRequest[nHeader] == 8 &&
                std::memcmp(&arrRequest[12], "\x0A\xD3\x05\x01", 4) == 0) {
                nSize = static_cast<size_t>(n);
                break;
            }
        }
        if (nSize == 0)
            return;
        const size_t nHeader = static_cast<size_t>(arrRequest[0] & 0x0F) * 4;
        m_bSeen = true;
        m_nTOS = arrRequest[1];
        m_bDontFragment = (arrRequest[6] & 0x40) != 0;
        m_nTTL = arrRequest[8];
        m_strData.assign(reinterpret_cast<const char*>(&arrRequest[nHeader + 8]),
                         nSize - nHeader - 8);
        const uint16_t nId =
            static_cast<uint16_t>(arrRequest[nHeader + 4] << 8 | arrRequest[nHeader + 5]);
        const uint16_t nSeq =
            static_cast<uint16_t>(arrRequest[nHeader + 6] << 8 | arrRequest[nHeader + 7]);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = Address("10.211.5.1");
        for (const CForged& forged : m_arrScript) {
            std::this_thread::sleep_for(std::chrono::milliseconds(forged.nDelayMs));
            std::vector<uint8_t> arrPacket = {forged.nType, forged.nCode, 0, 0};
            if (forged.nType == 0) {
                const uint16_t nReplyId = static_cast<uint16_t>(nId + forged.nIdDelta);
                const uint16_t nReplySeq = static_cast<uint16_t>(nSeq + forged.nSeqDelta);
                arrPacket.insert(arrPacket.end(), {static_cast<uint8_t>(nReplyId >> 8),
                                                   static_cast<uint8_t>(nReplyId),
                                                   static_cast<uint8_t>(nReplySeq >> 8),
                                                   static_cast<uint8_t>(nReplySeq)});
                arrPacket.insert(arrPacket.end(), forged.strData.begin(), forged.strData.end());
            } else {
                // Unused word, then the request's IP header and first 8 bytes, as a router
                // quotes them.
                arrPacket.insert(arrPacket.end(), {0, 0, 0, 0});
                std::vector<uint8_t> arrQuote(arrRequest.begin(),
                                              arrRequest.begin() + static_cast<long>(nHeader + 8));
                const uint16_t nQuotedSeq = static_cast<uint16_t>(nSeq + forged.nSeqDelta);
                arrQuote[nHeader + 6] = static_cast<uint8_t>(nQuotedSeq >> 8);
                arrQuote[nHeader + 7] = static_cast<uint8_t>(nQuotedSeq);
                arrPacket.insert(arrPacket.end(), arrQuote.begin(), arrQuote.end());
            }
            const uint16_t nSum = Checksum(arrPacket);
            arrPacket[2] = static_cast<uint8_t>(nSum >> 8);
            arrPacket[3] = static_cast<uint8_t>(nSum);
            sendto(forged.bFromSecondAddress ? fdSecond : fdMain, arrPacket.data(),
                   arrPacket.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
        }
    }

    std::vector<CForged> m_arrScript;
    std::thread m_thread;
};

const std::string ECHO_DATA(32, 'E');

// Every ping test runs with each socket kind.
class PingInNamespaces : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (g_pLab == nullptr)
            GTEST_SKIP() << g_strWhyNot;
        _CPING_ICMP::Get().SetSocketKind(GetParam());
    }
    CPingSettingsGuard m_guard;
};

} // namespace

TEST_P(PingInNamespaces, RealRepliesAndErrorsThroughARouter) {
    CPingOutcome o = PingFromClient("10.211.2.2");
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, 0u);
    EXPECT_EQ(o.result.Address, Address("10.211.2.2"));
    EXPECT_LT(o.result.RTT, 1000u);

    // The router answers for the echo it cannot pass on: Status tells why, Address who.
    o = PingFromClient("10.211.3.5");
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, PING_STATUS_DEST_HOST_UNREACHABLE);
    EXPECT_EQ(o.result.Address, Address("10.211.1.2"));

    o = PingFromClient("10.211.2.2", 1);
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, PING_STATUS_TTL_EXPIRED_TRANSIT);
    EXPECT_EQ(o.result.Address, Address("10.211.1.2"));

    // Too big for the router's next link and not to be fragmented; allowed, it passes.
    g_pLab->Ip(g_nsClient, "route flush cache");
    o = PingFromClient("10.211.2.2", 64, 3000, 1200, 0, true);
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, PING_STATUS_PACKET_TOO_BIG);
    EXPECT_EQ(o.result.Address, Address("10.211.1.2"));
    o = PingFromClient("10.211.2.2", 64, 3000, 1200, 0, false);
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, 0u);
    EXPECT_TRUE(CPingSettingsGuard::Traces().empty());
}

TEST_P(PingInNamespaces, UnansweredAddressTimesOut) {
    const CPingOutcome o = PingFromClient("10.211.4.5", 64, 1000);
    EXPECT_FALSE(o.bResult);
    EXPECT_EQ(o.dwLastError, PING_ERROR_TIMED_OUT);
    EXPECT_GE(o.nElapsedMs, 1000);
    EXPECT_LT(o.nElapsedMs, 3000);
    EXPECT_EQ(o.result.Address, 0u);
}

TEST_P(PingInNamespaces, RequestCarriesTtlTosDfAndThePayload) {
    {
        CForger forger({{0, 0, 0, 0, 0, ECHO_DATA, false}});
        const CPingOutcome o = PingFromClient("10.211.5.2", 17, 2000, 32, 0x28, true);
        forger.Join();
        ASSERT_TRUE(forger.m_bSeen);
        EXPECT_EQ(forger.m_nTTL, 17);
        EXPECT_EQ(forger.m_nTOS, 0x28);
        EXPECT_TRUE(forger.m_bDontFragment);
        EXPECT_EQ(forger.m_strData, ECHO_DATA);
        EXPECT_TRUE(o.bResult);
        EXPECT_EQ(o.result.Status, 0u);
        EXPECT_EQ(o.result.Address, Address("10.211.5.2"));
    }
    {
        CForger forger({{0, 0, 0, 0, 0, std::string(5, 'E'), false}});
        const CPingOutcome o = PingFromClient("10.211.5.2", 64, 2000, 5, 0, false);
        forger.Join();
        ASSERT_TRUE(forger.m_bSeen);
        EXPECT_EQ(forger.m_nTTL, 64);
        EXPECT_EQ(forger.m_nTOS, 0);
        EXPECT_FALSE(forger.m_bDontFragment);
        EXPECT_EQ(forger.m_strData, "EEEEE");
        EXPECT_TRUE(o.bResult);
    }
}

TEST_P(PingInNamespaces, ForeignRepliesAreSkippedUntilOursComes) {
    CForger forger({
        {0, 0, 0, 0, 1, ECHO_DATA, false},   // another sequence number
        {0, 0, 0, 1, 0, ECHO_DATA, false},   // another identifier
        {0, 0, 0, 0, 0, ECHO_DATA, true},    // another address
        {0, 3, 1, 0, 1, "", false},          // an error about another request
        {0, 0, 0, 0, 1, "garbage", false},   // someone else's bad reply
        {400, 0, 0, 0, 0, ECHO_DATA, false}, // ours, late
    });
    const CPingOutcome o = PingFromClient("10.211.5.2", 64, 3000);
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, 0u);
    EXPECT_EQ(o.result.Address, Address("10.211.5.2"));
    EXPECT_GE(o.result.RTT, 350u);
    EXPECT_LT(o.result.RTT, 3000u);
    EXPECT_TRUE(CPingSettingsGuard::Traces().empty());
}

TEST_P(PingInNamespaces, OnlyForeignRepliesMeanATimeOut) {
    CForger forger({{0, 0, 0, 0, 1, ECHO_DATA, false}, {0, 0, 0, 0, 0, ECHO_DATA, true}});
    const CPingOutcome o = PingFromClient("10.211.5.2", 64, 800);
    EXPECT_FALSE(o.bResult);
    EXPECT_EQ(o.dwLastError, PING_ERROR_TIMED_OUT);
    EXPECT_GE(o.nElapsedMs, 800);
}

TEST_P(PingInNamespaces, ReplyWithOtherDataIsInvalid) {
    for (const std::string& strData :
         {std::string(31, 'E') + "F", std::string(16, 'E'), std::string(33, 'E')}) {
        SCOPED_TRACE(strData);
        CPingSettingsGuard::ClearTraces();
        CForger forger({{0, 0, 0, 0, 0, strData, false}});
        const CPingOutcome o = PingFromClient("10.211.5.2", 64, 2000);
        EXPECT_FALSE(o.bResult);
        EXPECT_EQ(o.dwLastError, PING_ERROR_BAD_REPLY);
        EXPECT_LT(o.nElapsedMs, 1500);
        EXPECT_EQ(o.result.Address, 0u);
        EXPECT_EQ(CPingSettingsGuard::Traces(),
                  std::vector<std::string>{
                      "CPing::PingUsingICMP, Could not get a valid ICMP response\n"});
    }
}

TEST_P(PingInNamespaces, ErrorAnsweringOurRequestIsAReplyWithStatus) {
    CForger forger({{0, 3, 3, 0, 0, "", false}});
    const CPingOutcome o = PingFromClient("10.211.5.2", 64, 2000);
    EXPECT_TRUE(o.bResult);
    EXPECT_EQ(o.result.Status, PING_STATUS_DEST_PORT_UNREACHABLE);
    EXPECT_EQ(o.result.Address, Address("10.211.5.2"));
}

INSTANTIATE_TEST_SUITE_P(SocketKinds, PingInNamespaces,
                         ::testing::Values(ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == ICMP_SOCKET_DGRAM ? "PingSocket"
                                                                                : "RawSocket");
                         });

TEST(ProbeSocketKindInNamespaces, PingSocketFirstWhereTheGroupIsAllowed) {
    if (g_pLab == nullptr)
        GTEST_SKIP() << g_strWhyNot;
    EXPECT_EQ(g_pLab->InNamespace(g_nsClient, [] { return _CPING_ICMP::ProbeSocketKind(); }),
              ICMP_SOCKET_DGRAM);
    // Root without the group allowed falls back to a raw socket.
    g_pLab->Exec(g_nsBare, "sysctl -qw net.ipv4.ping_group_range='1 0'");
    EXPECT_EQ(g_pLab->InNamespace(g_nsBare, [] { return _CPING_ICMP::ProbeSocketKind(); }),
              ICMP_SOCKET_RAW);
}

TEST(ConnectionStateInNamespaces, DefaultRouteAndLiveInterface) {
    if (g_pLab == nullptr)
        GTEST_SKIP() << g_strWhyNot;
    struct Answers {
        bool bConnected = false, bAlive = false, bBoth = false;
    };
    auto Ask = [](const std::string& strNs) {
        return g_pLab->InNamespace(strNs, [] {
            CConnectionState state;
            return Answers{state.InternetGetConnectedState(), state.IsNetworkAlive(),
                           state.IsConnected()};
        });
    };
    // The client has a default route and live links.
    Answers a = Ask(g_nsClient);
    EXPECT_TRUE(a.bConnected);
    EXPECT_TRUE(a.bAlive);
    EXPECT_TRUE(a.bBoth);
    // The router has live links but no default route.
    a = Ask(g_nsRouter);
    EXPECT_FALSE(a.bConnected);
    EXPECT_TRUE(a.bAlive);
    EXPECT_FALSE(a.bBoth);
    // Loopback only, then an "unreachable" default route: neither counts.
    a = Ask(g_nsBare);
    EXPECT_FALSE(a.bConnected);
    EXPECT_FALSE(a.bAlive);
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "route add unreachable default"));
    a = Ask(g_nsBare);
    EXPECT_FALSE(a.bConnected);
    EXPECT_FALSE(a.bBoth);
    // A default route whose link is up without its peer: routed, but no live interface.
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "route del unreachable default"));
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "link add b0 type veth peer name b1"));
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "addr add 10.211.9.1/24 dev b0"));
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "link set b0 up"));
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "route add default dev b0"));
    a = Ask(g_nsBare);
    EXPECT_TRUE(a.bConnected);
    EXPECT_FALSE(a.bAlive);
    EXPECT_FALSE(a.bBoth);
    ASSERT_TRUE(g_pLab->Ip(g_nsBare, "link set b1 up"));
    a = Ask(g_nsBare);
    EXPECT_TRUE(a.bBoth);
}

TEST(HttpClientInNamespaces, AnyURLIsRequestedOverPlainHttpOnPort80) {
    if (g_pLab == nullptr)
        GTEST_SKIP() << g_strWhyNot;
    ASSERT_TRUE(CHttpClient::InitLibrary());
    auto pServer = g_pLab->InNamespace(g_nsTarget, [] {
        return std::make_shared<CLoopbackHttpServer>(CLoopbackHttpServer::EMode::Reply,
                                                     "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
                                                     "10.211.2.2", 80);
    });
    for (const char* pszURL : {"http://10.211.2.2/index.html", "https://10.211.2.2:8443/index.html",
                               "http://admin:pw@10.211.2.2:8080/index.html?a=1#top"}) {
        SCOPED_TRACE(pszURL);
        CURLParts parts;
        ASSERT_TRUE(ParseURLEx(pszURL, parts));
        const bool bUp = g_pLab->InNamespace(g_nsClient, [&parts] {
            CHttpClient client;
            return client.Open("Vantrel") &&
                   client.Request(parts.m_strServer, parts.m_strObject, parts.m_strUserName,
                                  parts.m_strPassword);
        });
        EXPECT_TRUE(bUp);
    }
    const auto arrRequests = pServer->GetRequests();
    ASSERT_EQ(arrRequests.size(), 3u);
    EXPECT_EQ(arrRequests[0].substr(0, arrRequests[0].find("\r\n")), "GET /index.html HTTP/1.1");
    EXPECT_NE(arrRequests[1].find("\r\nHost: 10.211.2.2\r\n"), std::string::npos);
    EXPECT_EQ(arrRequests[2].substr(0, arrRequests[2].find("\r\n")),
              "GET /index.html?a=1 HTTP/1.1");
    EXPECT_NE(arrRequests[2].find("\r\nAuthorization: Basic YWRtaW46cHc=\r\n"), std::string::npos);

    // A server that never answers the connection: down within the connect time-out.
    const bool bUp = g_pLab->InNamespace(g_nsClient, [] {
        CHttpClient client;
        client.SetTimeouts(1000, 2000);
        return client.Open("Vantrel") && client.Request("10.211.4.5", "/", "", "");
    });
    EXPECT_FALSE(bUp);
}
