// The desktop program as a user runs it, offscreen and left alone (its boxes stay open), with
// hosts in network namespaces made here, aiosmtpd on the program's loopback and a notification
// service on a private session bus. Nothing is sent anywhere else.
#include "core/message_sink.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <thread>

using ::testing::HasSubstr;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using EMode = CLoopbackHttpServer::EMode;

namespace {

const char OK_REPLY[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

struct CNoSink : CMessageSink {
    void ShowMessage(const std::string&) override {}
};

bool WaitFor(const std::function<bool()>& fnDone, std::chrono::milliseconds limit) {
    for (const auto tEnd = Clock::now() + limit; Clock::now() < tEnd;) {
        if (fnDone())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return fnDone();
}

// Gone, or a zombie nobody reaps.
bool IsGone(pid_t nPid) {
    const std::string strStat = ReadFileBytes("/proc/" + std::to_string(nPid) + "/stat");
    const size_t nParen = strStat.rfind(')');
    return nParen == std::string::npos || strStat.compare(nParen + 2, 1, "Z") == 0;
}

// The program runs in namespace c, which reaches hN at 10.77.N.2 (N = 1, 2); its default route
// points into h1.
class AppLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty())
            GTEST_SKIP() << "The program's end-to-end tests make network namespaces: " << strWhy;
        m_strC = m_lab.Add("c");
        for (const std::string n : {"1", "2"})
            ASSERT_TRUE(m_lab.Link(m_strC, "vc" + n, "10.77." + n + ".1/24", m_lab.Add("h" + n),
                                   "vh" + n, "10.77." + n + ".2/24"));
        ASSERT_TRUE(m_lab.Ip(m_strC, "route add default via 10.77.1.2"));
        std::filesystem::create_directories(m_dir / "config/Vantrel Software");
        WriteFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf",
                       "[Settings]\nAlertSystem=1\nAlertEmail=1\nEmailFrom=Vantrel "
                       "<alerts@example.test>\nEmailTo=ops@example.test\nSMTP=127.0.0.1\nIniPath=" +
                           m_strData + "\n");
    }
    void TearDown() override {
        if (m_nPid > 0 && !IsGone(m_nPid))
            ::kill(m_nPid, SIGKILL);
        if (!m_strC.empty())
            for (const std::string& strNs : {m_strC, Ns(1), Ns(2)})
                m_lab.Run("ip netns pids " + strNs + " | xargs -r kill");
        if (!m_strBus.empty())
            CNetnsLab::Run("kill $(cat " + m_dir / "bus.pid" + ") 2>/dev/null");
    }

    std::string Ns(int n) { return m_strC.substr(0, m_strC.size() - 1) + "h" + std::to_string(n); }
    CLoopbackHttpServer* StartWeb(int nHost, EMode mode) {
        return m_arrWeb
            .emplace_back(m_lab.InNamespace(Ns(nHost),
                                            [&] {
                                                return std::make_unique<CLoopbackHttpServer>(
                                                    mode, OK_REPLY, "0.0.0.0", 80);
                                            }))
            .get();
    }
    // Tested hosts "Host1", "Host2", ... at these URLs, every minute.
    void WriteData(const std::vector<std::string>& arrURLs) {
        CNoSink sink;
        CVantrelDoc doc(sink, nullptr);
        ASSERT_TRUE(doc.OnNewDocument(m_strData, CAppSettings()));
        for (const std::string& strURL : arrURLs) {
            auto* pHost = new CHost;
            pHost->m_strName = "Host" + std::to_string(doc.m_arrHosts.size() + 1);
            pHost->m_strTestURL = strURL;
            pHost->m_bTesting = 1;
            doc.AddHost(pHost);
        }
        doc.m_nIntervalMinutes = 1;
        ASSERT_TRUE(doc.SaveHosts());
    }
    // aiosmtpd on 127.0.0.1 port 25 of c; mail goes to mail/N.eml.
    void StartSmtpSink() {
        std::filesystem::create_directories(m_strMail);
        std::filesystem::remove(m_strMail + "/ready");
        m_lab.Exec(m_strC, "/usr/bin/python3 " VANTREL_SMTP_SINK " 25 " + m_strMail +
                               " watcher pa55 >/dev/null 2>&1 & (echo $! >" + m_dir / "smtp.pid)");
        ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(m_strMail + "/ready"); }, 15s))
            << "aiosmtpd did not start; /usr/bin/python3 needs python3-aiosmtpd (scripts/setup)";
    }
    void StopSmtpSink() {
        CNetnsLab::Run("kill $(cat " + m_dir / "smtp.pid" + ")");
        WaitFor([] { return false; }, 300ms);
        std::filesystem::remove_all(m_strMail); // the next sink counts from 1 again
    }
    // A private session bus with the notification service of python3-dbusmock, logging calls.
    void StartNotificationService() {
        m_strBus = "unix:path=" + m_dir / "bus";
        ASSERT_TRUE(CNetnsLab::Run("(dbus-daemon --session --address=" + m_strBus +
                                   " --fork --print-pid >" + m_dir / "bus.pid)"));
        CNetnsLab::Run("DBUS_SESSION_BUS_ADDRESS=" + m_strBus +
                       " /usr/bin/python3 -m dbusmock -t notification_daemon -l " +
                       m_dir / "notify.log" + " >/dev/null 2>&1 &");
        ASSERT_TRUE(WaitFor(
            [&] {
                return CNetnsLab::Run(
                    "DBUS_SESSION_BUS_ADDRESS=" + m_strBus +
                    " dbus-send --session --print-reply "
                    "--dest=org.freedesktop.Notifications "
                    "/org/freedesktop/Notifications "
                    "org.freedesktop.Notifications.GetServerInformation 2>/dev/null");
            },
            15s))
            << "no notification service; /usr/bin/python3 needs python3-dbusmock (scripts/setup)";
    }
    void StartProgram() {
        const std::string strDir = m_dir.Path();
        ASSERT_TRUE(CNetnsLab::Run("XDG_CONFIG_HOME=" + strDir + "/config XDG_DATA_HOME=" + strDir +
                                   " XDG_RUNTIME_DIR=" + strDir + " DBUS_SESSION_BUS_ADDRESS=" +
                                   (m_strBus.empty() ? "unix:path=/nonexistent" : m_strBus) +
                                   " QT_QPA_PLATFORM=offscreen VANTREL_TEST_MINUTE_MS=1000 "
                                   "VANTREL_TEST_MAIL_RETRY_MS=3000 ip netns exec " +
                                   m_strC + " " VANTREL_PATH " >>" + strDir +
                                   "/program.log 2>&1 </dev/null & (echo $! >" + strDir +
                                   "/program.pid)"));
        m_nPid = std::stoi(ReadFileBytes(m_dir / "program.pid"));
    }
    // SIGTERM; how long until the process has gone (printed).
    Clock::duration Terminate(const char* pszWhile) {
        const auto tStart = Clock::now();
        ::kill(m_nPid, SIGTERM);
        EXPECT_TRUE(WaitFor([&] { return IsGone(m_nPid); }, 30s));
        const auto took = Clock::now() - tStart;
        std::printf("exit %s: %lld ms\n", pszWhile,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        return took;
    }
    std::string Mail(int n) { return ReadFileBytes(m_strMail + "/" + std::to_string(n) + ".eml"); }
    // The UTC time the alert's body names ("generated on Sat Dec  5 10:06:43 2026 UTC").
    static time_t MailTime(const std::string& strMail) {
        const size_t nAt = strMail.find("generated on ");
        struct tm tmUtc {};
        if (nAt == std::string::npos ||
            !strptime(strMail.c_str() + nAt + 13, "%a %b %d %H:%M:%S %Y", &tmUtc))
            return 0;
        return timegm(&tmUtc);
    }

    CTempDir m_dir;
    const std::string m_strMail = m_dir / "mail", m_strData = m_dir / "Vantrel.dat";
    CNetnsLab m_lab{"app"};
    std::string m_strC, m_strBus;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> m_arrWeb;
    pid_t m_nPid = 0;
};

