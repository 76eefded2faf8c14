#include "core/vantrel_doc.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/engine_fakes.h"
#include "testing/host_down_alert.h"
#include "testing/mail_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

// The alert over a store with every mail setting, sending through a script: each Connect
// plays the next attempt (past its end: connected and delivered).
struct CAlertRig : CMailSender {
    struct CAttempt {
        bool bConnects = true, bSends = true;
        uint32_t dwError = 0; // left by a failed Connect
    };
    CAlertRig() {
        m_clock.m_tNow = 1'796'465'203; // Sat Dec  5 10:06:43 2026 UTC
        m_doc.m_strSMTP = "mail.example.test";
        m_doc.m_strLogin = "watcher";
        m_doc.m_strPass = "pa55";
        m_doc.m_strEmailFrom = "Vantrel Alerts <alerts@example.test>";
        m_doc.m_strEmailTo = "ops@example.test; Night Desk <desk@example.test>";
        m_doc.m_bAlertEmail = 1;
    }
    bool Connect(const std::string& strServer, int nMethod, const std::string& strUser,
                 const std::string& strPass, uint16_t nPort) override {
        m_arrCalls.push_back("connect " + strServer + " " + std::to_string(nMethod) + " " +
                             strUser + " " + strPass + " " + std::to_string(nPort));
        m_bLockedDuringMail |= IsHeldByAnyone(m_doc.m_mtxSettings);
        if (m_bStopOnConnect)
            m_doc.m_hStopEvent.Set();
        m_current = m_arrScript.empty() ? CAttempt() : m_arrScript.front();
        if (!m_arrScript.empty())
            m_arrScript.pop_front();
        SetLastError(m_current.dwError);
        return m_current.bConnects;
    }
    bool SendMessage(CSMTPMessage& message) override {
        m_arrCalls.push_back("send");
        m_strMail = message.BuildHeader() + "\n" + message.GetBodyText();
        return m_current.bSends;
    }
    void Disconnect() override { m_arrCalls.push_back("disconnect"); }

    CRecordingSink m_sink;
    CVantrelDoc m_doc{m_sink, nullptr};
    CFakeClock m_clock;
    CHostDownAlert m_alert{*this, m_clock};
    std::deque<CAttempt> m_arrScript;
    CAttempt m_current;
    std::vector<std::string> m_arrCalls;
    std::string m_strMail;
    bool m_bStopOnConnect = false, m_bLockedDuringMail = false;
};

TEST(HostDownAlert, BoxThenMailWrittenInUTC) {
    CAlertRig rig;
    rig.m_doc.m_bAlertSystem = 1;
    bool bLockedWhileBoxOpen = false; // the options dialog waits meanwhile
    rig.m_sink.m_onAdd = [&](auto&) {
        bLockedWhileBoxOpen = IsHeldByAnyone(rig.m_doc.m_mtxSettings);
    };
    const char* pszTZ = std::getenv("TZ");
    const std::string strTZ = pszTZ ? pszTZ : "";
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    rig.m_alert.RaiseHostDownAlert(rig.m_doc, "www.alpha.test");
    pszTZ ? setenv("TZ", strTZ.c_str(), 1) : unsetenv("TZ");
    tzset();

    EXPECT_EQ(rig.m_sink.Get(),
              std::vector<std::string>{"The URL http://www.alpha.test became unavailable."});
    EXPECT_TRUE(bLockedWhileBoxOpen);
    EXPECT_FALSE(rig.m_bLockedDuringMail);
    std::string strMail = rig.m_strMail;
    const size_t nDate = strMail.find("\r\nDate: ") + 2;
    strMail.erase(nDate, strMail.find("\r\n", nDate) + 2 - nDate); // when it was sent
    EXPECT_EQ(strMail,
              "From: Vantrel Alerts <alerts@example.test>\r\n"
              "To: ops@example.test,Night Desk <desk@example.test>\r\n"
              "Subject: The host www.alpha.test went down\r\n"
              "X-Mailer: CSMTPConnection v2.29\r\nContent-Type: text/plain;\r\n"
              "\tcharset=iso-8859-1\r\nReply-To: Vantrel Alerts <alerts@example.test>\r\n"
              "X-Program: Vantrel https://www.vantrel.example/\r\n\n"
              "This is an automatically generated message.\r\nThe host http://www.alpha.test "
              "went down.\r\nThis message was generated on Sat Dec  5 10:06:43 2026 UTC by "
              "Vantrel.\r\n\r\n----- Vantrel - choose your web host by measurement -----\r\n");
}

// Switches, missing settings, and the login methods 0, 1, 2 tried in turn until one delivers.
TEST(HostDownAlert, DeliveryTable) {
    const std::string C0 = "connect mail.example.test 0 watcher pa55 25";
    const std::string C1 = "connect mail.example.test 1 watcher pa55 25";
    const std::string C2 = "connect mail.example.test 2 watcher pa55 25";
    const std::string MISSING =
        "You have to specify an SMTP server, recepient and sender email addresses in order to "
        "use notification by e-mail.\nThe notification will be disabled.";
    const std::string FAILED = "Vantrel couldn't connect to SMTP server, last error:10061\nWill "
                               "stop notifying by email.";
    struct CCase {
        int bEmail;
        std::string CVantrelDoc::*pCleared;
        std::deque<CAlertRig::CAttempt> arrScript;
        bool bStopOnConnect;
        std::vector<std::string> arrCalls, arrMessages;
        int bEmailAfter;
    } const arrCases[] = {
        {0, nullptr, {}, false, {}, {}, 0},
        {1, &CVantrelDoc::m_strSMTP, {}, false, {}, {MISSING}, 0},
        {1, &CVantrelDoc::m_strEmailTo, {}, false, {}, {MISSING}, 0},
        {1, &CVantrelDoc::m_strEmailFrom, {}, false, {}, {MISSING}, 0},
        {1, nullptr, {}, false, {C0, "send", "disconnect"}, {}, 1},
        {1,
         nullptr,
         {{true, false}, {false, false, 22}},
         false,
         {C0, "send", "disconnect", C1, C2, "send", "disconnect"},
         {},
         1},
        {1,
         nullptr,
         {{true, false}, {true, false}, {false, false, 10061}},
         false,
         {C0, "send", "disconnect", C1, "send", "disconnect", C2},
         {FAILED},
         0},
        // The last attempt connected: no delivery, but no reason to give up on e-mail.
        {1,
         nullptr,
         {{false, false, 10061}, {false, false, 10061}, {true, false}},
         false,
         {C0, C1, C2, "send", "disconnect"},
         {},
         1},
        // Stopped between attempts: the rest is skipped quietly.
        {1, nullptr, {{false, false, 10060}, {false, false, 10060}}, true, {C0}, {}, 1},
    };
    for (const CCase& c : arrCases) {
        CAlertRig rig;
        rig.m_doc.m_bAlertEmail = c.bEmail;
        if (c.pCleared)
            rig.m_doc.*c.pCleared = "";
        rig.m_arrScript = c.arrScript;
        rig.m_bStopOnConnect = c.bStopOnConnect;
        rig.m_alert.RaiseHostDownAlert(rig.m_doc, "www.alpha.test");
        const auto nCase = &c - arrCases;
        EXPECT_EQ(rig.m_arrCalls, c.arrCalls) << nCase;
        EXPECT_EQ(rig.m_sink.Get(), c.arrMessages) << nCase;
        EXPECT_EQ(rig.m_doc.m_bAlertEmail, c.bEmailAfter) << nCase;
    }
}

} // namespace
