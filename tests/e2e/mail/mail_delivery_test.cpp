#include "core/test_files.h"
#include "mail/scripted_smtp_server.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

// aiosmtpd on 127.0.0.1 (user "tim", password "tanstaaf") writes each message it accepts to
// N.eml, its envelope to N.env and its parsed From to N.from. Extra arguments choose STARTTLS
// or TLS with a certificate and the logins it does not offer. The certificates: a CA and one
// for IP 127.0.0.1 it signed, and a second CA that signed nothing; the client trusts whichever
// SSL_CERT_FILE names.
class MailDelivery : public testing::Test {
protected:
    void SetUp() override { close(LoopbackSocket(m_nPort)); }
    void TearDown() override { Stop(); }
    void Stop() {
        for (int i = 0; m_pid > 0 && kill(m_pid, SIGTERM) == 0 && i < 100; ++i)
            usleep(50000); // not our child: the shell started it
    }
    // Debian's Python with an environment of its own: another Python first in the caller's
    // PATH, or the caller's PYTHONPATH, would give it another standard library.
    void StartSink(const std::string& strExtra = "") {
        Stop();
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
            std::filesystem::remove(entry.path()); // a new server counts from 1 again
        m_pid = std::stoi(RunShell(m_shell, "env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 "
                                            "/usr/bin/python3 " VANTREL_SMTP_SINK " " +
                                                std::to_string(m_nPort) + " " + m_dir.Path() +
                                                " tim tanstaaf " + strExtra +
                                                " >/dev/null 2>&1 & echo $!")
                              .strOut);
        for (int i = 0; i < 300 && Read("ready") == "-" && kill(m_pid, 0) == 0; ++i)
            usleep(50000);
        ASSERT_EQ(Read("ready"), "")
            << "the SMTP server did not start: is python3-aiosmtpd installed (scripts/setup)?";
    }
    // The file's bytes; "-" when it is missing.
    std::string Read(const std::string& strName) const {
        return std::filesystem::exists(m_dir / strName) ? ReadFileBytes(m_dir / strName) : "-";
    }
    static std::string Sink(const char* pszMode, const char* pszNoLogins = "") {
        return std::string(pszMode) + " " + s_certs / "server.pem " + s_certs / "server.key " +
               pszNoLogins;
    }

    static void SetUpTestSuite() {
        const std::string strKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        ASSERT_EQ(RunShell(s_certs, "cd " + s_certs.Path() +
                                        " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext && "
                                        "openssl req -x509 -days 2" +
                                        strKey +
                                        "-keyout ca.key -out ca.pem -subj '/CN=Vantrel Test CA' && "
                                        "openssl req -x509 -days 2" +
                                        strKey +
                                        "-keyout other.key -out other.pem -subj '/CN=Another CA' "
                                        "&& openssl req" +
                                        strKey +
                                        "-keyout server.key -out server.csr -subj '/CN=127.0.0.1' "
                                        "&& openssl x509 -req -days 2 -in server.csr -CA ca.pem "
                                        "-CAkey ca.key -CAcreateserial -extfile san.ext -out "
                                        "server.pem")
                      .nExit,
                  0)
            << "the openssl command is missing (scripts/setup)";
    }

    static inline CTempDir s_certs;
    CTempDir m_dir, m_shell;
    uint16_t m_nPort = 0;
    pid_t m_pid = -1;
};

