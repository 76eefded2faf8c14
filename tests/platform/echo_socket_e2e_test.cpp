// The shared echo socket against a responder of the test's own: in a namespace that ignores
// echo requests, the test reads each request off a raw socket and answers it with packets it
// writes itself (right, wrong or hostile), so it decides which reply reaches which echo.
#include "platform/last_error.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/resolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

struct CSeenRequest {
    uint32_t dwFrom = 0; // network byte order
    uint32_t dwTo = 0;
    uint16_t nId = 0;
    uint16_t nSequence = 0;
    std::vector<uint8_t> arrData;
};

uint16_t Checksum(const std::vector<uint8_t>& arr) {
    uint32_t nSum = 0;
    for (size_t i = 0; i < arr.size(); i += 2)
        nSum += static_cast<uint32_t>(arr[i] << 8 | (i + 1 < arr.size() ? arr[i + 1] : 0));
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    return static_cast<uint16_t>(~nSum);
}

uint32_t Ip(const char* psz) {
    return inet_addr(psz);
}

// An ICMP message: type, code, the two 16-bit words of an echo header, then the body.
std::vector<uint8_t> Icmp(uint8_t nType, uint8_t nCode, uint16_t nId, uint16_t nSequence,
                          const std::vector<uint8_t>& arrBody) {
    std::vector<uint8_t> arr{nType, nCode, 0, 0};
    for (const uint16_t n : {nId, nSequence})
        arr.insert(arr.end(), {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    arr.insert(arr.end(), arrBody.begin(), arrBody.end());
    const uint16_t nSum = Checksum(arr);
    arr[2] = static_cast<uint8_t>(nSum >> 8);
    arr[3] = static_cast<uint8_t>(nSum);
    return arr;
}

std::vector<uint8_t> IpHeader(uint32_t dwFrom, uint32_t dwTo, size_t nPayload) {
    std::vector<uint8_t> arr(20, 0);
    arr[0] = 0x45;
    arr[2] = static_cast<uint8_t>((20 + nPayload) >> 8);
    arr[3] = static_cast<uint8_t>(20 + nPayload);
    arr[8] = 64;
    arr[9] = IPPROTO_ICMP;
    std::memcpy(&arr[12], &dwFrom, 4);
    std::memcpy(&arr[16], &dwTo, 4);
    return arr;
}

// Reads echo requests and writes whole IP datagrams, any source address it likes.
class CResponder {
public:
    CResponder()
        : m_fdListen(socket(AF_INET, SOCK_RAW, IPPROTO_ICMP)),
          m_fdSend(socket(AF_INET, SOCK_RAW, IPPROTO_RAW)) {}
    ~CResponder() {
        close(m_fdListen);
        close(m_fdSend);
    }
    bool IsOpen() const { return m_fdListen >= 0 && m_fdSend >= 0; }

    // The next echo request seen on the wire (false after a second of silence).
    bool NextRequest(CSeenRequest& request) {
        uint8_t arr[2048];
        for (;;) {
            pollfd p{m_fdListen, POLLIN, 0};
            if (poll(&p, 1, 1000) != 1)
                return false;
            const ssize_t n = recv(m_fdListen, arr, sizeof(arr), 0);
            if (n < 28 || arr[20] != 8)
                continue;
            std::memcpy(&request.dwFrom, arr + 12, 4);
            std::memcpy(&request.dwTo, arr + 16, 4);
            request.nId = static_cast<uint16_t>(arr[24] << 8 | arr[25]);
            request.nSequence = static_cast<uint16_t>(arr[26] << 8 | arr[27]);
            request.arrData.assign(arr + 28, arr + n);
            return true;
        }
    }

    void Send(uint32_t dwFrom, uint32_t dwTo, const std::vector<uint8_t>& arrIcmp) {
        std::vector<uint8_t> arr = IpHeader(dwFrom, dwTo, arrIcmp.size());
        arr.insert(arr.end(), arrIcmp.begin(), arrIcmp.end());
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = dwTo;
        ASSERT_EQ(sendto(m_fdSend, arr.data(), arr.size(), 0, reinterpret_cast<sockaddr*>(&to),
                         sizeof(to)),
                  static_cast<ssize_t>(arr.size()));
    }

    // An echo reply to request from dwFrom, its identifier and sequence moved by the deltas.
    void Reply(const CSeenRequest& request, uint32_t dwFrom, const std::vector<uint8_t>& arrData,
               int nIdDelta = 0, int nSequenceDelta = 0) {
        Send(dwFrom, request.dwFrom,
             Icmp(0, 0, static_cast<uint16_t>(request.nId + nIdDelta),
                  static_cast<uint16_t>(request.nSequence + nSequenceDelta), arrData));
    }

    // "Host unreachable" from dwRouter, quoting the request as if it had gone to dwTo.
    void Unreachable(const CSeenRequest& request, uint32_t dwRouter, uint32_t dwTo) {
        std::vector<uint8_t> arrQuoted = IpHeader(request.dwFrom, dwTo, 8 + 32);
        const std::vector<uint8_t> arrEcho = Icmp(8, 0, request.nId, request.nSequence, {});
        arrQuoted.insert(arrQuoted.end(), arrEcho.begin(), arrEcho.end());
        Send(dwRouter, request.dwFrom, Icmp(3, 1, 0, 0, arrQuoted));
    }

private:
    int m_fdListen;
    int m_fdSend;
};

const std::vector<uint8_t> E32(32, 0x45);

struct CAnswerCase {
    const char* pszWhat;
    void (*answer)(CResponder&, const CSeenRequest&);
    bool bAnswered;
    uint32_t dwStatus;
    const char* pszFrom;
    uint32_t dwLastError;
};

// 127.0.0.2 is pinged; 127.0.0.3 is another host, 127.0.0.1 a router.
const CAnswerCase ANSWER_CASES[] = {
    {"our reply", [](CResponder& r, const CSeenRequest& q) { r.Reply(q, q.dwTo, E32); }, true, 0,
     "127.0.0.2", 0},
    {"another sequence",
     [](CResponder& r, const CSeenRequest& q) { r.Reply(q, q.dwTo, E32, 0, 1); }, false, 0, "",
     PING_ERROR_TIMED_OUT},
    {"another identifier",
     [](CResponder& r, const CSeenRequest& q) { r.Reply(q, q.dwTo, E32, 1, 0); }, false, 0, "",
     PING_ERROR_TIMED_OUT},
    {"from another address",
     [](CResponder& r, const CSeenRequest& q) { r.Reply(q, Ip("127.0.0.3"), E32); }, false, 0, "",
     PING_ERROR_TIMED_OUT},
    {"error about another target",
     [](CResponder& r, const CSeenRequest& q) {
         r.Unreachable(q, Ip("127.0.0.1"), Ip("127.0.0.3"));
     },
     false, 0, "", PING_ERROR_TIMED_OUT},
    {"error about our request",
     [](CResponder& r, const CSeenRequest& q) { r.Unreachable(q, Ip("127.0.0.1"), q.dwTo); }, true,
     PING_STATUS_DEST_HOST_UNREACHABLE, "127.0.0.1", 0},
    {"truncated",
     [](CResponder& r, const CSeenRequest& q) {
         r.Reply(q, q.dwTo, std::vector<uint8_t>(16, 0x45));
     },
     false, 0, "", PING_ERROR_BAD_REPLY},
    {"resized",
     [](CResponder& r, const CSeenRequest& q) {
         r.Reply(q, q.dwTo, std::vector<uint8_t>(40, 0x45));
     },
     false, 0, "", PING_ERROR_BAD_REPLY},
    {"other data",
     [](CResponder& r, const CSeenRequest& q) {
         r.Reply(q, q.dwTo, std::vector<uint8_t>(32, 0x46));
     },
     false, 0, "", PING_ERROR_BAD_REPLY},
    {"decoys, then our reply",
     [](CResponder& r, const CSeenRequest& q) {
         r.Reply(q, q.dwTo, E32, 0, -1);
         r.Reply(q, Ip("127.0.0.3"), E32);
         r.Unreachable(q, Ip("127.0.0.1"), Ip("127.0.0.3"));
         r.Reply(q, q.dwTo, E32);
     },
     true, 0, "127.0.0.2", 0},
};

class EchoSocketLab : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string strWhyNot = CNetnsLab::WhyUnavailable(); !strWhyNot.empty())
            GTEST_SKIP() << strWhyNot;
        m_strNs = m_lab.Add("e");
        ASSERT_TRUE(!m_strNs.empty() &&
                    m_lab.Exec(m_strNs, "sysctl -qw net.ipv4.icmp_echo_ignore_all=1 "
                                        "net.ipv4.ping_group_range='0 2147483647'"))
            << "cannot make the test network namespace";
        m_nKind = _CPING_ICMP::Get().GetSocketKind();
    }
    void TearDown() override {
        if (m_nKind >= 0)
            _CPING_ICMP::Get().SetSocketKind(m_nKind);
    }
    // f() with each socket kind, inside the namespace.
    template <class F> void WithEachKind(F f) {
        m_lab.InNamespace(m_strNs, [&] {
            for (int nKind : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
                SCOPED_TRACE("socket kind " + std::to_string(nKind));
                _CPING_ICMP::Get().SetSocketKind(nKind);
                f();
            }
        });
    }

    CNetnsLab m_lab{"e"};
    std::string m_strNs;
    int m_nKind = -1;
};

} // namespace

