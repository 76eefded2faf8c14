#include "mail/recording_connection.h"
#include "mail/scripted_smtp_server.h"

#include <gtest/gtest.h>

namespace {

// Greeting and a multi-line EHLO reply that arrives in three pieces; Quiet checks that the
// client waits for the final "250 " line before it starts the login.
std::vector<SServerStep> EhloThen(std::vector<SServerStep> arrLogin) {
    std::vector<SServerStep> arr{Reply("220 mx.test\r\n"),
                                 Line(),
                                 Reply("250-mx.test\r\n250-AUTH LOG"),
                                 Quiet(150),
                                 Reply("IN CRAM-MD5\r\n"),
                                 Quiet(150),
                                 Reply("250 8BITMIME\r\n")};
    arr.insert(arr.end(), arrLogin.begin(), arrLogin.end());
    return arr;
}

std::string Hex(const uint8_t* p, size_t n) {
    std::string str;
    char sz[3];
    for (size_t i = 0; i < n; ++i) {
        snprintf(sz, sizeof sz, "%02x", p[i]);
        str += sz;
    }
    return str;
}

} // namespace

TEST(SmtpAuth, LoginAnswersBothPromptsInBase64) {
    CScriptedSmtpServer server(
        EhloThen({Line(), Reply("334 VXNlcm5hbWU6\r\n"), Line(), Reply("334 UGFzc3dvcmQ6\r\n"),
                  Line(), Reply("235 welcome\r\n"), Line(), Reply("221 bye\r\n")}));
    CRecordingConnection connection;
    ASSERT_TRUE(
        connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN, "alice", "s3cret", server.GetPort()));
    EXPECT_TRUE(connection.Disconnect(true));
    EXPECT_EQ(server.Transcript(),
              "EHLO client.test\r\nAUTH LOGIN\r\nYWxpY2U=\r\nczNjcmV0\r\nQUIT\r\n");
    EXPECT_FALSE(server.SawUnexpectedBytes());
    EXPECT_TRUE(connection.m_arrDiagnostics.empty());
}

TEST(SmtpAuth, LoginRefusesALowerCasePromptAndSendsNothingMore) {
    CScriptedSmtpServer server(
        EhloThen({Line(), Reply("334 dXNlcm5hbWU6\r\n"), Line(), Reply("221 bye\r\n")}));
    CRecordingConnection connection;
    EXPECT_FALSE(
        connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN, "alice", "s3cret", server.GetPort()));
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nAUTH LOGIN\r\nQUIT\r\n");
    EXPECT_TRUE(connection.Said("CSMTPConnection::AuthLogin, An unexpected request received when "
                                "expecting username request"));
}

TEST(SmtpAuth, MechanismNotSupported) {
    for (int nMethod : {SMTP_AUTH_LOGIN, SMTP_AUTH_CRAM_MD5, SMTP_AUTH_LOGIN_PLAIN}) {
        CScriptedSmtpServer server(EhloThen(
            {Line(), Reply("504 unrecognised mechanism\r\n"), Line(), Reply("221 bye\r\n")}));
        CRecordingConnection connection;
        EXPECT_FALSE(connection.Connect("127.0.0.1", nMethod, "u", "p", server.GetPort()));
        const char* pszText =
            nMethod == SMTP_AUTH_LOGIN
                ? "CSMTPConnection::AuthLogin, Server does not support AUTH LOGIN"
            : nMethod == SMTP_AUTH_CRAM_MD5
                ? "CSMTPConnection::CramLogin, Server does not support AUTH CRAM-MD5"
                : "CSMTPConnection::AuthLoginPlain, Server does not support AUTH LOGIN PLAIN";
        EXPECT_TRUE(connection.Said(pszText)) << nMethod;
        EXPECT_EQ(GetLastError(), 10043u) << nMethod; // no line with the code, QUIT went well
    }
}

