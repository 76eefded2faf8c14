#include "mail/smtp_connection.h"

#include "mail/base64_coder.h"
#include "mail/md5.h"
#include "mail/smtp_address.h"
#include "mail/smtp_body_part.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace {

__attribute__((format(printf, 1, 2))) std::string Format(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    va_list argsCopy;
    va_copy(argsCopy, args);
    int nLength = vsnprintf(nullptr, 0, pszFormat, args);
    va_end(args);
    std::string str(nLength > 0 ? static_cast<size_t>(nLength) : 0, '\0');
    if (nLength > 0)
        vsnprintf(str.data(), str.size() + 1, pszFormat, argsCopy);
    va_end(argsCopy);
    return str;
}

// Milliseconds on a monotonic clock, wrapping like a 32-bit tick count.
uint32_t TickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool HasLineBreak(std::string_view str) {
    return str.find_first_of("\r\n") != std::string_view::npos;
}

std::string Upper(std::string_view str) {
    std::string strUpper(str);
    for (char& c : strUpper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return strUpper;
}

} // namespace

CSMTPConnection::~CSMTPConnection() {
    if (m_bConnected)
        Disconnect(true);
}

void CSMTPConnection::Trace(ETrace eKind, const std::string& strText) const {
    if (m_traceHook)
        m_traceHook(eKind, strText);
}

void CSMTPConnection::ReportError(const std::string& strMessage) {
    Trace(TRACE_DIAGNOSTIC, strMessage);
}

void CSMTPConnection::ReportLastError(const char* pszText) {
    ReportError(Format("%s, GetLastError returns: %d", pszText, static_cast<int>(GetLastError())));
}

bool CSMTPConnection::SendCommand(const std::string& strCommand, const char* pszShown) {
    std::string strShown = pszShown != nullptr ? pszShown : strCommand;
    if (strShown.ends_with("\r\n"))
        strShown.resize(strShown.size() - 2);
    if (!strShown.empty())
        Trace(TRACE_COMMAND, strShown);
    if (m_socket.Send(strCommand))
        return true;
    m_bBroken = true;
    return false;
}

bool CSMTPConnection::Connect(const std::string& strHostName, int nLoginMethod,
                              const std::string& strUserName, const std::string& strPassword,
                              uint16_t nPort, const std::string& strLocalBoundAddress) {
    m_bConnected = false;
    m_bBroken = false;
    m_strPending.clear();
    m_strEhloReply.clear();
    m_strHostName = strHostName;
    m_dwAttemptStart = TickCount();
    // These travel in commands: a line break would smuggle in commands of its own.
    if (HasLineBreak(strHostName) || HasLineBreak(m_strHeloName) || HasLineBreak(strUserName) ||
        HasLineBreak(strPassword)) {
        SetLastError(SMTP_ERROR_INVALID_TEXT);
        ReportError("CSMTPConnection::Connect, The server name, the HELO name or the login "
                    "contains a line break");
        return false;
    }
    if (!m_socket.Create()) {
        ReportError(Format("CSMTPConnection::Connect, Failed to create client socket, "
                           "GetLastError returns: %d\n",
                           static_cast<int>(GetLastError())));
        return false;
    }
    // A server that stops reading must not hold a send for ever either.
    m_socket.SetSendTimeout(m_dwTimeoutMs);
    if (!m_socket.Connect(strHostName, nPort, strLocalBoundAddress)) {
        uint32_t dwError = GetLastError();
        if (!strLocalBoundAddress.empty()) {
            ReportError(Format("CSMTPConnection::Connect, Could not connect to the SMTP server %s "
                               "on port %d from LocalAddress:%s, GetLastError returns: %d",
                               strHostName.c_str(), nPort, strLocalBoundAddress.c_str(),
                               static_cast<int>(dwError)));
        } else {
            ReportError(Format("CSMTPConnection::Connect, Could not connect to the SMTP server %s "
                               "on port %d, GetLastError returns: %d",
                               strHostName.c_str(), nPort, static_cast<int>(dwError)));
        }
        m_socket.Close();
        SetLastError(dwError);
        return false;
    }
    m_bConnected = true;

    // The reason of the failure stays the last error, not the outcome of the QUIT after it.
    auto disconnectKeepingError = [this] {
        const uint32_t dwError = GetLastError();
        Disconnect(true);
        SetLastError(dwError);
    };
    if (m_nSecurity == SMTP_SECURITY_TLS && !BeginTLS(strHostName, false)) {
        disconnectKeepingError();
        return false;
    }
    if (!ReadExpectedResponse(220)) {
        ReportError("CSMTPConnection::Connect, An unexpected SMTP login response was received");
        disconnectKeepingError();
        return false;
    }
    if (m_strHeloName == "auto") {
        char szHostName[260] = {};
        gethostname(szHostName, sizeof szHostName - 1);
        m_strHeloName = szHostName;
    }
    bool bGreeted = nLoginMethod == SMTP_AUTH_NONE && m_nSecurity == SMTP_SECURITY_NONE
                        ? ConnectSMTP(m_strHeloName)
                        : ConnectESMTP(m_strHeloName, strUserName, strPassword, nLoginMethod);
    if (!bGreeted) {
        disconnectKeepingError();
        const uint32_t dwError = GetLastError();
        ReportError("CSMTPConnection::Connect, An unexpected HELO/EHLO response was received");
        SetLastError(dwError);
        return false;
    }
    return true;
}

