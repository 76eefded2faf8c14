// The test engine against real hosts: network namespaces joined by veth links, HTTP servers
// inside them, the platform's ICMP and HTTP probes, the mail client and aiosmtpd. Nothing is
// ever sent outside these namespaces.

#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/http_client.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "testing/engine_fakes.h"
#include "testing/host_down_alert.h"
#include "testing/smtp_mail_sender.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
#include "testing/test_engine.h"
#include "testing/test_worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

// Addresses inside the lab: the engine's namespace C reaches host H1 at 10.77.1.2 and host H2
// at 10.77.2.2; C's default route (needed by the connection check) points into H2.
constexpr char H1_ADDRESS[] = "10.77.1.2";
constexpr char H2_ADDRESS[] = "10.77.2.2";

const char OK_REPLY[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

// Checks and settles what a test that stops the worker on its n-th wait needs: real time, and
// a hook between cycles.
class CCycleClock : public CSystemClock {
public:
    bool WaitForStop(const CEvent& evStop, int64_t nMilliseconds) override {
        ++m_nWaits;
        if (m_onWait && m_onWait(m_nWaits))
            return true;
        return CSystemClock::WaitForStop(evStop, nMilliseconds);
    }
    // Returns true to end the run at this wait.
    std::function<bool(int nWait)> m_onWait;
    int m_nWaits = 0;
};

struct CRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// Runs vantrelctl as users do, in a folder of its own.
class CliTest : public ::testing::Test {
protected:
    static CHost& AddHost(CVantrelDoc& doc, const std::string& strURL) {
        auto* pHost = new CHost;
        pHost->m_strName = strURL;
        pHost->m_strTestURL = strURL;
        pHost->m_bTesting = 1;
        doc.AddHost(pHost);
        return *pHost;
    }

    // vantrelctl (inside m_strCliNs when set) with its own settings, data and runtime
    // folders. onStarted runs while it runs, given its pid and the file its output goes to.
    CRun RunCli(const std::vector<std::string>& arrArgs,
                const std::function<void(pid_t, const std::string&)>& onStarted = nullptr) {
        const std::string strOut = m_dir / ("stdout" + std::to_string(++m_nRuns));
        const std::string strErr = m_dir / ("stderr" + std::to_string(m_nRuns));
        fs::create_directories(m_dir / "config");
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
            setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
            freopen("/dev/null", "r", stdin);
            freopen(strOut.c_str(), "w", stdout);
            freopen(strErr.c_str(), "w", stderr);
            std::vector<const char*> arrArgv{"ip", "netns", "exec", m_strCliNs.c_str(),
                                             VANTRELCTL_PATH};
            if (m_strCliNs.empty())
                arrArgv.erase(arrArgv.begin(), arrArgv.begin() + 4);
            for (const std::string& str : arrArgs)
                arrArgv.push_back(str.c_str());
            arrArgv.push_back(nullptr);
            execv(arrArgv[0][0] == '/' ? arrArgv[0] : "/usr/sbin/ip",
                  const_cast<char* const*>(arrArgv.data()));
            _exit(127);
        }
        if (onStarted)
            onStarted(pid, strOut);
        int nStatus = 0;
        waitpid(pid, &nStatus, 0);
        CRun run;
        run.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
        run.strOut = ReadFileBytes(strOut);
        run.strErr = ReadFileBytes(strErr);
        return run;
    }

    // A data file with one tested host per URL.
    std::string WriteDataFile(const std::vector<std::string>& arrURLs, int32_t nInterval = 1) {
        CRecordingSink sink;
        CVantrelDoc doc(sink, nullptr);
        for (const std::string& strURL : arrURLs)
            AddHost(doc, strURL);
        const std::string strPath = m_dir / "hosts.dat";
        std::string strError;
        EXPECT_TRUE(CHostsFile::Save(strPath, doc.m_arrHosts, 0, nInterval, false, strError))
            << strError;
        return strPath;
    }

    // The statistics of the only host in a data file.
    static std::string SavedTests(const std::string& strPath) {
        CRecordingSink sink;
        CVantrelDoc saved(sink, nullptr);
        saved.LoadHosts(strPath);
        if (saved.m_arrHosts.size() != 1)
            return std::to_string(saved.m_arrHosts.size()) + " hosts";
        return std::to_string(saved.m_arrHosts[0]->m_nTests) + " tests, " +
               std::to_string(saved.m_arrHosts[0]->m_nTestsUp) + " up";
    }

    void WriteSettings(const std::string& strSMTP) {
        fs::create_directories(m_dir / "config/Vantrel Software");
        WriteFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf",
                       "[Settings]\nAlertEmail=1\nAlertSystem=0\nEmailFrom=Vantrel "
                       "<alerts@example.test>\nEmailTo=ops@example.test\nLogin=watcher\n"
                       "Pass=pa55\nSMTP=" +
                           strSMTP + "\n");
    }

    CTempDir m_dir;
    std::string m_strCliNs; // the network namespace the verbs run in; empty: this one
    int m_nRuns = 0;
};

