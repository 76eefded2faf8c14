#pragma once

// A small HTTP server for tests: listens on a local address, records every request head and
// answers in one of a few ways, one connection at a time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class CLoopbackHttpServer {
public:
    enum class EMode {
        Reply,       // send the reply bytes, then close
        EndlessBody, // send the reply bytes, then body bytes until the client goes away
        Silent,      // read the request, never answer
    };

    // The listening socket belongs to the calling thread's network namespace.
    explicit CLoopbackHttpServer(EMode mode, std::string strReply = std::string(),
                                 const char* pszAddress = "127.0.0.1", uint16_t nPort = 0)
        : m_mode(mode), m_strReply(std::move(strReply)) {
        m_fdListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int nOn = 1;
        setsockopt(m_fdListen, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof(nOn));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(nPort);
        inet_pton(AF_INET, pszAddress, &addr.sin_addr);
        if (bind(m_fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            listen(m_fdListen, 8) != 0) {
            close(m_fdListen);
            throw std::runtime_error("test server cannot listen");
        }
        socklen_t nSize = sizeof(addr);
        getsockname(m_fdListen, reinterpret_cast<sockaddr*>(&addr), &nSize);
        m_nPort = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~CLoopbackHttpServer() {
        m_bStop = true;
        m_thread.join();
        close(m_fdListen);
    }

    uint16_t GetPort() const { return m_nPort; }
    int GetConnections() const { return m_nConnections; }
    // True once a body write failed because the client had closed the connection.
    bool ClientWentAway() const { return m_bClientWentAway; }
    uint64_t GetBodyBytesSent() const { return m_nBodyBytes; }

    std::vector<std::string> GetRequests() const {
        std::lock_guard lock(m_mtx);
        return m_arrRequests;
    }

private:
    bool WaitReadable(int fd) {
        while (!m_bStop) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20) > 0)
                return true;
        }
        return false;
    }

    void Serve() {
        while (WaitReadable(m_fdListen)) {
            const int fd = accept4(m_fdListen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++m_nConnections;
            Handle(fd);
            close(fd);
        }
    }

    void Handle(int fd) {
        std::string strHead;
        char buf[4096];
        while (strHead.find("\r\n\r\n") == std::string::npos && WaitReadable(fd)) {
            const ssize_t n = recv(fd, buf, sizeof(buf), 0);
            if (n <= 0)
                break;
            strHead.append(buf, static_cast<size_t>(n));
        }
        {
            std::lock_guard lock(m_mtx);
            m_arrRequests.push_back(strHead);
        }
        if (m_mode == EMode::Silent) {
            // Hold the connection open until the test ends, reading whatever comes.
            while (WaitReadable(fd)) {
                if (recv(fd, buf, sizeof(buf), 0) <= 0)
                    return;
            }
            return;
        }
        send(fd, m_strReply.data(), m_strReply.size(), MSG_NOSIGNAL);
        if (m_mode == EMode::EndlessBody) {
            const std::string strChunk(65536, 'x');
            while (!m_bStop) {
                pollfd p{fd, POLLOUT, 0};
                if (poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t nSent = send(fd, strChunk.data(), strChunk.size(), MSG_NOSIGNAL);
                if (nSent < 0) {
                    m_bClientWentAway = true;
                    return;
                }
                m_nBodyBytes += static_cast<uint64_t>(nSent);
            }
        }
    }

    EMode m_mode;
    std::string m_strReply;
    int m_fdListen = -1;
    uint16_t m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nConnections{0};
    std::atomic<bool> m_bClientWentAway{false};
    std::atomic<uint64_t> m_nBodyBytes{0};
    mutable std::mutex m_mtx;
    std::vector<std::string> m_arrRequests;
    std::thread m_thread;
};
