#pragma once

// The desktop program as a user runs it, for the end-to-end tests and the benchmark.
#include "e2e/hub_lab.h"

#include <csignal>
#include <ctime>
#include <sys/stat.h>

namespace app_lab {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Gone, or a zombie nobody reaps.
inline bool IsGone(pid_t nPid) {
    const std::string strStat = ReadFileBytes("/proc/" + std::to_string(nPid) + "/stat");
    const size_t nParen = strStat.rfind(')');
    return nParen == std::string::npos || strStat.compare(nParen + 2, 1, "Z") == 0;
}

// Offscreen in c (hosts h1, h2); a minute lasts a second, a failed e-mail is retried after 3 s.
class CAppLab : public CHubLab {
public:
    CAppLab() : CHubLab("app") {}
    void Open() {
        CHubLab::Open(2, 1);
        Require(::mkfifo((m_dir / "commands").c_str(), 0600) == 0, "no command FIFO");
        std::filesystem::create_directories(m_dir / "config/Vantrel Software");
        WriteFileBytes(m_dir / "config/Vantrel Software/Vantrel.conf",
                       "[Settings]\nAlertSystem=1\nAlertEmail=1\nEmailFrom=Vantrel "
                       "<alerts@example.test>\nEmailTo=ops@example.test\nSMTP=127.0.0.1\nIniPath=" +
                           m_strData + "\n");
    }
    ~CAppLab() { // the program goes with the namespace's other processes
        CNetnsLab::Run("kill $(cat " + m_dir / "bus.pid" + " 2>/dev/null) 2>/dev/null");
    }

    // aiosmtpd on 127.0.0.1 port 25 of c; mail goes to mail/N.eml.
    void StartSmtpSink() {
        std::filesystem::create_directories(m_strMail); // StopSmtpSink removes it
        m_lab.Exec(m_strC, "/usr/bin/python3 " VANTREL_SMTP_SINK " 25 " + m_strMail +
                               " watcher pa55 >/dev/null 2>&1 & (echo $! >" + m_dir / "smtp.pid)");
        Require(WaitFor([&] { return std::filesystem::exists(m_strMail + "/ready"); }, 15s),
                "aiosmtpd did not start; /usr/bin/python3 needs python3-aiosmtpd (scripts/setup)");
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
        CNetnsLab::Run("DBUS_SESSION_BUS_ADDRESS=" + m_strBus +
                       " /usr/bin/python3 -m dbusmock -t notification_daemon -l " +
                       m_dir / "notify.log" + " >/dev/null 2>&1 &");
        // dbusmock opens its log once it owns the name; calls wait on the bus until it serves.
        Require(WaitFor([&] { return std::filesystem::exists(m_dir / "notify.log"); }, 15s),
                "no notification service; /usr/bin/python3 needs python3-dbusmock (scripts/setup)");
    }
    // The program, or the same program with its menus driven by Command (VANTREL_DRIVEN_PATH).
    void StartProgram(const char* pszProgram = VANTREL_PATH) {
        const std::string strDir = m_dir.Path();
        Require(CNetnsLab::Run(
                    "VANTREL_DRIVER_FIFO=" + strDir + "/commands VANTREL_DRIVER_LOG=" + strDir +
                    "/driver.log XDG_CONFIG_HOME=" + strDir + "/config XDG_DATA_HOME=" + strDir +
                    " XDG_RUNTIME_DIR=" + strDir + " DBUS_SESSION_BUS_ADDRESS=" + m_strBus +
                    " QT_QPA_PLATFORM=offscreen VANTREL_TEST_MINUTE_MS=1000 "
                    "VANTREL_TEST_MAIL_RETRY_MS=3000 ip netns exec " +
                    m_strC + " " + pszProgram + " >>" + strDir +
                    "/program.log 2>&1 </dev/null & (echo $! >" + strDir + "/program.pid)"),
                "cannot start the program");
        m_nPid = std::stoi(ReadFileBytes(m_dir / "program.pid"));
    }
    // A menu command for the driven program ("stop", "exit", "logout", "edit").
    void Command(const std::string& strCommand) {
        Require(CNetnsLab::Run("timeout 10 sh -c 'echo " + strCommand + " >" + m_dir / "commands'"),
                "the driven program does not read its commands");
    }
    // How long the driven program's command took by its own clock; -1: not said within 10 s.
    long long CommandMs(const std::string& strCommand) {
        long long nMs = -1;
        WaitFor(
            [&] {
                const std::string strLog = ReadFileBytes(m_dir / "driver.log");
                return std::sscanf(strLog.c_str(), (strCommand + " %lld").c_str(), &nMs) == 1;
            },
            10s);
        std::filesystem::remove(m_dir / "driver.log");
        return nMs;
    }

