#pragma once

#include "core/app_settings.h"
#include "mail/smtp_connection.h"
#include "testing/alert_raiser.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

class CAlertMailQueue;
class CEvent;
class CMailSender;
class CSMTPMessage;
struct CHostNotice;

// The alerts of a host found down and of one up again: a box (and a desktop notification)
// when the system alert is on, and an e-mail through the alert mail queue when the e-mail
// alert is on; a host up again only when "Also tell me when a host is back up" is on too.
// Neither waits for the user or the mail server. Only a configuration that no retry can mend
// (no server, sender or recipient) switches the e-mail alert off.
class CHostDownAlert : public CAlertRaiser {
public:
    enum class EDelivery {
        SENT,           // one of the attempts delivered the message
        NOT_SENT,       // the last attempt connected, but no attempt delivered it
        CONNECT_FAILED, // the last attempt could not connect
        STOPPED,        // the worker was asked to stop between attempts
    };

    explicit CHostDownAlert(CAlertMailQueue& queue) : m_queue(queue) {}

    void RaiseHostDownAlert(CVantrelDoc& doc, const CHostAlert& alert) override;
    void RaiseHostUpAlert(CVantrelDoc& doc, const CHostAlert& alert) override;
    void RaiseCertificateNotice(CVantrelDoc& doc, const CHostAlert& alert) override;

    // The most of a host name the Subject holds.
    static constexpr size_t MAX_SUBJECT_NAME = 200;
    // Fills a new message with the alert mail for strServer (ISO-8859-1, as the data file
    // holds it; sender and recipients are UTF-8), dated tNow (shown in UTC). Any text beyond
    // ASCII makes it a UTF-8 mail.
    static void ComposeMessage(CSMTPMessage& message, const std::string& strServer,
                               const std::string& strFrom, const std::string& strTo, time_t tNow);
    // The mail of a host up again: its own subject, the box's sentence with the time in UTC.
    static void ComposeUpMessage(CSMTPMessage& message, const CHostAlert& alert,
                                 const std::string& strFrom, const std::string& strTo);
    // The mail of a certificate that expires soon: the box's sentence.
    static void ComposeCertificateMessage(CSMTPMessage& message, const CHostAlert& alert,
                                          const std::string& strFrom, const std::string& strTo);
    // "The certificate of SERVER expires in 3 days (Dec 11, 2026)." (the day in UTC).
    static std::string CertificateText(const CHostAlert& alert);
    // "The host NAME (URL) is up again after 25 min; it was down since 14:05." (local time, or
    // bUtc: "14:05 UTC"); a day other than tWhen's is named: "since Dec 6, 14:05".
    static std::string UpText(const CHostAlert& alert, bool bUtc);
    // "25 min", "2 h 5 min", "3 d 4 h"; at least a minute.
    static std::string FormatDuration(time_t nSeconds);
    // The server, port and security of the mail server and the login for it.
    struct SServer {
        std::string m_strName;
        uint16_t m_nPort = 25;
        int m_nSecurity = 0;
        std::string m_strLogin;
        std::string m_strPassword;
        int m_nLoginMethod = SMTP_AUTH_AUTO; // or the one chosen
        bool m_bAllowClearPassword = false;  // a login over an unencrypted connection
        std::string m_strHeloName;           // empty: this machine's name
    };
    // Without TLS and without a login sends the message with login methods 0, 1 and 2 in turn
    // until one delivers it; otherwise makes one attempt with the chosen login method. A
    // connection refused or timed out is not tried again. After CONNECT_FAILED, dwLastError
    // holds the last error of the failed connection.
    static EDelivery Deliver(CMailSender& sender, CSMTPMessage& message, const SServer& server,
                             const CEvent& evStop, uint32_t& dwLastError);
    // The server as the settings describe it.
    static SServer MakeServer(const CAppSettings& settings);
    // The login methods Deliver tries, in order.
    static std::vector<int> LoginMethods(const SServer& server);
    // ctime()'s layout without its line feed, in UTC: "Sat Dec  5 10:06:43 2026".
    static std::string FormatAlertTime(time_t t);

private:
    // The box and the e-mail of one alert, as the switches say.
    void Tell(CVantrelDoc& doc, const CHostNotice& notice, bool bUpAlert,
              const std::function<void(CSMTPMessage&, const std::string& strFrom,
                                       const std::string& strTo)>& fnCompose);

    CAlertMailQueue& m_queue;
};
