#include "core/vantrel_doc.h"
#include "mail/scripted_smtp_server.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/alert_mail_trial.h"
#include "testing/engine_fakes.h"
#include "testing/host_down_alert.h"
#include "testing/mail_sender.h"

#include <gtest/gtest.h>

namespace {

// The alert over a store with every mail setting, sending through a script of attempts: 'S'
// connects and delivers, 'P' delivers to some recipients only, 'N' connects but is refused, 'F'
// cannot connect (last error 10061), 'R' is refused the connection (111), 'X' cannot connect
// while the worker is being stopped. Past the script, attempts deliver.
// Attempts and boxes go to one log, in order.
struct CAlertRig : CMailSender {
    CAlertRig() {
        m_world.m_tNow = 1'796'465'203; // Sat Dec  5 10:06:43 2026 UTC
        m_doc.m_settings.m_strSMTP = "mail.example.test";
        m_doc.m_settings.m_strLogin = "watcher";
        m_doc.m_settings.m_strPass = "pa55";
        m_doc.m_settings.m_strEmailFrom = "Vantrel Alerts <alerts@example.test>";
        m_doc.m_settings.m_strEmailTo = "ops@example.test; Night Desk <desk@example.test>";
        m_doc.m_settings.m_bAlertEmail = 1;
    }
    bool Connect(const std::string& strServer, int nMethod, const std::string& strUser,
                 const std::string& strPass, uint16_t nPort, int nSecurity) override {
        m_world.Add("connect " + strServer + " " + std::to_string(nMethod) + " " + strUser + " " +
                    strPass + " " + std::to_string(nPort) +
                    (nSecurity != 0 ? " tls" + std::to_string(nSecurity) : ""));
        m_bLockedDuringMail |= IsHeldByAnyone(m_doc.m_mtxSettings); // would block the options
        m_cAttempt = m_strScript.empty() ? 'S' : m_strScript[0];
        m_strScript.erase(0, 1);
        if (m_cAttempt == 'X')
            m_doc.m_hStopEvent.Set();
        const bool bConnected = m_cAttempt == 'S' || m_cAttempt == 'P' || m_cAttempt == 'N';
        SetLastError(bConnected ? 0 : m_cAttempt == 'R' ? 111 : 10061);
        return bConnected;
    }
    bool SendMessage(CSMTPMessage& message) override {
        m_world.Add("send");
        m_strMail = message.BuildHeader() + "\n" + message.GetBodyText();
        return m_cAttempt == 'S' || m_cAttempt == 'P';
    }
    std::string GetRefusedRecipients() const override {
        return m_cAttempt == 'P' ? "ops@example.test: 550 5.1.1 user unknown" : "";
    }
    void Disconnect() override { m_world.Add("disconnect"); }
    std::string GetFailureReason() const override { return "the reason"; }

