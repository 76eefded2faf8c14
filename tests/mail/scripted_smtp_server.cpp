#include "mail/scripted_smtp_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int WAIT_MS = 15000; // no test waits longer for its client
}

uint16_t FreeLoopbackPort() {
    int hSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof addr;
    bind(hSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLength);
    close(hSocket);
    return ntohs(addr.sin_port);
}

CScriptedSmtpServer::CScriptedSmtpServer(std::vector<SServerStep> arrScript, bool bReadAfterScript)
    : m_arrScript(std::move(arrScript)), m_bReadAfterScript(bReadAfterScript) {
    m_hListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof addr;
    if (bind(m_hListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        listen(m_hListen, 1) == 0 &&
        getsockname(m_hListen, reinterpret_cast<sockaddr*>(&addr), &nLength) == 0)
        m_nPort = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Run(); });
}

CScriptedSmtpServer::~CScriptedSmtpServer() {
    if (m_thread.joinable())
        m_thread.join();
    close(m_hListen);
}

std::string CScriptedSmtpServer::Transcript() {
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_mtx);
    return m_strReceived;
}

bool CScriptedSmtpServer::SawUnexpectedBytes() {
    std::lock_guard lock(m_mtx);
    return m_bUnexpected;
}

// Reads until strMark occurs after what earlier steps consumed (empty: until the client
// closes); false when the client closed or went silent first.
bool CScriptedSmtpServer::ReadUntil(const std::string& strMark) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_MS);
    for (;;) {
        {
            std::lock_guard lock(m_mtx);
            size_t nPos =
                strMark.empty() ? std::string::npos : m_strReceived.find(strMark, m_nConsumed);
            if (nPos != std::string::npos) {
                m_nConsumed = nPos + strMark.size();
                return true;
            }
        }
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd pfd{m_hPeer, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0)
            continue;
        char buffer[65536];
        ssize_t n = recv(m_hPeer, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        std::lock_guard lock(m_mtx);
        m_strReceived.append(buffer, static_cast<size_t>(n));
    }
}

void CScriptedSmtpServer::Run() {
    pollfd pfd{m_hListen, POLLIN, 0};
    if (poll(&pfd, 1, WAIT_MS) <= 0)
        return;
    m_hPeer = accept4(m_hListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (m_hPeer < 0)
        return;
    bool bOpen = true;
    for (const SServerStep& step : m_arrScript) {
        switch (step.m_eKind) {
        case SServerStep::SEND:
            send(m_hPeer, step.m_strText.data(), step.m_strText.size(), MSG_NOSIGNAL);
            break;
        case SServerStep::LINE:
            bOpen = ReadUntil("\r\n");
            break;
        case SServerStep::DATA_END:
            bOpen = ReadUntil("\r\n.\r\n");
            break;
        case SServerStep::SLEEP:
            std::this_thread::sleep_for(std::chrono::milliseconds(step.m_nMs));
            break;
        case SServerStep::QUIET: {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.m_nMs));
            char c;
            bool bPending = recv(m_hPeer, &c, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
            std::lock_guard lock(m_mtx);
            if (bPending || m_strReceived.size() > m_nConsumed)
                m_bUnexpected = true;
            break;
        }
        case SServerStep::CLOSE:
            bOpen = false;
            break;
        }
        if (!bOpen)
            break;
    }
    if (bOpen && m_bReadAfterScript)
        ReadUntil(std::string());
    close(m_hPeer);
}
