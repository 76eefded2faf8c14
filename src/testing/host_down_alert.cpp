#include "testing/host_down_alert.h"

#include "core/message_sink.h"
#include "core/product.h"
#include "core/vantrel_doc.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/engine_clock.h"
#include "testing/mail_sender.h"

CHostDownAlert::CHostDownAlert(CMailSender& sender, CEngineClock& clock)
    : m_sender(sender), m_clock(clock) {}

void CHostDownAlert::RaiseHostDownAlert(CVantrelDoc& doc, const std::string& strServer) {
    SServer server;
    std::string strFrom, strTo;
    {
        // The options dialog waits for this lock while the box is open.
        std::lock_guard lock(doc.m_mtxSettings);
        if (doc.m_settings.m_bAlertSystem)
            doc.m_sink.ShowMessage("The URL http://" + strServer + " became unavailable.");
        if (!doc.m_settings.m_bAlertEmail)
            return;
        server = {doc.m_settings.m_strSMTP, static_cast<uint16_t>(doc.m_settings.m_nSMTPPort),
                  doc.m_settings.m_nSMTPSecurity, doc.m_settings.m_strLogin,
                  doc.m_settings.m_strPass};
        strFrom = doc.m_settings.m_strEmailFrom;
        strTo = doc.m_settings.m_strEmailTo;
    }

    if (server.m_strName.empty() || strTo.empty() || strFrom.empty()) {
        doc.m_sink.ShowMessage(
            "You have to specify an SMTP server, recepient and sender email addresses in order "
            "to use notification by e-mail.\nThe notification will be disabled.");
        std::lock_guard lock(doc.m_mtxSettings);
        doc.m_settings.m_bAlertEmail = 0;
        return;
    }

    CSMTPMessage message;
    ComposeMessage(message, strServer, strFrom, strTo, m_clock.Now());
    // A line break would add headers or commands of its own: nothing is sent. The setting
    // may be fine for other hosts, so e-mail alerts stay on.
    if (const char* pszField = message.FindLineBreak()) {
        doc.m_sink.ShowMessage(std::string("Vantrel did not send the host-down e-mail: its ") +
                               pszField + " contains a line break.");
        return;
    }
    uint32_t dwLastError = 0;
    if (Deliver(m_sender, message, server, doc.m_hStopEvent, dwLastError) ==
        EDelivery::CONNECT_FAILED) {
        // With TLS the number alone rarely says enough (a refused certificate): the reason
        // goes on a line of its own.
        std::string strReason = m_sender.GetFailureReason();
        if (server.m_nSecurity == SMTP_SECURITY_NONE || strReason.empty())
            strReason.clear();
        else
            strReason += ".\n";
        doc.m_sink.ShowMessage("Vantrel couldn't connect to SMTP server, last error:" +
                               std::to_string(static_cast<int>(dwLastError)) + "\n" + strReason +
                               "Will stop notifying by email.");
        std::lock_guard lock(doc.m_mtxSettings);
        doc.m_settings.m_bAlertEmail = 0;
    }
}

void CHostDownAlert::ComposeMessage(CSMTPMessage& message, const std::string& strServer,
                                    const std::string& strFrom, const std::string& strTo,
                                    time_t tNow) {
    message.SetMimeMode(false);
    message.AddRecipientList(strTo, RECIPIENT_TO);
    message.m_strSubject = "The host " + strServer + " went down";
    message.SetBodyText("This is an automatically generated message.\r\nThe host http://" +
                        strServer + " went down.\r\nThis message was generated on " +
                        FormatAlertTime(tNow) + " UTC by Vantrel.\r\n\r\n----- " +
                        VANTREL_PRODUCT_NOTICE + " -----\r\n");
    message.m_from = CSMTPAddress(strFrom);
    message.m_replyTo = CSMTPAddress(strFrom);
    message.AddExtraHeader("X-Program: Vantrel " VANTREL_HOME_PAGE);
}

std::vector<int> CHostDownAlert::LoginMethods(int nSecurity) {
    if (nSecurity == SMTP_SECURITY_NONE)
        return {SMTP_AUTH_NONE, SMTP_AUTH_CRAM_MD5, SMTP_AUTH_LOGIN};
    return {SMTP_AUTH_AUTO};
}

CHostDownAlert::EDelivery CHostDownAlert::Deliver(CMailSender& sender, CSMTPMessage& message,
                                                  const SServer& server, const CEvent& evStop,
                                                  uint32_t& dwLastError) {
    EDelivery eResult = EDelivery::NOT_SENT;
    for (int nMethod : LoginMethods(server.m_nSecurity)) {
        if (sender.Connect(server.m_strName, nMethod, server.m_strLogin, server.m_strPassword,
                           server.m_nPort, server.m_nSecurity)) {
            const bool bSent = sender.SendMessage(message);
            sender.Disconnect();
            if (bSent)
                return EDelivery::SENT;
            eResult = EDelivery::NOT_SENT;
        } else {
            dwLastError = GetLastError();
            if (evStop.IsSet())
                return EDelivery::STOPPED;
            eResult = EDelivery::CONNECT_FAILED;
        }
    }
    return eResult;
}

std::string CHostDownAlert::FormatAlertTime(time_t t) {
    struct tm tmUtc {};
    char szText[32] = {};
    if (!gmtime_r(&t, &tmUtc) || !asctime_r(&tmUtc, szText))
        return std::string();
    std::string strText(szText);
    std::erase(strText, '\n');
    return strText;
}
