#include "platform/tcp_ping.h"

#include "platform/last_error.h"
#include "platform/socket_wait.h"

#include <cerrno>
#include <chrono>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool CTcpPing::Connect(const std::string& strHostName, uint16_t nPort, CPingResult& pr,
                       uint32_t dwTimeoutMs, const CEvent* pevStop) const {
    CHostAddress target;
    if (!ResolveHost(strHostName, nPort, target))
        return false;
    const int fd = socket(target.GetFamily(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetLastError(static_cast<uint32_t>(errno));
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point tStart = Clock::now();
    int nError = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&target.m_addr), target.m_nSize) != 0) {
        nError = errno;
        if (nError == EINPROGRESS) {
            pollfd poller{fd, POLLOUT, 0};
            switch (
                WaitForSocket(poller, tStart + std::chrono::milliseconds(dwTimeoutMs), pevStop)) {
            case ESocketWait::READY: {
                socklen_t nSize = sizeof(nError);
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &nSize);
                break;
            }
            case ESocketWait::TIMED_OUT:
                nError = ETIMEDOUT;
                break;
            case ESocketWait::STOPPED:
                nError = ECANCELED;
                break;
            case ESocketWait::FAILED:
                nError = errno;
                break;
            }
        }
    }
    const Clock::time_point tEnd = Clock::now();
    close(fd);
    // A refusal is the server's own answer; anything else means nobody answered.
    if (nError != 0 && nError != ECONNREFUSED) {
        SetLastError(nError == ETIMEDOUT   ? PING_ERROR_TIMED_OUT
                     : nError == ECANCELED ? PING_ERROR_CANCELLED
                                           : static_cast<uint32_t>(nError));
        return false;
    }
    pr.From = target;
    pr.Address = target.GetFamily() == AF_INET
                     ? reinterpret_cast<const sockaddr_in*>(&target.m_addr)->sin_addr.s_addr
                     : 0;
    pr.RTT = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(tEnd - tStart).count());
    pr.RTTTenths = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(tEnd - tStart).count() / 100);
    pr.Status = PING_STATUS_SUCCESS;
    return true;
}
