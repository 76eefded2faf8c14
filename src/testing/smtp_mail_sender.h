#pragma once

#include "mail/smtp_connection.h"
#include "testing/mail_sender.h"

#include <memory>

// CMailSender over the mail client. Every Connect starts from a new connection object, so a
// socket left open by a failed attempt is closed before the next one.
class CSMTPMailSender : public CMailSender {
public:
    CSMTPMailSender() = default;
    // Every connection hands its diagnostics, replies and commands to hook.
    explicit CSMTPMailSender(CSMTPConnection::TraceHook hook) : m_traceHook(std::move(hook)) {}

    bool Connect(const std::string& strServer, int nLoginMethod, const std::string& strUser,
                 const std::string& strPassword, uint16_t nPort, int nSecurity) override;
    bool SendMessage(CSMTPMessage& message) override;
    void Disconnect() override;
    // The first diagnostic of the latest Connect and what followed it, without the function
    // name and the error number.
    std::string GetFailureReason() const override { return m_strFailureReason; }
    std::string GetRefusedRecipients() const override { return m_strRefused; }
    void SetSessionOptions(bool bAllowClearPassword, const std::string& strHeloName,
                           const CEvent* pCancel) override {
        m_bAllowClearPassword = bAllowClearPassword;
        m_strHeloName = strHeloName;
        m_pCancel = pCancel;
    }

private:
    CSMTPConnection::TraceHook m_traceHook;
    std::string m_strFailureReason;
    std::string m_strRefused;
    bool m_bAllowClearPassword = false;
    std::string m_strHeloName;
    const CEvent* m_pCancel = nullptr;
    std::unique_ptr<CSMTPConnection> m_pConnection;
};
