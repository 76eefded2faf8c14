#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/engine_fakes.h"
#include "testing/host_down_alert.h"
#include "testing/mail_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

// Answers Connect and SendMessage from a script and records every call.
class CFakeSender : public CMailSender {
public:
    struct CAttempt {
        bool bConnects;
        bool bSends;
        uint32_t dwError; // last error left by a failed Connect
    };

    bool Connect(const std::string& strServer, int nLoginMethod, const std::string& strUser,
                 const std::string& strPassword, uint16_t nPort) override {
        m_arrCalls.push_back("connect " + strServer + " " + std::to_string(nLoginMethod) + " " +
                             strUser + " " + strPassword + " " + std::to_string(nPort));
        if (m_pSettingsLock)
            m_bSettingsLockedDuringMail |= IsHeldByAnyone(*m_pSettingsLock);
        m_current = m_arrScript.empty() ? CAttempt{true, true, 0} : m_arrScript.front();
        if (!m_arrScript.empty())
            m_arrScript.pop_front();
        if (m_onConnect)
            m_onConnect();
        if (!m_current.bConnects)
            SetLastError(m_current.dwError);
        return m_current.bConnects;
    }
    bool SendMessage(CSMTPMessage& message) override {
        m_arrCalls.push_back("send");
        m_strHeader = message.BuildHeader();
        m_strBody = message.GetBodyText();
        m_strMailFrom = message.m_from.m_strAddress;
        for (int i = 0; i < message.GetRecipientCount(RECIPIENT_TO); ++i)
            m_arrTo.push_back(message.GetRecipientAt(i, RECIPIENT_TO)->m_strAddress);
        return m_current.bSends;
    }
    void Disconnect() override { m_arrCalls.push_back("disconnect"); }

    std::deque<CAttempt> m_arrScript;
    std::vector<std::string> m_arrCalls;
    std::function<void()> m_onConnect;
    std::recursive_timed_mutex* m_pSettingsLock = nullptr;
    bool m_bSettingsLockedDuringMail = false;
    std::string m_strHeader, m_strBody, m_strMailFrom;
    std::vector<std::string> m_arrTo;

private:
    CAttempt m_current{true, true, 0};
};

class AlertTest : public ::testing::Test {
protected:
    AlertTest() {
        m_clock.m_tNow = 1'796'465'203; // Sat Dec  5 10:06:43 2026 UTC
        m_sender.m_pSettingsLock = &m_doc.m_mtxSettings;
        m_doc.m_strSMTP = "mail.example.test";
        m_doc.m_strLogin = "watcher";
        m_doc.m_strPass = "pa55";
        m_doc.m_strEmailFrom = "Vantrel Alerts <alerts@example.test>";
        m_doc.m_strEmailTo = "ops@example.test; Night Desk <desk@example.test>";
        m_doc.m_bAlertSystem = 0;
        m_doc.m_bAlertEmail = 1;
    }

    void Raise(const std::string& strServer = "www.alpha.test") {
        m_alert.RaiseHostDownAlert(m_doc, strServer);
    }

    CRecordingSink m_sink;
    CVantrelDoc m_doc{m_sink, nullptr};
    CFakeClock m_clock;
    CFakeSender m_sender;
    CHostDownAlert m_alert{m_sender, m_clock};
};

TEST_F(AlertTest, BothSwitchesOffDoNothing) {
    m_doc.m_bAlertEmail = 0;
    Raise();
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_THAT(m_sender.m_arrCalls, IsEmpty());
}

TEST_F(AlertTest, SystemAlertNamesTheServerAndHoldsTheSettingsLockWhileOpen) {
    m_doc.m_bAlertSystem = 1;
    m_doc.m_bAlertEmail = 0;
    bool bLockedWhileOpen = false;
    m_sink.m_onShow = [&](const std::string&) {
        bLockedWhileOpen = IsHeldByAnyone(m_doc.m_mtxSettings);
    };
    Raise("www.alpha.test");
    EXPECT_THAT(m_sink.GetMessages(),
                ElementsAre("The URL http://www.alpha.test became unavailable."));
    EXPECT_TRUE(bLockedWhileOpen);
    EXPECT_THAT(m_sender.m_arrCalls, IsEmpty());
}

TEST_F(AlertTest, MissingMailSettingSwitchesEmailAlertsOff) {
    for (std::string CVantrelDoc::*pField :
         {&CVantrelDoc::m_strSMTP, &CVantrelDoc::m_strEmailTo, &CVantrelDoc::m_strEmailFrom}) {
        CRecordingSink sink;
        CVantrelDoc doc(sink, nullptr);
        doc.m_strSMTP = "mail.example.test";
        doc.m_strEmailFrom = "alerts@example.test";
        doc.m_strEmailTo = "ops@example.test";
        doc.m_bAlertEmail = 1;
        doc.*pField = "";
        m_alert.RaiseHostDownAlert(doc, "www.alpha.test");
        EXPECT_THAT(sink.GetMessages(),
                    ElementsAre("You have to specify an SMTP server, recepient and sender email "
                                "addresses in order to use notification by e-mail.\nThe "
                                "notification will be disabled."));
        EXPECT_EQ(doc.m_bAlertEmail, 0);
        // The next alert sends nothing and says nothing.
        m_alert.RaiseHostDownAlert(doc, "www.alpha.test");
        EXPECT_EQ(sink.GetMessages().size(), 1u);
    }
    EXPECT_THAT(m_sender.m_arrCalls, IsEmpty());
}

