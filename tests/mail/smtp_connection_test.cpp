#include "mail/recording_connection.h"
#include "mail/scripted_smtp_server.h"
#include "mail/smtp_message.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::vector<SServerStep> Greeting(std::vector<SServerStep> arrRest) {
    std::vector<SServerStep> arr{Reply("220 mx.test ESMTP\r\n"), Line(), Reply("250 mx.test\r\n")};
    arr.insert(arr.end(), arrRest.begin(), arrRest.end());
    return arr;
}

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

int OpenDescriptors() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

} // namespace

TEST(SmtpSession, PlainMessageGoesOutByteForByte) {
    CScriptedSmtpServer server(
        Greeting({Line(), Reply("250 sender ok\r\n"), Line(), Reply("250 ok\r\n"), Line(),
                  Reply("250 ok\r\n"), Line(), Reply("250 ok\r\n"), Line(), Reply("250 ok\r\n"),
                  Line(), Reply("354 go ahead\r\n"), DataEnd(), Reply("250 queued\r\n"), Line(),
                  Reply("221 bye\r\n")}));
    CSMTPMessage message;
    message.SetMimeMode(false);
    message.m_from = CSMTPAddress("Alerts <alerts@example.com>");
    message.m_replyTo = message.m_from;
    ASSERT_TRUE(message.AddRecipientList("Ann <ann@example.com>, bob@example.com;"));
    message.AddRecipient(CSMTPAddress("cc@example.com"), RECIPIENT_CC);
    message.AddRecipient(CSMTPAddress("hidden@example.com"), RECIPIENT_BCC);
    message.m_strSubject = "The host example.net went down";
    message.SetBodyText(".first\nsecond\r\n.\rlast");
    message.AddExtraHeader("X-Program: Vantrel");

    CRecordingConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    EXPECT_TRUE(connection.SendMessage(message));
    EXPECT_TRUE(connection.Disconnect(true));
    EXPECT_FALSE(connection.IsConnected());
    EXPECT_EQ(WithoutDate(server.Transcript()),
              "HELO client.test\r\n"
              "MAIL FROM:<alerts@example.com>\r\n"
              "RCPT TO:<ann@example.com>\r\n"
              "RCPT TO:<bob@example.com>\r\n"
              "RCPT TO:<cc@example.com>\r\n"
              "RCPT TO:<hidden@example.com>\r\n"
              "DATA\r\n"
              "From: Alerts <alerts@example.com>\r\n"
              "To: Ann <ann@example.com>,bob@example.com\r\n"
              "Cc: cc@example.com\r\n"
              "Subject: The host example.net went down\r\n"
              "Date: *\r\n"
              "X-Mailer: CSMTPConnection v2.29\r\n"
              "Content-Type: text/plain;\r\n\tcharset=iso-8859-1\r\n"
              "Reply-To: Alerts <alerts@example.com>\r\n"
              "X-Program: Vantrel\r\n"
              "\r\n"
              "..first\r\nsecond\r\n..\r\nlast"
              "\r\n.\r\n"
              "QUIT\r\n");
    EXPECT_TRUE(connection.m_arrDiagnostics.empty());
}

TEST(SmtpSession, RepliesArrivingInPiecesAndMultiLineGreetings) {
    {
        // A greeting cut into three reads.
        CScriptedSmtpServer server({Reply("22"), Pause(300), Reply("0 mx.test\r"), Pause(300),
                                    Reply("\n"), Line(), Reply("250 mx.test\r\n"), Line(),
                                    Reply("221 bye\r\n")});
        CRecordingConnection connection;
        EXPECT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
        EXPECT_TRUE(connection.Disconnect(true));
        EXPECT_EQ(server.Transcript(), "HELO client.test\r\nQUIT\r\n");
    }
    // Two 220 lines in one piece match on the first; the reply keeps both lines.
    CScriptedSmtpServer server({Reply("220-mx.test first\r\n220 second\r\n"), Line(),
                                Reply("250 mx.test\r\n"), Line(), Reply("221 bye\r\n")});
    CRecordingConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    EXPECT_EQ(connection.m_arrResponses[0], "220-mx.test first\r\n220 second");
    EXPECT_EQ(connection.GetLastCommandResponseCode(), 250);
}