bool CSMTPConnection::ConnectSMTP(const std::string& strHeloName) {
    if (!SendCommand("HELO " + strHeloName + "\r\n")) {
        ReportError("CSMTPConnection::ConnectSMTP, An unexpected error occurred while sending the "
                    "HELO command");
        return false;
    }
    return ReadExpectedResponse(250);
}

bool CSMTPConnection::SayEhlo(const std::string& strHeloName) {
    if (!SendCommand("EHLO " + strHeloName + "\r\n")) {
        ReportError("CSMTPConnection::ConnectESMTP, An unexpected error occurred while sending "
                    "the EHLO command");
        return false;
    }
    if (!ReadExpectedResponse(250)) {
        ReportError("CSMTPConnection::ConnectESMTP, An unexpected response was received occurred "
                    "while sending the EHLO command");
        return false;
    }
    m_strEhloReply = m_strLastResponse;
    return true;
}

bool CSMTPConnection::ConnectESMTP(const std::string& strHeloName, const std::string& strUserName,
                                   const std::string& strPassword, int nLoginMethod) {
    if (!SayEhlo(strHeloName))
        return false;
    if (m_nSecurity == SMTP_SECURITY_STARTTLS && !m_socket.IsTLS()) {
        // Never on in plain text: a server that does not offer STARTTLS ends the attempt.
        if (!Offers("STARTTLS")) {
            SetLastError(SMTP_ERROR_NO_STARTTLS);
            ReportError("CSMTPConnection::ConnectESMTP, The server does not offer STARTTLS");
            return false;
        }
        if (!BeginTLS(m_strHostName, true) || !SayEhlo(strHeloName))
            return false;
    }
    bool bLoggedIn = false;
    switch (nLoginMethod) {
    case SMTP_AUTH_NONE:
        return true;
    case SMTP_AUTH_CRAM_MD5:
        bLoggedIn = CramLogin(strUserName, strPassword);
        break;
    case SMTP_AUTH_LOGIN:
        bLoggedIn = AuthLogin(strUserName, strPassword);
        break;
    case SMTP_AUTH_LOGIN_PLAIN:
        bLoggedIn = AuthLoginPlain(strUserName, strPassword);
        break;
    case SMTP_AUTH_PLAIN:
        bLoggedIn = AuthPlain(strUserName, strPassword);
        break;
    case SMTP_AUTH_AUTO:
        bLoggedIn = LoginAsOffered(strUserName, strPassword);
        break;
    default:
        return false;
    }
    if (!bLoggedIn && !m_bBroken && m_nLastResponseCode == 334)
        CancelAuth();
    return bLoggedIn;
}

bool CSMTPConnection::BeginTLS(const std::string& strHostName, bool bAskServer) {
    if (bAskServer) {
        if (!SendCommand("STARTTLS\r\n")) {
            ReportLastError("CSMTPConnection::BeginTLS, Failed in call to send STARTTLS command");
            return false;
        }
        if (!ReadExpectedResponse(220)) {
            ReportError("CSMTPConnection::BeginTLS, The server refused STARTTLS");
            return false;
        }
        // Bytes sent before the handshake would pass for protected replies after it.
        if (!m_strPending.empty()) {
            SetLastError(SOCKET_ERROR_TLS_FAILED);
            ReportError("CSMTPConnection::BeginTLS, The server sent data before TLS began");
            m_bBroken = true;
            return false;
        }
    }
    if (!m_socket.StartTLS(strHostName)) {
        const uint32_t dwError = GetLastError();
        ReportError(Format("CSMTPConnection::BeginTLS, TLS with %s failed: %s, GetLastError "
                           "returns: %d",
                           strHostName.c_str(), m_socket.GetTLSError().c_str(),
                           static_cast<int>(dwError)));
        SetLastError(dwError);
        m_bBroken = true;
        return false;
    }
    Trace(TRACE_NOTE, "TLS started with " + strHostName);
    return true;
}

