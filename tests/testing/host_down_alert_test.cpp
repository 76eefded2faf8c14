#include "core/vantrel_doc.h"
#include "mail/scripted_smtp_server.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/engine_fakes.h"
#include "testing/host_down_alert.h"
#include "testing/mail_sender.h"

#include <gtest/gtest.h>

namespace {

// The alert over a store with every mail setting, sending through a script of attempts: 'S'
// connects and delivers, 'N' connects but is refused, 'F' cannot connect (last error 10061),
// 'X' cannot connect while the worker is being stopped. Past the script, attempts deliver.
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
        SetLastError(m_cAttempt == 'S' || m_cAttempt == 'N' ? 0 : 10061);
        return m_cAttempt == 'S' || m_cAttempt == 'N';
    }
    bool SendMessage(CSMTPMessage& message) override {
        m_world.Add("send");
        m_strMail = message.BuildHeader() + "\n" + message.GetBodyText();
        return m_cAttempt == 'S';
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
                                        "connect mail.example.test 0 watcher pa55 25", "send",
                                        "disconnect"}));
    EXPECT_FALSE(rig.m_bLockedDuringMail);
    std::string strMail = rig.m_strMail;
    const size_t nDate = strMail.find("\r\nDate: ") + 2;
    strMail.erase(nDate, strMail.find("\r\n", nDate) + 2 - nDate); // when it was sent
    strMail = WithoutDate(strMail);                                // and its Message-ID
    EXPECT_EQ(strMail,
              "From: Vantrel Alerts <alerts@example.test>\r\n"
              "To: ops@example.test,Night Desk <desk@example.test>\r\n"
              "Subject: The host www.alpha.test went down\r\n"
              "Message-ID: <*@example.test>\r\n"
              "X-Mailer: CSMTPConnection v2.29\r\nContent-Type: text/plain;\r\n"
              "\tcharset=iso-8859-1\r\nReply-To: Vantrel Alerts <alerts@example.test>\r\n"
              "X-Program: Vantrel https://www.vantrel.example/\r\n\n"
              "This is an automatically generated message.\r\nThe host http://www.alpha.test "
              "went down.\r\nThis message was generated on Sat Dec  5 10:06:43 2026 UTC by "
              "Vantrel.\r\n\r\n----- Vantrel - choose your web host by measurement -----\r\n");
}

// Switches, missing settings, and the login methods 0, 1, 2 tried in turn until one delivers;
// with TLS one attempt with the login the server offers, on the configured port; a line break
// in the sender or the host name sends nothing, says why and keeps e-mail alerts on.
TEST(HostDownAlert, DeliveryTable) {
    const std::string C = "connect mail.example.test ", C0 = C + "0 watcher pa55 25", S = "send",
                      D = "disconnect", C1 = C + "1 watcher pa55 25", C2 = C + "2 watcher pa55 25";
    const std::string MISSING =
        "box You have to specify an SMTP server, recepient and sender email addresses in order to "
        "use notification by e-mail.\nThe notification will be disabled.";
    const std::string GIVE_UP = "box Vantrel couldn't connect to SMTP server, last error:10061\n";
    const std::string BREAK = "box Vantrel did not send the host-down e-mail: its ";
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
        {nullptr, 1, "NFS", {C0, S, D, C1, C2, S, D}, 1},
        {nullptr, 1, "NNF", {C0, S, D, C1, S, D, C2, GIVE_UP + "Will stop notifying by email."}, 0},
        // The last attempt connected: no delivery, but no reason to give up on e-mail.
        {nullptr, 1, "FFN", {C0, C1, C2, S, D}, 1},
        {nullptr, 1, "XF", {C0}, 1}, // stopped: the rest is skipped quietly
        {nullptr, 1, "S", {C + "5 watcher pa55 465 tls2", S, D}, 1, 2, 465},
        {nullptr, 1, "N", {C + "5 watcher pa55 587 tls1", S, D}, 1, 1, 587},
        {nullptr, 1, "F", {C + "5 watcher pa55 587 tls1", GIVE_UP + "the reason.\nWill stop "
         "notifying by email."}, 0, 1, 587},
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
