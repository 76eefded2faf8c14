#pragma once

#include "mail/smtp_connection.h"
#include "testing/mail_sender.h"

#include <memory>

// CMailSender over the mail client. Every Connect starts from a new connection object, so a
// socket left open by a failed attempt is closed before the next one.
class CSMTPMailSender : public CMailSender {
public:
    bool Connect(const std::string& strServer, int nLoginMethod, const std::string& strUser,
                 const std::string& strPassword, uint16_t nPort) override;
    bool SendMessage(CSMTPMessage& message) override;
    void Disconnect() override;

private:
    std::unique_ptr<CSMTPConnection> m_pConnection;
};
