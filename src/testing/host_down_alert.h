#pragma once

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

    // The most of a host name the Subject holds.
    static constexpr size_t MAX_SUBJECT_NAME = 200;
    // Fills a new message with the alert mail for strServer, dated tNow (shown in UTC).
    static void ComposeMessage(CSMTPMessage& message, const std::string& strServer,
                               const std::string& strFrom, const std::string& strTo, time_t tNow);
    // The server, port and security of the mail server and the login for it.
    struct SServer {
        std::string m_strName;
        uint16_t m_nPort = 25;
        int m_nSecurity = 0;
        std::string m_strLogin;
        std::string m_strPassword;
    };
    // Without TLS sends the message with login methods 0, 1 and 2 in turn until one delivers
    // it; with TLS makes one attempt with the login the server offers. After CONNECT_FAILED,
    // dwLastError holds the last error of the failed connection.
    static EDelivery Deliver(CMailSender& sender, CSMTPMessage& message, const SServer& server,
                             const CEvent& evStop, uint32_t& dwLastError);
    // The login methods Deliver tries for a security mode, in order.
    static std::vector<int> LoginMethods(int nSecurity);
    // ctime()'s layout without its line feed, in UTC: "Sat Dec  5 10:06:43 2026".
    static std::string FormatAlertTime(time_t t);

private:
    CMailSender& m_sender;
    CEngineClock& m_clock;
};
