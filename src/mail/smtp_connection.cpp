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
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace {

struct STraceHookHolder {
    std::mutex m_mtx;
    CSMTPConnection::TraceHook m_hook;
};

STraceHookHolder& TraceHookHolder() {
    static STraceHookHolder s_holder;
    return s_holder;
}

void Trace(CSMTPConnection::ETrace eKind, const std::string& strText) {
    CSMTPConnection::TraceHook hook;
    {
        std::lock_guard lock(TraceHookHolder().m_mtx);
        hook = TraceHookHolder().m_hook;
    }
    if (hook)
        hook(eKind, strText);
}

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

} // namespace

CSMTPConnection::~CSMTPConnection() {
    if (m_bConnected)
        Disconnect(true);
}

void CSMTPConnection::SetTraceHook(TraceHook hook) {
    std::lock_guard lock(TraceHookHolder().m_mtx);
    TraceHookHolder().m_hook = std::move(hook);
}

void CSMTPConnection::ReportError(const std::string& strMessage) {
    Trace(TRACE_DIAGNOSTIC, strMessage);
}

void CSMTPConnection::ReportLastError(const char* pszText) {
    ReportError(Format("%s, GetLastError returns: %d", pszText, static_cast<int>(GetLastError())));
}

bool CSMTPConnection::SendCommand(const std::string& strCommand) {
    return m_socket.Send(strCommand);
}