TEST_F(AlertTest, MailIsComposedForTheServerAndSentWithoutLoginFirst) {
    Raise("www.alpha.test");
    EXPECT_THAT(m_sender.m_arrCalls,
                ElementsAre("connect mail.example.test 0 watcher pa55 25", "send", "disconnect"));
    EXPECT_FALSE(m_sender.m_bSettingsLockedDuringMail);
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(m_doc.m_bAlertEmail, 1);

    EXPECT_EQ(m_sender.m_strMailFrom, "alerts@example.test");
    EXPECT_THAT(m_sender.m_arrTo, ElementsAre("ops@example.test", "desk@example.test"));
    EXPECT_EQ(m_sender.m_strBody,
              "This is an automatically generated message.\r\nThe host http://www.alpha.test "
              "went down.\r\nThis message was generated on Sat Dec  5 10:06:43 2026 UTC by "
              "Vantrel.\r\n\r\n----- Vantrel - choose your web host by measurement -----\r\n");
    const std::string& strHeader = m_sender.m_strHeader;
    EXPECT_EQ(strHeader.rfind("From: Vantrel Alerts <alerts@example.test>\r\n"
                              "To: ops@example.test,Night Desk <desk@example.test>\r\n"
                              "Subject: The host www.alpha.test went down\r\nDate: ",
                              0),
              0u)
        << strHeader;
    EXPECT_THAT(strHeader, HasSubstr("\r\nX-Mailer: CSMTPConnection v2.29\r\n"
                                     "Content-Type: text/plain;\r\n\tcharset=iso-8859-1\r\n"
                                     "Reply-To: Vantrel Alerts <alerts@example.test>\r\n"
                                     "X-Program: Vantrel https://www.vantrel.example/\r\n"));
    EXPECT_EQ(strHeader.size() - strHeader.rfind("X-Program:"),
              std::string("X-Program: Vantrel https://www.vantrel.example/\r\n").size());
}

TEST_F(AlertTest, AlertTimeIsUTCWhateverTheLocalZone) {
    const char* pszOld = std::getenv("TZ");
    const std::string strOld = pszOld ? pszOld : "";
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    const std::string strText = CHostDownAlert::FormatAlertTime(1'796'465'203);
    if (pszOld)
        setenv("TZ", strOld.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(strText, "Sat Dec  5 10:06:43 2026");
    EXPECT_EQ(CHostDownAlert::FormatAlertTime(0), "Thu Jan  1 00:00:00 1970");
}

TEST_F(AlertTest, EachLoginMethodIsTriedUntilOneDelivers) {
    // No login: the server refuses the mail; CRAM-MD5: EHLO or login fails in Connect;
    // AUTH LOGIN: delivered.
    m_sender.m_arrScript = {{true, false, 0}, {false, false, 22}, {true, true, 0}};
    Raise();
    EXPECT_THAT(m_sender.m_arrCalls,
                ElementsAre("connect mail.example.test 0 watcher pa55 25", "send", "disconnect",
                            "connect mail.example.test 1 watcher pa55 25",
                            "connect mail.example.test 2 watcher pa55 25", "send", "disconnect"));
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(m_doc.m_bAlertEmail, 1);
}

TEST_F(AlertTest, LastConnectFailingReportsItsErrorAndSwitchesEmailOff) {
    m_sender.m_arrScript = {{true, false, 0}, {true, false, 0}, {false, false, 10061}};
    Raise();
    EXPECT_THAT(m_sink.GetMessages(),
                ElementsAre("Vantrel couldn't connect to SMTP server, last error:10061\nWill "
                            "stop notifying by email."));
    EXPECT_EQ(m_doc.m_bAlertEmail, 0);
}

TEST_F(AlertTest, LastConnectWorkingButNoDeliveryKeepsEmailOn) {
    m_sender.m_arrScript = {{false, false, 10061}, {false, false, 10061}, {true, false, 0}};
    Raise();
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(m_doc.m_bAlertEmail, 1);
    EXPECT_EQ(m_sender.m_arrCalls.size(), 5u);
}

TEST_F(AlertTest, StopBetweenAttemptsSkipsTheRestQuietly) {
    m_sender.m_arrScript = {{false, false, 10060}, {false, false, 10060}, {false, false, 10060}};
    m_sender.m_onConnect = [&] { m_doc.m_hStopEvent.Set(); };
    Raise();
    EXPECT_EQ(m_sender.m_arrCalls.size(), 1u);
    EXPECT_THAT(m_sink.GetMessages(), IsEmpty());
    EXPECT_EQ(m_doc.m_bAlertEmail, 1);
}

TEST_F(AlertTest, SystemAndEmailTogetherShowTheBoxThenSend) {
    m_doc.m_bAlertSystem = 1;
    Raise("beta.test");
    EXPECT_THAT(m_sink.GetMessages(), ElementsAre("The URL http://beta.test became unavailable."));
    EXPECT_EQ(m_sender.m_arrCalls.size(), 3u);
}

} // namespace
