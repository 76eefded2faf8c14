#include "platform/http_client.h"

#include "platform/loopback_http_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

using EFailure = CHttpExchange::EFailure;

// Any final response is up after a plain direct GET; credentials go out only in a second request
// after a 401, and only for a user name. Each failure says what kind it was, and the timings stop
// where the request did.
TEST(HttpClientTest, AnyFinalResponseIsUpAndEachFailureSaysItsKind) {
    using EMode = CLoopbackHttpServer::EMode;
    CLoopbackHttpServer proxy(EMode::Reply, "HTTP/1.1 502 Bad Gateway\r\n\r\n");
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.GetPort())).c_str(), 1);
    unsetenv("no_proxy");
    CHttpClient client;
    ASSERT_TRUE(CHttpClient::InitLibrary() && client.Open("Vantrel/1.0"));
    client.SetTimeouts(1000, 1000);
    const uint16_t nClosedPort = CLoopbackHttpServer(EMode::Reply).GetPort();
    const char* const ASK =
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n\r\n";
    const EFailure NONE = EFailure::NONE, OTHER = EFailure::OTHER;
    // The reply (nullptr: nobody listens; "-": silence), the user, the status (-1: any), the
    // failure.
    const std::tuple<const char*, const char*, long, EFailure> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "", 200, NONE},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "user", 200, NONE},
        {ASK, "user", 401, NONE},
        {ASK, "", 401, NONE},
        {"HTTP/1.0 404 Not Found\r\n\r\n", "", 404, NONE},
        {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\n\r\n", "", 302,
         NONE}, // not followed
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 503 Busy\r\n\r\n", "", 503, NONE},
        {"-", "", 0, EFailure::TIMED_OUT},
        {nullptr, "", 0, EFailure::REFUSED},
        {"", "", -1, OTHER},
        {"hello\r\n\r\n", "", -1, OTHER},
        {"HTTP/1.1 200 OK\r\nContent-Le", "", -1, OTHER},
    };
    for (const auto& [pszReply, pszUser, nStatus, eFailure] : cases) {
        const std::string strReply = pszReply == nullptr ? "(nobody)" : pszReply;
        SCOPED_TRACE(strReply + pszUser);
        CLoopbackHttpServer server(strReply == "-" ? EMode::Silent : EMode::Reply, strReply);
        EXPECT_EQ(client.Request(false, "127.0.0.1", "", pszReply ? server.GetPort() : nClosedPort,
                                 "/my page/\"x\"\xE9.php?x=1&y=%41", pszUser, "p@ss:w"),
                  eFailure == NONE);
        const CHttpExchange last = client.GetLastExchange();
        EXPECT_EQ(
            std::tuple(last.eFailure, last.strError.empty(), last.nTlsTenths, last.tCertExpiry),
            std::tuple(eFailure, eFailure == NONE, -1, int64_t{0}));
        EXPECT_TRUE(nStatus < 0 || client.GetLastStatusCode() == nStatus);
        EXPECT_TRUE(eFailure != NONE ||
                    (0 <= last.nDnsTenths && last.nDnsTenths <= last.nConnectTenths &&
                     last.nConnectTenths <= last.nFirstByteTenths &&
                     last.nFirstByteTenths <= last.nTotalTenths && last.nTotalTenths < 10000));
        EXPECT_TRUE(eFailure != EFailure::TIMED_OUT ||
                    (last.strError.find("timed out") != std::string::npos &&
                     last.nConnectTenths >= 0 && last.nFirstByteTenths == -1 &&
                     last.nTotalTenths >= 9000));
        EXPECT_TRUE(eFailure != EFailure::REFUSED || last.nConnectTenths == -1);
        const std::string strHead = "GET /my%20page/%22x%22%E9.php?x=1&y=%41 HTTP/1.1\r\nHost: "
                                    "127.0.0.1:" +
                                    std::to_string(server.GetPort()) + "\r\n";
        const std::string strTail = "User-Agent: Vantrel/1.0\r\nAccept: */*\r\n\r\n";
        std::vector<std::string> arrExpected{strHead + strTail};
        if (pszReply == nullptr)
            arrExpected.clear();
        else if (pszReply == ASK && *pszUser != '\0')
            arrExpected.push_back(strHead + "Authorization: Basic dXNlcjpwQHNzOnc=\r\n" + strTail);
        EXPECT_EQ(server.GetRequests(), arrExpected);
    }
    unsetenv("http_proxy");
    EXPECT_EQ(proxy.GetConnections(), 0);
}