bool CSMTPConnection::Connect(const std::string& strHostName, int nLoginMethod,
                              const std::string& strUserName, const std::string& strPassword,
                              uint16_t nPort, const std::string& strLocalBoundAddress) {
    m_bConnected = false;
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

    if (!ReadExpectedResponse(220, false)) {
        ReportError("CSMTPConnection::Connect, An unexpected SMTP login response was received");
        Disconnect(true);
        return false;
    }
    if (m_strHeloName == "auto") {
        char szHostName[260] = {};
        gethostname(szHostName, sizeof szHostName - 1);
        m_strHeloName = szHostName;
    }
    bool bGreeted = nLoginMethod == SMTP_AUTH_NONE
                        ? ConnectSMTP(m_strHeloName)
                        : ConnectESMTP(m_strHeloName, strUserName, strPassword, nLoginMethod);
    if (!bGreeted) {
        Disconnect(true);
        ReportError("CSMTPConnection::Connect, An unexpected HELO/EHLO response was received");
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
    return ReadExpectedResponse(250, false);
}

bool CSMTPConnection::ConnectESMTP(const std::string& strHeloName, const std::string& strUserName,
                                   const std::string& strPassword, int nLoginMethod) {
    if (!SendCommand("EHLO " + strHeloName + "\r\n")) {
        ReportError("CSMTPConnection::ConnectESMTP, An unexpected error occurred while sending "
                    "the EHLO command");
        return false;
    }
    if (!ReadExpectedResponse(250, true)) {
        ReportError("CSMTPConnection::ConnectESMTP, An unexpected response was received occurred "
                    "while sending the EHLO command");
        return false;
    }
    switch (nLoginMethod) {
    case SMTP_AUTH_CRAM_MD5:
        return CramLogin(strUserName, strPassword);
    case SMTP_AUTH_LOGIN:
        return AuthLogin(strUserName, strPassword);
    case SMTP_AUTH_LOGIN_PLAIN:
        return AuthLoginPlain(strUserName, strPassword);
    default:
        return false;
    }
}

bool CSMTPConnection::Disconnect(bool bGracefully) {
    bool bResult = false;
    if (!m_bConnected) {
        ReportError("CSMTPConnection::Disconnect, Already disconnected from SMTP server, doing "
                    "nothing");
    } else {
        if (bGracefully) {
            if (!SendCommand("QUIT\r\n"))
                ReportLastError("CSMTPConnection::Disconnect, Failed in call to send QUIT command");
            bResult = ReadExpectedResponse(221, false);
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
    if (!SendCommand("MAIL FROM:<" + message.m_from.m_strAddress + ">\r\n")) {
        ReportLastError("CSMTPConnection::SendMessage, Failed in call to send MAIL command");
        return false;
    }
    if (!ReadExpectedResponse(250, false)) {
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
    if (!ReadExpectedResponse(354, false)) {
        SetLastError(SMTP_ERROR_BAD_COMMAND);
        ReportError("CSMTPConnection::SendMessage, An unexpected DATA response was received");
        return false;
    }
    if (!SendCommand(message.BuildHeader())) {
        ReportLastError("CSMTPConnection::SendMessage, Failed in call to send the header");
        return false;
    }
    if (!SendCommand("\r\n")) {
        ReportLastError(
            "CSMTPConnection::SendMessage, Failed in call to send the header / body separator");
        return false;
    }
    CSMTPBodyPart& root = message.m_rootPart;
    if (root.GetChildCount() == 0 && !message.GetMimeMode()) {
        if (!SendCommand(root.GetText())) {
            ReportLastError("CSMTPConnection::SendMessage, Failed in call to send the body");
            return false;
        }
    } else if (!SendBodyPart(root, true)) {
        return false;
    }
    if (!SendCommand("\r\n.\r\n")) {
        ReportLastError(
            "CSMTPConnection::SendMessage, Failed in call to send end of message indicator");
        return false;
    }
    if (!ReadExpectedResponse(250, false)) {
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
    if (!ReadExpectedResponse(250, false)) {
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
        if (!SendCommand(strHeader)) {
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
    if (!SendCommand(strBody)) {
        ReportLastError("CSMTPConnection::SendBodyPart, Failed in call to send body parts body");
        bResult = false;
    }
    for (int i = 0; i < part.GetChildCount() && bResult; ++i)
        bResult = SendBodyPart(*part.GetChildAt(i), false);
    if (part.GetChildCount() > 0) {
        std::string strFooter;
        if (!part.BuildPartFooter(strFooter) || !SendCommand(strFooter)) {
            ReportLastError(
                "CSMTPConnection::SendBodyPart, Failed in call to send body parts footer");
            bResult = false;
        }
    }
    return bResult;
}

bool CSMTPConnection::ReadExpectedResponse(int nExpectedCode, bool bMultiLine) {
    char szBuffer[256];
    char* pszOverflow = nullptr;
    bool bResult = ReadResponse(szBuffer, sizeof szBuffer, "\r\n", nExpectedCode, &pszOverflow,
                                4096, bMultiLine);
    delete[] pszOverflow;
    return bResult;
}

bool CSMTPConnection::IsResponseComplete(const char* pszData, size_t nReceived,
                                         const char* pszTerminator, bool bMultiLine) {
    const size_t t = strlen(pszTerminator);
    if (nReceived < t || memcmp(pszData + nReceived - t, pszTerminator, t) != 0)
        return false;
    // A multi-line (EHLO) reply ends only with its "250 " line.
    return !bMultiLine ||
           std::string_view(pszData, nReceived).find("250 ") != std::string_view::npos;
}

bool CSMTPConnection::ReadResponse(char* pszBuffer, int nInitialBufSize, const char* pszTerminator,
                                   int nExpectedCode, char** ppszOverflowBuffer, int nGrowBy,
                                   bool bMultiLine) {
    const size_t t = strlen(pszTerminator);
    char* pszData = pszBuffer;
    int nSize = nInitialBufSize;
    int nReceived = 0;
    pszData[0] = '\0';
    uint32_t dwStart = TickCount();
    auto fail = [&] {
        pszData[nReceived] = '\0';
        m_strLastResponse = pszData;
        return false;
    };
    do {
        uint32_t dwElapsed = TickCount() - dwStart;
        if (dwElapsed > m_dwTimeoutMs) {
            pszData[nReceived] = '\0';
            SetLastError(SOCKET_ERROR_TIMED_OUT);
            ReportError("CSMTPConnection::ReadResponse, Timed Out waiting for response from SMTP "
                        "server");
            return fail();
        }
        // Waits up to 250 ms for data, but no longer than the time-out allows.
        bool bReadable = false;
        int nWait =
            static_cast<int>(std::min<uint64_t>(250, uint64_t{m_dwTimeoutMs} - dwElapsed + 1));
        if (!m_socket.IsReadable(bReadable, nWait))
            return fail();
        if (!bReadable)
            continue;
        int nRoom = std::max(0, nSize - nReceived - 1);
        int nRead = m_socket.Receive(pszData + nReceived, nRoom);
        if (nRead <= 0)
            return fail();
        dwStart = TickCount();
        nReceived += nRead;
        pszData[nReceived] = '\0';
        if (nRead == nRoom) {
            // Full: continue in a bigger block, unless the reply has grown beyond reason.
            if (ppszOverflowBuffer == nullptr || nGrowBy <= 0 ||
                nSize > MAX_RESPONSE_SIZE - nGrowBy) {
                SetLastError(SMTP_ERROR_REPLY_TOO_LONG);
                ReportError("CSMTPConnection::ReadResponse, Response from SMTP server too long");
                return fail();
            }
            char* pszGrown = new char[static_cast<size_t>(nSize) + static_cast<size_t>(nGrowBy)];
            memcpy(pszGrown, pszData, static_cast<size_t>(nReceived) + 1);
            delete[] * ppszOverflowBuffer;
            *ppszOverflowBuffer = pszGrown;
            pszData = pszGrown;
            nSize += nGrowBy;
        }
    } while (
        !IsResponseComplete(pszData, static_cast<size_t>(nReceived), pszTerminator, bMultiLine));

    pszData[static_cast<size_t>(nReceived) - t] = '\0';
    Trace(TRACE_REPLY, pszData);
    return MatchResponse(pszData, pszTerminator, nExpectedCode);
}

bool CSMTPConnection::MatchResponse(const char* pszReply, const char* pszTerminator,
                                    int nExpectedCode) {
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
        if (bHasCode && nCode == nExpectedCode)
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
                               const char* pszSendFailure, const char* pszReplyFailure) {
    if (!SendCommand(strLine + "\r\n")) {
        ReportError(pszSendFailure);
        return false;
    }
    if (!ReadExpectedResponse(nExpectedCode, false)) {
        ReportError(pszReplyFailure);
        return false;
    }
    return true;
}

bool CSMTPConnection::AuthLogin(const std::string& strUserName, const std::string& strPassword) {
    if (!AuthStep("AUTH LOGIN", 334,
                  "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                  "AUTH command",
                  "CSMTPConnection::AuthLogin, Server does not support AUTH LOGIN"))
        return false;
    CBase64Coder coder;
    coder.Decode(GetPrompt().c_str());
    if (strcmp(reinterpret_cast<const char*>(coder.GetDecoded()), "Username:") != 0) {
        ReportError("CSMTPConnection::AuthLogin, An unexpected request received when expecting "
                    "username request");
        return false;
    }
    coder.Encode(strUserName.c_str());
    if (!AuthStep(coder.GetEncoded(), 334,
                  "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                  "username",
                  "CSMTPConnection::AuthLogin, Server did not respond correctly to AUTH LOGIN "
                  "username field"))
        return false;
    coder.Decode(GetPrompt().c_str());
    if (strcmp(reinterpret_cast<const char*>(coder.GetDecoded()), "Password:") != 0) {
        ReportError("CSMTPConnection::AuthLogin, An unexpected request received when expecting "
                    "password request");
        return false;
    }
    coder.Encode(strPassword.c_str());
    return AuthStep(coder.GetEncoded(), 235,
                    "CSMTPConnection::AuthLogin, An unexpected error occurred while sending the "
                    "password",
                    "CSMTPConnection::AuthLogin, AUTH LOGIN authentication was unsuccessful");
}

bool CSMTPConnection::CramLogin(const std::string& strUserName, const std::string& strPassword) {
    if (!AuthStep("AUTH CRAM-MD5", 334,
                  "CSMTPConnection::CramLogin, An unexpected error occurred while sending the "
                  "AUTH command",
                  "CSMTPConnection::CramLogin, Server does not support AUTH CRAM-MD5"))
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
                  "CSMTPConnection::AuthLoginPlain, Server does not support AUTH LOGIN PLAIN"))
        return false;
    // A prompt other than the expected one is a failure, as in AuthLogin: the server is not
    // asking for what we would send.
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
