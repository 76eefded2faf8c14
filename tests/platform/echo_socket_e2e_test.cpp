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
#include <chrono>
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
    uint32_t dwFrom = 0, dwTo = 0; // network byte order
    uint16_t nId = 0, nSequence = 0;
};

// An ICMP message: type, code, the two 16-bit words of an echo header, the body; checksummed.
std::vector<uint8_t> Icmp(uint8_t nType, uint8_t nCode, uint16_t nId, uint16_t nSequence,
                          const std::vector<uint8_t>& arrBody) {
    std::vector<uint8_t> arr{nType, nCode, 0, 0};
    for (const uint16_t n : {nId, nSequence})
        arr.insert(arr.end(), {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    arr.insert(arr.end(), arrBody.begin(), arrBody.end());
    uint32_t nSum = 0;
    for (size_t i = 0; i < arr.size(); i += 2)
        nSum += static_cast<uint32_t>(arr[i] << 8 | (i + 1 < arr.size() ? arr[i + 1] : 0));
    while (nSum >> 16)
        nSum = (nSum & 0xFFFF) + (nSum >> 16);
    arr[2] = static_cast<uint8_t>(~nSum >> 8);
    arr[3] = static_cast<uint8_t>(~nSum);
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
    bool IsOpen() const { return m_fdListen >= 0 && m_fdSend >= 0; }

    // The next echo request seen on the wire (false after a second of silence).
    bool NextRequest(CSeenRequest& request) {
        uint8_t arr[2048];
        for (pollfd p{m_fdListen, POLLIN, 0}; poll(&p, 1, 1000) == 1;) {
            const ssize_t n = recv(m_fdListen, arr, sizeof(arr), 0);
            if (n < 28 || arr[20] != 8)
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
        std::vector<uint8_t> arrIcmp;
        if (p.dwAbout != 0) {
            std::vector<uint8_t> arrQuoted =
                IpHeader(q.dwFrom, p.dwAbout == TARGET ? q.dwTo : p.dwAbout, 8 + 32);
            const std::vector<uint8_t> arrEcho = Icmp(8, 0, q.nId, q.nSequence, {});
            arrQuoted.insert(arrQuoted.end(), arrEcho.begin(), arrEcho.end());
            arrIcmp = Icmp(3, 1, 0, 0, arrQuoted);
        } else {
            arrIcmp = Icmp(0, 0, static_cast<uint16_t>(q.nId + p.nIdDelta),
                           static_cast<uint16_t>(q.nSequence + p.nSequenceDelta),
                           std::vector<uint8_t>(p.nSize, p.nByte));
        }
        std::vector<uint8_t> arr =
            IpHeader(p.dwFrom == TARGET ? q.dwTo : p.dwFrom, q.dwFrom, arrIcmp.size());
        arr.insert(arr.end(), arrIcmp.begin(), arrIcmp.end());
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
const uint32_t TIMED_OUT = PING_ERROR_TIMED_OUT, BAD_REPLY = PING_ERROR_BAD_REPLY,
               UNREACHABLE = PING_STATUS_DEST_HOST_UNREACHABLE;

// Case i pings 127.0.0.(11 + i); dwFrom is the address expected in the result (0: none).
const struct {
    const char* pszWhat;
    std::vector<CPacket> arrAnswer;
    bool bAnswered;
    uint32_t dwStatus, dwFrom, dwLastError;
} ANSWER_CASES[] = {
    {"our reply", {{TARGET}}, true, 0, TARGET, 0},
    {"another sequence", {{TARGET, 0, 1}}, false, 0, 0, TIMED_OUT},
    {"another identifier", {{TARGET, 1}}, false, 0, 0, TIMED_OUT},
    {"from another address", {{OTHER}}, false, 0, 0, TIMED_OUT},
    {"error about another target", {ERROR_ABOUT_OTHER}, false, 0, 0, TIMED_OUT},
    {"error about ours", {{ROUTER, 0, 0, 0, 0, TARGET}}, true, UNREACHABLE, ROUTER, 0},
    {"truncated", {{TARGET, 0, 0, 16}}, false, 0, 0, BAD_REPLY},
    {"resized", {{TARGET, 0, 0, 40}}, false, 0, 0, BAD_REPLY},
    {"other data", {{TARGET, 0, 0, 32, 0x46}}, false, 0, 0, BAD_REPLY},
    {"decoys first", {{TARGET, 0, -1}, {OTHER}, ERROR_ABOUT_OTHER, {TARGET}}, true, 0, TARGET, 0},
};

// f(responder) with each socket kind, inside a namespace that ignores echo requests.
template <class F> void WithEachKind(F f) {
    if (const std::string strWhyNot = CNetnsLab::WhyUnavailable(); !strWhyNot.empty())
        GTEST_SKIP() << strWhyNot;
    CNetnsLab lab("e");
    const std::string strNs = lab.Add("e");
    ASSERT_TRUE(!strNs.empty() && lab.Exec(strNs, "sysctl -qw net.ipv4.icmp_echo_ignore_all=1 "
                                                  "net.ipv4.ping_group_range='0 2147483647'"));
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    lab.InNamespace(strNs, [&] {
        for (int nUse : {ICMP_SOCKET_DGRAM, ICMP_SOCKET_RAW}) {
            SCOPED_TRACE("socket kind " + std::to_string(nUse));
            _CPING_ICMP::Get().SetSocketKind(nUse);
            CResponder responder;
            ASSERT_TRUE(responder.IsOpen());
            f(responder);
        }
    });
    _CPING_ICMP::Get().SetSocketKind(nKind);
}

} // namespace

// Echoes in flight at once, answered in the reverse order: only an echo reply with its own
// sequence, identifier, source and data, or an ICMP error quoting its request to its target,
// answers an echo. Without a socket kind every echo fails at once.
TEST(EchoSocketLab, EachEchoTakesOnlyTheAnswerToItsOwnRequest) {
    constexpr size_t CASES = std::size(ANSWER_CASES);
    const auto target = [](size_t i) { return "127.0.0." + std::to_string(11 + i); };
    WithEachKind([&](CResponder& responder) {
        std::vector<std::future<std::tuple<bool, uint32_t, std::string, uint32_t>>> arrEchoes;
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
        std::reverse(arrRequests.begin(), arrRequests.end());
        for (const CSeenRequest& q : arrRequests)
            for (const CPacket& packet : ANSWER_CASES[ntohl(q.dwTo) - 0x7F00000B].arrAnswer)
                responder.Send(q, packet);
        for (size_t i = 0; i < CASES; ++i) {
            const auto& c = ANSWER_CASES[i];
            const in_addr from{c.dwFrom};
            EXPECT_EQ(arrEchoes[i].get(), std::tuple(c.bAnswered, c.dwStatus,
                                                     c.dwFrom == TARGET ? target(i)
                                                     : c.dwFrom         ? inet_ntoa(from)
                                                                        : "",
                                                     c.dwLastError))
                << c.pszWhat;
        }
    });
    const int nKind = _CPING_ICMP::Get().GetSocketKind();
    _CPING_ICMP::Get().SetSocketKind(ICMP_SOCKET_NONE);
    CPingResult r;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(CPing().PingUsingICMP("127.0.0.1", r, 64, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(1));
    EXPECT_EQ(GetLastError(), PING_ERROR_NOT_LOADED);
    _CPING_ICMP::Get().SetSocketKind(nKind);
}
