#pragma once

#include <cstdint>
#include <string>

class CSMTPMessage;

// The SMTP session the host-down alert delivers through: the program uses the mail client
// (CSMTPMailSender); tests record the attempts.
class CMailSender {
public:
    virtual ~CMailSender() = default;
    // False with the reason in the thread's last error.
    virtual bool Connect(const std::string& strServer, int nLoginMethod, const std::string& strUser,
                         const std::string& strPassword, uint16_t nPort) = 0;
    virtual bool SendMessage(CSMTPMessage& message) = 0;
    // Graceful: QUIT, then close.
    virtual void Disconnect() = 0;
};