class EngineLab : public CliTest {
protected:
    static void SetUpTestSuite() {
        // Before any thread: the probes' process-wide parts.
        CHttpClient::InitLibrary();
        _CPING_ICMP::Get();
    }

    void SetUp() override {
        const std::string strWhy = CNetnsLab::WhyUnavailable();
        if (!strWhy.empty())
            GTEST_SKIP() << "The engine's end-to-end tests make network namespaces: " << strWhy;
        if (std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0)
            GTEST_SKIP() << "The engine's end-to-end tests need python3-aiosmtpd for "
                            "/usr/bin/python3 (scripts/setup)";
        m_pLab = std::make_unique<CNetnsLab>("eng");
        m_strC = m_pLab->Add("c");
        m_strH1 = m_pLab->Add("h1");
        m_strH2 = m_pLab->Add("h2");
        ASSERT_FALSE(m_strC.empty() || m_strH1.empty() || m_strH2.empty());
        ASSERT_TRUE(m_pLab->Link(m_strC, "vc1", "10.77.1.1/24", m_strH1, "vh1", "10.77.1.2/24"));
        ASSERT_TRUE(m_pLab->Link(m_strC, "vc2", "10.77.2.1/24", m_strH2, "vh2", "10.77.2.2/24"));
        ASSERT_TRUE(m_pLab->Ip(m_strC, "route add default via 10.77.2.2"));
        m_strCliNs = m_strC;
    }

    void TearDown() override {
        StopSmtpSink();
        m_arrServers.clear();
        m_pLab.reset();
    }

    // An HTTP server on port 80 of a host namespace.
    CLoopbackHttpServer& StartWebServer(const std::string& strNs, CLoopbackHttpServer::EMode mode,
                                        const std::string& strReply) {
        m_arrServers.push_back(m_pLab->InNamespace(strNs, [&] {
            return std::make_unique<CLoopbackHttpServer>(mode, strReply, "0.0.0.0", 80);
        }));
        return *m_arrServers.back();
    }