TEST(SmtpSession, ServerClosingMidReplyFailsAtOnceWithoutTimeOut) {
    CScriptedSmtpServer server(
        {Reply("220 mx.test\r\n"), Line(), Reply("250-mx.test\r\n"), Hangup()});
    CRecordingConnection connection(20000);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN, "u", "p", server.GetPort()));
    EXPECT_LT(MillisecondsSince(start), 5000);
    EXPECT_FALSE(connection.Said(
        "CSMTPConnection::ReadResponse, Timed Out waiting for response from SMTP server"));
    EXPECT_TRUE(connection.Said("CSMTPConnection::ConnectESMTP, An unexpected response was "
                                "received occurred while sending the EHLO command"));
    EXPECT_EQ(connection.m_arrDiagnostics.back().first,
              "CSMTPConnection::Connect, An unexpected HELO/EHLO response was received");
    EXPECT_FALSE(connection.IsConnected());
}

TEST(SmtpSession, SilenceTimesOutWith10060AndQuitIsStillTried) {
    CScriptedSmtpServer server({});
    CRecordingConnection connection(300);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    int64_t nElapsed = MillisecondsSince(start);
    EXPECT_GE(nElapsed, 600); // the greeting, then the reply to QUIT
    EXPECT_LT(nElapsed, 5000);
    ASSERT_EQ(connection.m_arrDiagnostics.size(), 4u);
    EXPECT_EQ(connection.m_arrDiagnostics[0],
              std::make_pair(std::string("CSMTPConnection::ReadResponse, Timed Out waiting for "
                                         "response from SMTP server"),
                             10060u));
    EXPECT_EQ(connection.m_arrDiagnostics[1].first,
              "CSMTPConnection::Connect, An unexpected SMTP login response was received");
    EXPECT_EQ(connection.m_arrDiagnostics[3],
              std::make_pair(std::string("CSMTPConnection::Disconnect, An unexpected QUIT "
                                         "response was received"),
                             22u));
    EXPECT_EQ(GetLastError(), 22u);
    EXPECT_EQ(server.Transcript(), "QUIT\r\n");
}

TEST(SmtpSession, ErrorToEhloIsOnlyGivenUpAfterTheTimeOut) {
    CScriptedSmtpServer server({Reply("220 mx.test\r\n"), Line(), Reply("500 unknown\r\n")});
    CRecordingConnection connection(300);
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN, "u", "p", server.GetPort()));
    ASSERT_FALSE(connection.m_arrDiagnostics.empty());
    EXPECT_EQ(connection.m_arrDiagnostics[0].second, 10060u);
    EXPECT_EQ(server.Transcript(), "EHLO client.test\r\nQUIT\r\n");
}

TEST(SmtpSession, RecipientAnswered251FailsBeforeData) {
    CScriptedSmtpServer server(
        Greeting({Line(), Reply("250 ok\r\n"), Line(), Reply("251 will forward\r\n"), Line(),
                  Reply("221 bye\r\n")}));
    CSMTPMessage message;
    message.m_from = CSMTPAddress("a@example.com");
    message.AddRecipientList("b@example.com, c@example.com");
    CRecordingConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    EXPECT_FALSE(connection.SendMessage(message));
    EXPECT_EQ(GetLastError(), 22u);
    EXPECT_TRUE(connection.Said(
        "CSMTPConnection::SendRCPTForRecipient, An unexpected RCPT response was received"));
    EXPECT_TRUE(connection.Disconnect(true));
    EXPECT_EQ(server.Transcript(),
              "HELO client.test\r\nMAIL FROM:<a@example.com>\r\nRCPT TO:<b@example.com>\r\n"
              "QUIT\r\n");
}

