#pragma once

// A small HTTP server for tests: records every request head and answers one connection at a
// time. The listening socket belongs to the calling thread's network namespace.

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

class CLoopbackHttpServer {
public:
    // Reply: the bytes, then close. EndlessBody: the bytes, then body until the client goes.
    // Silent: read the request, never answer.
    enum class EMode { Reply, EndlessBody, Silent };

    explicit CLoopbackHttpServer(EMode mode, std::string strReply = std::string(),
                                 const char* pszAddress = "127.0.0.1", uint16_t nPort = 0)
        : m_mode(mode), m_strReply(std::move(strReply)) {
        sockaddr_in addr{AF_INET, htons(nPort), {inet_addr(pszAddress)}, {}};
        socklen_t nSize = sizeof(addr);
        if (bind(m_fdListen, reinterpret_cast<sockaddr*>(&addr), nSize) != 0 ||
            listen(m_fdListen, SOMAXCONN) != 0 ||
            getsockname(m_fdListen, reinterpret_cast<sockaddr*>(&addr), &nSize) != 0) {
            close(m_fdListen);
            throw std::runtime_error("test server cannot listen");
        }
        m_nPort = ntohs(addr.sin_port);
        m_thread = std::thread([this] {
            for (int fd; WaitFor(m_fdListen, POLLIN); close(fd))
                if ((fd = accept4(m_fdListen, nullptr, nullptr, SOCK_CLOEXEC)) >= 0)
                    Serve(fd);
        });
    }
    ~CLoopbackHttpServer() {
        m_bStop = true;
        m_thread.join();
        close(m_fdListen);
    }
    uint16_t GetPort() const { return m_nPort; }
    int GetConnections() const { return static_cast<int>(GetRequests().size()); }
    bool ClientWentAway() const { return m_bClientWentAway; } // a body write failed
    uint64_t GetBodyBytesSent() const { return m_nBodyBytes; }
    std::vector<std::string> GetRequests() const {
        std::lock_guard lock(m_mtx);
        return m_arrRequests;
    }

private:
    bool WaitFor(int fd, short nEvents) {
        for (pollfd p{fd, nEvents, 0}; !m_bStop;)
            if (poll(&p, 1, 20) > 0)
                return true;
        return false;
    }
    void Serve(int fd) {
        std::string strHead;
        char buf[65536] = {};
        ssize_t n = 0;
        while (strHead.find("\r\n\r\n") == std::string::npos && WaitFor(fd, POLLIN) &&
               (n = recv(fd, buf, sizeof(buf), 0)) > 0)
            strHead.append(buf, static_cast<size_t>(n));
        std::scoped_lock{m_mtx}, m_arrRequests.push_back(strHead); // locked to the ";"
        if (m_mode != EMode::Silent)
            send(fd, m_strReply.data(), m_strReply.size(), MSG_NOSIGNAL);
        while (m_mode == EMode::Silent && WaitFor(fd, POLLIN) && recv(fd, buf, sizeof(buf), 0) > 0)
            ; // hold the connection until the client or the test ends
        while (m_mode == EMode::EndlessBody && WaitFor(fd, POLLOUT))
            if ((n = send(fd, buf, sizeof(buf), MSG_NOSIGNAL)) > 0)
                m_nBodyBytes += static_cast<uint64_t>(n);
            else
                return m_bClientWentAway.store(true);
    }

    EMode m_mode;
    std::string m_strReply;
    int m_fdListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    uint16_t m_nPort = 0;
    std::atomic<bool> m_bStop{false}, m_bClientWentAway{false};
    std::atomic<uint64_t> m_nBodyBytes{0};
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrRequests;
    std::thread m_thread;
};
