#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Last-error codes for conditions detected here rather than by a system call.
constexpr uint32_t SOCKET_ERROR_NAME_NOT_RESOLVED = 10022;
constexpr uint32_t SOCKET_ERROR_TIMED_OUT = 10060;

// One IPv4 stream socket to a mail server. Knows nothing of SMTP. Failures are false results
// with the reason in the thread's last error (errno of the failing call, 10022 for a name that
// does not resolve, 10060 for a send that made no progress within the send time-out).
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
    bool IsOpen() const { return m_hSocket >= 0; }

private:
    int m_hSocket = -1;
    uint32_t m_dwSendTimeoutMs = 0;
};
