#include "platform/netns_lab.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

// vantrelctl alert-test in namespace "cli" (10.0.0.2) against Postfix with Dovecot logins in
// namespace "srv" (10.0.0.1), both made here: port 25 plain with AUTH and STARTTLS, 587 with
// STARTTLS before AUTH, 465 TLS; certificates from a CA made here. tcpdump on the server's side
// of the link records each send.
class PostfixDelivery : public testing::Test {
protected:
    void SetUp() override {
        std::string strWhy = CNetnsLab::WhyUnavailable();
        for (const char* pszTool : {"postfix", "dovecot", "tcpdump", "openssl"})
            if (strWhy.empty() && !CNetnsLab::Run(std::string("command -v ") + pszTool))
                strWhy = std::string("needs ") + pszTool + " (scripts/setup)";
        if (!strWhy.empty())
            GTEST_SKIP() << "Postfix delivery runs in network namespaces: " << strWhy;
        ASSERT_NE(mkdtemp(m_szDir), nullptr);
        const std::string strKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        ASSERT_TRUE(CNetnsLab::Run(
            std::string("(cd ") + m_szDir + " && printf 'subjectAltName=IP:10.0.0.1\\n' >san.ext" +
            " && openssl req -x509 -days 2" + strKey + "-keyout ca.key -out ca.pem -subj " +
            "'/CN=Vantrel Test CA' && openssl req" + strKey + "-keyout server.key -out " +
            "server.csr -subj '/CN=10.0.0.1' && openssl x509 -req -days 2 -in server.csr -CA " +
            "ca.pem -CAkey ca.key -CAcreateserial -extfile san.ext -out server.pem) 2>/dev/null"));
        m_strSrv = m_lab.Add("srv");
        m_strCli = m_lab.Add("cli");
        ASSERT_TRUE(!m_strSrv.empty() && !m_strCli.empty() &&
                    m_lab.Link(m_strSrv, "vs", "10.0.0.1/24", m_strCli, "vc", "10.0.0.2/24"));
        ASSERT_TRUE(m_lab.Exec(m_strSrv, std::string("sh " VANTREL_MAIL_LAB " ") + m_szDir))
            << Read("postfix.log") << Read("dovecot.log");
        m_bStarted = true;
        bool bListening = false;
        for (int i = 0; i < 100 && !bListening; ++i, usleep(100000))
            bListening = m_lab.Exec(m_strSrv, "sh -c 'ss -ltn | grep -q :465'");
        ASSERT_TRUE(bListening) << Read("postfix.log");
    }
    void TearDown() override {
        if (m_bStarted)
            m_lab.Exec(m_strSrv, std::string("sh " VANTREL_MAIL_LAB " ") + m_szDir + " stop");
        if (*m_szDir != 'X')
            std::filesystem::remove_all(m_szDir);
    }
    std::string Read(const std::string& strName) const {
        std::ifstream file(m_szDir + ("/" + strName), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    // The one message delivered to the mailbox since the last call, waiting for the queue.
    std::string TakeDelivered(const std::string& strBox) {
        const std::filesystem::path dir = std::string(m_szDir) + "/mail/" + strBox + "/new";
        for (int i = 0; i < 100; ++i, usleep(100000)) {
            std::error_code error;
            std::vector<std::filesystem::path> arrFiles;
            for (const auto& entry : std::filesystem::directory_iterator(dir, error))
                arrFiles.push_back(entry.path());
            if (arrFiles.size() == 1) {
                std::ifstream file(arrFiles[0], std::ios::binary);
                std::string strMail(std::istreambuf_iterator<char>(file), {});
                std::filesystem::rename(arrFiles[0], std::string(m_szDir) + "/message.eml");
                return strMail;
            }
            if (arrFiles.size() > 1)
                return "more than one message";
        }
        return "no message";
    }

    char m_szDir[25] = "/tmp/vantrel_mtaXXXXXX";
    CNetnsLab m_lab{"mta"};
    std::string m_strSrv, m_strCli;
    bool m_bStarted = false;
};

// Every right pair of port and security with each login method, the fall-back from a CRAM-MD5
// the server cannot check, a UTF-8 password, a refused recipient beside an accepted one, and a
// password kept back where the connection is not encrypted. The capture holds the password (or
// its Base64) only where the user allowed it over a plain connection.
TEST_F(PostfixDelivery, LogsInDeliversAndKeepsThePasswordOutOfTheClear) {
    struct SUser {
        const char *m_pszName, *m_pszPassword;
        std::vector<std::string> m_arrSecrets; // the password, in LOGIN's and PLAIN's Base64
    };
    const SUser TIM{"tim", "tanstaaf", {"tanstaaf", "dGFuc3RhYWY", "AHRpbQB0YW5zdGFhZg"}};
    const SUser HUGO{"hugo", "hashpass", {"hashpass", "aGFzaHBhc3M", "AGh1Z28AaGFzaHBhc3M"}};
    const SUser UMA{
        "uma",
        "p\xc3\xa4ssw\xc3\xb6rt\xe2\x82\xac",
        {"p\xc3\xa4ssw\xc3\xb6rt\xe2\x82\xac", "cMOkc3N3w7ZydOKCrA", "AHVtYQBww6Rzc3fDtnJ04oKs"}};
    // clang-format off
    const struct {
        int m_nPort;
        const char *m_pszSecurity, *m_pszAuth;
        const SUser& m_user;
        bool m_bAllowClear;
        const char* m_pszInClear; // the one secret the capture shows, "" for none
        std::vector<std::string> m_arrShown; // lines of the exchange, or the error at its end
        const char* m_pszTo = "ann@example.test";
    } cases[] = {
        {25, "none", "plain", TIM, true, "AHRpbQB0YW5zdGFhZg", {"C: AUTH PLAIN (login data, not shown)"}},
        {25, "none", "cram-md5", TIM, true, "", {"C: AUTH CRAM-MD5"}},
        {25, "starttls", "plain", TIM, false, "", {"C: STARTTLS", "C: AUTH PLAIN (login data, not shown)"}},
        {25, "starttls", "login", TIM, false, "", {"C: STARTTLS", "C: AUTH LOGIN"}},
        {25, "starttls", "cram-md5", TIM, false, "", {"C: STARTTLS", "C: AUTH CRAM-MD5"}},
        {587, "starttls", "plain", TIM, false, "", {"C: STARTTLS", "C: AUTH PLAIN (login data, not shown)"}},
        {587, "starttls", "login", TIM, false, "", {"C: STARTTLS", "C: AUTH LOGIN"}},
        {587, "starttls", "cram-md5", TIM, false, "", {"C: STARTTLS", "C: AUTH CRAM-MD5"}},
        {465, "tls", "plain", TIM, false, "", {"C: AUTH PLAIN (login data, not shown)"}},
        {465, "tls", "login", TIM, false, "", {"C: AUTH LOGIN"}},
        {465, "tls", "cram-md5", TIM, false, "", {"C: AUTH CRAM-MD5"}},
        {587, "starttls", "auto", HUGO, false, "",
         {"C: AUTH CRAM-MD5", "-- Trying the next login method the server offers",
          "C: AUTH PLAIN (login data, not shown)", "S: 235 2.7.0 Authentication successful"}},
        {465, "tls", "auto", UMA, false, "", {"S: 235 2.7.0 Authentication successful"}},
        {465, "tls", "plain", UMA, false, "", {"S: 235 2.7.0 Authentication successful"}},
        {25, "none", "cram-md5", UMA, true, "", {"S: 235 2.7.0 Authentication successful"}},
        {587, "starttls", "auto", TIM, false, "",
         {"The server refused these recipients:",
          "zed@example.test: 550 5.1.1 <zed@example.test>: Recipient address rejected: User unknown in virtual mailbox table"},
         "\"Smith, Bob\" <bob@example.test>, zed@example.test"},
        {25, "none", "auto", TIM, false, "",
         {"vantrelctl: Vantrel couldn't connect to the SMTP server (last error 10202, password kept from an unencrypted connection): "
          "The password was not sent: the connection to 10.0.0.1 is not encrypted. Choose STARTTLS on port 587, or allow the "
          "password over an unencrypted connection in the options."}},
        {587, "none", "auto", TIM, true, "",
         {"-- The server offers no login: sending without one",
          "vantrelctl: The server did not accept the message: An unexpected MAIL response was received: 530 5.7.0 Must issue a "
          "STARTTLS command first."}},
    };
    // clang-format on
    const std::string strDir = m_szDir, strSettings = strDir + "/settings.conf";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.m_nPort) + " " + c.m_pszSecurity + " " + c.m_pszAuth + " " +
                     c.m_user.m_pszName);
        std::ofstream(strSettings) << "[Settings]\nSMTP=10.0.0.1\nPass=" << c.m_user.m_pszPassword
                                   << "\nAllowPlainPassword=" << c.m_bAllowClear
                                   << "\nHeloName=client.example.test\nAlertEmail=1\n";
        std::remove((strDir + "/capture").c_str());
        const pid_t pidCapture = fork();
        if (pidCapture == 0) {
            freopen((strDir + "/capture.log").c_str(), "w", stderr);
            execlp("ip", "ip", "netns", "exec", m_strSrv.c_str(), "tcpdump", "--immediate-mode",
                   "-i", "vs", "-U", "-w", (strDir + "/capture").c_str(), "tcp", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100 && Read("capture.log").find("listening") == std::string::npos; ++i)
            usleep(50000);
        // A fresh tcpdump says "listening" a moment before it sees packets: the login, early
        // in the session, was missed on a first run.
        usleep(1000000);
        const std::string strCommand =
            "ip netns exec " + m_strCli + " env SSL_CERT_FILE=" + strDir + "/ca.pem " +
            VANTRELCTL_PATH " alert-test --settings " + strSettings + " --server 10.0.0.1" +
            " --port " + std::to_string(c.m_nPort) + " --security " + c.m_pszSecurity + " --auth " +
            c.m_pszAuth + " --user " + c.m_user.m_pszName + " --to '" + c.m_pszTo +
            "' --from 'Ops, Team <ops@example.test>' >" + strDir + "/out 2>&1";
        const int nStatus = system(strCommand.c_str());
        // The last packets reach the capture file: wait until it has stopped growing.
        for (long nSize = -1, nStable = 0, i = 0; i < 50 && nStable < 3; ++i) {
            usleep(200000);
            const long nNow = static_cast<long>(Read("capture").size());
            nStable = nNow == nSize ? nStable + 1 : 0;
            nSize = nNow;
        }
        kill(pidCapture, SIGINT);
        waitpid(pidCapture, nullptr, 0);
        const std::string strOut = Read("out"), strCapture = Read("capture");
        const bool bSent = c.m_arrShown.back().rfind("vantrelctl:", 0) != 0;
        EXPECT_EQ(WEXITSTATUS(nStatus), bSent ? 0 : 1) << strOut;
        for (const std::string& strShown : c.m_arrShown)
            EXPECT_NE(("\n" + strOut).find("\n" + strShown + "\n"), std::string::npos)
                << strShown << "\n"
                << strOut;
        ASSERT_GT(strCapture.size(), 24u) << Read("capture.log");
        for (const std::string& strSecret : c.m_user.m_arrSecrets)
            EXPECT_EQ(strCapture.find(strSecret) != std::string::npos, strSecret == c.m_pszInClear)
                << strSecret;
        if (!bSent)
            continue;
        const std::string strBox = std::string(c.m_pszTo).starts_with("ann") ? "ann" : "bob";
        EXPECT_NE(TakeDelivered(strBox).find("Subject: "), std::string::npos);
        // Python's parser: no defects, the sender's name with its comma, the recipients.
        EXPECT_EQ(system(("python3 -c 'import email, email.policy, sys; m = "
                          "email.message_from_binary_file(open(sys.argv[1], \"rb\"), "
                          "policy=email.policy.default); print(sum(len(p.defects) for p in "
                          "m.walk()), m[\"From\"].addresses[0].display_name, "
                          "*(a.addr_spec for a in m[\"To\"].addresses))' " +
                          strDir + "/message.eml >" + strDir + "/parsed")
                             .c_str()),
                  0);
        EXPECT_EQ(Read("parsed"), strBox == "ann"
                                      ? "0 Ops, Team ann@example.test\n"
                                      : "0 Ops, Team bob@example.test zed@example.test\n");
    }
}