bool CSMTPConnection::Offers(std::string_view strExtension, std::string_view strMethod) const {
    std::string_view strReply = m_strEhloReply;
    while (!strReply.empty()) {
        const size_t nEnd = std::min(strReply.find("\r\n"), strReply.size());
        std::string strLine = Upper(strReply.substr(0, nEnd).substr(std::min<size_t>(4, nEnd)));
        strReply.remove_prefix(std::min(nEnd + 2, strReply.size()));
        // "AUTH LOGIN PLAIN" and the older "AUTH=LOGIN"
        std::replace(strLine.begin(), strLine.end(), '=', ' ');
        strLine += ' ';
        if (!strLine.starts_with(std::string(strExtension) + ' '))
            continue;
        if (strMethod.empty() ||
            strLine.find(' ' + std::string(strMethod) + ' ') != std::string::npos)
            return true;
    }
    return false;
}

bool CSMTPConnection::LoginAsOffered(const std::string& strUserName,
                                     const std::string& strPassword) {
    if (strUserName.empty())
        return true;
    if (Offers("AUTH", "CRAM-MD5"))
        return CramLogin(strUserName, strPassword);
    if (Offers("AUTH", "PLAIN"))
        return AuthPlain(strUserName, strPassword);
    if (Offers("AUTH", "LOGIN"))
        return AuthLogin(strUserName, strPassword);
    Trace(TRACE_NOTE, "The server offers no login this program knows: sending without one");
    return true;
}

void CSMTPConnection::CancelAuth() {
    if (SendCommand("*\r\n"))
        ReadExpectedResponse(501);
}

bool CSMTPConnection::Disconnect(bool bGracefully) {
    bool bResult = false;
    if (!m_bConnected) {
        ReportError("CSMTPConnection::Disconnect, Already disconnected from SMTP server, doing "
                    "nothing");
    } else {
        // After a time-out or a hang-up no QUIT reply is coming: do not wait for one.
        if (bGracefully && !m_bBroken) {
            if (!SendCommand("QUIT\r\n"))
                ReportLastError("CSMTPConnection::Disconnect, Failed in call to send QUIT command");
            bResult = !m_bBroken && ReadExpectedResponse(221);
            if (!bResult) {
                SetLastError(SMTP_ERROR_BAD_COMMAND);
                ReportError(
                    "CSMTPConnection::Disconnect, An unexpected QUIT response was received");
            }
        }
        m_bConnected = false;
    }
    m_socket.Close();
    return bResult;
}

bool CSMTPConnection::SendMessage(CSMTPMessage& message) {
    const char* pszBroken = message.FindLineBreak();
    if (pszBroken != nullptr) {
        SetLastError(SMTP_ERROR_INVALID_TEXT);
        ReportError(Format("CSMTPConnection::SendMessage, The message was not sent: its %s "
                           "contains a line break",
                           pszBroken));
        return false;
    }
    if (!SendCommand("MAIL FROM:<" + message.m_from.m_strAddress + ">\r\n")) {
        ReportLastError("CSMTPConnection::SendMessage, Failed in call to send MAIL command");
        return false;
    }
    if (!ReadExpectedResponse(250)) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        ReportError("CSMTPConnection::SendMessage, An unexpected MAIL response was received");
        return false;
    }
    for (int nKind : {RECIPIENT_TO, RECIPIENT_CC, RECIPIENT_BCC}) {
        for (int i = 0; i < message.GetRecipientCount(nKind); ++i) {
            if (!SendRCPTForRecipient(*message.GetRecipientAt(i, nKind)))
                return false;
        }
    }
    if (!SendCommand("DATA\r\n")) {
        ReportLastError("CSMTPConnection::SendMessage, Failed in call to send DATA command");
        return false;
    }
    if (!ReadExpectedResponse(354)) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        ReportError("CSMTPConnection::SendMessage, An unexpected DATA response was received");
        return false;
    }
    if (!SendCommand(message.BuildHeader(), "")) {
        ReportLastError("CSMTPConnection::SendMessage, Failed in call to send the header");
        return false;
    }
    if (!SendCommand("\r\n", "")) {
        ReportLastError(
            "CSMTPConnection::SendMessage, Failed in call to send the header / body separator");
        return false;
    }
    CSMTPBodyPart& root = message.m_rootPart;
    if (root.GetChildCount() == 0 && !message.GetMimeMode()) {
        if (!SendCommand(root.GetText(), "")) {
            ReportLastError("CSMTPConnection::SendMessage, Failed in call to send the body");
            return false;
        }
    } else if (!SendBodyPart(root, true)) {
        return false;
    }
    if (!SendCommand("\r\n.\r\n", "(message header and body)")) {
        ReportLastError(
            "CSMTPConnection::SendMessage, Failed in call to send end of message indicator");
        return false;
    }
    if (!ReadExpectedResponse(250)) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        ReportError(
            "CSMTPConnection::SendMessage, An unexpected end of message response was received");
        return false;
    }
    return true;
}

