// vantrelctl's engine verbs against real hosts: network namespaces made here and joined by veth
// links, HTTP servers in them, and aiosmtpd. Nothing is sent anywhere else.
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "testing/engine_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using namespace std::chrono_literals;
using EMode = CLoopbackHttpServer::EMode;
namespace fs = std::filesystem;

namespace {

const char OK_REPLY[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

struct CRun {
    int nExit;
    std::string strOut, strErr;
};

// The engine's namespace reaches host n (1 to 3) at 10.77.n.2; its default route, which the
// connection check wants, points into host 2.
class EngineLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty())
            GTEST_SKIP() << "The engine's end-to-end tests make network namespaces: " << strWhy;
        if (std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0)
            GTEST_SKIP() << "The engine's end-to-end tests need python3-aiosmtpd (scripts/setup)";
        m_strC = m_lab.Add("c");
        for (const std::string n : {"1", "2", "3"})
            ASSERT_TRUE(m_lab.Link(m_strC, "vc" + n, "10.77." + n + ".1/24", m_lab.Add("h" + n),
                                   "vh" + n, "10.77." + n + ".2/24"));
        ASSERT_TRUE(m_lab.Ip(m_strC, "route add default via 10.77.2.2"));
    }
    void TearDown() override {
        if (m_pidSink > 0 && kill(m_pidSink, SIGTERM) == 0)
            waitpid(m_pidSink, nullptr, 0);
    }

    // Namespace of host n, made by SetUp.
    std::string Host(int n) const {
        return m_strC.substr(0, m_strC.size() - 1) + "h" + std::to_string(n);
    }
    CLoopbackHttpServer& StartWeb(int nHost, EMode mode, const std::string& strReply) {
        return *m_arrWeb.emplace_back(m_lab.InNamespace(Host(nHost), [&] {
            return std::make_unique<CLoopbackHttpServer>(mode, strReply, "0.0.0.0", 80);
        }));
    }
    void IgnoreEchoes(int nHost) {
        ASSERT_TRUE(m_lab.Exec(Host(nHost), "sysctl -q net.ipv4.icmp_echo_ignore_all=1"));
    }
    // aiosmtpd on 127.0.0.1 port 25 of the engine's namespace, writing N.eml and N.env.
    void StartSmtpSink() {
        fs::create_directory(m_strMail);
        if ((m_pidSink = fork()) == 0) {
            execl("/usr/sbin/ip", "ip", "netns", "exec", m_strC.c_str(), "/usr/bin/python3",
                  VANTREL_SMTP_SINK, "25", m_strMail.c_str(), "watcher", "pa55", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 300 && !fs::exists(m_strMail + "/ready"); ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(fs::exists(m_strMail + "/ready")) << "the SMTP sink did not start";
    }
    std::string Mail(int n) const {
        return ReadFileBytes(m_strMail + "/" + std::to_string(n) + ".eml");
    }
    void WriteMailSettings(const std::string& strSMTP) {
        fs::create_directories(m_dir / "config/Vantrel Software");
        WriteFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf",
                       "[Settings]\nAlertEmail=1\nAlertSystem=0\nEmailFrom=Vantrel "
                       "<alerts@example.test>\nEmailTo=ops@example.test\nLogin=watcher\n"
                       "Pass=pa55\nSMTP=" +
                           strSMTP + "\n");
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
    std::string Saved() {
        CVantrelDoc doc(m_sink, nullptr);
        doc.LoadHosts(m_strData);
        const CHost& host = *doc.m_arrHosts.at(0);
        return std::to_string(host.m_nTests) + " tests, " + std::to_string(host.m_nTestsUp) + " up";
    }
    // vantrelctl in the engine's namespace with folders of its own; strArgs is shell syntax.
    CRun RunCli(const std::string& strArgs, const std::string& strWrapper = "") {
        const std::string strOut = m_dir / ("out" + std::to_string(++m_nRuns));
        const int nStatus = std::system(
            ("XDG_CONFIG_HOME=" + m_dir.Path() + "/config XDG_DATA_HOME=" + m_dir.Path() +
             "/data XDG_RUNTIME_DIR=" + m_dir.Path() + " ip netns exec " + m_strC + " " +
             strWrapper + " " VANTRELCTL_PATH " " + strArgs + " </dev/null >" + strOut + " 2>" +
             strOut + "e")
                .c_str());
        return {WEXITSTATUS(nStatus), ReadFileBytes(strOut), ReadFileBytes(strOut + "e")};
    }

    CTempDir m_dir;
    const std::string m_strMail = m_dir / "mail", m_strData = m_dir / "hosts.dat";
    CNetnsLab m_lab{"eng"};
    std::string m_strC;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> m_arrWeb;
    pid_t m_pidSink = -1;
    std::atomic<int> m_nRuns{0};
    CRecordingSink m_sink;
};

TEST_F(EngineLab, OneCycleDecidesEachHost) {
    StartWeb(1, EMode::Reply, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
    CLoopbackHttpServer& dropper = StartWeb(2, EMode::Reply, OK_REPLY);
    IgnoreEchoes(2);
    CLoopbackHttpServer& huge =
        StartWeb(3, EMode::EndlessBody, "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\n");
    WriteData({"http://10.77.1.2/broken", "http://10.77.2.2/", "http://10.77.3.2/1GiB"});
    const auto start = std::chrono::steady_clock::now();
    const CRun run = RunCli("run --data " + m_strData + " --cycles 1");
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(run.nExit, 0) << run.strErr;
    // An error page is up; a host dropping echoes is down with no ping; a 1 GiB page is up.
    EXPECT_THAT(run.strOut, MatchesRegex("0\t0\tTesting - Up\t[^\t]+\t100.0%\t[0-9]+.[0-9] ms\n"
                                         "1\t1\tTesting - Down\t[^\t]+\t0.0%\t- ms\n"
                                         "2\t2\tTesting - Up\t[^\t]+\t100.0%\t[0-9]+.[0-9] ms\n"));
    EXPECT_EQ(dropper.GetConnections(), 0);
    EXPECT_GE(elapsed, 19s) << "four echoes of 5000 ms";
    EXPECT_LT(elapsed, 40s);
    for (int i = 0; i < 200 && !huge.ClientWentAway(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(huge.ClientWentAway()) << "decided at the headers";
    EXPECT_LT(huge.GetBodyBytesSent(), 64u << 20);
}

TEST_F(EngineLab, StopDuringAnEchoEndsWithinItsTimeoutAndASecondEngineIsRefused) {
    IgnoreEchoes(2);
    WriteData({"http://10.77.2.2/"});
    CRun stopped;
    const auto start = std::chrono::steady_clock::now();
    std::thread first([&] {
        stopped = RunCli("run --data " + m_strData, "timeout --preserve-status -s TERM 2");
    });
    for (int i = 0; i < 300 && !fs::exists(m_dir / "VantrelMutex.lock"); ++i)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms); // the file comes just before its lock
    const CRun second = RunCli("run --data " + m_strData + " --cycles 1");
    first.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s + 5s);
    EXPECT_EQ(second.nExit, 1);
    EXPECT_EQ(second.strErr, "vantrelctl: Vantrel is already running; its test engine would "
                             "compete with this one.\n");
    EXPECT_EQ(stopped.nExit, 0) << stopped.strErr;
    EXPECT_EQ(stopped.strErr, "vantrelctl: stopping after the test in progress\n");
    EXPECT_EQ(stopped.strOut, "") << "the interrupted test is not counted";
}

TEST_F(EngineLab, HostThatGoesDownSendsOneAlertMailAndTheAlertTestVerbSendsItsOwn) {
    StartSmtpSink();
    WriteMailSettings("127.0.0.1");
    const CRun sent = RunCli("alert-test --server-name www.alpha.test");
    EXPECT_EQ(sent.nExit, 0) << sent.strOut << sent.strErr;
    EXPECT_EQ(sent.strOut.rfind("Connecting to 127.0.0.1 port 25 with no login\n", 0), 0u);
    EXPECT_THAT(sent.strOut, HasSubstr("Sent with login method 0.\n"));
    EXPECT_THAT(Mail(1), HasSubstr("\r\nSubject: The host www.alpha.test went down\r\n"));

    CLoopbackHttpServer& web = StartWeb(1, EMode::Reply, OK_REPLY);
    WriteData({"http://10.77.1.2/index.html"});
    CRun run;
    std::thread engine(
        [&] { run = RunCli("run --data " + m_strData + " --cycles 3 --minute-ms 1000"); });
    while (web.GetConnections() == 0) // up in the first cycle, down during its wait of 1 s
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(m_lab.Ip(Host(1), "link set vh1 down"));
    engine.join();
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_THAT(run.strOut, MatchesRegex("0\t0\tTesting - Up\t.*\n0\t0\tTesting - Down\t.*\n"
                                         "0\t0\tTesting - Down\t.*\n"));
    EXPECT_EQ(Saved(), "3 tests, 1 up");
    EXPECT_EQ(web.GetRequests().at(0).rfind("GET /index.html HTTP/1.1\r\nHost: 10.77.1.2\r\n", 0),
              0u);
    EXPECT_THAT(web.GetRequests()[0],
                HasSubstr("\r\nUser-Agent: Vantrel https://www.vantrel.example/\r\n"));
    EXPECT_THAT(Mail(2), HasSubstr("\r\nSubject: The host 10.77.1.2 went down\r\n"));
    EXPECT_THAT(Mail(2), HasSubstr("\r\n\r\nThis is an automatically generated message.\r\n"
                                   "The host http://10.77.1.2 went down.\r\n"));
    EXPECT_FALSE(fs::exists(m_strMail + "/3.eml")) << "one alert for one change to down";
    const std::string strEnvelope = ReadFileBytes(m_strMail + "/2.env"); // sent without login
    EXPECT_EQ(strEnvelope.substr(strEnvelope.find('\n')),
              "\n-\nalerts@example.test\nops@example.test\n");

    WriteMailSettings("10.77.3.2"); // nobody listens there: every attempt fails to connect
    const CRun refused = RunCli("alert-test");
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_THAT(refused.strErr,
                HasSubstr("vantrelctl: Vantrel couldn't connect to SMTP server, last error:"));
}

TEST_F(EngineLab, PingAndProbeVerbs) {
    StartWeb(1, EMode::Reply, OK_REPLY);
    IgnoreEchoes(2);
    const CRun ping = RunCli("ping 10.77.1.2");
    EXPECT_EQ(ping.nExit, 0) << ping.strErr;
    EXPECT_THAT(ping.strOut,
                MatchesRegex("Echo 1: reply from 10.77.1.2, time [0-9]+ ms, status 0\n"));
    std::string strNoReply;
    for (const char* pszN : {"1", "2", "3", "4"})
        strNoReply += std::string("Echo ") + pszN + ": no reply, last error 11010\n";
    EXPECT_EQ(RunCli("ping 10.77.2.2").strOut, strNoReply + "No answer after 4 echoes\n");
    // Exit codes: 0 up, 1 down (here: no web server), 2 a URL the engine cannot test.
    const std::pair<const char*, int> arrProbes[] = {{"http://10.77.1.2/status", 0},
                                                     {"http://10.77.3.2/", 1},
                                                     {"ftp://10.77.1.2/pub", 2},
                                                     {"'not a url'", 2}};
    for (const auto& [pszURL, nExit] : arrProbes)
        EXPECT_EQ(RunCli(std::string("probe ") + pszURL).nExit, nExit) << pszURL;
    EXPECT_THAT(RunCli("probe http://10.77.3.2/").strOut, HasSubstr("\nDown: ping "));
    EXPECT_EQ(RunCli("probe ftp://10.77.1.2/pub").strErr,
              "vantrelctl: Unknown service type for URL:ftp://10.77.1.2/pub\nThe tests will stop "
              "for this host.\n");
    EXPECT_EQ(
        RunCli("probe 'not a url'").strErr,
        "vantrelctl: Cannot parse server URL:not a url\nThe tests will stop for this host.\n");
}

} // namespace