// Only an echo reply with our sequence, identifier, source and data, or an ICMP error quoting
// our request to our target, answers an echo.
TEST_F(EchoSocketLab, OnlyTheAnswerToThisRequestCounts) {
    WithEachKind([] {
        CResponder responder;
        ASSERT_TRUE(responder.IsOpen());
        for (const CAnswerCase& c : ANSWER_CASES) {
            SCOPED_TRACE(c.pszWhat);
            auto echo = std::async(std::launch::async, [] {
                CPingResult r;
                SetLastError(0);
                const bool bAnswered = CPing().PingUsingICMP("127.0.0.2", r, 64, 400);
                return std::tuple(bAnswered, r.Status, FormatAddress(r.From), GetLastError());
            });
            CSeenRequest request;
            ASSERT_TRUE(responder.NextRequest(request));
            ASSERT_EQ(request.dwTo, Ip("127.0.0.2"));
            c.answer(responder, request);
            EXPECT_EQ(echo.get(),
                      std::tuple(c.bAnswered, c.dwStatus, std::string(c.pszFrom), c.dwLastError));
        }
    });
}

// Echoes in flight at once to six hosts, each with a payload size of its own, answered in the
// reverse order: every echo gets the reply to its own request.
TEST_F(EchoSocketLab, ConcurrentEchoesEachGetTheirOwnReply) {
    WithEachKind([] {
        CResponder responder;
        ASSERT_TRUE(responder.IsOpen());
        constexpr int ECHOES = 24;
        std::vector<std::future<std::tuple<bool, uint32_t, std::string>>> arrEchoes;
        for (int i = 0; i < ECHOES; ++i)
            arrEchoes.push_back(std::async(std::launch::async, [i] {
                CPingResult r;
                const bool bAnswered =
                    CPing().PingUsingICMP("127.0.0." + std::to_string(11 + i % 6), r, 64, 3000,
                                          static_cast<uint16_t>(32 + i));
                return std::tuple(bAnswered && r.Status == 0, GetLastError(),
                                  FormatAddress(r.From));
            }));
        std::vector<CSeenRequest> arrRequests(ECHOES);
        for (CSeenRequest& request : arrRequests)
            ASSERT_TRUE(responder.NextRequest(request));
        std::reverse(arrRequests.begin(), arrRequests.end());
        for (const CSeenRequest& request : arrRequests)
            responder.Reply(request, request.dwTo, request.arrData);
        for (int i = 0; i < ECHOES; ++i)
            EXPECT_EQ(arrEchoes[static_cast<size_t>(i)].get(),
                      std::tuple(true, 0u, "127.0.0." + std::to_string(11 + i % 6)))
                << "echo " << i;
    });
}
