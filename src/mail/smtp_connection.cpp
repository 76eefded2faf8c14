#include "mail/smtp_connection.h"

#include "mail/base64_coder.h"
#include "mail/md5.h"
#include "mail/smtp_address.h"
#include "mail/smtp_body_part.h"
#include "mail/smtp_message.h"
#include "platform/event.h"
#include "platform/last_error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <string_view>
#include <unistd.h>
#include <utility>
#include <vector>

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

std::string CSMTPConnection::ChooseHeloName(const std::string& strHostName,
                                            const std::string& strLocalAddress) {
    const bool bQualified = strHostName.find('.') != std::string::npos &&
                            strHostName.back() != '.' && !strHostName.ends_with(".localdomain");
    return bQualified ? strHostName : "[" + strLocalAddress + "]";
}

std::string CSMTPConnection::ServerSaid() const {
    if (m_bBroken || m_strLastResponse.empty())
        return std::string();
    std::string strLine = m_strLastResponse.substr(0, m_strLastResponse.find("\r\n"));
    if (strLine.size() > 300)
        strLine.resize(300);
    return ": " + strLine;
}

std::string CSMTPConnection::PortHint() const {
    static const char* const SECURITY_NAMES[] = {"None", "STARTTLS", "TLS"};
    const int nSecurity = std::clamp(m_nSecurity, SMTP_SECURITY_NONE, SMTP_SECURITY_TLS);
    return Format(" on port %d with security %s. Is that the right port? Usually 587 goes with "
                  "STARTTLS, 465 with TLS and 25 with None",
                  m_nPort, SECURITY_NAMES[nSecurity]);
}