// In plain text with each login, STARTTLS and TLS from the first byte with each login the
// server may offer, and the refusals: a wrong password, a certificate from a CA nobody
// trusts, a host name it does not name, STARTTLS not offered. The alert arrives byte for byte.
TEST_F(MailDelivery, AlertArrivesInPlainTextStartTlsAndImplicitTls) {
    const std::string strTrusted = s_certs / "ca.pem", strOther = s_certs / "other.pem";
    const int NONE = SMTP_SECURITY_NONE, START = SMTP_SECURITY_STARTTLS, TLS = SMTP_SECURITY_TLS;
    // clang-format off
    const struct {
        const char *m_pszMode, *m_pszNoLogins;
        int m_nSecurity, m_nLogin;
        const char* m_pszPassword;
        std::string m_strLoginOrRefusal;
        std::vector<std::string> m_arrCommands; // the first ones
        const char* m_pszHost = "127.0.0.1";
        std::string m_strTrust = "";
    } cases[] = {
        {"", "", NONE, SMTP_AUTH_NONE, "tanstaaf", "-", {"HELO client.test"}},
        {"", "", NONE, SMTP_AUTH_LOGIN, "tanstaaf", "tim LOGIN", {}},
        {"", "", NONE, SMTP_AUTH_LOGIN, "wrong",
         "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful: 535 5.7.8 Authentication credentials invalid", {}},
        {"", "", NONE, SMTP_AUTH_CRAM_MD5, "tanstaaf", "tim CRAM-MD5", {}},
        {"", "", NONE, SMTP_AUTH_CRAM_MD5, "wrong",
         "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful: 535 5.7.8 Authentication credentials invalid",
         {}},
        {"starttls", "CRAM-MD5", START, SMTP_AUTH_AUTO, "tanstaaf", "tim PLAIN",
         {"EHLO client.test", "STARTTLS", "EHLO client.test", "AUTH PLAIN (login data, not shown)",
          "MAIL FROM:<alerts@example.com>"}},
        {"starttls", "CRAM-MD5,PLAIN", START, SMTP_AUTH_AUTO, "tanstaaf", "tim LOGIN",
         {"EHLO client.test", "STARTTLS", "EHLO client.test", "AUTH LOGIN",
          "(login data, not shown)", "(login data, not shown)"}},
        {"tls", "", TLS, SMTP_AUTH_AUTO, "tanstaaf", "tim CRAM-MD5",
         {"EHLO client.test", "AUTH CRAM-MD5", "(login data, not shown)"}},
        {"starttls", "CRAM-MD5", START, SMTP_AUTH_AUTO, "wrong",
         "CSMTPConnection::AuthPlain, AUTH PLAIN authentication was unsuccessful: 535 5.7.8 Authentication credentials invalid",
         {"EHLO client.test", "STARTTLS", "EHLO client.test", "AUTH PLAIN (login data, not shown)",
          "AUTH LOGIN", "(login data, not shown)", "(login data, not shown)", "QUIT"}},
        {"tls", "", TLS, SMTP_AUTH_AUTO, "tanstaaf",
         "CSMTPConnection::BeginTLS, TLS with 127.0.0.1 failed: the server's certificate was "
         "refused: unable to get local issuer certificate, GetLastError returns: 10200", {},
         "127.0.0.1", strOther},
        {"starttls", "", START, SMTP_AUTH_AUTO, "tanstaaf",
         "CSMTPConnection::BeginTLS, TLS with localhost failed: the server's certificate was "
         "refused: hostname mismatch, GetLastError returns: 10200",
         {"EHLO client.test", "STARTTLS"}, "localhost"},
        {"", "", START, SMTP_AUTH_AUTO, "tanstaaf",
         "CSMTPConnection::ConnectESMTP, The server does not offer STARTTLS on port ",
         {"EHLO client.test", "QUIT"}}};
    // clang-format on
    const char* pszOldTrust = getenv("SSL_CERT_FILE");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strLoginOrRefusal);
        ASSERT_NO_FATAL_FAILURE(StartSink(*c.m_pszMode ? Sink(c.m_pszMode, c.m_pszNoLogins) : ""));
        setenv("SSL_CERT_FILE", (c.m_strTrust.empty() ? strTrusted : c.m_strTrust).c_str(), 1);
        CSMTPMessage message;
        ComposeAlert(message);
        CRecordingConnection connection;
        connection.m_nSecurity = c.m_nSecurity;
        const bool bSent =
            connection.Connect(c.m_pszHost, c.m_nLogin, "tim", c.m_pszPassword, m_nPort) &&
            connection.SendMessage(message) && connection.Disconnect(true);
        const bool bRefusal = c.m_strLoginOrRefusal.starts_with("CSMTP");
        EXPECT_EQ(bSent, !bRefusal);
        EXPECT_TRUE(connection.First().first.starts_with(bRefusal ? c.m_strLoginOrRefusal : ""))
            << connection.First().first;
        EXPECT_EQ(connection.First().first.empty(), !bRefusal);
        EXPECT_EQ(std::vector<std::string>(
                      connection.m_arrCommands.begin(),
                      connection.m_arrCommands.begin() +
                          std::min(connection.m_arrCommands.size(), c.m_arrCommands.size())),
                  c.m_arrCommands);
        if (bRefusal) {
            EXPECT_EQ(Read("1.eml"), "-");
            continue;
        }
        EXPECT_EQ(Read("1.env"), "client.test\n" + c.m_strLoginOrRefusal +
                                     "\nalerts@example.com\nann@example.com\nbob@example.com\n"
                                     "cc@example.com\nhidden@example.com\n");
        EXPECT_EQ(WithoutDate(Read("1.eml")), ALERT_HEADER + ".first\r\nsecond\r\n.\r\nlast\r\n");
        EXPECT_EQ(Read("2.eml"), "-");
    }
    pszOldTrust != nullptr ? setenv("SSL_CERT_FILE", pszOldTrust, 1) : unsetenv("SSL_CERT_FILE");
}

