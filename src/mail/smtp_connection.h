#pragma once

#include "mail/client_socket.h"

#include <cstdint>
#include <functional>
#include <string>

class CSMTPAddress;
class CSMTPBodyPart;
class CSMTPMessage;

// Login methods for Connect: HELO without login, or EHLO followed by one of the logins.
constexpr int SMTP_AUTH_NONE = 0;
constexpr int SMTP_AUTH_CRAM_MD5 = 1;
constexpr int SMTP_AUTH_LOGIN = 2;
constexpr int SMTP_AUTH_LOGIN_PLAIN = 3;

// Codes left in the thread's last error by the conditions the client detects itself (besides
// the socket's own, SOCKET_ERROR_NAME_NOT_RESOLVED and SOCKET_ERROR_TIMED_OUT).
constexpr uint32_t SMTP_ERROR_NO_MATCHING_REPLY = 10043;
constexpr uint32_t SMTP_ERROR_REPLY_TOO_LONG = 10040;
constexpr uint32_t SMTP_ERROR_BAD_COMMAND = 22;

// The client side of one SMTP session. Failures are false results with the reason in the
// thread's last error and a diagnostic text handed to ReportError.
class CSMTPConnection {
public:
    // What the trace hook receives: a diagnostic text, or a server reply as it was read.
    enum ETrace { TRACE_DIAGNOSTIC, TRACE_REPLY };
    using TraceHook = std::function<void(ETrace eKind, const std::string& strText)>;

    CSMTPConnection() = default;
    // Disconnects gracefully (QUIT) when still connected.
    virtual ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    bool Connect(const std::string& strHostName, int nLoginMethod = SMTP_AUTH_NONE,
                 const std::string& strUserName = std::string(),
                 const std::string& strPassword = std::string(), uint16_t nPort = 25,
                 const std::string& strLocalBoundAddress = std::string());
    // True only when a graceful disconnect got the 221 reply to QUIT.
    bool Disconnect(bool bGracefully);
    bool SendMessage(CSMTPMessage& message);

    bool IsConnected() const { return m_bConnected; }
    const std::string& GetLastCommandResponse() const { return m_strLastResponse; }
    int GetLastCommandResponseCode() const { return m_nLastResponseCode; }

    bool ConnectSMTP(const std::string& strHeloName);
    bool ConnectESMTP(const std::string& strHeloName, const std::string& strUserName,
                      const std::string& strPassword, int nLoginMethod);
    bool SendRCPTForRecipient(const CSMTPAddress& recipient);
    bool SendBodyPart(CSMTPBodyPart& part, bool bRoot);

    bool AuthLogin(const std::string& strUserName, const std::string& strPassword);
    bool AuthLoginPlain(const std::string& strUserName, const std::string& strPassword);
    bool CramLogin(const std::string& strUserName, const std::string& strPassword);
    // HMAC-MD5 (RFC 2104) of the text under the key.
    static void ComputeHmacMd5(const uint8_t* pText, size_t nTextLength, const uint8_t* pKey,
                               size_t nKeyLength, uint8_t digest[16]);

    virtual bool ReadExpectedResponse(int nExpectedCode, bool bMultiLine = false);
    // Reads one reply into pszBuffer (nInitialBufSize bytes), growing into a new block in
    // steps of nGrowBy when it is too small; the block is handed back in *ppszOverflowBuffer
    // and the caller frees it with delete[]. True when a line carries nExpectedCode.
    virtual bool ReadResponse(char* pszBuffer, int nInitialBufSize, const char* pszTerminator,
                              int nExpectedCode, char** ppszOverflowBuffer, int nGrowBy,
                              bool bMultiLine);
    // Whether the nReceived bytes of pszData form a whole reply.
    static bool IsResponseComplete(const char* pszData, size_t nReceived, const char* pszTerminator,
                                   bool bMultiLine);
    // Scans the lines of a complete reply (final terminator already cut off) for
    // nExpectedCode, leaving the code and the text from the examined line on in
    // m_nLastResponseCode and m_strLastResponse.
    bool MatchResponse(const char* pszReply, const char* pszTerminator, int nExpectedCode);

    // Receives every diagnostic text; the default hands it to the trace hook.
    virtual void ReportError(const std::string& strMessage);

    // Process-wide hook for diagnostics and server replies; does nothing until set.
    static void SetTraceHook(TraceHook hook);

    std::string m_strHeloName = "auto"; // "auto": the local host name
    uint32_t m_dwTimeoutMs = 60000;     // idle time-out of a reply
    // Longest reply accepted; a longer one fails with SMTP_ERROR_REPLY_TOO_LONG.
    static constexpr int MAX_RESPONSE_SIZE = 1024 * 1024;

private:
    bool SendCommand(const std::string& strCommand);
    void ReportLastError(const char* pszText);
    // The prompt of the reply just matched: its text after "334 ".
    std::string GetPrompt() const;
    // One login step: sends strLine and CR LF, reads a single-line reply with nExpectedCode;
    // reports the matching text when either fails.
    bool AuthStep(const std::string& strLine, int nExpectedCode, const char* pszSendFailure,
                  const char* pszReplyFailure);

    CClientSocket m_socket;
    bool m_bConnected = false;
    std::string m_strLastResponse;
    int m_nLastResponseCode = 0;
};
