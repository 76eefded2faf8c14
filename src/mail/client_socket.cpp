#include "mail/client_socket.h"

#include "platform/event.h"
#include "platform/last_error.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void SetErrnoAsLastError() {
    SetLastError(static_cast<uint32_t>(errno));
}

// A dotted address, or else the first IPv4 address the name resolves to. A text that reads
// as the all-ones address is looked up as a name.
bool ResolveIPv4(const std::string& strHost, in_addr& addr) {
    in_addr_t nAddr = inet_addr(strHost.c_str());
    if (nAddr != INADDR_NONE) {
        addr.s_addr = nAddr;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pResult = nullptr;
    if (getaddrinfo(strHost.c_str(), nullptr, &hints, &pResult) != 0 || pResult == nullptr) {
        SetLastError(SOCKET_ERROR_NAME_NOT_RESOLVED);
        return false;
    }
    addr = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr)->sin_addr;
    freeaddrinfo(pResult);
    return true;
}

} // namespace

CClientSocket::~CClientSocket() {
    Close();
}

bool CClientSocket::Create() {
    Close();
    m_hSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_hSocket < 0) {
        SetErrnoAsLastError();
        return false;
    }
    SetSendTimeout(m_dwSendTimeoutMs);
    return true;
}

bool CClientSocket::IsPeerLoopback() const {
    sockaddr_in peer{};
    socklen_t nLength = sizeof peer;
    return getpeername(m_hSocket, reinterpret_cast<sockaddr*>(&peer), &nLength) == 0 &&
           peer.sin_family == AF_INET && (ntohl(peer.sin_addr.s_addr) >> 24) == 127;
}

std::string CClientSocket::GetLocalAddress() const {
    sockaddr_in local{};
    socklen_t nLength = sizeof local;
    char szAddress[INET_ADDRSTRLEN] = {};
    if (getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &nLength) != 0 ||
        inet_ntop(AF_INET, &local.sin_addr, szAddress, sizeof szAddress) == nullptr)
        return std::string();
    return szAddress;
}

bool CClientSocket::Connect(const std::string& strHostAddress, uint16_t nPort,
                            const std::string& strLocalBoundAddress) {
    if (!strLocalBoundAddress.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = 0;
        if (!ResolveIPv4(strLocalBoundAddress, local.sin_addr))
            return false;
        if (bind(m_hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            SetErrnoAsLastError();
            return false;
        }
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(nPort);
    if (!ResolveIPv4(strHostAddress, server.sin_addr))
        return false;
    // Non-blocking, so that the wait can end at the time-out or when cancelled.
    const int nFlags = fcntl(m_hSocket, F_GETFL);
    fcntl(m_hSocket, F_SETFL, nFlags | O_NONBLOCK);
    const int nResult =
        connect(m_hSocket, reinterpret_cast<const sockaddr*>(&server), sizeof server);
    const int nConnectError = errno;
    fcntl(m_hSocket, F_SETFL, nFlags);
    if (nResult == 0)
        return true;
    if (nConnectError != EINPROGRESS && nConnectError != EINTR) {
        SetLastError(static_cast<uint32_t>(nConnectError));
        return false;
    }
    const auto tStart = std::chrono::steady_clock::now();
    for (;;) {
        if (m_pCancel != nullptr && m_pCancel->IsSet()) {
            SetLastError(ECANCELED);
            return false;
        }
        const auto nWaited = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - tStart)
                                 .count();
        if (m_dwSendTimeoutMs != 0 && nWaited >= m_dwSendTimeoutMs) {
            SetLastError(SOCKET_ERROR_TIMED_OUT);
            return false;
        }
        pollfd pfd{m_hSocket, POLLOUT, 0};
        const int nReady = poll(&pfd, 1, 100);
        if (nReady > 0)
            break;
        if (nReady < 0 && errno != EINTR) {
            SetErrnoAsLastError();
            return false;
        }
    }
    int nError = 0;
    socklen_t nLength = sizeof nError;
    if (getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &nError, &nLength) != 0) {
        SetErrnoAsLastError();
        return false;
    }
    if (nError != 0) {
        SetLastError(static_cast<uint32_t>(nError));
        return false;
    }
    return true;
}

bool CClientSocket::Send(const void* pData, size_t nLength) {
    const auto* pBytes = static_cast<const char*>(pData);
    if (m_pSsl != nullptr) {
        while (nLength > 0) {
            size_t nWritten = 0;
            errno = 0;
            if (SSL_write_ex(m_pSsl, pBytes, nLength, &nWritten) <= 0) {
                SetTLSIOError(0);
                return false;
            }
            pBytes += nWritten;
            nLength -= nWritten;
        }
        return true;
    }
    while (nLength > 0) {
        ssize_t n = send(m_hSocket, pBytes, nLength, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                SetLastError(SOCKET_ERROR_TIMED_OUT);
            else
                SetErrnoAsLastError();
            return false;
        }
        pBytes += n;
        nLength -= static_cast<size_t>(n);
    }
    return true;
}

