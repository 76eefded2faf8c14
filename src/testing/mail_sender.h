#pragma once

#include <cstdint>
#include <string>

class CEvent;
class CSMTPMessage;

// The SMTP session the host-down alert delivers through: the program uses the mail client
// (CSMTPMailSender); tests record the attempts.
class CMailSender {
public:
    virtual ~CMailSender() = default;
    // False with the reason in the thread's last error. nSecurity: SMTP_SECURITY_NONE,
    // SMTP_SECURITY_STARTTLS or SMTP_SECURITY_TLS.
    virtual bool Connect(const std::string& strServer, int nLoginMethod, const std::string& strUser,
                         const std::string& strPassword, uint16_t nPort, int nSecurity) = 0;
    virtual bool SendMessage(CSMTPMessage& message) = 0;
    // Graceful: QUIT, then close.
    virtual void Disconnect() = 0;
    // Why the latest attempt failed, in words; empty when nothing says.
    virtual std::string GetFailureReason() const { return std::string(); }
    // The recipients the latest SendMessage left out, with the server's words, one a line.
    virtual std::string GetRefusedRecipients() const { return std::string(); }
    // For the next Connects: whether a login may cross an unencrypted connection to another
    // machine, the HELO/EHLO name (empty: this machine's), and an event that cuts a session
    // short when set.
    virtual void SetSessionOptions(bool /*bAllowClearPassword*/, const std::string& /*strHeloName*/,
                                   const CEvent* /*pCancel*/) {}
};
