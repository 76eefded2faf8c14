#include "e2e/hub_lab.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace std::chrono_literals;

// vantrelctl alert-test in c against Postfix with Dovecot logins in h1 (mail.example.test);
// tcpdump on h1's side of the link records every send.
class PostfixDelivery : public testing::Test, public CHubLab {
protected:
    PostfixDelivery() : CHubLab("mta") {}
    void SetUp() override {
        std::string strWhy = CNetnsLab::WhyUnavailable();
        if (!CNetnsLab::Run("command -v postfix && command -v dovecot && command -v tcpdump"))
            strWhy += " needs postfix, dovecot and tcpdump (scripts/setup)";
        if (!strWhy.empty())
            GTEST_SKIP() << "Postfix delivery runs in network namespaces: " << strWhy;
        ASSERT_TRUE(MakeCertificates(m_dir.Path(), "10.77.1.2"));
        Open(1, 1);
        std::filesystem::create_directories(Etc());
        WriteFileBytes(Etc() / "hosts", "10.77.1.2 mail.example.test\n");
        ASSERT_TRUE(m_lab.Exec(Ns(1), "sh " VANTREL_MAIL_LAB " " + m_dir.Path()))
            << Read("postfix.log") << Read("dovecot.log");
        ASSERT_TRUE(
            WaitFor([&] { return m_lab.Exec(Ns(1), "sh -c 'ss -ltn | grep -q :465'"); }, 10s))
            << Read("postfix.log");
    }
    std::string Read(const std::string& strName) const { return ReadFileBytes(m_dir / strName); }
    // The new messages as Python reads them: count, defects, has a subject, sender, recipients.
    std::string TakeDelivered(const std::string& strBox) {
        return RunShell(m_dir, "python3 -c 'import email, email.policy, glob, os, sys, time\n"
                               "for _ in range(100):\n"
                               "    f = glob.glob(sys.argv[1] + \"/new/*\")\n"
                               "    if f: break\n"
                               "    time.sleep(0.1)\n"
                               "m = email.message_from_binary_file(open(f[0], \"rb\"), "
                               "policy=email.policy.default)\n"
                               "[os.remove(x) for x in f]\n"
                               "print(len(f), sum(len(p.defects) for p in m.walk()), "
                               "m[\"Subject\"] is not None, m[\"From\"].addresses[0].display_name, "
                               "*(a.addr_spec for a in m[\"To\"].addresses))' " +
                                   m_dir / ("mail/" + strBox))
            .strOut;
    }
};

