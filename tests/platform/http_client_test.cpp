#include "platform/http_client.h"

#include "platform/loopback_http_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

namespace {

using EMode = CLoopbackHttpServer::EMode;
using EFailure = CHttpExchange::EFailure;

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CHttpClient::InitLibrary());
        ASSERT_TRUE(m_client.Open("Vantrel/1.0"));
    }
    bool RequestFrom(uint16_t nPort, const std::string& strObject = "/", const char* pszUser = "") {
        return m_client.Request(false, "127.0.0.1", "", nPort, strObject, pszUser, "p@ss:w");
    }
    CHttpClient m_client;
};

} // namespace

// Any final response is up after a plain direct GET; credentials go out only in a second
// request after a 401, and only for a user name.
TEST_F(HttpClientTest, AnyFinalResponseIsUpAndCredentialsOnlyAfterTheServerAsks) {
    CLoopbackHttpServer proxy(EMode::Reply, "HTTP/1.1 502 Bad Gateway\r\n\r\n");
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.GetPort())).c_str(), 1);
    unsetenv("no_proxy");
    const char* const ASK =
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n\r\n";
    const std::tuple<const char*, long, const char*> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", 200, ""},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", 200, "user"},
        {"HTTP/1.1 401 Unauthorized\r\n\r\n", 401, ""},
        {ASK, 401, "user"},
        {ASK, 401, ""},
        {"HTTP/1.0 404 Not Found\r\n\r\n", 404, ""},
        {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\n\r\n", 302, ""}, // not followed
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 503 Busy\r\n\r\n", 503, ""},
    };
    for (const auto& [pszReply, nStatus, pszUser] : cases) {
        CLoopbackHttpServer server(EMode::Reply, pszReply);
        EXPECT_TRUE(RequestFrom(server.GetPort(), "/my page/\"x\"\xE9.php?x=1&y=%41", pszUser));
        EXPECT_EQ(m_client.GetLastStatusCode(), nStatus) << pszReply;
        const std::string strHead = "GET /my%20page/%22x%22%E9.php?x=1&y=%41 HTTP/1.1\r\nHost: "
                                    "127.0.0.1:" +
                                    std::to_string(server.GetPort()) + "\r\n";
        const std::string strTail = "User-Agent: Vantrel/1.0\r\nAccept: */*\r\n\r\n";
        std::vector<std::string> arrExpected{strHead + strTail};
        if (pszReply == ASK && *pszUser != '\0')
            arrExpected.push_back(strHead + "Authorization: Basic dXNlcjpwQHNzOnc=\r\n" + strTail);
        EXPECT_EQ(server.GetRequests(), arrExpected) << pszReply << pszUser;
    }
    unsetenv("http_proxy");
    EXPECT_EQ(proxy.GetConnections(), 0);
}

// Each failure says what kind it was, and the timings stop where the request did.
TEST_F(HttpClientTest, EachFailureSaysItsKind) {
    m_client.SetTimeouts(1000, 1000);
    EXPECT_FALSE(RequestFrom(CLoopbackHttpServer(EMode::Silent).GetPort()));
    CHttpExchange last = m_client.GetLastExchange();
    EXPECT_EQ(std::tuple(last.eFailure, last.nFirstByteTenths),
              std::tuple(EFailure::TIMED_OUT, -1));
    EXPECT_NE(last.strError.find("timed out"), std::string::npos);
    EXPECT_GE(last.nConnectTenths, 0);
    EXPECT_GE(last.nTotalTenths, 9000) << "about the whole second";
    const uint16_t nClosedPort = CLoopbackHttpServer(EMode::Reply).GetPort();
    EXPECT_FALSE(RequestFrom(nClosedPort));
    last = m_client.GetLastExchange();
    EXPECT_EQ(std::tuple(last.eFailure, last.nStatus, last.nConnectTenths, last.nTlsTenths),
              std::tuple(EFailure::REFUSED, 0L, -1, -1));
    for (const char* pszReply : {"", "hello\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Le"}) {
        EXPECT_FALSE(RequestFrom(CLoopbackHttpServer(EMode::Reply, pszReply).GetPort()));
        EXPECT_NE(m_client.GetLastErrorText(), "") << pszReply;
        EXPECT_EQ(m_client.GetLastExchange().eFailure, EFailure::OTHER) << pszReply;
    }
    CLoopbackHttpServer ok(EMode::Reply, "HTTP/1.1 204 No Content\r\n\r\n");
    EXPECT_TRUE(RequestFrom(ok.GetPort()));
    last = m_client.GetLastExchange();
    EXPECT_EQ(std::tuple(last.eFailure, last.strError, last.nTlsTenths, last.tCertExpiry),
              std::tuple(EFailure::NONE, std::string(), -1, int64_t{0}));
    EXPECT_TRUE(0 <= last.nDnsTenths && last.nDnsTenths <= last.nConnectTenths &&
                last.nConnectTenths <= last.nFirstByteTenths &&
                last.nFirstByteTenths <= last.nTotalTenths && last.nTotalTenths < 10000);
}
