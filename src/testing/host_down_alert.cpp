#include "testing/host_down_alert.h"

#include "core/message_sink.h"
#include "core/product.h"
#include "core/vantrel_doc.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/engine_clock.h"
#include "testing/mail_sender.h"

#include <algorithm>
#include <cerrno>

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
        server = MakeServer(doc.m_settings);
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
    const EDelivery eDelivery = Deliver(m_sender, message, server, doc.m_hStopEvent, dwLastError);
    // The server's own words say more than any number: the reason goes on a line of its own.
    std::string strReason = m_sender.GetFailureReason();
    if (!strReason.empty())
        strReason += ".\n";
    if (eDelivery == EDelivery::SENT && !m_sender.GetRefusedRecipients().empty()) {
        doc.m_sink.ShowMessage("The host-down e-mail was sent, but the SMTP server refused these "
                               "recipients:\n" +
                               m_sender.GetRefusedRecipients());
    } else if (eDelivery == EDelivery::NOT_SENT) {
        // The server took the connection: e-mail alerts stay on, but the user hears why.
        doc.m_sink.ShowMessage("Vantrel could not send the host-down e-mail:\n" + strReason +
                               "E-mail alerts stay on.");
    } else if (eDelivery == EDelivery::CONNECT_FAILED) {
        doc.m_sink.ShowMessage("Vantrel couldn't connect to SMTP server, last error:" +
                               std::to_string(static_cast<int>(dwLastError)) + " (" +
                               CSMTPConnection::DescribeError(dwLastError) + ")\n" + strReason +
                               "Will stop notifying by email.");
        std::lock_guard lock(doc.m_mtxSettings);
        doc.m_settings.m_bAlertEmail = 0;
    }
}

namespace {

// Host names come from the data file in ISO-8859-1; everything else of the mail is UTF-8.
std::string Latin1ToUtf8(const std::string& str) {
    std::string strUtf8;
    for (char ch : str) {
        const auto c = static_cast<uint8_t>(ch);
        if (c < 0x80) {
            strUtf8 += ch;
        } else {
            strUtf8 += static_cast<char>(0xC0 | (c >> 6));
            strUtf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return strUtf8;
}

} // namespace

void CHostDownAlert::ComposeMessage(CSMTPMessage& message, const std::string& strLatin1Server,
                                    const std::string& strFrom, const std::string& strTo,
                                    time_t tNow) {
    const std::string strServer = Latin1ToUtf8(strLatin1Server);
    // A pure ASCII alert keeps the charset it always had.
    const std::string strAll = strServer + strFrom + strTo;
    if (std::any_of(strAll.begin(), strAll.end(), [](char c) { return (c & 0x80) != 0; }))
        message.m_rootPart.m_strCharset = "utf-8";
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

CHostDownAlert::SServer CHostDownAlert::MakeServer(const CAppSettings& settings) {
    // The Options' order: Automatic, PLAIN, LOGIN, CRAM-MD5.
    static const int LOGIN_METHODS[] = {SMTP_AUTH_AUTO, SMTP_AUTH_PLAIN, SMTP_AUTH_LOGIN,
                                        SMTP_AUTH_CRAM_MD5};
    SServer server;
    server.m_strName = settings.m_strSMTP;
    server.m_nPort = static_cast<uint16_t>(settings.m_nSMTPPort);
    server.m_nSecurity = settings.m_nSMTPSecurity;
    server.m_strLogin = settings.m_strLogin;
    server.m_strPassword = settings.m_strPass;
    server.m_nLoginMethod = LOGIN_METHODS[std::clamp(settings.m_nSMTPAuth, 0, 3)];
    server.m_bAllowClearPassword = settings.m_bAllowClearPassword != 0;
    server.m_strHeloName = settings.m_strHeloName;
    return server;
}

std::vector<int> CHostDownAlert::LoginMethods(const SServer& server) {
    // A password goes only where the chosen method is offered: never into a guess.
    if (server.m_nSecurity == SMTP_SECURITY_NONE && server.m_strLogin.empty())
        return {SMTP_AUTH_NONE, SMTP_AUTH_CRAM_MD5, SMTP_AUTH_LOGIN};
    return {server.m_strLogin.empty() ? SMTP_AUTH_AUTO : server.m_nLoginMethod};
}

CHostDownAlert::EDelivery CHostDownAlert::Deliver(CMailSender& sender, CSMTPMessage& message,
                                                  const SServer& server, const CEvent& evStop,
                                                  uint32_t& dwLastError) {
    EDelivery eResult = EDelivery::NOT_SENT;
    sender.SetSessionOptions(server.m_bAllowClearPassword, server.m_strHeloName, &evStop);
    for (int nMethod : LoginMethods(server)) {
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
            // Another login method changes nothing for a server that is not there.
            if (dwLastError == SOCKET_ERROR_TIMED_OUT || dwLastError == ECONNREFUSED ||
                dwLastError == SOCKET_ERROR_NAME_NOT_RESOLVED ||
                dwLastError == SMTP_ERROR_CLEAR_PASSWORD)
                return eResult;
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
