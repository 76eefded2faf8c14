#include "core/vantrel_doc.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/alert_mail_queue.h"
#include "testing/engine_fakes.h"
#include "testing/host_down_alert.h"
#include "testing/mail_sender.h"

#include <gtest/gtest.h>

namespace {

constexpr time_t T_UP = 1'796'465'203; // Sat Dec  5 10:06:43 2026 UTC

// The alert over a store with every mail setting, sending through a script of attempts: 'S'
// connects and delivers, 'P' delivers to some recipients only, 'N' connects but is refused, 'F'
// cannot connect (last error 10061), 'R' is refused the connection (111). Past the script,
// attempts deliver. Attempts and boxes go to one log, in order. Retries follow at once.
struct CAlertRig {
    struct CSender : CMailSender { // on the queue's thread
        CAlertRig& m_rig;
        explicit CSender(CAlertRig& rig) : m_rig(rig) {}
        bool Connect(const std::string& strServer, int nMethod, const std::string& strUser,
                     const std::string& strPass, uint16_t nPort, int nSecurity) override {
            m_rig.m_world.Add("connect " + strServer + " " + std::to_string(nMethod) + " " +
                              strUser + " " + strPass + " " + std::to_string(nPort) +
                              (nSecurity != 0 ? " tls" + std::to_string(nSecurity) : ""));
            m_rig.m_bLockedDuringMail |= IsHeldByAnyone(m_rig.m_doc.m_mtxSettings);
            std::string& strScript = m_rig.m_strScript;
            m_cAttempt = strScript.empty() ? 'S' : strScript[0];
            strScript.erase(0, 1);
            SetLastError(m_cAttempt == 'R' ? 111 : m_cAttempt == 'F' ? 10061 : 0);
            return m_cAttempt != 'R' && m_cAttempt != 'F';
        }
        bool SendMessage(CSMTPMessage& message) override {
            m_rig.m_world.Add("send");
            m_rig.m_strMail = message.BuildHeader() + "\n" + message.GetBodyText();
            return m_cAttempt == 'S' || m_cAttempt == 'P';
        }
        std::string GetRefusedRecipients() const override {
            return m_cAttempt == 'P' ? "ops@example.test: 550 5.1.1 user unknown" : "";
        }
        void Disconnect() override { m_rig.m_world.Add("disconnect"); }
        std::string GetFailureReason() const override { return "the reason"; }
        char m_cAttempt = 'S';
    };
    CAlertRig() {
        m_queue.SetRetryDelays({{}, {}, {}});
        m_world.m_tNow = T_UP;
        CAppSettings& settings = m_doc.m_settings;
        settings.m_strSMTP = "mail.example.test";
        settings.m_strLogin = "watcher";
        settings.m_strPass = "pa55";
        settings.m_strEmailFrom = "Vantrel Alerts <alerts@example.test>";
        settings.m_strEmailTo = "ops@example.test; Night Desk <desk@example.test>";
        settings.m_bAlertEmail = 1;
    }
    // Raised at tNow; returns when the queue has nothing left to do.
    void Raise(const std::string& strServer) {
        m_alert.RaiseHostDownAlert(
            m_doc, {strServer, "Alpha", "http://" + strServer + "/t", m_world.m_tNow, 0});
        EXPECT_TRUE(m_queue.WaitUntilIdle(10000));
    }

    CFakeWorld m_world; // boxes and time
    CVantrelDoc m_doc{m_world, nullptr};
    CAlertMailQueue m_queue{[this] { return std::make_unique<CSender>(*this); }, m_world};
    CHostDownAlert m_alert{m_queue};
    std::string m_strScript, m_strMail;
    bool m_bLockedDuringMail = false;
};

// The length of an outage and the day it began; the days a certificate has left, rounded to the
// nearest, and its day in UTC.
TEST(HostDownAlert, UpAndCertificateTexts) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::pair<time_t, const char*> arrDown[] = {
        {10, "1 min; it was down since 10:06."},
        {3 * 3600 + 5 * 60, "3 h 5 min; it was down since 07:01."},
        {2 * 3600, "2 h; it was down since 08:06."},
        {11 * 3600, "11 h; it was down since Dec 4, 23:06."},
        {50 * 3600 + 40 * 60, "2 d 2 h; it was down since Dec 3, 07:26."}};
    for (const auto& [nDown, pszTail] : arrDown)
        EXPECT_EQ(CHostDownAlert::UpText({"s", "N", "U", T_UP, T_UP - nDown}, false),
                  std::string("The host N (U) is up again after ") + pszTail);
    const std::pair<time_t, const char*> arrLeft[] = {{3 * 86400 + 100, "in 3 days (Dec 8, 2026)."},
                                                      {3 * 86400 - 600, "in 3 days (Dec 8, 2026)."},
                                                      {86400 + 7200, "in 1 day (Dec 6, 2026)."},
                                                      {7200, "within a day (Dec 5, 2026)."},
                                                      {10 * 86400, "in 10 days (Dec 15, 2026)."}};
    for (const auto& [nLeft, pszTail] : arrLeft)
        EXPECT_EQ(CHostDownAlert::CertificateText(
                      {"w.test", "W", "https://w.test/", T_UP, 0, T_UP + nLeft}),
                  std::string("The certificate of w.test expires ") + pszTail);
}

