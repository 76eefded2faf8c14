#include "mail/recording_connection.h"
#include "mail/scripted_smtp_server.h"
#include "mail/smtp_message.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream stream;
    stream << file.rdbuf();
    return stream.str();
}

// aiosmtpd on 127.0.0.1 with user "tim", password "tanstaaf", for one test.
class MailDelivery : public testing::Test {
protected:
    void SetUp() override {
        char szDir[] = "/tmp/vantrel_smtp_XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        m_dir = szDir;
        m_nPort = FreeLoopbackPort();
        const std::string strPort = std::to_string(m_nPort);
        m_pid = fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            execl("/usr/bin/python3", "python3", VANTREL_SMTP_SINK, strPort.c_str(), m_dir.c_str(),
                  "tim", "tanstaaf", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 300 && !fs::exists(m_dir / "ready"); ++i) {
            int nStatus = 0;
            ASSERT_EQ(waitpid(m_pid, &nStatus, WNOHANG), 0)
                << "the SMTP server stopped at once: is python3-aiosmtpd installed "
                   "(scripts/setup)?";
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_TRUE(fs::exists(m_dir / "ready")) << "the SMTP server did not start";
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        fs::remove_all(m_dir);
    }

    // The message as the host-down alert composes it, with more recipients.
    static void Compose(CSMTPMessage& message) {
        message.SetMimeMode(false);
        message.AddRecipientList("Ann <ann@example.com>, bob@example.com");
        message.AddRecipient(CSMTPAddress("cc@example.com"), RECIPIENT_CC);
        message.AddRecipient(CSMTPAddress("hidden@example.com"), RECIPIENT_BCC);
        message.m_strSubject = "The host example.net went down";
        message.SetBodyText("This is an automatically generated message.\r\n.\r\n.hidden dot\nend");
        message.m_from = CSMTPAddress("Vantrel <alerts@example.com>");
        message.m_replyTo = message.m_from;
        message.AddExtraHeader("X-Program: Vantrel");
    }

    bool Deliver(int nMethod, const std::string& strPassword, CRecordingConnection& connection) {
        CSMTPMessage message;
        Compose(message);
        if (!connection.Connect("127.0.0.1", nMethod, "tim", strPassword, m_nPort))
            return false;
        bool bSent = connection.SendMessage(message);
        EXPECT_TRUE(connection.Disconnect(true));
        return bSent;
    }

    fs::path m_dir;
    uint16_t m_nPort = 0;
    pid_t m_pid = -1;
};

const char EXPECTED_DATA[] = "From: Vantrel <alerts@example.com>\r\n"
                             "To: Ann <ann@example.com>,bob@example.com\r\n"
                             "Cc: cc@example.com\r\n"
                             "Subject: The host example.net went down\r\n"
                             "Date: *\r\n"
                             "X-Mailer: CSMTPConnection v2.29\r\n"
                             "Content-Type: text/plain;\r\n\tcharset=iso-8859-1\r\n"
                             "Reply-To: Vantrel <alerts@example.com>\r\n"
                             "X-Program: Vantrel\r\n"
                             "\r\n"
                             "This is an automatically generated message.\r\n.\r\n.hidden dot\r\n"
                             "end\r\n";

} // namespace

TEST_F(MailDelivery, WithoutLoginTheServerGetsEveryByte) {
    CRecordingConnection connection;
    ASSERT_TRUE(Deliver(SMTP_AUTH_NONE, "", connection));
    EXPECT_EQ(ReadFile(m_dir / "1.env"), "client.test\n-\nalerts@example.com\nann@example.com\n"
                                         "bob@example.com\ncc@example.com\nhidden@example.com\n");
    EXPECT_EQ(WithoutDate(ReadFile(m_dir / "1.eml")), EXPECTED_DATA);
    EXPECT_TRUE(connection.m_arrDiagnostics.empty());
}

// A wrong password is refused and delivers nothing; the right one delivers the message.
TEST_F(MailDelivery, WithAuthLoginAndCramMd5) {
    const struct {
        int m_nMethod;
        const char* m_pszLogin;
        const char* m_pszRefusal;
    } logins[] = {{SMTP_AUTH_LOGIN, "tim LOGIN",
                   "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful"},
                  {SMTP_AUTH_CRAM_MD5, "tim CRAM-MD5",
                   "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful"}};
    int nDelivered = 0;
    for (const auto& login : logins) {
        CRecordingConnection refused;
        EXPECT_FALSE(Deliver(login.m_nMethod, "wrong", refused));
        EXPECT_TRUE(refused.Said(login.m_pszRefusal));
        CRecordingConnection connection;
        ASSERT_TRUE(Deliver(login.m_nMethod, "tanstaaf", connection));
        const fs::path base = m_dir / std::to_string(++nDelivered);
        EXPECT_EQ(ReadFile(base.string() + ".env").substr(0, 12 + strlen(login.m_pszLogin)),
                  std::string("client.test\n") + login.m_pszLogin);
        EXPECT_EQ(WithoutDate(ReadFile(base.string() + ".eml")), EXPECTED_DATA);
    }
    EXPECT_FALSE(fs::exists(m_dir / "3.eml"));
}

// A MIME message read back by Python's e-mail parser: the quoted-printable text (a soft break
// that puts a dot at a line start, a line that starts with a dot, an accented letter) and the
// Base64 attachment decode to exactly what was put in.
TEST_F(MailDelivery, MimeMessageDecodesToWhatWasSent) {
    const std::string strText = ".first\r\n" + std::string(77, 'a') + ".b caf\xe9\r\n.\r\nend";
    std::string strFile;
    for (int i = 0; i < 1000; ++i)
        strFile += static_cast<char>(i * 7 % 256);
    std::ofstream(m_dir / "attachment.bin", std::ios::binary) << strFile;
    CSMTPMessage message;
    message.SetMimeMode(true);
    message.m_from = CSMTPAddress("alerts@example.com");
    message.AddRecipientList("ann@example.com");
    message.SetBodyText(strText);
    CSMTPBodyPart attachment;
    attachment.m_strFilePath = (m_dir / "attachment.bin").string();
    attachment.m_strFileTitle = "attachment.bin";
    attachment.m_strContentType = "application/octet-stream";
    message.m_rootPart.AddChild(attachment);
    CRecordingConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", m_nPort));
    ASSERT_TRUE(connection.SendMessage(message));
    connection.Disconnect(true);

    const std::string strCommand =
        "/usr/bin/python3 -c 'import email, sys\n"
        "parts = [p for p in email.message_from_binary_file(open(sys.argv[1] + \"/1.eml\", \"rb\"))"
        ".walk() if not p.is_multipart()]\n"
        "for n, p in enumerate(parts): open(sys.argv[1] + \"/part%d\" % n, \"wb\")"
        ".write(p.get_payload(decode=True))' " +
        m_dir.string();
    ASSERT_EQ(system(strCommand.c_str()), 0);
    // The parser gives line ends as LF and keeps the one before the closing boundary.
    EXPECT_EQ(ReadFile(m_dir / "part0"),
              ".first\n" + std::string(77, 'a') + ".b caf\xe9\n.\nend\n");
    EXPECT_EQ(ReadFile(m_dir / "part1"), strFile);
}