// Host2 is black-holed while nobody closes its box: Host1 goes on being tested, the e-mail
// arrives within seconds naming the moment of the outage, the desktop is notified; with the
// mail server down the host's back-up e-mail is retried and delivered later, and e-mail alerts
// stay on. An exit while a test waits for the black hole takes under a second.
TEST_F(AppLab, AnOutageWithItsBoxOpenHoldsNothingUp) {
    CLoopbackHttpServer& good = *StartWeb(1, EMode::Reply);
    CLoopbackHttpServer& flaky = *StartWeb(2, EMode::Reply);
    WriteData({"http://10.77.1.2/", "http://10.77.2.2/"});
    StartSmtpSink();
    StartNotificationService();
    StartProgram();
    ASSERT_TRUE(WaitFor([&] { return flaky.GetConnections() > 0; }, 20s)) << "Host2 never up";

    const time_t tBlackHole = time(nullptr);
    ASSERT_TRUE(m_lab.Ip(Ns(2), "route add blackhole 10.77.2.1/32"));
    ASSERT_TRUE(WaitFor([&] { return !Mail(1).empty(); }, 60s)) << "no down e-mail";
    const time_t tMail = time(nullptr);
    const time_t tFound = MailTime(Mail(1));
    EXPECT_THAT(Mail(1), HasSubstr("\r\nSubject: The host 10.77.2.2 went down\r\n"));
    EXPECT_TRUE(tFound >= tBlackHole && tFound <= tMail && tMail - tFound <= 5)
        << tBlackHole << " " << tFound << " " << tMail;
    const std::string strNotified = ReadFileBytes(m_dir / "notify.log");
    EXPECT_THAT(strNotified, HasSubstr("Notify \"Vantrel\" 0 \"vantrel\" \"Host down: Host2\" "
                                       "\"http://10.77.2.2/\nFound down at "));

    // The box stays open: Host1 is tested again while Host2 goes on timing out.
    const int nGood = good.GetConnections();
    EXPECT_TRUE(WaitFor([&] { return good.GetConnections() >= nGood + 1; }, 45s))
        << "Host1 was not tested while the box was open";

    // Back up while the mail server is down: told later, when it answers again.
    StopSmtpSink();
    const int nFlaky = flaky.GetConnections();
    ASSERT_TRUE(m_lab.Ip(Ns(2), "route del blackhole 10.77.2.1/32"));
    ASSERT_TRUE(WaitFor([&] { return flaky.GetConnections() > nFlaky; }, 60s));
    StartSmtpSink();
    ASSERT_TRUE(WaitFor([&] { return !Mail(1).empty(); }, 30s)) << "the retry did not deliver";
    EXPECT_THAT(Mail(1), HasSubstr("\r\nSubject: The host 10.77.2.2 is up again\r\n"));
    EXPECT_THAT(Mail(1), HasSubstr("The host Host2 (http://10.77.2.2/) is up again after "));

    // Exit while Host2's echo waits for the black hole.
    ASSERT_TRUE(m_lab.Ip(Ns(2), "route add blackhole 10.77.2.1/32"));
    const int nFlakyAgain = flaky.GetConnections();
    std::this_thread::sleep_for(8s);
    EXPECT_EQ(flaky.GetConnections(), nFlakyAgain);
    const auto exitTime = Terminate("while an echo waits for a black hole");
    EXPECT_LT(exitTime, 1s) << "behind a black-holed echo";
    EXPECT_THAT(ReadFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf"),
                HasSubstr("AlertEmail=1"));
}

