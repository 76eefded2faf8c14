#include "mail/scripted_smtp_server.h"

#include <gtest/gtest.h>

// Greeting and a multi-line EHLO reply that arrives in three pieces; Quiet checks that the
// client waits for the final "250 " line before it starts the login.
static std::vector<SServerStep> EhloThen(std::vector<SServerStep> arr) {
    arr.insert(arr.begin(),
               {Reply("220 mx.test\r\n"), Line(), Reply("250-mx.test\r\n250-AUTH LOG"), Quiet(150),
                Reply("IN CRAM-MD5\r\n"), Quiet(150), Reply("250 8BITMIME\r\n")});
    return arr;
}

// Each case connects as alice with password s3cret and a 300 ms time-out, sends the alert when
// asked, and says QUIT. The first is a whole plain-text session.
TEST(SmtpSession, AwkwardAndHostileRepliesAndLogins) {
    const SServerStep hello = Reply("220 mx.test\r\n");
    const std::string strTimedOut = "ReadResponse, Timed Out waiting for response from SMTP server";
    std::string strEhlo; // the reply buffer has to grow
    for (int i = 0; i < 200; ++i)
        strEhlo += "250-EXTENSION-NUMBER-" + std::to_string(i) + " with some words\r\n";
    const int NONE = SMTP_AUTH_NONE, LOGIN = SMTP_AUTH_LOGIN, CRAM = SMTP_AUTH_CRAM_MD5,
              PLAIN = SMTP_AUTH_LOGIN_PLAIN;
    // clang-format off
    const struct {
        std::vector<SServerStep> m_arrScript;
        int m_nLogin;
        std::string m_strSent;
        SSaid m_first{}; // diagnostic after "CSMTPConnection::" (none: success), error (0: any)
        bool m_bSend = false;
    } cases[] = {
        {{hello, "250 mx.test", "250 sender ok", "250 ok", "250 ok", "250 ok", "250 ok", "354 go",
          DataEnd("250 queued"), "221 bye"}, NONE,
         "HELO client.test\r\nMAIL FROM:<alerts@example.com>\r\nRCPT TO:<ann@example.com>\r\n"
         "RCPT TO:<bob@example.com>\r\nRCPT TO:<cc@example.com>\r\nRCPT TO:<hidden@example.com>\r\n"
         "DATA\r\n" + ALERT_HEADER + "..first\r\nsecond\r\n..\r\nlast\r\n.\r\nQUIT\r\n", {}, true},
        {{Reply("22"), Pause(150), Reply("0 mx\r"), Pause(150), Reply("\n"), "250 mx", "221 ok"},
         NONE, "HELO client.test\r\nQUIT\r\n"},
        {{Reply("220-mx.test first\r\n220 second\r\n"), "250 mx.test", "221 bye"}, NONE,
         "HELO client.test\r\nQUIT\r\n"},
        // Closed mid-reply: no time-out.
        {{hello, "250-mx.test", Hangup()}, LOGIN, "EHLO client.test\r\n", {"ConnectESMTP, An "
         "unexpected response was received occurred while sending the EHLO command", 0}},
        {{}, NONE, "QUIT\r\n", {strTimedOut, 10060}},
        {{hello, "500 unknown"}, LOGIN, "EHLO client.test\r\nQUIT\r\n", {strTimedOut, 10060}},
        {{hello, Line(), Reply(strEhlo + "250 AUTH LOGIN\r\n"), "504 no", "221 bye"}, LOGIN,
         "EHLO client.test\r\nAUTH LOGIN\r\nQUIT\r\n",
         {"AuthLogin, Server does not support AUTH LOGIN", 10043}},
        {{Reply(std::string(1100000, 'x'))}, NONE, "QUIT\r\n",
         {"ReadResponse, Response from SMTP server too long", 10040}},
        {{hello, "250 mx", "250 ok", "251 will forward", "221 bye"}, NONE, "HELO client.test\r\n"
         "MAIL FROM:<alerts@example.com>\r\nRCPT TO:<ann@example.com>\r\nQUIT\r\n",
         {"SendRCPTForRecipient, An unexpected RCPT response was received", 22}, true},
        {EhloThen({"334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6", "235 welcome", "221 bye"}), LOGIN,
         "EHLO client.test\r\nAUTH LOGIN\r\nYWxpY2U=\r\nczNjcmV0\r\nQUIT\r\n"},
        {EhloThen({"334 dXNlcm5hbWU6"}), LOGIN, "EHLO client.test\r\nAUTH LOGIN\r\nQUIT\r\n",
         {"AuthLogin, An unexpected request received when expecting username request", 0}},
        // "YWJjZA==" is "abcd" and two zero bytes: the digest covers "abcd" only.
        {EhloThen({"334 YWJjZA==", "535 bad", "221 bye"}), CRAM, "EHLO client.test\r\nAUTH CRAM-MD5"
         "\r\nYWxpY2UgOTZkNDk0OGZhNmQ4Yzc0ZDQzMDU1ZjEyMDBiNGY2YjY=\r\nQUIT\r\n",
         {"CramLogin, AUTH CRAM-MD5 authentication was unsuccessful", 0}},
        {EhloThen({"334 Username:", "334 Password:", "235 ok", "221 bye"}), PLAIN,
         "EHLO client.test\r\nAUTH LOGIN PLAIN\r\nalice\r\ns3cret\r\nQUIT\r\n"},
        // Another second prompt: the password stays home.
        {EhloThen({"334 Username:", "334 Passwort:", "221 bye"}), PLAIN,
         "EHLO client.test\r\nAUTH LOGIN PLAIN\r\nalice\r\nQUIT\r\n",
         {"AuthLoginPlain, An unexpected request received when expecting password request", 0}}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strSent);
        CScriptedSmtpServer server(c.m_arrScript);
        CSMTPMessage message;
        ComposeAlert(message);
        CRecordingConnection connection(300);
        bool bOk =
            connection.Connect("127.0.0.1", c.m_nLogin, "alice", "s3cret", server.GetPort()) &&
            (!c.m_bSend || connection.SendMessage(message));
        EXPECT_EQ(connection.Disconnect(true) && bOk, c.m_first.first.empty());
        EXPECT_FALSE(connection.IsConnected());
        EXPECT_EQ(WithoutDate(server.Transcript()), c.m_strSent);
        EXPECT_EQ(connection.First().first,
                  c.m_first.first.empty() ? "" : "CSMTPConnection::" + c.m_first.first);
        EXPECT_TRUE(c.m_first.second == 0 || connection.First().second == c.m_first.second);
    }
}

