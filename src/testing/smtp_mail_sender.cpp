#include "testing/smtp_mail_sender.h"

#include "platform/last_error.h"

namespace {

// "CSMTPConnection::Connect, Could not ..., GetLastError returns: 111" -> "Could not ...".
std::string PlainReason(std::string strText) {
    const size_t nComma = strText.find(", ");
    if (strText.starts_with("CSMTPConnection::") && nComma != std::string::npos)
        strText.erase(0, nComma + 2);
    const size_t nCode = strText.find(", GetLastError returns:");
    if (nCode != std::string::npos)
        strText.erase(nCode);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r'))
        strText.pop_back();
    return strText;
}

} // namespace

bool CSMTPMailSender::Connect(const std::string& strServer, int nLoginMethod,
                              const std::string& strUser, const std::string& strPassword,
                              uint16_t nPort, int nSecurity) {
    m_pConnection.reset();
    m_pConnection = std::make_unique<CSMTPConnection>();
    m_strFailureReason.clear();
    m_strRefused.clear();
    m_pConnection->m_traceHook = [this](CSMTPConnection::ETrace eKind, const std::string& str) {
        if (eKind == CSMTPConnection::TRACE_DIAGNOSTIC && m_strFailureReason.empty())
            m_strFailureReason = PlainReason(str);
        if (m_traceHook)
            m_traceHook(eKind, str);
    };
    m_pConnection->m_nSecurity = nSecurity;
    m_pConnection->m_bAllowClearPassword = m_bAllowClearPassword;
    m_pConnection->m_pCancel = m_pCancel;
    if (!m_strHeloName.empty())
        m_pConnection->m_strHeloName = m_strHeloName;
    return m_pConnection->Connect(strServer, nLoginMethod, strUser, strPassword, nPort);
}

bool CSMTPMailSender::SendMessage(CSMTPMessage& message) {
    if (!m_pConnection || !m_pConnection->IsConnected()) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        return false;
    }
    const bool bSent = m_pConnection->SendMessage(message);
    // Kept past Disconnect, which ends the connection object.
    m_strRefused = m_pConnection->GetRefusedRecipients();
    return bSent;
}


void CSMTPMailSender::Disconnect() {
    if (m_pConnection)
        m_pConnection->Disconnect(true);
    m_pConnection.reset();
}
