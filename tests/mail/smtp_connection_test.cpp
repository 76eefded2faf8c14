#include "mail/scripted_smtp_server.h"
#include "platform/event.h"

#include <gtest/gtest.h>

#include <fcntl.h>

// Greeting and a multi-line EHLO reply that arrives in three pieces: a client that went on before
// the final "250 " line would take the rest for the reply to its login.
static std::vector<SServerStep> EhloThen(std::vector<SServerStep> arr) {
    arr.insert(arr.begin(),
               {Reply("220 mx.test\r\n"), Line(), Reply("250-mx.test\r\n250-AUTH LOG"), Pause(150),
                Reply("IN CRAM-MD5\r\n"), Pause(150), Reply("250 8BITMIME\r\n")});
    return arr;
}

// Counting text of at least nSize bytes: no dot, no line break, no two places alike.
static std::string Counting(size_t nSize) {
    std::string str;
    while (str.size() < nSize)
        str += std::to_string(str.size()) + ' ';
    return str;
}

// Each case connects as alice with password s3cret, a 2 s connect time-out and 300 ms for a reply,
// sends the alert (spoiled first where a case says) when asked, and says QUIT. The wrong security
// for a port fails with a hint (a plain greeting under TLS at once, silence after the shorter
// time-out); a cancel from another thread lets go; a server dripping a reply that never ends is
// stopped by the limit on the whole attempt.
TEST(SmtpSession, AwkwardAndHostileRepliesAndLogins) {
    const SServerStep hello = Reply("220 mx.test\r\n");
    std::vector<SServerStep> arrDrip(41, SServerStep("", "x", 100));
    arrDrip[0] = Reply("220-");
    const std::string HQ = "HELO client.test\r\nQUIT\r\n", EQ = "EHLO client.test\r\nQUIT\r\n",
                      HINT = ". Is that the right port? Usually 587 goes with STARTTLS, 465 with "
                             "TLS and 25 with None",
                      LOGGED_IN =
                          "EHLO client.test\r\nAUTH LOGIN\r\nYWxpY2U=\r\nczNjcmV0\r\nQUIT\r\n",
                      strWhole = "MAIL FROM:<alerts@example.com>\r\nRCPT TO:<ann@example.com>\r\n"
                                 "RCPT TO:<bob@example.com>\r\nRCPT TO:<cc@example.com>\r\nRCPT "
                                 "TO:<hidden@example.com>\r\nDATA\r\n" +
                                 ALERT_HEADER + "..first\r\nsecond\r\n..\r\nlast\r\n.\r\nQUIT\r\n";
    const int NONE = SMTP_AUTH_NONE, LOGIN = SMTP_AUTH_LOGIN, CRAM = SMTP_AUTH_CRAM_MD5,
              PLAIN = SMTP_AUTH_LOGIN_PLAIN, AUTO = SMTP_AUTH_AUTO;
    const std::string CRAM_THEN_PLAIN = "EHLO client.test\r\nAUTH CRAM-MD5\r\nYWxpY2UgOTZkNDk0OGZh"
                                        "NmQ4Yzc0ZDQzMDU1ZjEyMDBiNGY2YjY=\r\n",
                      PLAIN_AUTH = "AUTH PLAIN AGFsaWNlAHMzY3JldA==\r\n";
    const std::vector<SServerStep> MX_OK{hello, "250 mx", "221 bye"};
    const auto Stalled = [&](int nMs) {
        return std::vector<SServerStep>{hello,      "250 mx",          "250 ok", "250 ok",
                                        "250 ok",   "250 ok",          "250 ok", "354 go",
                                        Pause(nMs), DataEnd("250 ok"), "221 bye"};
    };
    const std::string BROKEN = "SendMessage, The message was not sent: its ";
    // clang-format off
    const struct {
        std::vector<SServerStep> m_arrScript;
        int m_nLogin;
        std::string m_strSent; // "-": anything without an EHLO
        // The first diagnostic after "CSMTPConnection::" (none: success; "#": the port; after a
        // "*" any text, then the rest) and the last error then (0: any).
        SSaid m_first{};
        bool m_bSend = false;
        int m_nOk = -1; // whether it succeeds, when diagnostics came on the way
        const char* m_pszRefused = ""; // the recipients named as refused
        const char* m_pszUser = "alice";
        bool m_bLoopback = true; // false: the server counts as another machine
        std::vector<std::string> m_arrTrace = {}; // the commands as the trace shows them
        void (*m_pSpoil)(CSMTPMessage&) = nullptr;
        int m_nSecurity = SMTP_SECURITY_NONE, m_nLimitMs = 120000, m_nCancelMs = 0;
    } cases[] = {
        // Closed mid-reply: no time-out.
        {{hello, "250-mx.test", Hangup()}, LOGIN, "EHLO client.test\r\n", {"ConnectESMTP, An "
         "unexpected response was received occurred while sending the EHLO command", 0}},
        {{hello, "500 unknown"}, LOGIN, EQ, {"ConnectESMTP, An unexpected response was received "
         "occurred while sending the EHLO command: 500 unknown", 10043}},
        // A HELO refusal is quoted.
        {{hello, "504 5.5.2 need fully-qualified hostname", "221 bye"}, NONE, HQ, {"Connect, An "
         "unexpected HELO/EHLO response was received: 504 5.5.2 need fully-qualified hostname", 10043}},
        // A reply ends at the line whose code is followed by a space, however slowly it comes; two
        // replies in one read are two replies.
        {{Reply("220-first\r\n"), Pause(200), Reply("220-"), Pause(200), Reply("second\r\n220"),
          Pause(200), Reply(" ready\r\n"), "250 mx", "221 bye"}, NONE, HQ},
        {{Reply("220 mx\r\n250 early\r\n"), Line(), "221 bye"}, NONE, HQ},
        // A long reply line: the buffer has to grow.
        {{hello, Line(), Reply("250-" + Counting(9000) + "\r\n250 AUTH LOGIN\r\n"), "504 no",
          "221 bye"}, LOGIN, "EHLO client.test\r\nAUTH LOGIN\r\nQUIT\r\n",
         {"AuthLogin, The server refused AUTH LOGIN: 504 no", 10043}},
        {{Reply(std::string(1100000, 'x'))}, NONE, "",
         {"ReadResponse, Response from SMTP server too long", 10040}},
        // Refused recipients are skipped; when none is left nothing is sent.
        {{hello, "250 mx", "250 ok", "252 cannot verify", "550 5.1.1 <bob@example.com>: user "
          "unknown", "550 no", "550 no", "221 bye"}, NONE, "HELO client.test\r\n" +
         strWhole.substr(0, strWhole.find("DATA")) + "QUIT\r\n", {"SendRCPTForRecipient, The server "
         "refused the recipient ann@example.com: 252 cannot verify", 22}, true, -1, "ann@example.com:"
         " 252 cannot verify\nbob@example.com: 550 5.1.1 <bob@example.com>: user unknown\n"
         "cc@example.com: 550 no\nhidden@example.com: 550 no"},
        // 251 (will forward) is as good as 250; 252 is not.
        {{hello, "250 mx", "250 ok", "251 forward", "550 5.1.1 <bob@example.com>: user unknown",
          "250 ok", "550 no", "354 go", DataEnd("250 queued"), "221 bye"}, NONE, "HELO client.test"
         "\r\n" + strWhole, {"SendRCPTForRecipient, The server refused the recipient "
         "bob@example.com: 550 5.1.1 <bob@example.com>: user unknown", 22}, true, 1,
         "bob@example.com: 550 5.1.1 <bob@example.com>: user unknown\nhidden@example.com: 550 no"},
        // Given up while the server waits for an answer: "*" cancels before QUIT.
        {EhloThen({"334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6", "334 more", "501 cancelled",
                   "221 bye"}), LOGIN,
         "EHLO client.test\r\nAUTH LOGIN\r\nYWxpY2U=\r\nczNjcmV0\r\n*\r\nQUIT\r\n",
         {"AuthLogin, AUTH LOGIN authentication was unsuccessful: 334 more", 10043}},
        // The login the EHLO reply offers: CRAM-MD5 before PLAIN before LOGIN; none offered, or
        // no user name, none tried.
        {{hello, "250-mx\r\n250-AUTH=LOGIN PLAIN\r\n250 SIZE", "235 ok", "221 bye"}, AUTO,
         "EHLO client.test\r\n" + PLAIN_AUTH + "QUIT\r\n"},
        {{hello, "250-mx\r\n250 SIZE 100", "221 bye"}, AUTO, EQ},
        {{hello, "250-mx\r\n250 AUTH PLAIN", "221 bye"}, AUTO, EQ, {}, false, -1, "", ""},
        // Another second prompt: the password stays home.
        {EhloThen({"334 Username:", "334 Passwort:", "501 cancelled", "221 bye"}), PLAIN,
         "EHLO client.test\r\nAUTH LOGIN PLAIN\r\nalice\r\n*\r\nQUIT\r\n",
         {"AuthLoginPlain, An unexpected request received when expecting password request", 0}},
        // Any 334 is the prompt, whatever its text. The trace shows commands as sent, but never the
        // login answers, and never the message.
        {EhloThen({"334 User Name", "334 Password", "235 ok", "250 ok", "250 ok", "250 ok",
                   "250 ok", "250 ok", "354 go", DataEnd("250 queued"), "221 bye"}), LOGIN,
         LOGGED_IN.substr(0, LOGGED_IN.size() - 6) + strWhole, {}, true, -1, "", "alice", true,
         {"EHLO client.test", "AUTH LOGIN", "(login data, not shown)", "(login data, not shown)",
          "MAIL FROM:<alerts@example.com>", "RCPT TO:<ann@example.com>", "RCPT TO:<bob@example.com>",
          "RCPT TO:<cc@example.com>", "RCPT TO:<hidden@example.com>", "DATA",
          "(message header and body)", "QUIT"}},
        // With a login, AUTH goes only to a server that offers it, and to another machine only
        // under TLS or with leave: otherwise nothing of the password leaves.
        {{hello, "250-mx\r\n250 AUTH PLAIN LOGIN", "221 bye"}, AUTO, EQ, {"Login, The password was "
         "not sent: the connection to 127.0.0.1 is not encrypted. Choose STARTTLS on port 587, or "
         "allow the password over an unencrypted connection in the options", 10202}, false, -1, "",
         "alice", false},
        {{hello, "250-mx\r\n250 AUTH PLAIN LOGIN", "221 bye"}, CRAM, EQ, {"Login, The server does "
         "not offer CRAM-MD5 (it offers PLAIN LOGIN)", 10203}},
        // Automatic: on a 535 the next method offered, here on a connection of its own. ("YWJjZA=="
        // is "abcd" and two zero bytes: the digest covers "abcd" only.)
        {{hello, "250-mx\r\n250 AUTH CRAM-MD5 PLAIN LOGIN", "334 YWJjZA==", "535 5.7.8 hashed",
          Reconnect(), hello, "250-mx\r\n250 AUTH CRAM-MD5 PLAIN LOGIN", "535 5.7.8 no", Reconnect(),
          hello, "250-mx\r\n250 AUTH CRAM-MD5 PLAIN LOGIN", "334 VXNlcm5hbWU6", "334 UGFzc3dvcmQ6",
          "235 ok", "221 bye"}, AUTO, CRAM_THEN_PLAIN + "EHLO client.test\r\n" + PLAIN_AUTH +
         LOGGED_IN, {"CramLogin, AUTH CRAM-MD5 authentication was unsuccessful: 535 5.7.8 hashed", 0},
         false, 1},
        // 454 is not a wrong password: no other method is tried.
        {{hello, "250-mx\r\n250 AUTH PLAIN LOGIN", "454 4.7.0 Temporary authentication failure",
          "221 bye"}, AUTO, "EHLO client.test\r\n" + PLAIN_AUTH + "QUIT\r\n", {"AuthPlain, AUTH "
         "PLAIN authentication was unsuccessful: 454 4.7.0 Temporary authentication failure", 10043}},
        // A CR or LF in anything that ends up in a command or header line: none of it is sent.
        {MX_OK, NONE, HQ, {BROKEN + "subject contains a line break", 87}, true, -1, "", "", true, {},
         [](CSMTPMessage& m) { m.m_strSubject = "down\r\nBcc: x@evil.test"; }},
        {MX_OK, NONE, HQ, {BROKEN + "sender contains a line break", 87}, true, -1, "", "", true, {},
         [](CSMTPMessage& m) { m.m_from.m_strAddress = "a@b.test>\r\nRCPT TO:<x"; }},
        {MX_OK, NONE, HQ, {BROKEN + "recipient contains a line break", 87}, true, -1, "", "", true, {},
         [](CSMTPMessage& m) { m.AddRecipient(CSMTPAddress("Eve <e@x\n.test>")); }},
        {MX_OK, NONE, HQ, {BROKEN + "reply-to address contains a line break", 87}, true, -1, "", "",
         true, {}, [](CSMTPMessage& m) { m.m_replyTo.m_strDisplayName = "A\rB"; }},
        // Bytes sent behind the "220" to STARTTLS would pass for protected replies after the
        // handshake.
        {{hello, "250-mx\r\n250 STARTTLS", "220 go\r\n250-AUTH PLAIN\r\n250 ok"}, NONE,
         "EHLO client.test\r\nSTARTTLS\r\n", {"BeginTLS, The server sent data before TLS began",
         SOCKET_ERROR_TLS_FAILED}, false, -1, "", "", true, {}, nullptr, SMTP_SECURITY_STARTTLS},
        {{Reply("220 mx.test ESMTP\r\n")}, NONE, "-", {"BeginTLS, TLS with 127.0.0.1 failed: * on "
         "port # with security TLS" + HINT, SOCKET_ERROR_TLS_FAILED}, false, -1, "", "", true, {},
         nullptr, SMTP_SECURITY_TLS},
        {{}, NONE, "", {"Connect, No greeting from the SMTP server within 1 s on port # with "
         "security STARTTLS" + HINT, 10060}, false, -1, "", "", true, {}, nullptr, SMTP_SECURITY_STARTTLS},
        {{}, NONE, "", {"ReadResponse, Cancelled", ECANCELED}, false, -1, "", "", true, {}, nullptr,
         SMTP_SECURITY_NONE, 120000, 100},
        {arrDrip, NONE, "", {"ReadResponse, The SMTP server took longer than an attempt may last",
         10060}, false, -1, "", "", true, {}, nullptr, SMTP_SECURITY_NONE, 1000},
        // Partial writes: a large body arrives whole and in order after the server paused its
        // reading longer than a send may wait; a server that stops reading makes the send give up.
        {Stalled(450), NONE, "HELO client.test\r\n" + strWhole.substr(0, strWhole.find("..first")) +
         Counting(4u << 20) + "\r\n.\r\nQUIT\r\n", {}, true, -1, "", "", true, {},
         [](CSMTPMessage& m) { m.SetBodyText(Counting(4u << 20)); }},
        {Stalled(3000), NONE, "-", {"SendMessage, Failed in call to send the body, GetLastError "
         "returns: 10060", 10060}, true, -1, "", "", true, {},
         [](CSMTPMessage& m) { m.SetBodyText(Counting(48u << 20)); }},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_strSent.substr(0, 300) + c.m_first.first);
        CScriptedSmtpServer server(c.m_arrScript);
        CSMTPMessage message;
        ComposeAlert(message);
        if (c.m_pSpoil != nullptr)
            c.m_pSpoil(message);
        CEvent evCancel;
        CRecordingConnection connection(c.m_nCancelMs > 0 ? 30000 : 300); // the cancel ends it
        connection.m_dwConnectTimeoutMs = 2000;
        connection.m_bLoopback = c.m_bLoopback;
        connection.m_nSecurity = c.m_nSecurity;
        connection.m_dwAttemptLimitMs = c.m_nLimitMs;
        connection.m_pCancel = &evCancel;
        std::jthread canceller([&] {
            if (c.m_nCancelMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(c.m_nCancelMs)),
                    evCancel.Set();
        });
        bool bOk =
            connection.Connect("127.0.0.1", c.m_nLogin, c.m_pszUser, "s3cret", server.GetPort()) &&
            (!c.m_bSend || connection.SendMessage(message));
        EXPECT_EQ(connection.Disconnect(true) && bOk,
                  c.m_nOk >= 0 ? c.m_nOk == 1 : c.m_first.first.empty());
        EXPECT_FALSE(connection.IsConnected());
        const std::string strSent = WithoutDate(server.Transcript());
        EXPECT_TRUE(c.m_strSent == "-" ? strSent.find("EHLO") == std::string::npos
                                       : strSent == c.m_strSent)
            << strSent.substr(0, 2000);
        std::string strSaid = c.m_first.first.empty() ? "" : "CSMTPConnection::" + c.m_first.first;
        for (size_t n; (n = strSaid.find('#')) != std::string::npos;)
            strSaid.replace(n, 1, std::to_string(server.GetPort()));
        const size_t nAny = strSaid.find('*');
        const auto [strFirst, dwError] = connection.First();
        EXPECT_TRUE(strFirst.starts_with(strSaid.substr(0, nAny)) &&
                    (nAny == std::string::npos ||
                     strFirst.find(strSaid.substr(nAny + 1), nAny) != std::string::npos))
            << strFirst;
        EXPECT_TRUE(c.m_first.second == 0 || dwError == c.m_first.second) << dwError;
        EXPECT_EQ(connection.GetRefusedRecipients(), c.m_pszRefused);
        EXPECT_TRUE(c.m_arrTrace.empty() || connection.m_arrCommands == c.m_arrTrace);
    }
}