bool CSMTPConnection::SendRCPTForRecipient(const CSMTPAddress& recipient) {
    if (!SendCommand("RCPT TO:<" + recipient.m_strAddress + ">\r\n")) {
        ReportLastError(
            "CSMTPConnection::SendRCPTForRecipient, Failed in call to send RCPT command");
        return false;
    }
    // 251: the server forwards the mail, which is as good as taking it.
    if (!ReadExpectedResponse(250, 251)) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        ReportError(
            "CSMTPConnection::SendRCPTForRecipient, An unexpected RCPT response was received");
        return false;
    }
    return true;
}

bool CSMTPConnection::SendBodyPart(CSMTPBodyPart& part, bool bRoot) {
    bool bResult = true;
    if (!bRoot) {
        std::string strHeader;
        if (!part.BuildPartHeader(strHeader)) {
            ReportLastError(
                "CSMTPConnection::SendBodyPart, Failed in call to send body parts header");
            return false;
        }
        if (!SendCommand(strHeader, "")) {
            ReportLastError(
                "CSMTPConnection::SendBodyPart, Failed in call to send body parts header");
            bResult = false;
        }
    }
    std::string strBody;
    if (!part.GetBody(strBody)) {
        ReportLastError("CSMTPConnection::SendBodyPart, Failed in call to send body parts body");
        return false;
    }
    if (!SendCommand(strBody, "")) {
        ReportLastError("CSMTPConnection::SendBodyPart, Failed in call to send body parts body");
        bResult = false;
    }
    for (int i = 0; i < part.GetChildCount() && bResult; ++i)
        bResult = SendBodyPart(*part.GetChildAt(i), false);
    if (part.GetChildCount() > 0) {
        std::string strFooter;
        if (!part.BuildPartFooter(strFooter) || !SendCommand(strFooter, "")) {
            ReportLastError(
                "CSMTPConnection::SendBodyPart, Failed in call to send body parts footer");
            bResult = false;
        }
    }
    return bResult;
}

bool CSMTPConnection::MarkBroken() {
    m_strLastResponse = m_strPending;
    m_strPending.clear();
    m_bBroken = true;
    return false;
}

size_t CSMTPConnection::FindReplyEnd(std::string_view strData) {
    size_t nStart = 0, nEnd;
    while ((nEnd = strData.find("\r\n", nStart)) != std::string_view::npos) {
        if (nEnd - nStart < 4 || strData[nStart + 3] != '-')
            return nEnd + 2;
        nStart = nEnd + 2;
    }
    return std::string_view::npos;
}