// vantrelctl alert-test with the saved settings overridden by --port and --security: the
// exchange is printed without the password or its Base64, and bad options exit 2.
TEST_F(MailDelivery, AlertTestCommandOverridesPortAndSecurity) {
    ASSERT_NO_FATAL_FAILURE(StartSink(Sink("starttls", "CRAM-MD5")));
    const std::string strSettings = m_dir / "settings.conf";
    std::ofstream(strSettings)
        << "[Settings]\nSMTP=127.0.0.1\nSMTPPort=1\nSMTPSecurity=0\n"
           "Login=tim\nPass=tanstaaf\nEmailFrom=J\xc3\xb6rg <a@example.com>\n"
           "EmailTo=ops@example.com\nAlertEmail=1\nHeloName=client.test\n";
    auto run = [&](const std::string& strArgs, std::string& strOut) {
        const CShellRun cli = RunShell(m_shell, "SSL_CERT_FILE=" + s_certs / "ca.pem" +
                                                    " " VANTRELCTL_PATH " alert-test --settings " +
                                                    strSettings + " " + strArgs + " 2>&1");
        strOut = cli.strOut;
        return cli.nExit;
    };
    std::string strOut;
    EXPECT_EQ(run("--port " + std::to_string(m_nPort) + " --security starttls", strOut), 0)
        << strOut;
    EXPECT_TRUE(strOut.starts_with("Connecting to 127.0.0.1 port " + std::to_string(m_nPort) +
                                   " (STARTTLS) with the strongest login the server offers\n"))
        << strOut;
    for (const char* pszShown : {"\nC: STARTTLS\n", "\nC: AUTH PLAIN (login data, not shown)\n",
                                 "\nS: 235 2.7.0 Authentication successful\n",
                                 "\nThe test e-mail was sent to ops@example.com.\n"})
        EXPECT_NE(strOut.find(pszShown), std::string::npos) << pszShown << strOut;
    // The password, and "\0tim\0tanstaaf" and "tanstaaf" in Base64.
    for (const char* pszSecret : {"tanstaaf", "AHRpbQB0YW5zdGFhZg", "dGFuc3RhYWY"})
        EXPECT_EQ(strOut.find(pszSecret), std::string::npos) << pszSecret;
    EXPECT_EQ(Read("1.from"), "J\xc3\xb6rg|a@example.com");

    const std::pair<std::string, int> bad[] = {
        {"--port 0", 2},
        {"--port 70000", 2},
        {"--security ssl", 2},
        {"--server-name \"$(printf 'www.a.test\\r\\nBcc: x@y.test')\"", 2},
        {"--server-name \"$(printf 'www.a.test\\tx')\"", 2},
        {"--server-name \"$(printf 'www.a.test\\033[2J')\"", 2},
        // TLS from the first byte where the server greets in plain text
        {"--port " + std::to_string(m_nPort) + " --security tls", 1}};
    for (const auto& [strArgs, nExit] : bad)
        EXPECT_EQ(run(strArgs, strOut), nExit) << strArgs << strOut;
    EXPECT_EQ(Read("2.eml"), "-");

    // Server, login method, sender and recipients given here: a name with a comma stays one
    // address, the refused recipient is named and the other one gets the mail.
    EXPECT_EQ(run("--server 127.0.0.1 --port " + std::to_string(m_nPort) +
                      " --security starttls --auth login --user tim --from 'Ops, Team "
                      "<ops@example.com>' --to '\"Smith, Bob\" <bob@example.com>, zed@example.com'",
                  strOut),
              0)
        << strOut;
    EXPECT_NE(strOut.find("\nC: AUTH LOGIN\n"), std::string::npos) << strOut;
    EXPECT_TRUE(strOut.ends_with("\nThe server refused these recipients:\nzed@example.com: 550 "
                                 "5.1.1 <zed@example.com>: user unknown\n"))
        << strOut;
    EXPECT_EQ(Read("2.env"), "client.test\ntim LOGIN\nops@example.com\nbob@example.com\n");
    EXPECT_EQ(Read("2.from"), "Ops, Team|ops@example.com");
    EXPECT_EQ(Read("2.defects"), "");

    // Refused after TLS began: the outcome names the refusal, not the TLS note before it.
    std::ofstream(strSettings, std::ios::app) << "Pass=wrong\n";
    EXPECT_EQ(run("--port " + std::to_string(m_nPort) + " --security starttls", strOut), 1);
    EXPECT_TRUE(strOut.ends_with("\nvantrelctl: Vantrel couldn't connect to the SMTP server (last "
                                 "error 10043, unexpected reply): AUTH PLAIN authentication was "
                                 "unsuccessful: 535 5.7.8 Authentication credentials invalid.\n"))
        << strOut;
}