std::string CSMTPConnection::DescribeError(uint32_t dwError) {
    switch (dwError) {
    case 0:
        return "no error";
    case SOCKET_ERROR_NAME_NOT_RESOLVED:
        return "host name not found";
    case SOCKET_ERROR_TIMED_OUT:
        return "timed out";
    case SOCKET_ERROR_TLS_FAILED:
        return "TLS failed";
    case SMTP_ERROR_NO_MATCHING_REPLY:
        return "unexpected reply";
    case SMTP_ERROR_REPLY_TOO_LONG:
        return "reply too long";
    case SMTP_ERROR_BAD_COMMAND:
        return "refused by the server";
    case SMTP_ERROR_INVALID_TEXT:
        return "line break in a setting";
    case SMTP_ERROR_NO_STARTTLS:
        return "STARTTLS not offered";
    case SMTP_ERROR_CLEAR_PASSWORD:
        return "password kept from an unencrypted connection";
    case SMTP_ERROR_AUTH_NOT_OFFERED:
        return "login method not offered";
    default:
        break;
    }
    char szText[256] = {};
    std::string strText = strerror_r(static_cast<int>(dwError), szText, sizeof szText);
    if (!strText.empty())
        strText[0] = static_cast<char>(tolower(static_cast<unsigned char>(strText[0])));
    return strText;
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
    m_nPort = nPort;
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
    // The send time-out bounds the connect too.
    m_socket.SetSendTimeout(m_dwConnectTimeoutMs);
    m_socket.SetCancelEvent(m_pCancel);
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
    // A server that stops reading must not hold a send for ever either.
    m_socket.SetSendTimeout(m_dwTimeoutMs);
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
    // A server that stays silent is most likely waiting for a TLS handshake: the greeting
    // gets the connect time-out, and its absence a hint at the port.
    const uint32_t dwReplyTimeoutMs = m_dwTimeoutMs;
    m_dwTimeoutMs = std::min(m_dwConnectTimeoutMs, m_dwTimeoutMs);
    m_strSilenceText = Format("CSMTPConnection::Connect, No greeting from the SMTP server within "
                              "%u s",
                              (m_dwTimeoutMs + 999) / 1000) +
                       PortHint();
    const bool bHello = ReadExpectedResponse(220);
    m_dwTimeoutMs = dwReplyTimeoutMs;
    m_strSilenceText.clear();
    if (!bHello) {
        const uint32_t dwError = GetLastError();
        if (dwError != SOCKET_ERROR_TIMED_OUT)
            ReportError("CSMTPConnection::Connect, An unexpected SMTP login response was "
                        "received" +
                        ServerSaid());
        SetLastError(dwError);
        disconnectKeepingError();
        return false;
    }
    if (m_strHeloName == "auto") {
        // Servers refuse a bare "myhost" (504 need fully-qualified hostname).
        char szHostName[260] = {};
        gethostname(szHostName, sizeof szHostName - 1);
        addrinfo hints{};
        hints.ai_flags = AI_CANONNAME;
        addrinfo* pInfo = nullptr;
        std::string strCanonical = szHostName;
        if (getaddrinfo(szHostName, nullptr, &hints, &pInfo) == 0) {
            if (pInfo->ai_canonname != nullptr)
                strCanonical = pInfo->ai_canonname;
            freeaddrinfo(pInfo);
        }
        m_strHeloName = ChooseHeloName(strCanonical, m_socket.GetLocalAddress());
    }
    const bool bHelo = nLoginMethod == SMTP_AUTH_NONE && m_nSecurity == SMTP_SECURITY_NONE;
    bool bGreeted = bHelo ? ConnectSMTP(m_strHeloName)
                          : ConnectESMTP(m_strHeloName, strUserName, strPassword, nLoginMethod);
    if (!bGreeted) {
        // A HELO refusal has no diagnostic of its own: this one quotes it.
        const std::string strSaid = bHelo ? ServerSaid() : std::string();
        disconnectKeepingError();
        if (m_nResumeLogin > 0) {
            Trace(TRACE_NOTE, "The server closed the connection after the refused login: "
                              "connecting again for the next method");
            m_nFirstLogin = std::exchange(m_nResumeLogin, 0);
            const bool bConnected = Connect(strHostName, nLoginMethod, strUserName, strPassword,
                                            nPort, strLocalBoundAddress);
            m_nFirstLogin = 0;
            return bConnected;
        }
        const uint32_t dwError = GetLastError();
        ReportError("CSMTPConnection::Connect, An unexpected HELO/EHLO response was received" +
                    strSaid);
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
                    "while sending the EHLO command" +
                    ServerSaid());
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
            ReportError("CSMTPConnection::ConnectESMTP, The server does not offer STARTTLS" +
                        PortHint());
            return false;
        }
        if (!BeginTLS(m_strHostName, true) || !SayEhlo(strHeloName))
            return false;
    }
    const bool bLoggedIn = RunLogin(strUserName, strPassword, nLoginMethod);
    if (!bLoggedIn && !m_bBroken && m_nLastResponseCode == 334)
        CancelAuth();
    return bLoggedIn;
}

bool CSMTPConnection::RunLogin(const std::string& strUserName, const std::string& strPassword,
                               int nLoginMethod) {
    if (nLoginMethod == SMTP_AUTH_NONE)
        return true;
    if (strUserName.empty()) {
        // Without a login no password can leak: the methods run as they always did.
        switch (nLoginMethod) {
        case SMTP_AUTH_CRAM_MD5:
            return CramLogin(strUserName, strPassword);
        case SMTP_AUTH_LOGIN:
            return AuthLogin(strUserName, strPassword);
        case SMTP_AUTH_LOGIN_PLAIN:
            return AuthLoginPlain(strUserName, strPassword);
        case SMTP_AUTH_PLAIN:
            return AuthPlain(strUserName, strPassword);
        case SMTP_AUTH_AUTO:
            return true;
        default:
            return false;
        }
    }
    if (!m_socket.IsTLS() && !m_bAllowClearPassword && !IsLoopbackPeer()) {
        SetLastError(SMTP_ERROR_CLEAR_PASSWORD);
        ReportError("CSMTPConnection::Login, The password was not sent: the connection to " +
                    m_strHostName +
                    " is not encrypted. Choose STARTTLS on port 587, or allow the password over "
                    "an unencrypted connection in the options");
        return false;
    }
    return LoginAsOffered(strUserName, strPassword, nLoginMethod);
}