int CClientSocket::Receive(void* pBuffer, int nBufferSize) {
    if (m_pSsl != nullptr) {
        size_t nRead = 0;
        errno = 0;
        int nResult =
            SSL_read_ex(m_pSsl, pBuffer, static_cast<size_t>(std::max(0, nBufferSize)), &nRead);
        if (nResult > 0)
            return static_cast<int>(nRead);
        return SetTLSIOError(nResult) ? 0 : -1;
    }
    for (;;) {
        ssize_t n = recv(m_hSocket, pBuffer, static_cast<size_t>(std::max(0, nBufferSize)), 0);
        if (n >= 0)
            return static_cast<int>(n);
        if (errno != EINTR) {
            SetErrnoAsLastError();
            return -1;
        }
    }
}

bool CClientSocket::IsReadable(bool& bReadable, int nWaitMs) {
    bReadable = false;
    if (m_pSsl != nullptr && SSL_pending(m_pSsl) > 0) {
        bReadable = true; // already decrypted, the socket may have nothing more
        return true;
    }
    pollfd pfd{m_hSocket, POLLIN, 0};
    int nReady = poll(&pfd, 1, nWaitMs);
    if (nReady < 0) {
        if (errno == EINTR)
            return true; // nothing yet; the caller polls again
        SetErrnoAsLastError();
        return false;
    }
    // A closed or failed connection counts as readable: the next Receive reports it.
    bReadable = nReady > 0;
    return true;
}

void CClientSocket::SetSendTimeout(uint32_t dwTimeoutMs) {
    m_dwSendTimeoutMs = dwTimeoutMs;
    if (m_hSocket < 0)
        return;
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(dwTimeoutMs / 1000);
    tv.tv_usec = static_cast<suseconds_t>((dwTimeoutMs % 1000) * 1000);
    setsockopt(m_hSocket, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    // A TLS record read once the socket is readable may still wait for the rest of it.
    setsockopt(m_hSocket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void CClientSocket::Close() {
    if (m_pSsl != nullptr) {
        SSL_shutdown(m_pSsl); // close_notify only; the peer's answer is not awaited
        SSL_free(m_pSsl);
        m_pSsl = nullptr;
    }
    if (m_hSocket >= 0) {
        close(m_hSocket);
        m_hSocket = -1;
    }
}

bool CClientSocket::SetTLSIOError(int nResult) {
    const int nError = SSL_get_error(m_pSsl, nResult);
    ERR_clear_error();
    if (nError == SSL_ERROR_ZERO_RETURN || (nError == SSL_ERROR_SYSCALL && errno == 0))
        return true; // the peer closed
    if (nError == SSL_ERROR_WANT_READ || nError == SSL_ERROR_WANT_WRITE ||
        (nError == SSL_ERROR_SYSCALL && (errno == EAGAIN || errno == EWOULDBLOCK)))
        SetLastError(SOCKET_ERROR_TIMED_OUT);
    else if (nError == SSL_ERROR_SYSCALL)
        SetErrnoAsLastError();
    else
        SetLastError(SOCKET_ERROR_TLS_FAILED);
    return false;
}

bool CClientSocket::StartTLS(const std::string& strHostName) {
    m_strTLSError.clear();
    ERR_clear_error();
    SSL_CTX* pContext = SSL_CTX_new(TLS_client_method());
    if (pContext == nullptr) {
        m_strTLSError = "TLS is not available";
        SetLastError(SOCKET_ERROR_TLS_FAILED);
        return false;
    }
    SSL_CTX_set_min_proto_version(pContext, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(pContext);
    SSL_CTX_set_verify(pContext, SSL_VERIFY_PEER, nullptr);
    // A server that hangs up without close_notify has closed, as a plain socket would.
    SSL_CTX_set_options(pContext, SSL_OP_IGNORE_UNEXPECTED_EOF);
    m_pSsl = SSL_new(pContext);
    SSL_CTX_free(pContext); // the connection keeps its own reference
    if (m_pSsl == nullptr) {
        m_strTLSError = "TLS is not available";
        SetLastError(SOCKET_ERROR_TLS_FAILED);
        return false;
    }
    SSL_set_fd(m_pSsl, m_hSocket);
    in_addr addr{};
    if (inet_pton(AF_INET, strHostName.c_str(), &addr) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl), strHostName.c_str());
    } else {
        SSL_set_tlsext_host_name(m_pSsl, strHostName.c_str());
        SSL_set1_host(m_pSsl, strHostName.c_str());
    }
    errno = 0;
    const int nResult = SSL_connect(m_pSsl);
    if (nResult == 1)
        return true;
    const long nVerify = SSL_get_verify_result(m_pSsl);
    const unsigned long nQueued = ERR_peek_error();
    const int nSavedErrno = errno;
    if (nVerify != X509_V_OK) {
        m_strTLSError = std::string("the server's certificate was refused: ") +
                        X509_verify_cert_error_string(nVerify);
    } else if (nQueued != 0) {
        char szText[256];
        ERR_error_string_n(nQueued, szText, sizeof szText);
        m_strTLSError = std::string("TLS handshake failed: ") + szText;
    } else if (nSavedErrno == EAGAIN || nSavedErrno == EWOULDBLOCK) {
        m_strTLSError = "TLS handshake timed out";
    } else {
        m_strTLSError = "the server closed the connection during the TLS handshake";
    }
    ERR_clear_error();
    SSL_free(m_pSsl);
    m_pSsl = nullptr;
    SetLastError(nSavedErrno == EAGAIN || nSavedErrno == EWOULDBLOCK ? SOCKET_ERROR_TIMED_OUT
                                                                     : SOCKET_ERROR_TLS_FAILED);
    return false;
}