TEST(SmtpSession, DisconnectAndDestruction) {
    {
        CRecordingConnection never;
        EXPECT_FALSE(never.Disconnect(true));
        EXPECT_EQ(never.m_arrDiagnostics.at(0).first,
                  "CSMTPConnection::Disconnect, Already disconnected from SMTP server, doing "
                  "nothing");
    }
    {
        // QUIT unanswered.
        CScriptedSmtpServer server(Greeting({}));
        CRecordingConnection connection(300);
        ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
        EXPECT_FALSE(connection.Disconnect(true));
        EXPECT_EQ(GetLastError(), 22u);
        EXPECT_EQ(connection.m_arrDiagnostics.back().first,
                  "CSMTPConnection::Disconnect, An unexpected QUIT response was received");
        EXPECT_FALSE(connection.IsConnected());
    }
    // Destroying a connected object says QUIT.
    CScriptedSmtpServer server(Greeting({Line(), Reply("221 bye\r\n")}));
    {
        CSMTPConnection connection;
        connection.m_strHeloName = "client.test";
        ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    }
    EXPECT_EQ(server.Transcript(), "HELO client.test\r\nQUIT\r\n");
}

TEST(SmtpSession, FailedConnectClosesItsSocketAndNamesTheReason) {
    const uint16_t nPort = FreeLoopbackPort();
    int nBefore = OpenDescriptors();
    CRecordingConnection connection;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", nPort));
        EXPECT_EQ(GetLastError(), 111u); // ECONNREFUSED
        EXPECT_EQ(OpenDescriptors(), nBefore);
    }
    EXPECT_EQ(connection.m_arrDiagnostics.at(0).first,
              "CSMTPConnection::Connect, Could not connect to the SMTP server 127.0.0.1 on port " +
                  std::to_string(nPort) + ", GetLastError returns: 111");
    // A local address that cannot be resolved (a label over 63 characters is refused before
    // any lookup goes out).
    const std::string strBadName(70, 'x');
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", nPort, strBadName));
    EXPECT_EQ(GetLastError(), 10022u);
    EXPECT_EQ(connection.m_arrDiagnostics.back().first,
              "CSMTPConnection::Connect, Could not connect to the SMTP server 127.0.0.1 on port " +
                  std::to_string(nPort) + " from LocalAddress:" + strBadName +
                  ", GetLastError returns: 10022");
    EXPECT_EQ(OpenDescriptors(), nBefore);
}

TEST(SmtpSession, LongRepliesGrowAndEndlessOnesAreCut) {
    std::string strEhlo;
    for (int i = 0; i < 200; ++i)
        strEhlo += "250-EXTENSION-NUMBER-" + std::to_string(i) + " with some words\r\n";
    strEhlo += "250 AUTH LOGIN\r\n";
    {
        CScriptedSmtpServer server({Reply("220 mx.test\r\n"), Line(), Reply(strEhlo), Line(),
                                    Reply("504 no\r\n"), Line(), Reply("221 bye\r\n")});
        CRecordingConnection connection;
        EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_LOGIN, "u", "p", server.GetPort()));
        ASSERT_GE(connection.m_arrResponses.size(), 2u);
        EXPECT_EQ(connection.m_arrResponses[1], strEhlo.substr(0, strEhlo.size() - 2));
    }
    CScriptedSmtpServer server({Reply(std::string(1100000, 'x'))});
    CRecordingConnection connection(300);
    EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    EXPECT_EQ(connection.m_arrDiagnostics.at(0),
              std::make_pair(
                  std::string("CSMTPConnection::ReadResponse, Response from SMTP server too long"),
                  10040u));
}

