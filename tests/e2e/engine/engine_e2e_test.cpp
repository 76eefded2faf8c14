// vantrelctl's engine verbs against real hosts: network namespaces made here and joined by veth
// links, HTTP servers in them, and aiosmtpd. Nothing is sent anywhere else.
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "testing/engine_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using namespace std::chrono_literals;
using EMode = CLoopbackHttpServer::EMode;

namespace {

const char OK_REPLY[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

struct CRun {
    int nExit;
    std::string strOut, strErr;
};

// vantrelctl runs in namespace c, which reaches namespace hN at 10.77.N.2 (N = 1, 2, 3); its
// default route, which the connection check wants, points into h2.
class EngineLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty())
            GTEST_SKIP() << "The engine's end-to-end tests make network namespaces: " << strWhy;
        m_strC = m_lab.Add("c");
        for (const std::string n : {"1", "2", "3"})
            ASSERT_TRUE(m_lab.Link(m_strC, "vc" + n, "10.77." + n + ".1/24", m_lab.Add("h" + n),
                                   "vh" + n, "10.77." + n + ".2/24"));
        ASSERT_TRUE(m_lab.Ip(m_strC, "route add default via 10.77.2.2"));
    }
    void TearDown() override { // the SMTP sink, and any vantrelctl left by a failure
        if (!m_strC.empty())
            m_lab.Run("ip netns pids " + m_strC + " | xargs -r kill");
    }

    std::string Ns(int n) { return m_strC.substr(0, m_strC.size() - 1) + "h" + std::to_string(n); }
    CLoopbackHttpServer& StartWeb(int nHost, EMode mode, const std::string& strReply) {
        return *m_arrWeb.emplace_back(m_lab.InNamespace(Ns(nHost), [&] {
            return std::make_unique<CLoopbackHttpServer>(mode, strReply, "0.0.0.0", 80);
        }));
    }
    // aiosmtpd on 127.0.0.1 port 25 of c, writing N.eml and N.env, and mail settings for it.
    void StartSmtpSink() {
        std::filesystem::create_directories(m_dir / "config/Vantrel Software");
        WriteFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf",
                       "[Settings]\nAlertEmail=1\nEmailFrom=Vantrel <alerts@example.test>\n"
                       "EmailTo=ops@example.test\nSMTP=127.0.0.1\n");
        std::filesystem::create_directory(m_strMail);
        m_lab.Exec(m_strC, "/usr/bin/python3 " VANTREL_SMTP_SINK " 25 " + m_strMail +
                               " watcher pa55 >/dev/null 2>&1 &");
        for (int i = 0; i < 300 && !std::filesystem::exists(m_strMail + "/ready"); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(std::filesystem::exists(m_strMail + "/ready"))
            << "aiosmtpd did not start; /usr/bin/python3 needs python3-aiosmtpd (scripts/setup)";
    }
    std::string Mail(const std::string& strName) {
        return ReadFileBytes(m_strMail + "/" + strName);
    }
    // A data file of tested hosts named by their index.
    void WriteData(const std::vector<std::string>& arrURLs) {
        CVantrelDoc doc(m_sink, nullptr);
        ASSERT_TRUE(doc.OnNewDocument(m_strData, CAppSettings()));
        for (const std::string& strURL : arrURLs) {
            auto* pHost = new CHost;
            pHost->m_strName = std::to_string(doc.m_arrHosts.size());
            pHost->m_strTestURL = strURL;
            pHost->m_bTesting = 1;
            doc.AddHost(pHost);
        }
        doc.m_nIntervalMinutes = 1;
        ASSERT_TRUE(doc.SaveHosts());
    }
    // vantrelctl in c with folders of its own; strArgs is shell syntax.
    CRun RunCli(const std::string& strArgs, const std::string& strWrapper = "") {
        const std::string strOut = m_dir / ("out" + std::to_string(++m_nRuns)),
                          &strDir = m_dir.Path();
        const int nStatus = std::system(
            ("XDG_CONFIG_HOME=" + strDir + "/config XDG_DATA_HOME=" + strDir +
             " XDG_RUNTIME_DIR=" + strDir + " ip netns exec " + m_strC + " " + strWrapper +
             " " VANTRELCTL_PATH " " + strArgs + " </dev/null >" + strOut + " 2>" + strOut + "e")
                .c_str());
        return {WEXITSTATUS(nStatus), ReadFileBytes(strOut), ReadFileBytes(strOut + "e")};
    }

    CTempDir m_dir;
    const std::string m_strMail = m_dir / "mail", m_strData = m_dir / "hosts.dat";
    CNetnsLab m_lab{"eng"};
    std::string m_strC;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> m_arrWeb;
    int m_nRuns = 0;
    CRecordingSink m_sink;
};

