#include "mail/scripted_smtp_server.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

// aiosmtpd on 127.0.0.1 (user "tim", password "tanstaaf") writes each message it accepts to
// N.eml and its envelope to N.env.
class MailDelivery : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(mkdtemp(m_szDir), nullptr);
        close(LoopbackSocket(m_nPort));
        if ((m_pid = fork()) == 0) {
            execl("/usr/bin/python3", "python3", VANTREL_SMTP_SINK, std::to_string(m_nPort).c_str(),
                  m_szDir, "tim", "tanstaaf", nullptr);
            _exit(127);
        }
        for (int i = 0; i < 300 && Read("ready") == "-"; ++i) {
            ASSERT_EQ(waitpid(m_pid, nullptr, WNOHANG), 0)
                << "the SMTP server stopped: is python3-aiosmtpd installed (scripts/setup)?";
            usleep(50000);
        }
        ASSERT_EQ(Read("ready"), "") << "the SMTP server did not start";
    }
    void TearDown() override {
        if (m_pid > 0 && kill(m_pid, SIGTERM) == 0)
            waitpid(m_pid, nullptr, 0);
        std::filesystem::remove_all(m_szDir);
    }
    // The file's bytes; "-" when it is missing.
    std::string Read(const std::string& strName) const {
        std::ifstream file(m_szDir + ("/" + strName), std::ios::binary);
        std::ostringstream stream;
        stream << file.rdbuf();
        return file.is_open() ? stream.str() : "-";
    }

    char m_szDir[25] = "/tmp/vantrel_smtp_XXXXXX";
    uint16_t m_nPort = 0;
    pid_t m_pid = -1;
};

// Without a login, and with each login: a wrong password is refused and delivers nothing.
TEST_F(MailDelivery, AlertArrivesByteForByte) {
    // clang-format off
    const struct { int m_nMethod; const char *m_pszLogin, *m_pszRefusal; } logins[] = {
        {SMTP_AUTH_NONE, "-", ""},
        {SMTP_AUTH_LOGIN, "tim LOGIN",
         "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful"},
        {SMTP_AUTH_CRAM_MD5, "tim CRAM-MD5",
         "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful"}};
    // clang-format on
    int nDelivered = 0;
    for (const auto& login : logins) {
        for (const char* pszPassword : {"wrong", "tanstaaf"}) {
            const bool bRight = *login.m_pszRefusal == '\0' || pszPassword[0] == 't';
            CSMTPMessage message;
            ComposeAlert(message);
            CRecordingConnection connection;
            EXPECT_EQ(
                connection.Connect("127.0.0.1", login.m_nMethod, "tim", pszPassword, m_nPort) &&
                    connection.SendMessage(message) && connection.Disconnect(true),
                bRight);
            EXPECT_EQ(connection.First().first, bRight ? "" : login.m_pszRefusal);
            if (!bRight)
                continue;
            const std::string strNumber = std::to_string(++nDelivered);
            EXPECT_EQ(Read(strNumber + ".env"),
                      "client.test\n" + std::string(login.m_pszLogin) +
                          "\nalerts@example.com\nann@example.com\nbob@example.com\n"
                          "cc@example.com\nhidden@example.com\n");
            EXPECT_EQ(WithoutDate(Read(strNumber + ".eml")),
                      ALERT_HEADER + ".first\r\nsecond\r\n.\r\nlast\r\n");
        }
    }
    EXPECT_EQ(Read("5.eml"), "-");
}
