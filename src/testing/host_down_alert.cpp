#include "testing/host_down_alert.h"

#include "core/message_sink.h"
#include "core/product.h"
#include "core/vantrel_doc.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"
#include "testing/alert_mail_queue.h"
#include "testing/mail_sender.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

void CHostDownAlert::RaiseHostDownAlert(CVantrelDoc& doc, const CHostAlert& alert) {
    CHostNotice notice;
    notice.m_eKind = CHostNotice::HOST_DOWN;
    notice.m_strName = alert.m_strName;
    notice.m_strURL = alert.m_strURL;
    notice.m_strText = "The URL http://" + alert.m_strServer + " became unavailable.";
    notice.m_strItem = "http://" + alert.m_strServer;
    notice.m_tWhen = alert.m_tWhen;
    Tell(doc, notice, false,
         [alert](CSMTPMessage& message, const std::string& strFrom, const std::string& strTo) {
             ComposeMessage(message, alert.m_strServer, strFrom, strTo, alert.m_tWhen);
         });
}

void CHostDownAlert::RaiseHostUpAlert(CVantrelDoc& doc, const CHostAlert& alert) {
    CHostNotice notice;
    notice.m_eKind = CHostNotice::HOST_UP;
    notice.m_strName = alert.m_strName;
    notice.m_strURL = alert.m_strURL;
    notice.m_strText = UpText(alert, false);
    notice.m_strItem = alert.m_strName + " (" + alert.m_strURL + ") after " +
                       FormatDuration(alert.m_tWhen - alert.m_tDownSince);
    notice.m_tWhen = alert.m_tWhen;
    Tell(doc, notice, true,
         [alert](CSMTPMessage& message, const std::string& strFrom, const std::string& strTo) {
             ComposeUpMessage(message, alert, strFrom, strTo);
         });
}

void CHostDownAlert::RaiseCertificateNotice(CVantrelDoc& doc, const CHostAlert& alert) {
    CHostNotice notice;
    notice.m_eKind = CHostNotice::CERT_EXPIRING;
    notice.m_strName = alert.m_strName;
    notice.m_strURL = alert.m_strURL;
    notice.m_strText = CertificateText(alert);
    notice.m_strItem = alert.m_strServer;
    notice.m_tWhen = alert.m_tWhen;
    Tell(doc, notice, false,
         [alert](CSMTPMessage& message, const std::string& strFrom, const std::string& strTo) {
             ComposeCertificateMessage(message, alert, strFrom, strTo);
         });
}

void CHostDownAlert::Tell(
    CVantrelDoc& doc, const CHostNotice& notice, bool bUpAlert,
    const std::function<void(CSMTPMessage&, const std::string&, const std::string&)>& fnCompose) {
    SServer server;
    std::string strFrom, strTo;
    bool bSystem, bEmail;
    bool bUnreadable = false;
    {
        std::lock_guard lock(doc.m_mtxSettings);
        const CAppSettings& settings = doc.m_settings;
        if (bUpAlert && !settings.m_bAlertBackUp)
            return;
        bSystem = settings.m_bAlertSystem != 0;
        bEmail = settings.m_bAlertEmail != 0;
        server = MakeServer(settings);
        strFrom = settings.m_strEmailFrom;
        strTo = settings.m_strEmailTo;
        bUnreadable = settings.m_nSMTPAuth < 0;
    }
    if (bSystem)
        doc.m_sink.ShowHostNotice(notice);
    if (!bEmail)
        return;

    if (server.m_strName.empty() || strTo.empty() || strFrom.empty()) {
        doc.m_sink.ShowMessage(
            "You have to specify an SMTP server, recepient and sender email addresses in order "
            "to use notification by e-mail.\nThe notification will be disabled.");
        std::lock_guard lock(doc.m_mtxSettings);
        doc.m_settings.m_bAlertEmail = 0;
        return;
    }

    // A port, security or login method the settings could not read never falls back to a
    // weaker one.
    if (bUnreadable || server.m_nPort < 1 || server.m_nSecurity < SMTP_SECURITY_NONE ||
        server.m_nSecurity > SMTP_SECURITY_TLS) {
        doc.m_sink.ShowMessage("Vantrel did not send the host-down e-mail: the mail server's "
                               "port, security or login method in the settings cannot be read. "
                               "Set them in Options.");
        return;
    }
    CSMTPMessage message;
    fnCompose(message, strFrom, strTo);
    // A line break would add headers or commands of its own: nothing is sent. The setting
    // may be fine for other hosts, so e-mail alerts stay on.
    if (const char* pszField = message.FindLineBreak()) {
        doc.m_sink.ShowMessage(std::string("Vantrel did not send the ") +
                               (bUpAlert ? "host-up" : "host-down") + " e-mail: its " + pszField +
                               " contains a line break.");
        return;
    }
    m_queue.Post(
        server,
        [fnCompose, strFrom, strTo](CSMTPMessage& queued) { fnCompose(queued, strFrom, strTo); },
        bUpAlert ? "host-up" : "host-down");
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
    // A name from a damaged file must not make the header run on without end.
    message.m_strSubject =
        "The host " + Latin1ToUtf8(strLatin1Server.substr(0, MAX_SUBJECT_NAME)) + " went down";
    message.SetBodyText("This is an automatically generated message.\r\nThe host http://" +
                        strServer + " went down.\r\nThis message was generated on " +
                        FormatAlertTime(tNow) + " UTC by Vantrel.\r\n\r\n----- " +
                        VANTREL_PRODUCT_NOTICE + " -----\r\n");
    message.m_from = CSMTPAddress(strFrom);
    message.m_replyTo = CSMTPAddress(strFrom);
    message.AddExtraHeader("X-Program: Vantrel " VANTREL_HOME_PAGE);
    message.m_tDate = tNow; // when the host was found down, not when the mail got through
}