// A name of a damaged file makes no Subject of thousands of characters. A host name beyond
// ASCII (ISO-8859-1 in the data file) goes out as UTF-8.
TEST(HostDownAlert, SubjectHoldsAtMost200CharactersAndNonAsciiGoesOutAsUtf8) {
    for (const auto& [strName, strSubject] :
         {std::pair(std::string(5000, 'n'), std::string(200, 'n')),
          std::pair(std::string("\xe9t\xe9.test"), std::string("\xc3\xa9t\xc3\xa9.test"))}) {
        CSMTPMessage message;
        CHostDownAlert::ComposeMessage(message, strName, "a@example.test", "b@example.test", 0);
        EXPECT_EQ(message.m_strSubject, "The host " + strSubject + " went down");
    }
}

// Switches, missing or unreadable settings. Without a login the methods 0, 1, 2 are tried in turn
// until one delivers, but a refused connection is not tried again; with a login or TLS, one attempt
// with the login chosen (5: automatic). A failed delivery is tried again three times, then
// dropped; the user hears once per failing streak, with the reason, and e-mail alerts stay on.
// A line break in the sender or the host name sends nothing, says why and keeps them on.
TEST(HostDownAlert, DeliveryTable) {
    const std::string C = "connect mail.example.test ", C0 = C + "0  pa55 25", S = "send",
                      D = "disconnect", C1 = C + "1  pa55 25", C2 = C + "2  pa55 25",
                      C5 = C + "5 watcher pa55 25", T = C + "5 watcher pa55 587 tls1";
    const std::string MISSING =
        "box You have to specify an SMTP server, recepient and sender email addresses in order to "
        "use notification by e-mail.\nThe notification will be disabled.";
    const std::string AGAIN =
        "the reason.\nVantrel will try again three times over the next 15 minutes; e-mail alerts "
        "stay on.";
    const std::string OTHER =
        "box Vantrel couldn't connect to SMTP server, last error:10061 (unknown error 10061)\n" +
        AGAIN;
    const std::string NOT_SENT = "box Vantrel could not send the host-down e-mail:\n" + AGAIN;
    const std::string BREAK = "box Vantrel did not send the host-down e-mail: its ";
    const std::string UNREAD = "box Vantrel did not send the host-down e-mail: the mail server's "
                               "port, security or login method in the settings cannot be read. "
                               "Set them in Options.";
    std::string CAppSettings::*const NO_LOGIN = &CAppSettings::m_strLogin;
    // clang-format off
    struct CCase {
        std::string CAppSettings::*pCleared; // a setting left empty
        int bEmail;
        std::string strScript;
        std::vector<std::string> arrEvents;
        int bEmailAfter, nSecurity = 0, nPort = 25, nAlerts = 1;
        std::string strFrom = "", strHostTail = ""; // a sender instead of the usual one
    } const arrCases[] = {
        {nullptr, 0, "", {}, 0},
        {&CAppSettings::m_strSMTP, 1, "", {MISSING}, 0},
        {&CAppSettings::m_strEmailTo, 1, "", {MISSING}, 0},
        {NO_LOGIN, 1, "NFS", {C0, S, D, C1, C2, S, D}, 1},
        {NO_LOGIN, 1, "NNF", {C0, S, D, C1, S, D, C2, OTHER, C0, S, D}, 1},
        {NO_LOGIN, 1, "FFN", {C0, C1, C2, S, D, NOT_SENT, C0, S, D}, 1},
        {NO_LOGIN, 1, "RS", {C0, "box Vantrel couldn't connect to SMTP server, last error:111 "
         "(connection refused)\n" + AGAIN, C0, S, D}, 1},
        {nullptr, 1, "F", {C5, OTHER, C5, S, D}, 1},
        {nullptr, 1, "FFFF", {C5, OTHER, C5, C5, C5}, 1},
        // One streak, one message; a delivery ends it.
        {nullptr, 1, "FSFS", {C5, OTHER, C5, S, D, C5, OTHER, C5, S, D}, 1, 0, 25, 2},
        {nullptr, 1, "P", {C5, S, D, "box The host-down e-mail was sent, but the SMTP server "
         "refused these recipients:\nops@example.test: 550 5.1.1 user unknown"}, 1},
        {nullptr, 1, "S", {C + "5 watcher pa55 465 tls2", S, D}, 1, 2, 465},
        {nullptr, 1, "N", {T, S, D, NOT_SENT, T, S, D}, 1, 1, 587},
        {nullptr, 1, "S", {BREAK + "sender contains a line break."}, 1, 0, 25, 1,
         "a@example.test\r\nBcc: evil@example.test"},
        {nullptr, 1, "S", {BREAK + "subject contains a line break."}, 1, 0, 25, 1, "",
         "\nBcc: evil@example.test"},
        // Settings that could not be read ("starttls", "1.0") send nothing, never in clear.
        {nullptr, 1, "S", {UNREAD}, 1, -1, 25},
        {nullptr, 1, "S", {UNREAD}, 1, 1, 0}};
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
        for (int i = 0; i < c.nAlerts; ++i)
            rig.Raise("www.alpha.test" + c.strHostTail);
        EXPECT_EQ(rig.m_world.Get(), c.arrEvents) << &c - arrCases;
        EXPECT_EQ(std::tuple(rig.m_doc.m_settings.m_bAlertEmail, rig.m_bLockedDuringMail),
                  std::tuple(c.bEmailAfter, false)) // a lock held would block the options
            << &c - arrCases;
    }
}

} // namespace
