#pragma once

// The desktop program as a user runs it, for the end-to-end tests and the benchmark: hosts in
// network namespaces made here, aiosmtpd on the program's loopback and a notification service
// on a private session bus. Nothing is sent anywhere else.
#include "core/message_sink.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace app_lab {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using EMode = CLoopbackHttpServer::EMode;

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

// The desktop program, offscreen and left alone, in namespace c, which reaches hN at 10.77.N.2
// (N = 1, 2); its default route points into h1. A minute of the interval lasts a second, a
// failed alert e-mail is tried again after 3 s. Failures to set up throw.
class CAppLab {
public:
    // Makes the namespaces and the program's settings (root needed: CNetnsLab::WhyUnavailable).
    void Open() {
        m_strC = m_lab.Add("c");
        for (const std::string n : {"1", "2"})
            Require(m_lab.Link(m_strC, "vc" + n, "10.77." + n + ".1/24", m_lab.Add("h" + n),
                               "vh" + n, "10.77." + n + ".2/24"),
                    "cannot link the namespaces");
        Require(m_lab.Ip(m_strC, "route add default via 10.77.1.2"), "no default route");
        Require(::mkfifo((m_dir / "commands").c_str(), 0600) == 0, "no command FIFO");
        std::filesystem::create_directories(m_dir / "config/Vantrel Software");
        WriteFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf",
                       "[Settings]\nAlertSystem=1\nAlertEmail=1\nEmailFrom=Vantrel "
                       "<alerts@example.test>\nEmailTo=ops@example.test\nSMTP=127.0.0.1\nIniPath=" +
                           m_strData + "\n");
    }
    ~CAppLab() {
        if (m_nPid > 0 && !IsGone(m_nPid))
            ::kill(m_nPid, SIGKILL);
        if (!m_strC.empty()) {
            std::filesystem::remove_all("/etc/netns/" + m_strC);
            for (const std::string& strNs : {m_strC, Ns(1), Ns(2)})
                m_lab.Run("ip netns pids " + strNs + " | xargs -r kill");
        }
        if (!m_strBus.empty())
            CNetnsLab::Run("kill $(cat " + m_dir / "bus.pid" + ") 2>/dev/null");
    }

    std::string Ns(int n) { return m_strC.substr(0, m_strC.size() - 1) + "h" + std::to_string(n); }
    CLoopbackHttpServer* StartWeb(int nHost, EMode mode, uint16_t nPort = 80) {
        const auto fnMake = [&] {
            return std::make_unique<CLoopbackHttpServer>(mode, OK_REPLY, "0.0.0.0", nPort);
        };
        return m_arrWeb.emplace_back(m_lab.InNamespace(Ns(nHost), fnMake)).get();
    }
    // A new data file: tested hosts "Host1", "Host2", ... at these URLs, every minute.
    void WriteData(const std::vector<std::string>& arrURLs) {
        std::filesystem::remove(m_strData);
        CNoSink sink;
        CVantrelDoc doc(sink, nullptr);
        Require(doc.OnNewDocument(m_strData, CAppSettings()), "cannot create the data file");
        for (const std::string& strURL : arrURLs) {
            auto* pHost = new CHost;
            pHost->m_strName = "Host" + std::to_string(doc.m_arrHosts.size() + 1);
            pHost->m_strTestURL = strURL;
            pHost->m_bTesting = 1;
            doc.AddHost(pHost);
        }
        doc.m_nIntervalMinutes = 1;
        Require(doc.SaveHosts(), "cannot write the data file");
    }
    // aiosmtpd on 127.0.0.1 port 25 of c; mail goes to mail/N.eml.
    void StartSmtpSink() {
        std::filesystem::create_directories(m_strMail);
        std::filesystem::remove(m_strMail + "/ready");
        m_lab.Exec(m_strC, "/usr/bin/python3 " VANTREL_SMTP_SINK " 25 " + m_strMail +
                               " watcher pa55 >/dev/null 2>&1 & (echo $! >" + m_dir / "smtp.pid)");
        Require(WaitFor([&] { return std::filesystem::exists(m_strMail + "/ready"); }, 15s),
                "aiosmtpd did not start; /usr/bin/python3 needs python3-aiosmtpd (scripts/setup)");
    }
    // A mail server on 127.0.0.1 port 25 of c that accepts and never says a word.
    void StartSilentMailServer() {
        m_lab.Exec(m_strC, "/usr/bin/python3 -c \"import socket, time\ns = socket.socket()\n"
                           "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
                           "s.bind(('127.0.0.1', 25))\ns.listen()\ntime.sleep(600)\" &");
    }
    // True while the program has a connection open to strPort.
    bool IsConnectedTo(const std::string& strPort) {
        return CNetnsLab::Run("ip netns exec " + m_strC +
                              " ss -Htn state established '( dport = :" + strPort +
                              " )' | grep -q .");
    }
    void StopSmtpSink() {
        CNetnsLab::Run("kill $(cat " + m_dir / "smtp.pid" + ")");
        std::this_thread::sleep_for(300ms);
        std::filesystem::remove_all(m_strMail); // the next sink counts from 1 again
    }
    // A private session bus with the notification service of python3-dbusmock, logging calls.
    void StartNotificationService() {
        m_strBus = "unix:path=" + m_dir / "bus";
        Require(CNetnsLab::Run("(dbus-daemon --session --address=" + m_strBus +
                               " --fork --print-pid >" + m_dir / "bus.pid)"),
                "no dbus-daemon");
        const std::string strBus = "DBUS_SESSION_BUS_ADDRESS=" + m_strBus;
        CNetnsLab::Run(strBus + " /usr/bin/python3 -m dbusmock -t notification_daemon -l " +
                       m_dir / "notify.log" + " >/dev/null 2>&1 &");
        const std::string strAsk = strBus + " dbus-send --session --print-reply --dest=org."
                                            "freedesktop.Notifications /org/freedesktop/"
                                            "Notifications org.freedesktop.Notifications."
                                            "GetServerInformation 2>/dev/null";
        Require(WaitFor([&] { return CNetnsLab::Run(strAsk); }, 15s),
                "no notification service; /usr/bin/python3 needs python3-dbusmock (scripts/setup)");
    }
    // The program, or the same program with its menus driven by Command (VANTREL_DRIVEN_PATH).
    void StartProgram(const char* pszProgram = VANTREL_PATH) {
        const std::string strDir = m_dir.Path();
        Require(CNetnsLab::Run(
                    "VANTREL_DRIVER_FIFO=" + strDir + "/commands VANTREL_DRIVER_LOG=" + strDir +
                    "/driver.log XDG_CONFIG_HOME=" + strDir + "/config XDG_DATA_HOME=" + strDir +
                    " XDG_RUNTIME_DIR=" + strDir + " DBUS_SESSION_BUS_ADDRESS=" +
                    (m_strBus.empty() ? "unix:path=/nonexistent" : m_strBus) +
                    " QT_QPA_PLATFORM=offscreen VANTREL_TEST_MINUTE_MS=1000 "
                    "VANTREL_TEST_MAIL_RETRY_MS=3000 ip netns exec " +
                    m_strC + " " + pszProgram + " >>" + strDir +
                    "/program.log 2>&1 </dev/null & (echo $! >" + strDir + "/program.pid)"),
                "cannot start the program");
        m_nPid = std::stoi(ReadFileBytes(m_dir / "program.pid"));
    }
    // SIGTERM; how long until the process has gone (printed; 30 s when it did not go).
    Clock::duration Terminate(const char* pszWhile) {
        const auto tStart = Clock::now();
        ::kill(m_nPid, SIGTERM);
        WaitFor([&] { return IsGone(m_nPid); }, 30s);
        const auto took = Clock::now() - tStart;
        std::printf("exit %s: %lld ms\n", pszWhile,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
        return took;
    }
    // A menu command for the driven program ("stop", "exit", "logout", "edit").
    void Command(const std::string& strCommand) {
        int nFd = -1; // ENXIO until the program, started, reads the FIFO
        WaitFor(
            [&] {
                nFd = ::open((m_dir / "commands").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                return nFd >= 0;
            },
            10s);
        const std::string strLine = strCommand + "\n";
        Require(nFd >= 0 && ::write(nFd, strLine.data(), strLine.size()) ==
                                static_cast<ssize_t>(strLine.size()),
                "the driven program does not read its commands");
        ::close(nFd);
    }
    // How long the driven program's command took by its own clock, -1 when it has not said
    // within 10 s.
    long long CommandMs(const std::string& strCommand) {
        long long nMs = -1;
        WaitFor(
            [&] {
                const std::string strLog = ReadFileBytes(m_dir / "driver.log");
                const size_t nAt = strLog.rfind(strCommand + " ");
                if (nAt != std::string::npos)
                    nMs = std::atoll(strLog.c_str() + nAt + strCommand.size() + 1);
                return nMs >= 0;
            },
            10s);
        std::filesystem::remove(m_dir / "driver.log");
        return nMs;
    }

    // Where one test of the program is when the user acts: in each kind of wait.
    enum class EHeld { ECHO, WEB, TLS, DNS, MAIL, INTERVAL }; // HELD_STEPS in this order
    struct CHeldStep {
        EHeld eHeld;
        const char* pszName;
    };
    static constexpr CHeldStep HELD_STEPS[] = {
        {EHeld::ECHO, "an echo to a black-holed host"},
        {EHeld::WEB, "a web request to a silent server"},
        {EHeld::TLS, "a TLS handshake with a silent server"},
        {EHeld::DNS, "a look-up at a silent DNS server"},
        {EHeld::MAIL, "an alert e-mail to a silent mail server"},
        {EHeld::INTERVAL, "the wait between cycles"},
    };
    // Starts pszProgram with one tested host and returns once its test waits as eHeld says.
    // Each call has a port of its own, so no server of an earlier step answers.
    void StartHeld(EHeld eHeld, const char* pszProgram) {
        ClearHeld();
        const std::string strPort = std::to_string(++m_nPort);
        const uint16_t nPort = static_cast<uint16_t>(m_nPort);
        std::function<bool()> fnHeld = [] { return true; };
        auto DelayedHeld = [](std::chrono::milliseconds delay) {
            return [tHeld = Clock::now() + delay] { return Clock::now() >= tHeld; };
        };
        switch (eHeld) {
        case EHeld::ECHO:
            Require(m_lab.Ip(Ns(2), "route add blackhole 10.77.2.1/32"), "no black hole");
            WriteData({"http://10.77.2.2:" + strPort + "/"});
            fnHeld = DelayedHeld(1500ms); // the first of four echoes waits 5 s
            break;
        case EHeld::WEB:
        case EHeld::TLS: {
            StartWeb(1, EMode::Silent, nPort);
            WriteData({(eHeld == EHeld::TLS ? "https://10.77.1.2:" : "http://10.77.1.2:") +
                       strPort + "/"});
            // The server counts a request only once its head is in; a TLS hello has none.
            fnHeld = [this, strPort] { return IsConnectedTo(strPort); };
            break;
        }
        case EHeld::DNS: {
            // "ip netns exec" puts these over /etc; the name server is beyond h1, which drops.
            const std::filesystem::path etc = "/etc/netns/" + m_strC;
            std::filesystem::create_directories(etc);
            WriteFileBytes(etc / "hosts", "127.0.0.1 localhost\n");
            WriteFileBytes(etc / "resolv.conf", "nameserver 10.77.9.53\n");
            Require(m_lab.Ip(Ns(1), "route add blackhole 10.77.9.0/24"), "no silent DNS");
            WriteData({"http://silent-dns.test:" + strPort + "/"});
            fnHeld = DelayedHeld(1500ms); // the resolver waits 5 s for its first answer
            break;
        }
        case EHeld::MAIL:
            if (!std::exchange(m_bSilentMail, true))
                StartSilentMailServer();
            [[fallthrough]];
        case EHeld::INTERVAL: {
            CLoopbackHttpServer* pWeb = StartWeb(1, EMode::Reply, nPort);
            WriteData({"http://10.77.1.2:" + strPort + "/"});
            fnHeld = [this, pWeb, eHeld] {
                if (pWeb->GetConnections() == 0)
                    return false;
                if (eHeld == EHeld::INTERVAL)
                    return WaitFor([] { return false; }, 300ms), true;
                m_arrWeb.clear(); // refused from now on: the next test finds it down
                return WaitFor([&] { return IsConnectedTo("25"); }, 20s); // the alert e-mail
            };
            break;
        }
        }
        StartProgram(pszProgram);
        Require(WaitFor(fnHeld, 20s), "the test never reached the wait");
        if (eHeld == EHeld::WEB || eHeld == EHeld::TLS)
            WaitFor([] { return false; }, 300ms);
    }
    // Ends the program if it still runs and takes the step's network changes back.
    void ClearHeld() {
        if (m_nPid > 0 && !IsGone(m_nPid))
            ::kill(m_nPid, SIGKILL), WaitFor([&] { return IsGone(m_nPid); }, 5s);
        m_arrWeb.clear();
        m_lab.Ip(Ns(2), "route del blackhole 10.77.2.1/32 2>/dev/null");
        m_lab.Ip(Ns(1), "route del blackhole 10.77.9.0/24 2>/dev/null");
        std::filesystem::remove_all("/etc/netns/" + m_strC);
    }
    // How long until the process has gone, counted from tStart (30 s when it did not go).
    Clock::duration GoneAfter(Clock::time_point tStart) {
        WaitFor([&] { return IsGone(m_nPid); }, 30s);
        return Clock::now() - tStart;
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

    static void Require(bool bOk, const char* pszWhat) {
        if (!bOk)
            throw std::runtime_error(pszWhat);
    }

    CTempDir m_dir;
    const std::string m_strMail = m_dir / "mail", m_strData = m_dir / "Vantrel.dat";
    CNetnsLab m_lab{"app"};
    std::string m_strC, m_strBus;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> m_arrWeb;
    pid_t m_nPid = 0;
    int m_nPort = 8000;
    bool m_bSilentMail = false;
};

} // namespace app_lab