TEST(SmtpSession, LargeBodyArrivesWholeAndAStalledServerTimesOut) {
    std::string strBody(4 * 1024 * 1024, 'b');
    for (size_t i = 100; i < strBody.size(); i += 100)
        strBody[i] = '\n';
    CSMTPMessage message;
    message.m_from = CSMTPAddress("a@example.com");
    message.AddRecipientList("b@example.com");
    message.SetBodyText(strBody);
    const std::string strPrepared = message.GetBodyText();
    {
        CScriptedSmtpServer server(Greeting(
            {Line(), Reply("250 ok\r\n"), Line(), Reply("250 ok\r\n"), Line(), Reply("354 go\r\n"),
             DataEnd(), Reply("250 ok\r\n"), Line(), Reply("221 bye\r\n")}));
        CRecordingConnection connection;
        ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
        EXPECT_TRUE(connection.SendMessage(message));
        connection.Disconnect(true);
        std::string strWire = server.Transcript();
        EXPECT_NE(strWire.find("\r\n\r\n" + strPrepared + "\r\n.\r\nQUIT\r\n"), std::string::npos);
    }
    // A server that stops reading: the send gives up after the time-out instead of hanging.
    message.SetBodyText(std::string(48 * 1024 * 1024, 'b'));
    CScriptedSmtpServer server(Greeting({Line(), Reply("250 ok\r\n"), Line(), Reply("250 ok\r\n"),
                                         Line(), Reply("354 go\r\n"), Pause(3000)}));
    CRecordingConnection connection(300);
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(connection.SendMessage(message));
    EXPECT_LT(MillisecondsSince(start), 2500);
    EXPECT_EQ(connection.m_arrDiagnostics.at(0),
              std::make_pair(std::string("CSMTPConnection::SendMessage, Failed in call to send "
                                         "the body, GetLastError returns: 10060"),
                             10060u));
}

TEST(SmtpSession, MultipartMessageLayoutOnTheWire) {
    const std::string strPath =
        (std::filesystem::temp_directory_path() / ("vantrel_mail_" + std::to_string(getpid())))
            .string();
    std::ofstream(strPath, std::ios::binary) << std::string(58, 'a');
    CSMTPMessage message;
    message.SetMimeMode(true);
    message.m_from = CSMTPAddress("a@example.com");
    message.AddRecipientList("b@example.com");
    message.SetBodyText("Hi.\n.dot");
    CSMTPBodyPart attachment;
    attachment.m_strFilePath = strPath;
    attachment.m_strFileTitle = "data.bin";
    attachment.m_strContentType = "application/octet-stream";
    message.m_rootPart.AddChild(attachment);

    CScriptedSmtpServer server(Greeting({Line(), Reply("250 ok\r\n"), Line(), Reply("250 ok\r\n"),
                                         Line(), Reply("354 go\r\n"), DataEnd(),
                                         Reply("250 ok\r\n"), Line(), Reply("221 bye\r\n")}));
    CRecordingConnection connection;
    ASSERT_TRUE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", server.GetPort()));
    EXPECT_TRUE(connection.SendMessage(message));
    connection.Disconnect(true);
    std::remove(strPath.c_str());
    const std::string strWire = server.Transcript();
    const std::string b = message.m_rootPart.GetBoundary();
    EXPECT_NE(strWire.find(
                  "X-Mailer: CSMTPConnection v2.29\r\n"
                  "Content-Transfer-Encoding: quoted-printable\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Content-Type: multipart/mixed; boundary=\"" +
                  b +
                  "\"\r\n\r\n"
                  "This is a multi-part message in MIME format"
                  "\r\n--" +
                  b +
                  "\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
                  "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                  "Hi.\r\n..dot"
                  "\r\n\r\n--" +
                  b +
                  "\r\nContent-Type: application/octet-stream; "
                  "charset=iso-8859-1; name=data.bin\r\nContent-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n"
                  "YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFh\r\n"
                  "YQ==\r\n"
                  "\r\n--" +
                  b + "--\r\n.\r\nQUIT\r\n"),
              std::string::npos)
        << strWire;
}
