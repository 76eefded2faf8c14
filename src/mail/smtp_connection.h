#pragma once

#include "mail/client_socket.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CSMTPAddress;
class CSMTPBodyPart;
class CSMTPMessage;

// Login methods for Connect: HELO without login, or EHLO followed by one of the logins.
constexpr int SMTP_AUTH_NONE = 0;
constexpr int SMTP_AUTH_CRAM_MD5 = 1;
constexpr int SMTP_AUTH_LOGIN = 2;
constexpr int SMTP_AUTH_LOGIN_PLAIN = 3;
constexpr int SMTP_AUTH_PLAIN = 4; // RFC 4616, the credentials in the AUTH command
// The strongest of CRAM-MD5, PLAIN, LOGIN that EHLO offers; on a 535 the next one offered.
constexpr int SMTP_AUTH_AUTO = 5;

// How the session is protected: not at all, STARTTLS after the first EHLO (required), or TLS
// from the first byte.
constexpr int SMTP_SECURITY_NONE = 0;
constexpr int SMTP_SECURITY_STARTTLS = 1;
constexpr int SMTP_SECURITY_TLS = 2;

// Codes left in the thread's last error by the conditions the client detects itself (besides
// the socket's own, SOCKET_ERROR_NAME_NOT_RESOLVED and SOCKET_ERROR_TIMED_OUT).
constexpr uint32_t SMTP_ERROR_NO_MATCHING_REPLY = 10043;
constexpr uint32_t SMTP_ERROR_REPLY_TOO_LONG = 10040;
constexpr uint32_t SMTP_ERROR_BAD_COMMAND = 22;
constexpr uint32_t SMTP_ERROR_INVALID_TEXT = 87; // a CR or LF where a command would carry it
constexpr uint32_t SMTP_ERROR_NO_STARTTLS = 10201;
constexpr uint32_t SMTP_ERROR_CLEAR_PASSWORD = 10202; // the login would go out unencrypted
constexpr uint32_t SMTP_ERROR_AUTH_NOT_OFFERED = 10203;

// The client side of one SMTP session. Failures are false results with the reason in the
// thread's last error and a diagnostic text handed to ReportError. After a time-out, a closed
// connection or a failed send the session is broken: nothing more is sent or awaited.
class CSMTPConnection {
public:
    // What the trace hook receives: a diagnostic text (something failed), a server reply as
    // it was read, a command as sent (login data and the message itself left out), or a note
    // on how the session goes on.
    enum ETrace { TRACE_DIAGNOSTIC, TRACE_REPLY, TRACE_COMMAND, TRACE_NOTE };
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

    bool ConnectSMTP(const std::string& strHeloName);
    bool ConnectESMTP(const std::string& strHeloName, const std::string& strUserName,
                      const std::string& strPassword, int nLoginMethod);
    bool SendRCPTForRecipient(const CSMTPAddress& recipient);
    bool SendBodyPart(CSMTPBodyPart& part, bool bRoot);

    bool AuthLogin(const std::string& strUserName, const std::string& strPassword);
    bool AuthLoginPlain(const std::string& strUserName, const std::string& strPassword);
    bool AuthPlain(const std::string& strUserName, const std::string& strPassword);
    bool CramLogin(const std::string& strUserName, const std::string& strPassword);
    // HMAC-MD5 (RFC 2104) of the text under the key.
    static void ComputeHmacMd5(const uint8_t* pText, size_t nTextLength, const uint8_t* pKey,
                               size_t nKeyLength, uint8_t digest[16]);

    // Reads one reply (however its bytes arrive); true when a line carries nExpectedCode or,
    // when it is not 0, nOtherCode.
    virtual bool ReadExpectedResponse(int nExpectedCode, int nOtherCode = 0);
    // Length of the first whole reply in strData, up to and with the CR LF of its last line
    // (the first whose code is not followed by "-"); npos while it is incomplete.
    static size_t FindReplyEnd(std::string_view strData);
    // Scans the lines of a complete reply (final terminator already cut off) for
    // nExpectedCode (or nOtherCode), leaving the code and the text from the examined line on
    // in m_nLastResponseCode and m_strLastResponse.
    bool MatchResponse(const char* pszReply, const char* pszTerminator, int nExpectedCode,
                       int nOtherCode = 0);