// A failed connect names the reason and closes its socket, also when tried again. A full accept
// queue never answers the SYN: the time-out gives 10060, not the errno of the interrupted call. A
// line break in a name is refused before anything is sent.
TEST(SmtpSession, FailedConnectsCloseTheirSocketAndNameTheReason) {
    uint16_t nPort;
    const int hLowestFree = LoopbackSocket(nPort); // a port nobody listens on
    close(hLowestFree);
    CRecordingConnection connection(300);
    std::vector<int> arrOpen;
    for (const uint32_t dwError : {111u, 111u, 10060u}) {
        if (dwError == 10060) { // a listener with a queue of one, full
            EXPECT_EQ(fcntl(hLowestFree, F_GETFD), -1) << "left open by a failed connect";
            arrOpen.push_back(LoopbackSocket(nPort));
            ASSERT_EQ(listen(arrOpen[0], 0), 0);
            const sockaddr_in addr{AF_INET, htons(nPort), {htonl(INADDR_LOOPBACK)}, {}};
            for (int i = 0; i < 4; ++i) {
                arrOpen.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
                connect(arrOpen.back(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
            }
            usleep(100000);
        }
        EXPECT_FALSE(connection.Connect("127.0.0.1", SMTP_AUTH_NONE, "", "", nPort));
        EXPECT_EQ(connection.m_arrSaid.back(),
                  SSaid("CSMTPConnection::Connect, Could not connect to the SMTP server 127.0.0.1 "
                        "on port " +
                            std::to_string(nPort) +
                            ", GetLastError returns: " + std::to_string(dwError),
                        dwError));
    }
    for (int h : arrOpen)
        close(h);
    EXPECT_FALSE(connection.Connect("127.0.0.1\r\nDATA", SMTP_AUTH_NONE, "", "", 25));
    EXPECT_EQ(connection.m_arrSaid.back(),
              SSaid("CSMTPConnection::Connect, The server name, the HELO "
                    "name or the login contains a line break",
                    87));
}

// The HELO name: a fully qualified name, else the local address as a literal.
TEST(SmtpSession, HeloName) {
    for (const char* pszName : {"myhost", "myhost.", "myhost.localdomain", ""})
        EXPECT_EQ(CSMTPConnection::ChooseHeloName(pszName, "192.0.2.7"), "[192.0.2.7]");
    EXPECT_EQ(CSMTPConnection::ChooseHeloName("mail.example.org", "192.0.2.7"), "mail.example.org");
}