void CHostDownAlert::ComposeUpMessage(CSMTPMessage& message, const CHostAlert& alert,
                                      const std::string& strFrom, const std::string& strTo) {
    ComposeMessage(message, alert.m_strServer, strFrom, strTo, alert.m_tWhen);
    const std::string strText = Latin1ToUtf8(UpText(alert, true));
    if (std::any_of(strText.begin(), strText.end(), [](char c) { return (c & 0x80) != 0; }))
        message.m_rootPart.m_strCharset = "utf-8";
    message.m_strSubject = "The host " + Latin1ToUtf8(alert.m_strServer) + " is up again";
    message.SetBodyText("This is an automatically generated message.\r\n" + strText +
                        "\r\nThis message was generated on " + FormatAlertTime(alert.m_tWhen) +
                        " UTC by Vantrel.\r\n\r\n----- " + VANTREL_PRODUCT_NOTICE + " -----\r\n");
}

void CHostDownAlert::ComposeCertificateMessage(CSMTPMessage& message, const CHostAlert& alert,
                                               const std::string& strFrom,
                                               const std::string& strTo) {
    ComposeMessage(message, alert.m_strServer, strFrom, strTo, alert.m_tWhen);
    const std::string strText = CertificateText(alert);
    message.m_strSubject = Latin1ToUtf8(strText.substr(0, strText.find(" (")));
    message.SetBodyText("This is an automatically generated message.\r\n" + Latin1ToUtf8(strText) +
                        "\r\nThis message was generated on " + FormatAlertTime(alert.m_tWhen) +
                        " UTC by Vantrel.\r\n\r\n----- " + VANTREL_PRODUCT_NOTICE + " -----\r\n");
}

std::string CHostDownAlert::CertificateText(const CHostAlert& alert) {
    // Rounded to the nearest day: a certificate made for 3 days is "3 days" a minute later.
    const int64_t nDays = (int64_t{alert.m_tCertExpiry} - alert.m_tWhen + 43200) / 86400;
    const std::string strWhen = nDays <= 0   ? "within a day"
                                : nDays == 1 ? "in 1 day"
                                             : "in " + std::to_string(nDays) + " days";
    struct tm tmDay {};
    char szDay[32] = "?";
    if (gmtime_r(&alert.m_tCertExpiry, &tmDay))
        std::strftime(szDay, sizeof szDay, "%b %-d, %Y", &tmDay);
    return "The certificate of " + alert.m_strServer.substr(0, MAX_SUBJECT_NAME) + " expires " +
           strWhen + " (" + szDay + ").";
}

std::string CHostDownAlert::UpText(const CHostAlert& alert, bool bUtc) {
    static const char* const arrMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct tm tmSince {
    }, tmNow{};
    const bool bOk =
        bUtc ? gmtime_r(&alert.m_tDownSince, &tmSince) && gmtime_r(&alert.m_tWhen, &tmNow)
             : localtime_r(&alert.m_tDownSince, &tmSince) && localtime_r(&alert.m_tWhen, &tmNow);
    char szClock[8] = "?";
    if (bOk)
        std::snprintf(szClock, sizeof szClock, "%02d:%02d", tmSince.tm_hour % 24,
                      tmSince.tm_min % 60);
    std::string strSince = szClock;
    if (bOk && (tmSince.tm_yday != tmNow.tm_yday || tmSince.tm_year != tmNow.tm_year))
        strSince = std::string(arrMonths[tmSince.tm_mon % 12]) + ' ' +
                   std::to_string(tmSince.tm_mday) + ", " + strSince;
    return "The host " + alert.m_strName + " (" + alert.m_strURL + ") is up again after " +
           FormatDuration(alert.m_tWhen - alert.m_tDownSince) + "; it was down since " + strSince +
           (bUtc ? " UTC." : ".");
}

std::string CHostDownAlert::FormatDuration(time_t nSeconds) {
    const int64_t nMinutes = std::max<int64_t>(1, (int64_t{nSeconds} + 30) / 60);
    if (nMinutes < 60)
        return std::to_string(nMinutes) + " min";
    if (nMinutes < 24 * 60)
        return std::to_string(nMinutes / 60) + " h" +
               (nMinutes % 60 ? " " + std::to_string(nMinutes % 60) + " min" : "");
    const int64_t nHours = nMinutes / 60;
    return std::to_string(nHours / 24) + " d" +
           (nHours % 24 ? " " + std::to_string(nHours % 24) + " h" : "");
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