// The socket of a failed connect is closed, also when it is tried again: afterwards the lowest
// free descriptor is the one it was before.
TEST(SmtpSession, FailedConnectClosesItsSocketAndNamesTheReason) {
    uint16_t nPort;
    const int hLowestFree = LoopbackSocket(nPort); // a port nobody listens on
    close(hLowestFree);
    CRecordingConnection connection;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", nPort));
        EXPECT_EQ(connection.m_arrSaid.back().first, "CSMTPConnection::Connect, Could not connect "
                                                     "to the SMTP server 127.0.0.1 on port " +
                                                         std::to_string(nPort) +
                                                         ", GetLastError returns: 111");
    }
    const int hNext = socket(AF_INET, SOCK_STREAM, 0);
    close(hNext);
    EXPECT_EQ(hNext, hLowestFree);
}

// Partial writes: a large body arrives whole; a server that stops reading makes the send give
// up after the time-out.
TEST(SmtpSession, LargeBodies) {
    CSMTPMessage message;
    message.m_from = CSMTPAddress("a@example.com");
    message.AddRecipientList("b@example.com");
    for (bool bStall : {false, true}) {
        message.SetBodyText(std::string(bStall ? 48 << 20 : 4 << 20, 'b'));
        CScriptedSmtpServer server({Reply("220 mx.test\r\n"), "250 mx.test", "250 ok", "250 ok",
                                    "354 go", bStall ? Pause(3000) : DataEnd("250 ok"), "221 bye"});
        CRecordingConnection connection(300);
        ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
        EXPECT_EQ(connection.SendMessage(message), !bStall);
        connection.Disconnect(true);
        if (bStall)
            EXPECT_EQ(connection.First().first, "CSMTPConnection::SendMessage, Failed in call to "
                                                "send the body, GetLastError returns: 10060");
        else
            EXPECT_TRUE(server.Transcript().ends_with("\r\n\r\n" + message.GetBodyText() +
                                                      "\r\n.\r\nQUIT\r\n"));
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