    // Where one test of the program is when the user acts: in each kind of wait.
    enum class EHeld { ECHO, WEB, TLS, DNS, MAIL, INTERVAL }; // HELD_NAMES in this order
    static constexpr const char* HELD_NAMES[] = {
        "an echo to a black-holed host",           "a web request to a silent server",
        "a TLS handshake with a silent server",    "a look-up at a silent DNS server",
        "an alert e-mail to a silent mail server", "the wait between cycles"};
    // Starts pszProgram with one host, on a port of its own; returns once the test waits.
    void StartHeld(EHeld eHeld, const char* pszProgram) {
        ClearHeld();
        const std::string strPort = std::to_string(++m_nPort);
        const uint16_t nPort = static_cast<uint16_t>(m_nPort);
        // The first echo or look-up waits 5 s.
        std::function<bool()> fnHeld = [tHeld = Clock::now() + 1500ms] {
            return Clock::now() >= tHeld;
        };
        if (eHeld == EHeld::ECHO) {
            Require(m_lab.Ip(Ns(2), "route add blackhole 10.77.2.1/32"), "no black hole");
            WriteData({"http://10.77.2.2:" + strPort + "/"});
        } else if (eHeld == EHeld::WEB || eHeld == EHeld::TLS) {
            StartWeb(1, EMode::Silent, OK_REPLY, nPort);
            WriteData({(eHeld == EHeld::TLS ? "https://10.77.1.2:" : "http://10.77.1.2:") +
                       strPort + "/"});
            // The server counts a request only once its head is in; a TLS hello has none.
            fnHeld = [this, strPort] { return IsConnectedTo(strPort); };
        } else if (eHeld == EHeld::DNS) { // the name server is beyond h1, which drops
            std::filesystem::create_directories(Etc());
            WriteFileBytes(Etc() / "hosts", "127.0.0.1 localhost\n");
            WriteFileBytes(Etc() / "resolv.conf", "nameserver 10.77.9.53\n");
            Require(m_lab.Ip(Ns(1), "route add blackhole 10.77.9.0/24"), "no silent DNS");
            WriteData({"http://silent-dns.test:" + strPort + "/"});
        } else {
            if (eHeld == EHeld::MAIL && !m_pSilentMail) // accepts and never says a word
                m_pSilentMail = m_lab.InNamespace(m_strC, [] {
                    return std::make_unique<CLoopbackHttpServer>(EMode::Silent, "", "127.0.0.1",
                                                                 25);
                });
            CLoopbackHttpServer* pWeb = &StartWeb(1, EMode::Reply, OK_REPLY, nPort);
            WriteData({"http://10.77.1.2:" + strPort + "/"});
            fnHeld = [this, pWeb, eHeld] {
                if (pWeb->GetConnections() == 0)
                    return false;
                if (eHeld == EHeld::INTERVAL)
                    return std::this_thread::sleep_for(300ms), true;
                m_arrWeb.clear(); // refused from now on: the next test finds it down
                return WaitFor([&] { return IsConnectedTo("25"); }, 20s); // the alert e-mail
            };
        }
        StartProgram(pszProgram);
        Require(WaitFor(fnHeld, 20s), "the test never reached the wait");
        if (eHeld == EHeld::WEB || eHeld == EHeld::TLS)
            std::this_thread::sleep_for(300ms);
    }
    // Ends the program if it still runs and takes the step's network changes back.
    void ClearHeld() {
        if (m_nPid > 0 && !IsGone(m_nPid))
            ::kill(m_nPid, SIGKILL), WaitFor([&] { return IsGone(m_nPid); }, 5s);
        m_arrWeb.clear();
        m_lab.Ip(Ns(2), "route del blackhole 10.77.2.1/32 2>/dev/null");
        m_lab.Ip(Ns(1), "route del blackhole 10.77.9.0/24 2>/dev/null");
        std::filesystem::remove_all(Etc());
    }
    // From tStart until the process has gone (30 s when it did not go).
    Clock::duration GoneAfter(Clock::time_point tStart) {
        WaitFor([&] { return IsGone(m_nPid); }, 30s);
        return Clock::now() - tStart;
    }

    std::string Mail(int n) { return ReadFileBytes(m_strMail + "/" + std::to_string(n) + ".eml"); }
    // The UTC time the alert's body names ("generated on Sat Dec  5 10:06:43 2026 UTC").
    static time_t MailTime(const std::string& strMail) {
        const size_t nAt = strMail.find("generated on ");
        struct tm tmUtc {};
        const bool bRead = nAt != std::string::npos &&
                           strptime(strMail.c_str() + nAt + 13, "%a %b %d %H:%M:%S %Y", &tmUtc);
        return bRead ? timegm(&tmUtc) : 0;
    }

    const std::string m_strMail = m_dir / "mail";
    std::string m_strBus = "unix:path=/nonexistent";
    std::unique_ptr<CLoopbackHttpServer> m_pSilentMail;
    pid_t m_nPid = 0;
    int m_nPort = 8000;
};

} // namespace app_lab