    CFakeWorld m_world; // boxes and time
    CVantrelDoc m_doc{m_world, nullptr};
    CHostDownAlert m_alert{*this, m_world};
    std::string m_strScript, m_strMail;
    char m_cAttempt = 'S';
    bool m_bLockedDuringMail = false;
};

TEST(HostDownAlert, BoxThenMailWrittenInUTC) {
    CAlertRig rig;
    rig.m_doc.m_settings.m_bAlertSystem = 1;
    setenv("TZ", "Asia/Kolkata", 1); // a local time that is not UTC
    tzset();
    rig.m_alert.RaiseHostDownAlert(rig.m_doc, "www.alpha.test");
    EXPECT_EQ(rig.m_world.Get(),
              (std::vector<std::string>{"box The URL http://www.alpha.test became unavailable.",
                                        "connect mail.example.test 5 watcher pa55 25", "send",
                                        "disconnect"}));
    EXPECT_FALSE(rig.m_bLockedDuringMail);
    std::string strMail = rig.m_strMail;
    const size_t nDate = strMail.find("\r\nDate: ") + 2;
    strMail.erase(nDate, strMail.find("\r\n", nDate) + 2 - nDate); // when it was sent
    strMail = WithoutDate(strMail);                                // and its Message-ID
    EXPECT_EQ(
        strMail,
        "From: Vantrel Alerts <alerts@example.test>\r\n"
        "To: ops@example.test,Night Desk <desk@example.test>\r\n"
        "Subject: The host www.alpha.test went down\r\n"
        "Message-ID: <*@example.test>\r\n"
        "X-Mailer: CSMTPConnection v2.29\r\nMIME-Version: 1.0\r\nContent-Type: text/plain;\r\n"
        "\tcharset=iso-8859-1\r\nReply-To: Vantrel Alerts <alerts@example.test>\r\n"
        "X-Program: Vantrel https://www.vantrel.example/\r\n\n"
        "This is an automatically generated message.\r\nThe host http://www.alpha.test "
        "went down.\r\nThis message was generated on Sat Dec  5 10:06:43 2026 UTC by "
        "Vantrel.\r\n\r\n----- Vantrel - choose your web host by measurement -----\r\n");
}

// A host name beyond ASCII (ISO-8859-1 in the data file) goes out as UTF-8: an encoded subject
// and a quoted-printable body.
TEST(HostDownAlert, NonAsciiHostGoesOutAsUtf8) {
    CSMTPMessage message;
    CHostDownAlert::ComposeMessage(message, "\xe9t\xe9.test", "A <a@example.test>",
                                   "b@example.test", 0);
    const std::string strHeader = message.BuildHeader();
    EXPECT_NE(strHeader.find("\r\nSubject: =?utf-8?q?The_host_=C3=A9t=C3=A9.test_went_down?=\r\n"),
              std::string::npos);
    EXPECT_NE(strHeader.find("charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n"),
              std::string::npos);
    std::string strBody;
    message.m_rootPart.GetBody(strBody);
    EXPECT_EQ(strBody.substr(0, 84), "This is an automatically generated message.\r\nThe host "
                                     "http://=C3=A9t=C3=A9.test went");
}

// Switches and missing settings. Without a login the methods 0, 1, 2 are tried in turn until
// one delivers, but a refused connection is not tried again; with a login or TLS, one attempt
// with the login chosen (5: automatic). Every failure quotes the reason; a line break in the
// sender or the host name sends nothing, says why and keeps e-mail alerts on.
TEST(HostDownAlert, DeliveryTable) {
    const std::string C = "connect mail.example.test ", C0 = C + "0  pa55 25", S = "send",
                      D = "disconnect", C1 = C + "1  pa55 25", C2 = C + "2  pa55 25",
                      C5 = C + "5 watcher pa55 25";
    const std::string MISSING =
        "box You have to specify an SMTP server, recepient and sender email addresses in order to "
        "use notification by e-mail.\nThe notification will be disabled.";
    const std::string GIVE_UP = "box Vantrel couldn't connect to SMTP server, last error:";
    const std::string OTHER = GIVE_UP + "10061 (unknown error 10061)\nthe reason.\nWill stop "
                                        "notifying by email.";
    const std::string NOT_SENT = "box Vantrel could not send the host-down e-mail:\nthe reason.\n"
                                 "E-mail alerts stay on.";
    const std::string BREAK = "box Vantrel did not send the host-down e-mail: its ";
    std::string CAppSettings::*const NO_LOGIN = &CAppSettings::m_strLogin;
    // clang-format off
    struct CCase {
        std::string CAppSettings::*pCleared; // a setting left empty
        int bEmail;
        std::string strScript;
        std::vector<std::string> arrEvents;
        int bEmailAfter, nSecurity = 0, nPort = 25;
        std::string strFrom = "", strHostTail = ""; // a sender instead of the usual one
    } const arrCases[] = {
        {nullptr, 0, "", {}, 0},
        {&CAppSettings::m_strSMTP, 1, "", {MISSING}, 0},
        {&CAppSettings::m_strEmailTo, 1, "", {MISSING}, 0},
        {&CAppSettings::m_strEmailFrom, 1, "", {MISSING}, 0},
        {NO_LOGIN, 1, "NFS", {C0, S, D, C1, C2, S, D}, 1},
        {NO_LOGIN, 1, "NNF", {C0, S, D, C1, S, D, C2, OTHER}, 0},
        // The last attempt connected: no delivery, and e-mail alerts stay on.
        {NO_LOGIN, 1, "FFN", {C0, C1, C2, S, D, NOT_SENT}, 1},
        {NO_LOGIN, 1, "XF", {C0}, 1}, // stopped: the rest is skipped quietly
        {NO_LOGIN, 1, "RS", {C0, GIVE_UP + "111 (connection refused)\nthe reason.\nWill stop "
         "notifying by email."}, 0},
        {nullptr, 1, "F", {C5, OTHER}, 0},
        {nullptr, 1, "P", {C5, S, D, "box The host-down e-mail was sent, but the SMTP server "
         "refused these recipients:\nops@example.test: 550 5.1.1 user unknown"}, 1},
        {nullptr, 1, "S", {C + "5 watcher pa55 465 tls2", S, D}, 1, 2, 465},
        {nullptr, 1, "N", {C + "5 watcher pa55 587 tls1", S, D, NOT_SENT}, 1, 1, 587},
        {nullptr, 1, "S", {BREAK + "sender contains a line break."}, 1, 0, 25,
         "a@example.test\r\nBcc: evil@example.test"},
        {nullptr, 1, "S", {BREAK + "subject contains a line break."}, 1, 0, 25, "",
         "\nBcc: evil@example.test"}};
    // clang-format on
    for (const CCase& c : arrCases) {
        CAlertRig rig;
        rig.m_doc.m_settings.m_bAlertEmail = c.bEmail;
        if (c.pCleared)
            rig.m_doc.m_settings.*c.pCleared = "";
        rig.m_doc.m_settings.m_nSMTPSecurity = c.nSecurity;
        rig.m_doc.m_settings.m_nSMTPPort = c.nPort;
        if (!c.strFrom.empty())
            rig.m_doc.m_settings.m_strEmailFrom = c.strFrom;
        rig.m_strScript = c.strScript;
        rig.m_alert.RaiseHostDownAlert(rig.m_doc, "www.alpha.test" + c.strHostTail);
        EXPECT_EQ(rig.m_world.Get(), c.arrEvents) << &c - arrCases;
        EXPECT_EQ(rig.m_doc.m_settings.m_bAlertEmail, c.bEmailAfter) << &c - arrCases;
    }
}

} // namespace

// The options' test e-mail is the alert, but its subject and first lines say it is a test.
TEST(HostDownAlert, TestMailSaysItIsATest) {
    CSMTPMessage message;
    CAlertMailTrial::ComposeTestMessage(message, "www.alpha.test", "a@example.test",
                                        "ops@example.test", 1'796'465'203);
    EXPECT_EQ(message.m_strSubject,
              "Vantrel test e-mail: The host www.alpha.test went down (not a real alert)");
    EXPECT_EQ(message.GetBodyText(),
              "This is a test e-mail from Vantrel's mail settings. No host went down.\r\nWhen a "
              "tested host goes down, the alert reads as follows.\r\n\r\n"
              "This is an automatically generated message.\r\nThe host http://www.alpha.test "
              "went down.\r\nThis message was generated on Sat Dec  5 10:06:43 2026 UTC by "
              "Vantrel.\r\n\r\n----- Vantrel - choose your web host by measurement -----\r\n");
}
