#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Last-error codes for conditions detected here rather than by a system call.
constexpr uint32_t SOCKET_ERROR_NAME_NOT_RESOLVED = 10022;
constexpr uint32_t SOCKET_ERROR_TIMED_OUT = 10060;
// Not a system code: the TLS handshake failed; GetTLSError names the reason.
constexpr uint32_t SOCKET_ERROR_TLS_FAILED = 10200;

using SSL = struct ssl_st;
class CEvent;

// One IPv4 stream socket to a mail server. Knows nothing of SMTP. Failures are false results
// with the reason in the thread's last error (errno of the failing call, 10022 for a name that
// does not resolve, 10060 for a connect or send that made no progress within the send
// time-out). After StartTLS every byte goes through TLS.
class CClientSocket {
public:
    CClientSocket() = default;
    virtual ~CClientSocket();
    CClientSocket(const CClientSocket&) = delete;
    CClientSocket& operator=(const CClientSocket&) = delete;

    // Opens a new socket (closing any previous one).
    bool Create();
    // Binds to strLocalBoundAddress when it is not empty, resolves strHostAddress (dotted
    // address or host name) and connects.
    bool Connect(const std::string& strHostAddress, uint16_t nPort,
                 const std::string& strLocalBoundAddress = std::string());
    // Writes every byte (retrying partial writes); never raises SIGPIPE.
    bool Send(const void* pData, size_t nLength);
    bool Send(const std::string& strData) { return Send(strData.data(), strData.size()); }
    // One recv: bytes read, 0 when the peer has closed, -1 on failure.
    int Receive(void* pBuffer, int nBufferSize);
    // Whether data (or the peer's close) is waiting, waiting at most nWaitMs for it.
    bool IsReadable(bool& bReadable, int nWaitMs = 0);
    // A send that cannot make progress for this long fails (0: wait for ever).
    void SetSendTimeout(uint32_t dwTimeoutMs);
    void Close();
    // A connect in progress gives up (ECANCELED) within 100 ms once pEvent is set.
    void SetCancelEvent(const CEvent* pEvent) { m_pCancel = pEvent; }
    bool IsOpen() const { return m_hSocket >= 0; }
    // Whether the connected peer is this machine (127.0.0.0/8).
    bool IsPeerLoopback() const;
    // The dotted address of the local end of the connection; empty when there is none.
    std::string GetLocalAddress() const;

    // TLS handshake on the connected socket; the server's certificate must chain to the
    // system's CA store (SSL_CERT_FILE / SSL_CERT_DIR honoured) and name strHostName.
    bool StartTLS(const std::string& strHostName);
    bool IsTLS() const { return m_pSsl != nullptr; }
    // Why the last StartTLS failed, in words.
    const std::string& GetTLSError() const { return m_strTLSError; }

private:
    // Last error after a failed TLS read or write; true when the peer simply closed.
    bool SetTLSIOError(int nResult);

    int m_hSocket = -1;
    SSL* m_pSsl = nullptr;
    std::string m_strTLSError;
    uint32_t m_dwSendTimeoutMs = 0;
    const CEvent* m_pCancel = nullptr;
};