    // Receives every diagnostic text; the default hands it to the trace hook.
    virtual void ReportError(const std::string& strMessage);
    // Whether the server is this machine, where an unencrypted login crosses no network.
    virtual bool IsLoopbackPeer() const { return m_socket.IsPeerLoopback(); }
    // The HELO/EHLO name: the machine's fully qualified name, else the address literal of the
    // local end ("[192.0.2.7]").
    static std::string ChooseHeloName(const std::string& strHostName,
                                      const std::string& strLocalAddress);
    // A last-error code in words: "connection refused", "host name not found".
    static std::string DescribeError(uint32_t dwError);
    // The recipients the last SendMessage delivered to without, each with the server's reply
    // ("zed@example.org: 550 5.1.1 user unknown"), separated by "\n"; empty when none.
    const std::string& GetRefusedRecipients() const { return m_strRefused; }

    TraceHook m_traceHook;                 // diagnostics, replies and commands; may be empty
    std::string m_strHeloName = "auto";    // "auto": see ChooseHeloName
    uint32_t m_dwConnectTimeoutMs = 15000; // connect, and the greeting after it
    uint32_t m_dwTimeoutMs = 30000;        // idle time-out of a reply and of a send
    uint32_t m_dwAttemptLimitMs = 120000;  // longest a Connect and what follows may take
    int m_nSecurity = SMTP_SECURITY_NONE;
    // When set (from another thread), a connect or a wait for a reply in progress ends within
    // 250 ms with ECANCELED.
    const CEvent* m_pCancel = nullptr;
    // A login over an unencrypted connection to another machine; loopback needs no leave.
    bool m_bAllowClearPassword = false;
    // Longest reply accepted; a longer one fails with SMTP_ERROR_REPLY_TOO_LONG.
    static constexpr int MAX_RESPONSE_SIZE = 1024 * 1024;

private:
    // Sends strCommand; the trace shows pszShown instead when given ("" shows nothing).
    bool SendCommand(const std::string& strCommand, const char* pszShown = nullptr);
    void Trace(ETrace eKind, const std::string& strText) const;
    // Marks the session broken after a failed read, keeping what arrived in m_strLastResponse.
    // Always false, for the reader to return.
    bool MarkBroken();
    // EHLO and its 250 reply, kept for the extensions it names.
    bool SayEhlo(const std::string& strHeloName);
    // Whether the last EHLO reply names the extension (an AUTH list when strMethod is set).
    bool Offers(std::string_view strExtension, std::string_view strMethod = {}) const;
    // STARTTLS and the handshake, or only the handshake on an implicit-TLS port.
    bool BeginTLS(const std::string& strHostName, bool bAskServer);
    bool LoginAsOffered(const std::string& strUserName, const std::string& strPassword,
                        int nLoginMethod);
    bool RunLogin(const std::string& strUserName, const std::string& strPassword, int nLoginMethod);
    // ": " and the line of the reply just read, for a diagnostic; empty after a broken read.
    std::string ServerSaid() const;
    // Which port and security were used, and the pairs that usually go together.
    std::string PortHint() const;
    // The login methods the last EHLO reply names ("LOGIN PLAIN").
    std::string OfferedLogins() const;
    // "*": tells a server waiting for the next login answer that the exchange is given up.
    void CancelAuth();
    void ReportLastError(const char* pszText);
    // The prompt of the reply just matched: its text after "334 ".
    std::string GetPrompt() const;
    // One login step: sends strLine and CR LF, reads a reply with nExpectedCode; reports the
    // matching text when either fails. Login data is kept out of the trace.
    bool AuthStep(const std::string& strLine, int nExpectedCode, const char* pszSendFailure,
                  const char* pszReplyFailure, bool bLoginData = true);

    CClientSocket m_socket;
    bool m_bConnected = false;
    bool m_bBroken = false;
    std::string m_strPending; // bytes read past the last reply
    std::string m_strEhloReply;
    std::string m_strHostName; // of the server, for the certificate check
    uint16_t m_nPort = 0;
    std::string m_strRefused;
    std::string m_strSilenceText; // reported instead when a reply times out, when set
    uint32_t m_dwAttemptStart = 0;
    std::string m_strLastResponse;
    int m_nLastResponseCode = 0;
    // Automatic login: a server that hangs up after a 535 gets a new connection, whose login
    // starts at the offered method m_nFirstLogin; m_nResumeLogin asks Connect for one.
    size_t m_nFirstLogin = 0;
    size_t m_nResumeLogin = 0;
};