// Exit while an alert e-mail waits for a mail server that accepted and never answers, and while
// a web request waits for a silent server: the process is gone within a second each time, and
// the tests made before are on disk.
TEST_F(AppLab, ExitTakesUnderASecondWhateverItWaitsFor) {
    m_lab.Exec(m_strC, "/usr/bin/python3 -c \"import socket, time\ns = socket.socket()\n"
                       "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                       "s.bind(('127.0.0.1', 25))\ns.listen()\ntime.sleep(600)\" &");
    StartWeb(1, EMode::Reply);
    WriteData({"http://10.77.1.2/"});
    StartProgram();
    ASSERT_TRUE(WaitFor([&] { return m_arrWeb[0]->GetConnections() > 0; }, 20s));
    m_arrWeb.clear(); // refused from now on: down at the next test, and its e-mail is sent
    ASSERT_TRUE(WaitFor(
        [&] {
            return CNetnsLab::Run("ip netns exec " + m_strC +
                                  " ss -Htn state established '( dport = :25 )' | grep -q .");
        },
        20s))
        << "no alert e-mail under way";
    EXPECT_LT(Terminate("while an alert e-mail waits for a silent mail server"), 1s);

    CNoSink sink;
    CVantrelDoc doc(sink, nullptr);
    doc.LoadHosts(m_strData);
    ASSERT_EQ(doc.m_arrHosts.size(), 1u);
    EXPECT_GE(doc.m_arrHosts[0]->m_nTests, 2);
    EXPECT_EQ(doc.m_arrHosts[0]->m_nTestsUp, 1);

    CLoopbackHttpServer& silent = *StartWeb(2, EMode::Silent);
    WriteData({"http://10.77.2.2/"});
    StartProgram();
    ASSERT_TRUE(WaitFor([&] { return silent.GetConnections() > 0; }, 20s));
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(Terminate("while a web request waits for a silent server"), 1s);
}

} // namespace