bool CSMTPConnection::ReadExpectedResponse(int nExpectedCode, int nOtherCode) {
    uint32_t dwIdleStart = TickCount();
    size_t nEnd;
    while ((nEnd = FindReplyEnd(m_strPending)) == std::string_view::npos) {
        const uint32_t dwNow = TickCount();
        const uint32_t dwIdle = dwNow - dwIdleStart, dwAttempt = dwNow - m_dwAttemptStart;
        if (dwIdle > m_dwTimeoutMs || dwAttempt > m_dwAttemptLimitMs) {
            SetLastError(SOCKET_ERROR_TIMED_OUT);
            ReportError(dwIdle > m_dwTimeoutMs
                            ? "CSMTPConnection::ReadResponse, Timed Out waiting for response from "
                              "SMTP server"
                            : "CSMTPConnection::ReadResponse, The SMTP server took longer than "
                              "an attempt may last");
            return MarkBroken();
        }
        // Waits up to 250 ms for data, but no longer than either limit allows.
        const uint64_t nLeft =
            std::min(uint64_t{m_dwTimeoutMs} - dwIdle, uint64_t{m_dwAttemptLimitMs} - dwAttempt);
        bool bReadable = false;
        if (!m_socket.IsReadable(bReadable, static_cast<int>(std::min<uint64_t>(250, nLeft + 1))))
            return MarkBroken();
        if (!bReadable)
            continue;
        if (m_strPending.size() >= MAX_RESPONSE_SIZE) {
            SetLastError(SMTP_ERROR_REPLY_TOO_LONG);
            ReportError("CSMTPConnection::ReadResponse, Response from SMTP server too long");
            return MarkBroken();
        }
        char buffer[4096];
        const int nRead = m_socket.Receive(
            buffer,
            static_cast<int>(std::min(sizeof buffer, MAX_RESPONSE_SIZE - m_strPending.size())));
        if (nRead <= 0)
            return MarkBroken();
        dwIdleStart = TickCount();
        m_strPending.append(buffer, static_cast<size_t>(nRead));
    }
    const std::string strReply = m_strPending.substr(0, nEnd - 2);
    m_strPending.erase(0, nEnd);
    Trace(TRACE_REPLY, strReply);
    return MatchResponse(strReply.c_str(), "\r\n", nExpectedCode, nOtherCode);
}

bool CSMTPConnection::MatchResponse(const char* pszReply, const char* pszTerminator,
                                    int nExpectedCode, int nOtherCode) {
    const size_t t = strlen(pszTerminator);
    const char* pszLine = pszReply;
    for (;;) {
        char szCode[4] = {};
        strncpy(szCode, pszLine, 3);
        int nCode = 0;
        // A line without a readable code keeps the previous code but never matches.
        bool bHasCode = sscanf(szCode, "%d", &nCode) == 1;
        if (bHasCode)
            m_nLastResponseCode = nCode;
        m_strLastResponse = pszLine;
        if (bHasCode && (nCode == nExpectedCode || (nOtherCode != 0 && nCode == nOtherCode)))
            return true;
        const char* pszNext = t > 0 ? strstr(pszLine, pszTerminator) : nullptr;
        if (pszNext == nullptr)
            break;
        pszLine = pszNext + t;
    }
    SetLastError(SMTP_ERROR_NO_MATCHING_REPLY);
    return false;
}

std::string CSMTPConnection::GetPrompt() const {
    return m_strLastResponse.size() < 4 ? std::string() : m_strLastResponse.substr(4);
}

bool CSMTPConnection::AuthStep(const std::string& strLine, int nExpectedCode,
                               const char* pszSendFailure, const char* pszReplyFailure,
                               bool bLoginData) {
    if (!SendCommand(strLine + "\r\n", bLoginData ? "(login data, not shown)" : nullptr)) {
        ReportError(pszSendFailure);
        return false;
    }
    if (!ReadExpectedResponse(nExpectedCode)) {
        ReportError(pszReplyFailure);
        return false;
    }
    return true;
}

bool CSMTPConnection::AuthLogin(const std::string& strUserName, const std::string& strPassword) {
    if (!AuthStep("AUTH LOGIN", 334,
                  "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                  "AUTH command",
                  "CSMTPConnection::AuthLogin, Server does not support AUTH LOGIN", false))
        return false;
    // Any 334 is the prompt: servers word it in many ways ("VXNlcm5hbWU6", "User Name").
    CBase64Coder coder;
    coder.Encode(strUserName.c_str());
    if (!AuthStep(coder.GetEncoded(), 334,
                  "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                  "username",
                  "CSMTPConnection::AuthLogin, Server did not respond correctly to AUTH LOGIN "
                  "username field"))
        return false;
    coder.Encode(strPassword.c_str());
    return AuthStep(coder.GetEncoded(), 235,
                    "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                    "password",
                    "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful");
}

bool CSMTPConnection::AuthPlain(const std::string& strUserName, const std::string& strPassword) {
    // No authorization identity, then the user name and the password, each after a zero byte.
    const std::string strCredentials = '\0' + strUserName + '\0' + strPassword;
    CBase64Coder coder;
    coder.Encode(reinterpret_cast<const uint8_t*>(strCredentials.data()),
                 static_cast<uint32_t>(strCredentials.size()));
    if (!SendCommand("AUTH PLAIN " + std::string(coder.GetEncoded()) + "\r\n",
                     "AUTH PLAIN (login data, not shown)")) {
        ReportError("CSMTPConnection::AuthPlain, An unexpected error occurred while sending the "
                    "AUTH command");
        return false;
    }
    if (!ReadExpectedResponse(235)) {
        ReportError("CSMTPConnection::AuthPlain, AUTH PLAIN authentication was unsuccessful");
        return false;
    }
    return true;
}

