#pragma once

#include "core/app_settings.h"
#include "mail/smtp_connection.h"
#include "testing/alert_raiser.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class CEngineClock;
class CEvent;
class CMailSender;
class CSMTPMessage;

// The host-down alert: a message box when the system alert is on, and an e-mail through the
// mail client when the e-mail alert is on: without TLS tried with no login, CRAM-MD5 and AUTH
// LOGIN in turn, with TLS once with the login the server offers. A configuration that cannot
// work switches the e-mail alert off.
class CHostDownAlert : public CAlertRaiser {
public:
    enum class EDelivery {
        SENT,           // one of the attempts delivered the message
        NOT_SENT,       // the last attempt connected, but no attempt delivered it
        CONNECT_FAILED, // the last attempt could not connect
        STOPPED,        // the worker was asked to stop between attempts
    };

    CHostDownAlert(CMailSender& sender, CEngineClock& clock);

    void RaiseHostDownAlert(CVantrelDoc& doc, const std::string& strServer) override;

    // Fills a new message with the alert mail for strServer (ISO-8859-1, as the data file
    // holds it; sender and recipients are UTF-8), dated tNow (shown in UTC). Any text beyond
    // ASCII makes it a UTF-8 mail.
    static void ComposeMessage(CSMTPMessage& message, const std::string& strServer,
                               const std::string& strFrom, const std::string& strTo, time_t tNow);
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
    CMailSender& m_sender;
    CEngineClock& m_clock;
};