// RFC 2195's example exchange: challenge, user, secret and the answer it publishes.
TEST(SmtpAuth, CramMd5AnswersTheRfc2195Challenge) {
    CScriptedSmtpServer server(
        EhloThen({Line(), Reply("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n"),
                  Line(), Reply("235 ok\r\n"), Line(), Reply("221 bye\r\n")}));
    CRecordingConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_CRAM_MD5, "tim", "tanstaaftanstaaf",
                                   server.GetPort()));
    connection.Disconnect(true);
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nAUTH CRAM-MD5\r\n"
                                   "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\nQUIT\r\n");
}

TEST(SmtpAuth, CramMd5ChallengePadsDoNotEnterTheDigest) {
    // "YWJjZA==" decodes to "abcd" and two zero bytes; the digest covers "abcd" only.
    CScriptedSmtpServer server(EhloThen({Line(), Reply("334 YWJjZA==\r\n"), Line(),
                                         Reply("535 bad\r\n"), Line(), Reply("221 bye\r\n")}));
    CRecordingConnection connection;
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_CRAM_MD5, "tim", "tanstaaftanstaaf",
                                    server.GetPort()));
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nAUTH CRAM-MD5\r\n"
                                   "dGltIDYzMDExZjcxZTFmODM1NjJmNDc3YTRjN2FhMjllODNm\r\nQUIT\r\n");
    EXPECT_TRUE(connection.Said(
        "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful"));
}

TEST(SmtpAuth, LoginPlainSendsClearTextOnlyToTheRightPrompts) {
    {
        CScriptedSmtpServer server(
            EhloThen({Line(), Reply("334 Username:\r\n"), Line(), Reply("334 Password:\r\n"),
                      Line(), Reply("235 ok\r\n"), Line(), Reply("221 bye\r\n")}));
        CRecordingConnection connection;
        ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN_PLAIN, "alice", "s3cret",
                                       server.GetPort()));
        connection.Disconnect(true);
        EXPECT_EQ(server.Transcript(),
                  "EHLO client.test\r\nAUTH LOGIN PLAIN\r\nalice\r\ns3cret\r\nQUIT\r\n");
    }
    // Another second prompt: the password stays home and the login fails.
    CScriptedSmtpServer server(
        EhloThen({Line(), Reply("334 Username:\r\n"), Line(), Reply("334 Passwort:\r\n"), Line(),
                  Reply("221 bye\r\n")}));
    CRecordingConnection connection;
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN_PLAIN, "alice", "s3cret",
                                    server.GetPort()));
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nAUTH LOGIN PLAIN\r\nalice\r\nQUIT\r\n");
    EXPECT_TRUE(connection.Said("CSMTPConnection::AuthLoginPlain, An unexpected request received "
                                "when expecting password request"));
}

TEST(SmtpAuth, HmacMd5Vectors) {
    uint8_t digest[16];
    const uint8_t key1[16] = {0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b,
                              0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b, 0x0b};
    CSMTPConnection::ComputeHmacMd5(reinterpret_cast<const uint8_t*>("Hi There"), 8, key1, 16,
                                    digest);
    EXPECT_EQ(Hex(digest, 16), "9294727a3638bb1c13f48ef8158bfc9d");
    // A key longer than a block is replaced by its digest (RFC 2202, case 6).
    const std::string strLongKey(80, '\xaa');
    const std::string strText = "Test Using Larger Than Block-Size Key - Hash Key First";
    CSMTPConnection::ComputeHmacMd5(
        reinterpret_cast<const uint8_t*>(strText.data()), strText.size(),
        reinterpret_cast<const uint8_t*>(strLongKey.data()), strLongKey.size(), digest);
    EXPECT_EQ(Hex(digest, 16), "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
    // A key of exactly one block is used as it is.
    const std::string strBlockKey(64, 'k');
    CSMTPConnection::ComputeHmacMd5(reinterpret_cast<const uint8_t*>("what"), 4,
                                    reinterpret_cast<const uint8_t*>(strBlockKey.data()), 64,
                                    digest);
    EXPECT_EQ(Hex(digest, 16), "b2f7620748c25f364d573bbd73863ede");
}