bool CSMTPConnection::BeginTLS(const std::string& strHostName, bool bAskServer) {
    if (bAskServer) {
        if (!SendCommand("STARTTLS\r\n")) {
            ReportLastError("CSMTPConnection::BeginTLS, Failed in call to send STARTTLS command");
            return false;
        }
        if (!ReadExpectedResponse(220)) {
            ReportError("CSMTPConnection::BeginTLS, The server refused STARTTLS" + ServerSaid());
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
        ReportError(
            Format("CSMTPConnection::BeginTLS, TLS with %s failed: %s, GetLastError "
                   "returns: %d",
                   strHostName.c_str(),
                   // A refused certificate is no sign of a wrong port.
                   (m_socket.GetTLSError() +
                    (bAskServer || m_socket.GetTLSError().find("certificate") != std::string::npos
                         ? ""
                         : PortHint()))
                       .c_str(),
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

std::string CSMTPConnection::OfferedLogins() const {
    std::string strOffered;
    std::string_view strReply = m_strEhloReply;
    while (!strReply.empty()) {
        const size_t nEnd = std::min(strReply.find("\r\n"), strReply.size());
        const std::string strLine =
            Upper(strReply.substr(0, nEnd).substr(std::min<size_t>(4, nEnd)));
        strReply.remove_prefix(std::min(nEnd + 2, strReply.size()));
        if (strLine.size() > 5 && strLine.starts_with("AUTH") &&
            (strLine[4] == ' ' || strLine[4] == '='))
            strOffered += (strOffered.empty() ? "" : " ") + strLine.substr(5);
    }
    return strOffered;
}

bool CSMTPConnection::LoginAsOffered(const std::string& strUserName, const std::string& strPassword,
                                     int nLoginMethod) {
    // Strongest first; AUTH LOGIN PLAIN only when asked for by name.
    const std::pair<int, const char*> methods[] = {{SMTP_AUTH_CRAM_MD5, "CRAM-MD5"},
                                                   {SMTP_AUTH_PLAIN, "PLAIN"},
                                                   {SMTP_AUTH_LOGIN, "LOGIN"},
                                                   {SMTP_AUTH_LOGIN_PLAIN, "LOGIN"}};
    std::vector<int> arrTries;
    const char* pszAsked = "a login method this program knows";
    for (const auto& [nMethod, pszName] : methods) {
        if (nMethod == nLoginMethod)
            pszAsked = pszName;
        const bool bWanted = nLoginMethod == SMTP_AUTH_AUTO ? nMethod != SMTP_AUTH_LOGIN_PLAIN
                                                            : nMethod == nLoginMethod;
        if (bWanted && Offers("AUTH", pszName))
            arrTries.push_back(nMethod);
    }
    const std::string strOffered = OfferedLogins();
    if (arrTries.empty() && nLoginMethod == SMTP_AUTH_AUTO && strOffered.empty()) {
        Trace(TRACE_NOTE, "The server offers no login: sending without one");
        return true;
    }
    if (arrTries.empty()) {
        SetLastError(SMTP_ERROR_AUTH_NOT_OFFERED);
        ReportError(std::string("CSMTPConnection::Login, The server does not offer ") + pszAsked +
                    " (it offers " + (strOffered.empty() ? "no login" : strOffered) + ")");
        return false;
    }
    const size_t nFirst = std::exchange(m_nFirstLogin, 0);
    for (size_t i = std::min(nFirst, arrTries.size() - 1); i < arrTries.size(); ++i) {
        bool bLoggedIn = false;
        switch (arrTries[i]) {
        case SMTP_AUTH_CRAM_MD5:
            bLoggedIn = CramLogin(strUserName, strPassword);
            break;
        case SMTP_AUTH_PLAIN:
            bLoggedIn = AuthPlain(strUserName, strPassword);
            break;
        case SMTP_AUTH_LOGIN:
            bLoggedIn = AuthLogin(strUserName, strPassword);
            break;
        default:
            bLoggedIn = AuthLoginPlain(strUserName, strPassword);
            break;
        }
        if (bLoggedIn)
            return true;
        // Hung up after the 535 of the method before (not a time-out or a cancel): the next
        // method gets a connection of its own.
        if (m_bBroken && i > nFirst && GetLastError() != SOCKET_ERROR_TIMED_OUT &&
            GetLastError() != ECANCELED) {
            m_nResumeLogin = i;
            return false;
        }
        // 535: these credentials do not work with this method (a server keeping hashed
        // passwords cannot do CRAM-MD5); the next offered one may.
        if (m_bBroken || m_nLastResponseCode != 535 || i + 1 == arrTries.size())
            return false;
        Trace(TRACE_NOTE, "Trying the next login method the server offers");
    }
    return false;
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
        ReportError("CSMTPConnection::SendMessage, An unexpected MAIL response was received" +
                    ServerSaid());
        return false;
    }
    // Every recipient the server takes gets the mail; the others are named afterwards.
    m_strRefused.clear();
    int nAccepted = 0;
    for (int nKind : {RECIPIENT_TO, RECIPIENT_CC, RECIPIENT_BCC}) {
        for (int i = 0; i < message.GetRecipientCount(nKind); ++i) {
            const CSMTPAddress& recipient = *message.GetRecipientAt(i, nKind);
            if (SendRCPTForRecipient(recipient)) {
                ++nAccepted;
                continue;
            }
            if (m_bBroken)
                return false;
            m_strRefused +=
                (m_strRefused.empty() ? "" : "\n") + recipient.m_strAddress + ServerSaid();
        }
    }
    if (nAccepted == 0) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        return false;
    }
    if (!SendCommand("DATA\r\n")) {
        ReportLastError("CSMTPConnection::SendMessage, Failed in call to send DATA command");
        return false;
    }
    if (!ReadExpectedResponse(354)) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        ReportError("CSMTPConnection::SendMessage, An unexpected DATA response was received" +
                    ServerSaid());
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
        // 8-bit text goes quoted-printable, as the header announces.
        std::string strBody = root.GetText();
        if (message.IsBodyEightBit() && root.GetQuotedPrintable())
            root.GetBody(strBody);
        if (!SendCommand(strBody, "")) {
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
            "CSMTPConnection::SendMessage, An unexpected end of message response was received" +
            ServerSaid());
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
        ReportError("CSMTPConnection::SendRCPTForRecipient, The server refused the recipient " +
                    recipient.m_strAddress + ServerSaid());
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
            ReportError(dwIdle > m_dwTimeoutMs && !m_strSilenceText.empty() ? m_strSilenceText
                        : dwIdle > m_dwTimeoutMs
                            ? "CSMTPConnection::ReadResponse, Timed Out waiting for response from "
                              "SMTP server"
                            : "CSMTPConnection::ReadResponse, The SMTP server took longer than "
                              "an attempt may last");
            return MarkBroken();
        }
        if (m_pCancel != nullptr && m_pCancel->IsSet()) {
            SetLastError(ECANCELED);
            ReportError("CSMTPConnection::ReadResponse, Cancelled");
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
        ReportError(pszReplyFailure + ServerSaid());
        return false;
    }
    return true;
}

bool CSMTPConnection::AuthLogin(const std::string& strUserName, const std::string& strPassword) {
    if (!AuthStep("AUTH LOGIN", 334,
                  "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                  "AUTH command",
                  "CSMTPConnection::AuthLogin, The server refused AUTH LOGIN", false))
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
        ReportError("CSMTPConnection::AuthPlain, AUTH PLAIN authentication was unsuccessful" +
                    ServerSaid());
        return false;
    }
    return true;
}

bool CSMTPConnection::CramLogin(const std::string& strUserName, const std::string& strPassword) {
    if (!AuthStep("AUTH CRAM-MD5", 334,
                  "CSMTPConnection::CramLogin, An unexpected error occurred while sending the "
                  "AUTH command",
                  "CSMTPConnection::CramLogin, The server refused AUTH CRAM-MD5", false))
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
                  "CSMTPConnection::AuthLoginPlain, The server refused AUTH LOGIN PLAIN", false))
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