// Each port, security and login method, and the refusals. No password in the output; in the
// capture only once, where the user allowed it in clear. Bad options send nothing.
TEST_F(PostfixDelivery, LogsInDeliversAndKeepsThePasswordOutOfTheClear) {
    struct SUser {
        const char *pszName, *pszPassword;
        std::vector<std::string> arrSecrets; // the password, in LOGIN's and PLAIN's Base64
    };
    const SUser TIM{"tim", "tanstaaf", {"tanstaaf", "dGFuc3RhYWY", "AHRpbQB0YW5zdGFhZg"}};
    const SUser HUGO{"hugo", "hashpass", {"hashpass", "aGFzaHBhc3M", "AGh1Z28AaGFzaHBhc3M"}};
    const SUser UMA{
        "uma",
        "p\xc3\xa4ssw\xc3\xb6rt\xe2\x82\xac",
        {"p\xc3\xa4ssw\xc3\xb6rt\xe2\x82\xac", "cMOkc3N3w7ZydOKCrA", "AHVtYQBww6Rzc3fDtnJ04oKs"}};
    const std::string IN_CLEAR = "AHRpbQB0YW5zdGFhZg"; // the first row allows it
    // clang-format off
    const struct {
        int nPort;
        const char *pszSecurity, *pszAuth;
        const SUser& user;
        bool bAllowClear;
        std::vector<std::string> arrShown; // lines of the exchange, or the error at its end
        const char *pszTo = "ann@example.test", *pszServer = "10.77.1.2", *pszTrust = "ca.pem";
    } cases[] = {
        {25, "none", "plain", TIM, true, {"C: AUTH PLAIN (login data, not shown)"}},
        {25, "none", "cram-md5", TIM, true, {"C: AUTH CRAM-MD5"}},
        {25, "starttls", "plain", TIM, false, {"C: STARTTLS", "C: AUTH PLAIN (login data, not shown)"}},
        {25, "starttls", "login", TIM, false, {"C: STARTTLS", "C: AUTH LOGIN"}},
        {25, "starttls", "cram-md5", TIM, false, {"C: STARTTLS", "C: AUTH CRAM-MD5"}},
        {587, "starttls", "plain", TIM, false, {"C: STARTTLS", "C: AUTH PLAIN (login data, not shown)"}},
        {587, "starttls", "login", TIM, false, {"C: STARTTLS", "C: AUTH LOGIN"}},
        {587, "starttls", "cram-md5", TIM, false, {"C: STARTTLS", "C: AUTH CRAM-MD5"}},
        {465, "tls", "plain", TIM, false, {"C: AUTH PLAIN (login data, not shown)"}},
        {465, "tls", "login", TIM, false, {"C: AUTH LOGIN"}},
        {465, "tls", "cram-md5", TIM, false, {"C: AUTH CRAM-MD5"}},
        {587, "starttls", "auto", HUGO, false,
         {"C: AUTH CRAM-MD5", "-- Trying the next login method the server offers",
          "C: AUTH PLAIN (login data, not shown)", "S: 235 2.7.0 Authentication successful"}},
        {465, "tls", "auto", UMA, false, {"S: 235 2.7.0 Authentication successful"}},
        {465, "tls", "plain", UMA, false, {"S: 235 2.7.0 Authentication successful"}},
        {25, "none", "cram-md5", UMA, true, {"S: 235 2.7.0 Authentication successful"}},
        {587, "starttls", "auto", TIM, false,
         {"The server refused these recipients:",
          "zed@example.test: 550 5.1.1 <zed@example.test>: Recipient address rejected: User unknown in virtual mailbox table"},
         "\"Smith, Bob\" <bob@example.test>, zed@example.test"},
        {25, "none", "auto", TIM, false,
         {"vantrelctl: Vantrel couldn't connect to the SMTP server (last error 10202, password kept from an unencrypted connection): "
          "The password was not sent: the connection to 10.77.1.2 is not encrypted. Choose STARTTLS on port 587, or allow the "
          "password over an unencrypted connection in the options."}},
        {587, "none", "auto", TIM, true,
         {"-- The server offers no login: sending without one",
          "vantrelctl: The server did not accept the message: An unexpected MAIL response was received: 530 5.7.0 Must issue a "
          "STARTTLS command first."}},
        {465, "tls", "auto", TIM, false, {"the server's certificate was refused: unable to get local issuer certificate", "vantrelctl: Vantrel couldn't connect to the SMTP server (last error "},
         "ann@example.test", "10.77.1.2", "/dev/null"},
        {587, "starttls", "auto", TIM, false, {"the server's certificate was refused: hostname mismatch", "vantrelctl: Vantrel couldn't connect to the SMTP server (last error "},
         "ann@example.test", "mail.example.test"},
        {2525, "starttls", "auto", TIM, false, {"The server does not offer STARTTLS on port 2525", "vantrelctl: Vantrel couldn't connect to the SMTP server (last error "}},
    };
    // clang-format on
    const std::string strDir = m_dir.Path(), strSettings = strDir + "/settings.conf";
    RunShell(m_dir, "cd " + strDir + "; ip netns exec " + Ns(1) +
                        " tcpdump --immediate-mode "
                        "-i vh1 -U -w capture tcp 2>capture.log & echo $! >capture.pid");
    for (int i = 0; i < 100 && Read("capture.log").find("listening") == std::string::npos; ++i)
        usleep(50000);
    usleep(1000000); // a fresh tcpdump says "listening" a moment before it sees packets
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nPort) + " " + c.pszSecurity + " " + c.pszAuth + " " +
                     c.user.pszName);
        WriteFileBytes(strSettings,
                       "[Settings]\nSMTP=10.77.1.2\nPass=" + std::string(c.user.pszPassword) +
                           "\nAllowPlainPassword=" + (c.bAllowClear ? "1" : "0") +
                           "\nHeloName=client.example.test\nAlertEmail=1\n");
        const int nStatus = system(
            ("ip netns exec " + m_strC +
             " env SSL_CERT_FILE=" + (*c.pszTrust == '/' ? c.pszTrust : strDir + "/" + c.pszTrust) +
             " " VANTRELCTL_PATH " alert-test --settings " + strSettings + " --server " +
             c.pszServer + " --port " + std::to_string(c.nPort) + " --security " + c.pszSecurity +
             " --auth " + c.pszAuth + " --user " + c.user.pszName + " --to '" + c.pszTo +
             "' --from 'J\xc3\xb6rg, Ops <ops@example.test>' >" + strDir + "/out 2>&1")
                .c_str());
        const std::string strOut = Read("out");
        const bool bSent = !c.arrShown.back().starts_with("vantrelctl:");
        EXPECT_EQ(WEXITSTATUS(nStatus), bSent ? 0 : 1) << strOut;
        for (const std::string& strShown : c.arrShown)
            EXPECT_NE(strOut.find(strShown), std::string::npos) << strShown << "\n" << strOut;
        for (const std::string& strSecret : c.user.arrSecrets)
            EXPECT_EQ(strOut.find(strSecret), std::string::npos) << strSecret;
        if (!bSent)
            continue;
        EXPECT_EQ(TakeDelivered(std::string(c.pszTo).starts_with("ann") ? "ann" : "bob"),
                  std::string(c.pszTo).starts_with("ann")
                      ? "1 0 True J\xc3\xb6rg, Ops ann@example.test\n"
                      : "1 0 True J\xc3\xb6rg, Ops bob@example.test zed@example.test\n");
    }
    // The last packets reach the capture file: wait until it has stopped growing.
    for (size_t nSize = 0, nStable = 0, i = 0; i < 50 && nStable < 3; ++i, usleep(200000)) {
        nStable = Read("capture").size() == nSize ? nStable + 1 : 0;
        nSize = Read("capture").size();
    }
    RunShell(m_dir, "p=$(cat " + strDir +
                        "/capture.pid) && kill -INT $p && while kill -0 $p; do "
                        "sleep 0.1; done");
    const std::string strCapture = Read("capture");
    ASSERT_GT(strCapture.size(), 24u) << Read("capture.log");
    for (const SUser* pUser : {&TIM, &HUGO, &UMA})
        for (const std::string& strSecret : pUser->arrSecrets) {
            size_t nSeen = 0;
            for (size_t n = 0; (n = strCapture.find(strSecret, n)) != std::string::npos; ++n)
                ++nSeen;
            EXPECT_EQ(nSeen, strSecret == IN_CLEAR ? 1u : 0u) << strSecret;
        }
    for (const char* pszBad : {"--port 0", "--port 70000", "--security ssl",
                               "--server-name \"$(printf 'www.a.test\\r\\nBcc: x@y.test')\"",
                               "--server-name \"$(printf 'www.a.test\\tx')\"",
                               "--server-name \"$(printf 'www.a.test\\033[2J')\""})
        EXPECT_EQ(
            RunShell(m_dir, VANTRELCTL_PATH " alert-test --settings " + strSettings + " " + pszBad)
                .nExit,
            2)
            << pszBad;
}