TEST_F(EngineLab, OneCycleDecidesEachHostAStopEndsWithinAnEchoAndTheVerbsAgree) {
    StartWeb(1, EMode::Reply, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
    CLoopbackHttpServer& dropper = StartWeb(2, EMode::Reply, OK_REPLY);
    ASSERT_TRUE(m_lab.Exec(Ns(2), "sysctl -q net.ipv4.icmp_echo_ignore_all=1"));
    CLoopbackHttpServer& huge =
        StartWeb(3, EMode::EndlessBody, "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n");
    WriteData({"http://10.77.1.2/broken", "http://10.77.2.2/", "http://10.77.3.2/1GiB"});
    auto start = std::chrono::steady_clock::now();
    const CRun run = RunCli("run --data " + m_strData + " --cycles 1");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 19s) << "four echoes of 5000 ms";
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    // An error page is up; a host dropping echoes is down with no ping; a 1 GiB page is up.
    EXPECT_THAT(run.strOut, MatchesRegex("0\t0\tTesting - Up\t[^\t]+\t100.0%\t[0-9]+.[0-9] ms\n"
                                         "1\t1\tTesting - Down\t[^\t]+\t0.0%\t- ms\n"
                                         "2\t2\tTesting - Up\t[^\t]+\t100.0%\t[0-9]+.[0-9] ms\n"));
    EXPECT_EQ(dropper.GetConnections(), 0);
    for (int i = 0; i < 200 && !huge.ClientWentAway(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(huge.ClientWentAway()) << "decided at the headers";
    EXPECT_LT(huge.GetBodyBytesSent(), 64u << 20);

    // Stopped by SIGTERM while host 1's first echo waits: its test is not counted.
    start = std::chrono::steady_clock::now();
    const CRun stopped = RunCli("run --data " + m_strData, "timeout --preserve-status -s TERM 2");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s + 5s);
    EXPECT_EQ(stopped.nExit, 0);
    EXPECT_EQ(stopped.strErr, "vantrelctl: stopping after the test in progress\n");
    EXPECT_THAT(stopped.strOut, MatchesRegex("0\t0\tTesting - Up\t[^\n]+\n"));

    // Exit codes: 0 up, 1 down, 2 a URL the engine cannot test (with its reason).
    const char* arrCases[][3] = {
        {"ping 10.77.1.2", "0", ""},
        {"probe http://10.77.1.2/status", "0", ""},
        {"probe http://10.77.2.2/", "1", ""},
        {"probe ftp://10.77.1.2/pub", "2",
         "vantrelctl: Unknown service type for URL:ftp://10.77.1.2/pub\nThe tests will stop for "
         "this host.\n"},
        {"probe 'not a url'", "2",
         "vantrelctl: Cannot parse server URL:not a url\nThe tests will stop for this host.\n"}};
    for (const auto& arrCase : arrCases) {
        const CRun cli = RunCli(arrCase[0]);
        EXPECT_EQ(std::to_string(cli.nExit) + cli.strErr, arrCase[1] + std::string(arrCase[2]));
    }
}

TEST_F(EngineLab, HostThatGoesDownSendsOneAlertMail) {
    StartSmtpSink();
    CLoopbackHttpServer& web = StartWeb(1, EMode::Reply, OK_REPLY);
    WriteData({"http://10.77.1.2/index.html"});
    CRun run;
    std::thread engine(
        [&] { run = RunCli("run --data " + m_strData + " --cycles 3 --minute-ms 1000"); });
    while (web.GetConnections() == 0) // up in the first cycle, down from its wait of 1 s on
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(m_lab.Ip(Ns(1), "link set vh1 down"));
    engine.join();
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_THAT(run.strOut,
                MatchesRegex("0\t0\tTesting - Up\t.*\n(0\t0\tTesting - Down\t.*\n){2}"));
    EXPECT_EQ(web.GetRequests().at(0).rfind("GET /index.html HTTP/1.1\r\nHost: 10.77.1.2\r\n", 0),
              0u);
    EXPECT_THAT(Mail("1.eml"), HasSubstr("\r\nSubject: The host 10.77.1.2 went down\r\n"));
    EXPECT_THAT(Mail("1.eml"), HasSubstr("\r\n\r\nThis is an automatically generated message.\r\n"
                                         "The host http://10.77.1.2 went down.\r\n"));
    EXPECT_EQ(Mail("2.eml"), "") << "one alert for one change to down";
    const std::string strEnvelope = Mail("1.env"); // sent without login
    EXPECT_EQ(strEnvelope.substr(strEnvelope.find('\n')),
              "\n-\nalerts@example.test\nops@example.test\n");

    EXPECT_EQ(RunCli("alert-test --server-name www.alpha.test").nExit, 0);
    EXPECT_THAT(Mail("2.eml"), HasSubstr("\r\nSubject: The host www.alpha.test went down\r\n"));
}

} // namespace