bool CSMTPConnection::CramLogin(const std::string& strUserName, const std::string& strPassword) {
    if (!AuthStep("AUTH CRAM-MD5", 334,
                  "CSMTPConnection::CramLogin, An unexpected error occurred while sending the "
                  "AUTH command",
                  "CSMTPConnection::CramLogin, Server does not support AUTH CRAM-MD5", false))
        return false;
    CBase64Coder coder;
    coder.Decode(GetPrompt().c_str());
    // The challenge ends at its first zero byte: pad characters decode to trailing zeros.
    const auto* pszChallenge = reinterpret_cast<const char*>(coder.GetDecoded());
    const char* pszKey = strPassword.c_str();
    uint8_t digest[16];
    ComputeHmacMd5(reinterpret_cast<const uint8_t*>(pszChallenge), strlen(pszChallenge),
                   reinterpret_cast<const uint8_t*>(pszKey), strlen(pszKey), digest);
    std::string strAnswer = strUserName.c_str();
    strAnswer += ' ';
    for (uint8_t b : digest)
        strAnswer += Format("%02x", static_cast<unsigned>(b));
    coder.Encode(strAnswer.c_str());
    return AuthStep(coder.GetEncoded(), 235,
                    "CSMTPConnection::CramLogin, An unexpected error occurred while sending the "
                    "username",
                    "CSMTPConnection::CramLogin, AUTH CRAM-MD5 authentication was unsuccessful");
}

bool CSMTPConnection::AuthLoginPlain(const std::string& strUserName,
                                     const std::string& strPassword) {
    if (!AuthStep("AUTH LOGIN PLAIN", 334,
                  "CSMTPConnection::AuthLoginPlain, An unexpected error occurred while sending "
                  "the AUTH command",
                  "CSMTPConnection::AuthLoginPlain, Server does not support AUTH LOGIN PLAIN",
                  false))
        return false;
    // Unlike AuthLogin, which takes any 334 as its prompt, a prompt other than the expected one
    // is a failure: the server is not asking for what we would send in clear.
    if (GetPrompt() != "Username:") {
        ReportError("CSMTPConnection::AuthLoginPlain, An unexpected request received when "
                    "expecting username request");
        return false;
    }
    if (!AuthStep(strUserName.c_str(), 334,
                  "CSMTPConnection::AuthLoginPlain, An unexpected error occurred while sending "
                  "the username",
                  "CSMTPConnection::AuthLoginPlain, Server did not response correctly to AUTH "
                  "LOGIN PLAIN username field"))
        return false;
    if (GetPrompt() != "Password:") {
        ReportError("CSMTPConnection::AuthLoginPlain, An unexpected request received when "
                    "expecting password request");
        return false;
    }
    return AuthStep(strPassword.c_str(), 235,
                    "CSMTPConnection::AuthLoginPlain, An unexpected error occurred while sending "
                    "the password",
                    "CSMTPConnection::AuthLoginPlain, AUTH LOGIN PLAIN authentication was "
                    "unsuccessful");
}

void CSMTPConnection::ComputeHmacMd5(const uint8_t* pText, size_t nTextLength, const uint8_t* pKey,
                                     size_t nKeyLength, uint8_t digest[16]) {
    uint8_t keyDigest[16];
    if (nKeyLength > 64) {
        MD5_CTX context;
        MD5Init(&context);
        MD5Update(&context, pKey, nKeyLength);
        MD5Final(keyDigest, &context);
        pKey = keyDigest;
        nKeyLength = sizeof keyDigest;
    }
    uint8_t innerPad[64] = {};
    uint8_t outerPad[64] = {};
    if (nKeyLength > 0) {
        memcpy(innerPad, pKey, nKeyLength);
        memcpy(outerPad, pKey, nKeyLength);
    }
    for (int i = 0; i < 64; ++i) {
        innerPad[i] ^= 0x36;
        outerPad[i] ^= 0x5C;
    }
    uint8_t innerDigest[16];
    MD5_CTX context;
    MD5Init(&context);
    MD5Update(&context, innerPad, sizeof innerPad);
    MD5Update(&context, pText, nTextLength);
    MD5Final(innerDigest, &context);
    MD5Init(&context);
    MD5Update(&context, outerPad, sizeof outerPad);
    MD5Update(&context, innerDigest, sizeof innerDigest);
    MD5Final(digest, &context);
}
