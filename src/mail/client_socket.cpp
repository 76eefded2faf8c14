#include "mail/client_socket.h"

#include "platform/last_error.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
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
    if (connect(m_hSocket, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0)
        return true;
    if (errno != EINTR) {
        SetErrnoAsLastError();
        return false;
    }
    // An interrupted connect goes on in the background: wait for its outcome.
    pollfd pfd{m_hSocket, POLLOUT, 0};
    while (poll(&pfd, 1, -1) < 0) {
        if (errno != EINTR) {
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
}

void CClientSocket::Close() {
    if (m_hSocket >= 0) {
        close(m_hSocket);
        m_hSocket = -1;
    }
}
