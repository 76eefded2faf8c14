#include "platform/http_client.h"

#include "platform/loopback_http_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

std::string HeaderValue(const std::string& strHead, const std::string& strName) {
    const std::string strKey = "\r\n" + strName + ": ";
    const size_t nAt = strHead.find(strKey);
    if (nAt == std::string::npos)
        return std::string();
    const size_t nValue = nAt + strKey.size();
    return strHead.substr(nValue, strHead.find("\r\n", nValue) - nValue);
}

std::string RequestLine(const std::string& strHead) {
    return strHead.substr(0, strHead.find("\r\n"));
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CHttpClient::InitLibrary());
        ASSERT_TRUE(CHttpClient::InitLibrary()); // a second call is harmless
        ASSERT_TRUE(m_client.Open("Vantrel https://www.vantrel.example/"));
    }

    bool RequestFrom(CLoopbackHttpServer& server, const std::string& strObject,
                     const std::string& strUser = "", const std::string& strPassword = "") {
        m_client.SetPort(server.GetPort());
        return m_client.Request("127.0.0.1", strObject, strUser, strPassword);
    }

    CHttpClient m_client;
};

} // namespace

TEST_F(HttpClientTest, AnyStatusMeansUpAndTheRequestIsAPlainGet) {
    CLoopbackHttpServer ok(CLoopbackHttpServer::EMode::Reply,
                           "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    ASSERT_TRUE(RequestFrom(ok, "/status/check.php?x=1&y=%41"));
    EXPECT_EQ(m_client.GetLastStatusCode(), 200);
    EXPECT_EQ(m_client.GetLastErrorText(), "");
    ASSERT_EQ(ok.GetRequests().size(), 1u);
    const std::string strHead = ok.GetRequests()[0];
    EXPECT_EQ(RequestLine(strHead), "GET /status/check.php?x=1&y=%41 HTTP/1.1");
    EXPECT_EQ(HeaderValue(strHead, "Host"), "127.0.0.1:" + std::to_string(ok.GetPort()));
    EXPECT_EQ(HeaderValue(strHead, "User-Agent"), "Vantrel https://www.vantrel.example/");
    EXPECT_EQ(HeaderValue(strHead, "Authorization"), "");

    // Error pages and redirects are answers too; a redirect is not followed.
    for (const char* pszReply :
         {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n",
          "HTTP/1.0 404 Not Found\r\n\r\n",
          "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n",
          "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n"}) {
        SCOPED_TRACE(pszReply);
        CLoopbackHttpServer server(CLoopbackHttpServer::EMode::Reply, pszReply);
        EXPECT_TRUE(RequestFrom(server, "/"));
        EXPECT_EQ(server.GetConnections(), 1);
    }
    EXPECT_EQ(m_client.GetLastStatusCode(), 503); // the final response, not the 100
}

TEST_F(HttpClientTest, ObjectIsSentAsWrittenWithUnsafeBytesEscaped) {
    CLoopbackHttpServer server(CLoopbackHttpServer::EMode::Reply,
                               "HTTP/1.1 204 No Content\r\n\r\n");
    ASSERT_TRUE(RequestFrom(server, "/my page/../\"x\"\xE9.html?a b"));
    ASSERT_TRUE(RequestFrom(server, "index.html"));
    const auto arrRequests = server.GetRequests();
    ASSERT_EQ(arrRequests.size(), 2u);
    EXPECT_EQ(RequestLine(arrRequests[0]), "GET /my%20page/../%22x%22%E9.html?a%20b HTTP/1.1");
    EXPECT_EQ(RequestLine(arrRequests[1]), "GET /index.html HTTP/1.1");
}

TEST_F(HttpClientTest, CredentialsAreSentAsBasicAuthorization) {
    CLoopbackHttpServer server(
        CLoopbackHttpServer::EMode::Reply,
        "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
        "Content-Length: 0\r\n\r\n");
    ASSERT_TRUE(RequestFrom(server, "/private/", "user", "p@ss:w"));
    EXPECT_EQ(m_client.GetLastStatusCode(), 401);
    ASSERT_TRUE(RequestFrom(server, "/private/", "", ""));
    const auto arrRequests = server.GetRequests();
    ASSERT_EQ(arrRequests.size(), 2u);
    // base64("user:p@ss:w")
    EXPECT_EQ(HeaderValue(arrRequests[0], "Authorization"), "Basic dXNlcjpwQHNzOnc=");
    // Credentials of one request do not stick to the next.
    EXPECT_EQ(HeaderValue(arrRequests[1], "Authorization"), "");
}

TEST_F(HttpClientTest, DecidedAtTheHeadersOfAHugeOrEndlessBody) {
    m_client.SetTimeouts(30000, 30000);
    // 1 GiB announced, and a body that only ends when the connection does.
    for (const char* pszReply :
         {"HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\nContent-Type: video/mp4\r\n\r\n",
          "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"}) {
        SCOPED_TRACE(pszReply);
        CLoopbackHttpServer server(CLoopbackHttpServer::EMode::EndlessBody, pszReply);
        const auto tStart = Clock::now();
        EXPECT_TRUE(RequestFrom(server, "/big.bin"));
        const auto nSeconds =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - tStart).count();
        EXPECT_LT(nSeconds, 20); // reading the endless body would run into the time-out
        // The client hung up instead of reading on: only what the socket buffers took was sent.
        for (int i = 0; i < 250 && !server.ClientWentAway(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(server.ClientWentAway());
        EXPECT_LT(server.GetBodyBytesSent(), 64u << 20);
    }
}

TEST_F(HttpClientTest, FailuresAreDown) {
    // Accepts and never answers: the total time-out ends it.
    {
        CLoopbackHttpServer silent(CLoopbackHttpServer::EMode::Silent);
        m_client.SetTimeouts(1000, 1000);
        const auto tStart = Clock::now();
        EXPECT_FALSE(RequestFrom(silent, "/"));
        const auto nMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tStart).count();
        EXPECT_GE(nMs, 900);
        EXPECT_LT(nMs, 20000);
        EXPECT_NE(m_client.GetLastErrorText().find("timed out"), std::string::npos)
            << m_client.GetLastErrorText();
        EXPECT_EQ(m_client.GetLastStatusCode(), 0);
    }
    // Closed without a word, or answered with something that is not HTTP.
    for (const char* pszReply : {"", "hello\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Le"}) {
        SCOPED_TRACE(pszReply);
        CLoopbackHttpServer server(CLoopbackHttpServer::EMode::Reply, pszReply);
        EXPECT_FALSE(RequestFrom(server, "/"));
        EXPECT_NE(m_client.GetLastErrorText(), "");
    }
    // Nobody listens: connection refused.
    uint16_t nClosedPort;
    {
        CLoopbackHttpServer gone(CLoopbackHttpServer::EMode::Reply);
        nClosedPort = gone.GetPort();
    }
    m_client.SetPort(nClosedPort);
    EXPECT_FALSE(m_client.Request("127.0.0.1", "/", "", ""));
    EXPECT_NE(m_client.GetLastErrorText(), "");
    // A closed client fails, an opened one works again.
    CLoopbackHttpServer ok(CLoopbackHttpServer::EMode::Reply, "HTTP/1.1 200 OK\r\n\r\n");
    m_client.Close();
    EXPECT_FALSE(m_client.IsOpen());
    EXPECT_FALSE(RequestFrom(ok, "/"));
    EXPECT_EQ(ok.GetConnections(), 0);
    ASSERT_TRUE(m_client.Open("Vantrel"));
    EXPECT_TRUE(RequestFrom(ok, "/"));
}

TEST_F(HttpClientTest, ProxyEnvironmentIsIgnored) {
    CLoopbackHttpServer proxy(CLoopbackHttpServer::EMode::Reply,
                              "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
    CLoopbackHttpServer server(CLoopbackHttpServer::EMode::Reply, "HTTP/1.1 200 OK\r\n\r\n");
    const std::string strProxy = "http://127.0.0.1:" + std::to_string(proxy.GetPort());
    const char* arrNames[] = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
    for (const char* pszName : arrNames)
        setenv(pszName, strProxy.c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    const bool bUp = RequestFrom(server, "/via");
    for (const char* pszName : arrNames)
        unsetenv(pszName);
    EXPECT_TRUE(bUp);
    EXPECT_EQ(m_client.GetLastStatusCode(), 200);
    EXPECT_EQ(server.GetConnections(), 1);
    EXPECT_EQ(proxy.GetConnections(), 0);
}
