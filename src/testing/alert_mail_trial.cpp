#include "testing/alert_mail_trial.h"

#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "platform/event.h"
#include "testing/host_down_alert.h"
#include "testing/smtp_mail_sender.h"

#include <ctime>

namespace {

const char* const SECURITY_NAMES[] = {"no TLS", "STARTTLS", "TLS"};

// Prefixes every line of a reply or diagnostic.
void EmitLines(const CAlertMailTrial::LineSink& sink, const char* pszPrefix,
               const std::string& strText) {
    size_t nStart = 0;
    while (nStart < strText.size()) {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = strText.substr(nStart, nEnd - nStart);
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        sink(pszPrefix + strLine);
        nStart = nEnd + 1;
    }
}

// Announces each attempt.
class CAnnouncingSender : public CSMTPMailSender {
public:
    explicit CAnnouncingSender(const CAlertMailTrial::LineSink& sink)
        : CSMTPMailSender([&sink](CSMTPConnection::ETrace eKind, const std::string& strText) {
              EmitLines(sink,
                        eKind == CSMTPConnection::TRACE_COMMAND ? "C: "
                        : eKind == CSMTPConnection::TRACE_REPLY ? "S: "
                                                                : "-- ",
                        strText);
          }),
          m_sink(sink) {}

    bool Connect(const std::string& strServer, int nLoginMethod, const std::string& strUser,
                 const std::string& strPassword, uint16_t nPort, int nSecurity) override {
        m_sink("Connecting to " + strServer + " port " + std::to_string(nPort) + " (" +
               SECURITY_NAMES[nSecurity] + ") with " +
               CAlertMailTrial::DescribeLogin(nLoginMethod));
        return CSMTPMailSender::Connect(strServer, nLoginMethod, strUser, strPassword, nPort,
                                        nSecurity);
    }

private:
    const CAlertMailTrial::LineSink& m_sink;
};

} // namespace

CAlertMailTrial::CAlertMailTrial(const CAppSettings& settings, std::string strHostName)
    : m_settings(settings), m_strHostName(std::move(strHostName)) {}

void CAlertMailTrial::ComposeTestMessage(CSMTPMessage& message, const std::string& strHostName,
                                         const std::string& strFrom, const std::string& strTo,
                                         time_t tNow) {
    CHostDownAlert::ComposeMessage(message, strHostName, strFrom, strTo, tNow);
    message.m_strSubject = "Vantrel test e-mail: " + message.m_strSubject + " (not a real alert)";
    message.SetBodyText("This is a test e-mail from Vantrel's mail settings. No host went "
                        "down.\r\nWhen a tested host goes down, the alert reads as follows."
                        "\r\n\r\n" +
                        message.GetBodyText());
}

const char* CAlertMailTrial::DescribeLogin(int nLoginMethod) {
    switch (nLoginMethod) {
    case SMTP_AUTH_NONE:
        return "no login";
    case SMTP_AUTH_CRAM_MD5:
        return "CRAM-MD5";
    case SMTP_AUTH_LOGIN:
        return "AUTH LOGIN";
    case SMTP_AUTH_PLAIN:
        return "AUTH PLAIN";
    default:
        return "the strongest login the server offers";
    }
}

CAlertMailTrial::EOutcome CAlertMailTrial::Run(const LineSink& sink, const CEvent& evStop) {
    const CAppSettings& s = m_settings;
    if (s.m_strSMTP.empty() || s.m_strEmailTo.empty() || s.m_strEmailFrom.empty()) {
        m_strOutcome = "Nothing was sent: the SMTP server, the recipient or the sender address "
                       "is missing.";
        return EOutcome::BAD_SETTINGS;
    }
    if (s.m_nSMTPPort < 1 || s.m_nSMTPPort > 65535 || s.m_nSMTPSecurity < SMTP_SECURITY_NONE ||
        s.m_nSMTPSecurity > SMTP_SECURITY_TLS) {
        m_strOutcome = "Nothing was sent: the port must be 1 to 65535.";
        return EOutcome::BAD_SETTINGS;
    }
    CSMTPMessage message;
    ComposeTestMessage(message, m_strHostName, s.m_strEmailFrom, s.m_strEmailTo,
                       std::time(nullptr));
    if (const char* pszField = message.FindLineBreak()) {
        m_strOutcome =
            std::string("Nothing was sent: the e-mail's ") + pszField + " contains a line break.";
        return EOutcome::BAD_SETTINGS;
    }
    CAnnouncingSender sender(sink);
    const CHostDownAlert::SServer server = CHostDownAlert::MakeServer(s);
    uint32_t dwLastError = 0;
    switch (CHostDownAlert::Deliver(sender, message, server, evStop, dwLastError)) {
    case CHostDownAlert::EDelivery::SENT:
        m_strOutcome = "The test e-mail was sent to " + s.m_strEmailTo + ".";
        if (!sender.GetRefusedRecipients().empty())
            m_strOutcome +=
                "\nThe server refused these recipients:\n" + sender.GetRefusedRecipients();
        return EOutcome::SENT;
    case CHostDownAlert::EDelivery::CONNECT_FAILED:
        m_strOutcome = "Vantrel couldn't connect to the SMTP server (last error " +
                       std::to_string(dwLastError) + ", " +
                       CSMTPConnection::DescribeError(dwLastError) +
                       "): " + sender.GetFailureReason() + ".";
        return EOutcome::NOT_SENT;
    case CHostDownAlert::EDelivery::NOT_SENT:
    case CHostDownAlert::EDelivery::STOPPED:
        break;
    }
    m_strOutcome = "The server did not accept the message: " + sender.GetFailureReason() + ".";
    return EOutcome::NOT_SENT;
}
