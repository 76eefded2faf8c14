#include "testing/smtp_mail_sender.h"

#include "platform/last_error.h"

bool CSMTPMailSender::Connect(const std::string& strServer, int nLoginMethod,
                              const std::string& strUser, const std::string& strPassword,
                              uint16_t nPort, int nSecurity) {
    m_pConnection.reset();
    m_pConnection = std::make_unique<CSMTPConnection>();
    m_pConnection->m_traceHook = m_traceHook;
    m_pConnection->m_nSecurity = nSecurity;
    return m_pConnection->Connect(strServer, nLoginMethod, strUser, strPassword, nPort);
}

bool CSMTPMailSender::SendMessage(CSMTPMessage& message) {
    if (!m_pConnection || !m_pConnection->IsConnected()) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        return false;
    }
    return m_pConnection->SendMessage(message);
}

void CSMTPMailSender::Disconnect() {
    if (m_pConnection)
        m_pConnection->Disconnect(true);
    m_pConnection.reset();
}