    // aiosmtpd on 127.0.0.1 port 25 of the engine's namespace.
    void StartSmtpSink() {
        m_strMailDir = m_dir / "mail";
        fs::create_directory(m_strMailDir);
        m_pidSink = fork();
        ASSERT_GE(m_pidSink, 0);
        if (m_pidSink == 0) {
            execl("/usr/sbin/ip", "ip", "netns", "exec", m_strC.c_str(), "/usr/bin/python3",
                  VANTREL_SMTP_SINK, "25", m_strMailDir.c_str(), "watcher", "pa55",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 300 && !fs::exists(m_strMailDir + "/ready"); ++i) {
            ASSERT_EQ(waitpid(m_pidSink, nullptr, WNOHANG), 0) << "the SMTP sink stopped";
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(fs::exists(m_strMailDir + "/ready")) << "the SMTP sink did not start";
    }
    void StopSmtpSink() {
        if (m_pidSink > 0) {
            kill(m_pidSink, SIGTERM);
            waitpid(m_pidSink, nullptr, 0);
            m_pidSink = -1;
        }
    }
    std::vector<std::string> ReceivedMails() const {
        std::vector<std::string> arrMails;
        for (int i = 1; fs::exists(m_strMailDir + "/" + std::to_string(i) + ".eml"); ++i)
            arrMails.push_back(ReadFileBytes(m_strMailDir + "/" + std::to_string(i) + ".eml"));
        return arrMails;
    }

    CEngineSeams Seams(CEngineClock& clock) {
        CEngineSeams seams;
        seams.pProbes = &m_probes;
        seams.pAlerts = &m_alerts;
        seams.pRowSink = &m_rows;
        seams.pClock = &clock;
        seams.nMillisecondsPerMinute = 100;
        return seams;
    }

    // Runs the worker in the engine's namespace until the clock ends it.
    void RunWorker(CVantrelDoc& doc, CCycleClock& clock) {
        const CEngineSeams seams = Seams(clock);
        m_pLab->InNamespace(m_strC, [&] { TestWorker(doc, seams); });
    }

    std::unique_ptr<CNetnsLab> m_pLab;
    std::string m_strC, m_strH1, m_strH2;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> m_arrServers;
    std::string m_strMailDir;
    pid_t m_pidSink = -1;

    CRecordingSink m_sink;
    CSystemProbes m_probes;
    CRecordingAlerts m_alerts;
    CRecordingRows m_rows;
};

TEST_F(EngineLab, HostWhoseLinkGoesDownGivesOneDownResultAndOneAlertMail) {
    CLoopbackHttpServer& web = StartWebServer(m_strH1, CLoopbackHttpServer::EMode::Reply, OK_REPLY);
    StartSmtpSink();
    CVantrelDoc doc(m_sink, nullptr);
    ASSERT_TRUE(doc.OnNewDocument(m_dir / "Vantrel.dat", CAppSettings()));
    doc.m_strSMTP = "127.0.0.1";
    doc.m_strEmailFrom = "Vantrel <alerts@example.test>";
    doc.m_strEmailTo = "ops@example.test";
    doc.m_bAlertEmail = 1;
    CHost& host = AddHost(doc, "http://10.77.1.2/index.html");

    CCycleClock clock;
    CSMTPMailSender sender;
    CHostDownAlert alert(sender, clock);
    CEngineSeams seams = Seams(clock);
    seams.pAlerts = &alert;
    std::vector<int32_t> arrStateAtWait;
    clock.m_onWait = [&](int nWait) {
        arrStateAtWait.push_back(host.m_nState);
        if (nWait == 1) {
            EXPECT_TRUE(m_pLab->Ip(m_strH1, "link set vh1 down"));
        }
        return nWait == 3;
    };
    m_pLab->InNamespace(m_strC, [&] { TestWorker(doc, seams); });

    EXPECT_THAT(arrStateAtWait, ElementsAre(HOST_UP, HOST_DOWN, HOST_DOWN));
    EXPECT_EQ(host.m_nTests, 3);
    EXPECT_EQ(host.m_nTestsUp, 1);
    EXPECT_EQ(host.m_pPingHistory->size(), 1u);
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(doc.m_bAlertEmail, 1);

    const auto arrRequests = web.GetRequests();
    ASSERT_EQ(arrRequests.size(), 1u);
    EXPECT_EQ(arrRequests[0].rfind("GET /index.html HTTP/1.1\r\n", 0), 0u) << arrRequests[0];
    EXPECT_THAT(arrRequests[0], HasSubstr("\r\nHost: 10.77.1.2\r\n"));
    EXPECT_THAT(arrRequests[0],
                HasSubstr("\r\nUser-Agent: Vantrel https://www.vantrel.example/\r\n"));

    const auto arrMails = ReceivedMails();
    ASSERT_EQ(arrMails.size(), 1u) << "one alert for one up-to-down change";
    EXPECT_THAT(arrMails[0], HasSubstr("\r\nSubject: The host 10.77.1.2 went down\r\n"));
    EXPECT_THAT(arrMails[0], HasSubstr("\r\n\r\nThis is an automatically generated message.\r\n"
                                       "The host http://10.77.1.2 went down.\r\n"));
    EXPECT_THAT(arrMails[0], HasSubstr(" UTC by Vantrel.\r\n\r\n----- Vantrel - choose your web "
                                       "host by measurement -----\r\n"));
    // Delivered without a login, from the sender to the recipient.
    const std::string strEnvelope = ReadFileBytes(m_strMailDir + "/1.env");
    EXPECT_EQ(strEnvelope.substr(strEnvelope.find('\n')),
              "\n-\nalerts@example.test\nops@example.test\n");
}

TEST_F(EngineLab, HostThatDropsEchoesIsDownWithAnEmptyHistoryAndNoWebRequest) {
    ASSERT_TRUE(m_pLab->Exec(m_strH2, "sysctl -q net.ipv4.icmp_echo_ignore_all=1"));
    CLoopbackHttpServer& web = StartWebServer(m_strH2, CLoopbackHttpServer::EMode::Reply, OK_REPLY);
    CVantrelDoc doc(m_sink, nullptr);
    ASSERT_TRUE(doc.OnNewDocument(m_dir / "Vantrel.dat", CAppSettings()));
    CHost& host = AddHost(doc, "http://10.77.2.2/");
    CCycleClock clock;
    clock.m_onWait = [](int) { return true; };
    const auto start = std::chrono::steady_clock::now();
    RunWorker(doc, clock);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(host.m_nState, HOST_DOWN);
    EXPECT_EQ(host.m_nTests, 1);
    EXPECT_EQ(host.GetAvgPingText(), "- ms");
    EXPECT_EQ(host.GetUptimeText(), "0.0%");
    EXPECT_EQ(web.GetConnections(), 0);
    // Four echoes of 5000 ms each went unanswered.
    EXPECT_GE(elapsed, 19s);
    EXPECT_THAT(m_alerts.GetServers(), IsEmpty());
}

TEST_F(EngineLab, ErrorPageCountsAsUpAndAHugeBodyIsNotDownloaded) {
    StartWebServer(m_strH1, CLoopbackHttpServer::EMode::Reply,
                   "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
    CLoopbackHttpServer& huge =
        StartWebServer(m_strH2, CLoopbackHttpServer::EMode::EndlessBody,
                       "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       "Content-Length: 1073741824\r\n\r\n");
    CVantrelDoc doc(m_sink, nullptr);
    ASSERT_TRUE(doc.OnNewDocument(m_dir / "Vantrel.dat", CAppSettings()));
    CHost& error = AddHost(doc, "http://10.77.1.2/broken");
    CHost& big = AddHost(doc, "http://10.77.2.2/1GiB.bin");
    CCycleClock clock;
    clock.m_onWait = [](int) { return true; };
    const auto start = std::chrono::steady_clock::now();
    RunWorker(doc, clock);

    EXPECT_EQ(error.GetStatusText(), "Testing - Up");
    EXPECT_EQ(big.GetStatusText(), "Testing - Up");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    // The connection was dropped after the headers, long before 1 GiB went over it.
    for (int i = 0; i < 200 && !huge.ClientWentAway(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(huge.ClientWentAway());
    EXPECT_LT(huge.GetBodyBytesSent(), 64u << 20);
}

TEST_F(EngineLab, StopWhileAnEchoWaitsEndsWithinTheEchoTimeout) {
    ASSERT_TRUE(m_pLab->Exec(m_strH2, "sysctl -q net.ipv4.icmp_echo_ignore_all=1"));
    CSystemClock clock;
    CTestEngine engine(Seams(clock), nullptr);
    CVantrelDoc doc(m_sink, &engine);
    CHost& host = AddHost(doc, "http://10.77.2.2/");
    // The worker thread is made in the engine's namespace and stays there.
    m_pLab->InNamespace(m_strC, [&] { doc.OnNewDocument(m_dir / "Vantrel.dat", CAppSettings()); });
    std::this_thread::sleep_for(1500ms); // inside the first echo's 5000 ms
    const auto start = std::chrono::steady_clock::now();
    doc.StopTests();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_LT(elapsed, 5000ms);
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(host.m_nTests, 0);
    EXPECT_EQ(host.m_nState, HOST_UNKNOWN);
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
}

TEST_F(EngineLab, PingAndProbeVerbsTestLikeTheEngine) {
    StartWebServer(m_strH1, CLoopbackHttpServer::EMode::Reply,
                   "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n");
    const CRun ping = RunCli({"ping", H1_ADDRESS});
    EXPECT_EQ(ping.nExit, 0) << ping.strErr;
    EXPECT_EQ(ping.strOut.rfind("Echo 1: reply from 10.77.1.2, time ", 0), 0u) << ping.strOut;
    EXPECT_THAT(ping.strOut, HasSubstr(" ms, status 0\n"));

    const CRun up = RunCli({"probe", "http://10.77.1.2/status"});
    EXPECT_EQ(up.nExit, 0) << up.strErr;
    EXPECT_THAT(up.strOut, HasSubstr("\nUp: ping "));

    // No web server on H2: the echo is answered, the request is refused.
    const CRun down = RunCli({"probe", "http://10.77.2.2/"});
    EXPECT_EQ(down.nExit, 1) << down.strErr;
    EXPECT_THAT(down.strOut, HasSubstr("\nDown: ping "));

    const CRun ftp = RunCli({"probe", "ftp://10.77.1.2/pub"});
    EXPECT_EQ(ftp.nExit, 2);
    EXPECT_EQ(ftp.strErr, "vantrelctl: Unknown service type for URL:ftp://10.77.1.2/pub\nThe "
                          "tests will stop for this host.\n");
    EXPECT_EQ(ftp.strOut, "");
}

TEST_F(EngineLab, PingVerbReportsEveryUnansweredEcho) {
    ASSERT_TRUE(m_pLab->Exec(m_strH2, "sysctl -q net.ipv4.icmp_echo_ignore_all=1"));
    const CRun ping = RunCli({"ping", H2_ADDRESS});
    EXPECT_EQ(ping.nExit, 1);
    EXPECT_EQ(ping.strOut, "Echo 1: no reply, last error 11010\nEcho 2: no reply, last error "
                           "11010\nEcho 3: no reply, last error 11010\nEcho 4: no reply, last "
                           "error 11010\nNo answer after 4 echoes\n");
}

TEST_F(EngineLab, RunVerbTestsTheDataFileAndSavesOnSigterm) {
    StartWebServer(m_strH1, CLoopbackHttpServer::EMode::Reply, OK_REPLY);
    const std::string strData = WriteDataFile({"http://10.77.1.2/"});
    const CRun two = RunCli({"run", "--data", strData, "--cycles", "2", "--minute-ms", "50"});
    EXPECT_EQ(two.nExit, 0) << two.strErr;
    EXPECT_EQ(std::count(two.strOut.begin(), two.strOut.end(), '\n'), 2) << two.strOut;
    EXPECT_THAT(two.strOut, HasSubstr("0\thttp://10.77.1.2/\tTesting - Up\t"));
    EXPECT_EQ(SavedTests(strData), "2 tests, 2 up");

    // Without a cycle limit it runs until SIGTERM, then stops gracefully and saves.
    const CRun stopped =
        RunCli({"run", "--data", strData}, [&](pid_t pid, const std::string& strOut) {
            for (int i = 0; i < 500 && ReadFileBytes(strOut).empty(); ++i)
                std::this_thread::sleep_for(20ms);
            kill(pid, SIGTERM);
        });
    EXPECT_EQ(stopped.nExit, 0) << stopped.strErr;
    EXPECT_THAT(stopped.strErr, HasSubstr("stopping"));
    EXPECT_EQ(SavedTests(strData), "3 tests, 3 up");
}

TEST_F(EngineLab, AlertTestVerbSendsTheAlertMailAndShowsTheExchange) {
    StartSmtpSink();
    WriteSettings("127.0.0.1");
    const CRun run = RunCli({"alert-test", "--server-name", "www.alpha.test"});
    EXPECT_EQ(run.nExit, 0) << run.strOut << run.strErr;
    EXPECT_EQ(run.strOut.rfind("Connecting to 127.0.0.1 port 25 with no login\n", 0), 0u)
        << run.strOut;
    EXPECT_THAT(run.strOut, HasSubstr("Server: 220 "));
    EXPECT_THAT(run.strOut, HasSubstr("Sent with login method 0.\n"));
    const auto arrMails = ReceivedMails();
    ASSERT_EQ(arrMails.size(), 1u);
    EXPECT_THAT(arrMails[0], HasSubstr("\r\nSubject: The host www.alpha.test went down\r\n"));

    // A server nobody listens on: every attempt fails to connect.
    WriteSettings("10.77.1.2");
    const CRun refused = RunCli({"alert-test"});
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_THAT(refused.strErr,
                HasSubstr("vantrelctl: Vantrel couldn't connect to SMTP server, last error:"));
    EXPECT_THAT(refused.strOut, HasSubstr("Client: CSMTPConnection::Connect, Could not connect to "
                                          "the SMTP server 10.77.1.2 on port 25"));
}

} // namespace

namespace {

// Verbs refusing what they cannot use; no network is touched.
TEST_F(CliTest, EngineVerbsRefuseUnusableInput) {
    const CRun bad = RunCli({"probe", "not a url"});
    EXPECT_EQ(bad.nExit, 2);
    EXPECT_EQ(bad.strErr, "vantrelctl: Cannot parse server URL:not a url\nThe tests will stop "
                          "for this host.\n");
    const CRun ftp = RunCli({"probe", "ftp://127.0.0.1/pub"});
    EXPECT_EQ(ftp.nExit, 2);
    EXPECT_EQ(ftp.strErr, "vantrelctl: Unknown service type for URL:ftp://127.0.0.1/pub\nThe "
                          "tests will stop for this host.\n");
    EXPECT_EQ(RunCli({"ping"}).nExit, 2);
    EXPECT_EQ(RunCli({"run", "--cycles", "x"}).nExit, 2);

    const CRun noMail = RunCli({"alert-test"});
    EXPECT_EQ(noMail.nExit, 1);
    EXPECT_THAT(noMail.strErr, HasSubstr("lack the SMTP server, the recipient or the sender"));
}

TEST_F(CliTest, RunRefusesToRunBesideAnotherEngine) {
    const std::string strData = WriteDataFile({});
    const CRun first = RunCli({"run", "--data", strData}, [&](pid_t pid, const std::string&) {
        for (int i = 0; i < 500 && !fs::exists(m_dir / "VantrelMutex.lock"); ++i)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(300ms);
        const CRun second = RunCli({"run", "--data", strData, "--cycles", "1"});
        EXPECT_EQ(second.nExit, 1);
        EXPECT_EQ(second.strErr, "vantrelctl: Vantrel is already running; its test engine would "
                                 "compete with this one.\n");
        kill(pid, SIGINT);
    });
    EXPECT_EQ(first.nExit, 0) << first.strErr;
}

} // namespace
