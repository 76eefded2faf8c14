#pragma once

#include "testing/alert_raiser.h"

#include <cstdint>
#include <ctime>
#include <string>

class CEngineClock;
class CEvent;
class CMailSender;
class CSMTPMessage;

// The host-down alert: a message box when the system alert is on, and an e-mail through the
// mail client when the e-mail alert is on, tried with no login, CRAM-MD5 and AUTH LOGIN in
// turn. A configuration that cannot work switches the e-mail alert off.
class CHostDownAlert : public CAlertRaiser {
public:
    static constexpr uint16_t SMTP_PORT = 25;

    enum class EDelivery {
        SENT,           // one of the attempts delivered the message
        NOT_SENT,       // the last attempt connected, but no attempt delivered it
        CONNECT_FAILED, // the last attempt could not connect
        STOPPED,        // the worker was asked to stop between attempts
    };

    CHostDownAlert(CMailSender& sender, CEngineClock& clock);

    void RaiseHostDownAlert(CVantrelDoc& doc, const std::string& strServer) override;

    // Fills a new message with the alert mail for strServer, dated tNow (shown in UTC).
    static void ComposeMessage(CSMTPMessage& message, const std::string& strServer,
                               const std::string& strFrom, const std::string& strTo, time_t tNow);
    // Sends the message with login methods 0, 1 and 2 in turn until one delivers it. After
    // CONNECT_FAILED, dwLastError holds the last error of the failed connection.
    static EDelivery Deliver(CMailSender& sender, CSMTPMessage& message, const std::string& strSMTP,
                             const std::string& strLogin, const std::string& strPassword,
                             const CEvent& evStop, uint32_t& dwLastError);
    // ctime()'s layout without its line feed, in UTC: "Sat Dec  5 10:06:43 2026".
    static std::string FormatAlertTime(time_t t);

private:
    CMailSender& m_sender;
    CEngineClock& m_clock;
};
