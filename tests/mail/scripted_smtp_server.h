#pragma once

#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "platform/last_error.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string_view>
#include <thread>

// One step of the scripted SMTP peer: pause, wait for a mark from the client, hang up ('h'; 'a':
// hang up and take the client's next connection), send. A plain string answers the client's next
// line with that text and CR LF.
struct SServerStep {
    SServerStep(const char* pszAnswer) : SServerStep("\r\n", pszAnswer + std::string("\r\n")) {}
    SServerStep(const char* pszMark, std::string strSend, int nMs = 0, char cCheck = ' ')
        : m_strMark(pszMark), m_strSend(std::move(strSend)), m_nMs(nMs), m_cCheck(cCheck) {}
    std::string m_strMark, m_strSend;
    int m_nMs;
    char m_cCheck;
};
inline const auto Reply = [](std::string strText) { return SServerStep("", std::move(strText)); };
inline const auto Line = [] { return SServerStep("\r\n", ""); };
inline const auto DataEnd = [](std::string str) { return SServerStep("\r\n.\r\n", str + "\r\n"); };
inline const auto Pause = [](int nMs) { return SServerStep("", "", nMs); };
inline const auto Hangup = [] { return SServerStep("", "", 0, 'h'); };
inline const auto Reconnect = [] { return SServerStep("", "", 0, 'a'); };

// A socket on 127.0.0.1 on a port the system chose; reads and accepts give up after 15 s.
inline int LoopbackSocket(uint16_t& nPort, bool bListen = false) {
    int hSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t nLength = sizeof addr;
    const timeval wait{15, 0};
    setsockopt(hSocket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    bind(hSocket, reinterpret_cast<sockaddr*>(&addr), nLength);
    if (bListen)
        listen(hSocket, 4);
    getsockname(hSocket, reinterpret_cast<sockaddr*>(&addr), &nLength);
    nPort = ntohs(addr.sin_port);
    return hSocket;
}

// An SMTP peer on loopback that plays a script and records every byte the client sends; after the
// script it reads on until the client closes.
class CScriptedSmtpServer {
public:
    explicit CScriptedSmtpServer(std::vector<SServerStep> arrScript)
        : m_hListen(LoopbackSocket(m_nPort, true)),
          m_thread([this, arr = std::move(arrScript)] { Run(arr); }) {}
    ~CScriptedSmtpServer() {
        Transcript();
        close(m_hListen);
    }
    uint16_t GetPort() const { return m_nPort; }
    // Waits for the session to end.
    const std::string& Transcript() {
        if (m_thread.joinable())
            m_thread.join();
        return m_strReceived;
    }

private:
    // False when the client closes or times out first.
    bool ReadUntil(const std::string& strMark) {
        char buffer[65536];
        size_t nPos;
        while ((nPos = m_strReceived.find(strMark, m_nConsumed)) == std::string::npos) {
            ssize_t n = recv(m_hPeer, buffer, sizeof buffer, 0);
            if (n <= 0)
                return false;
            m_strReceived.append(buffer, static_cast<size_t>(n));
        }
        m_nConsumed = nPos + strMark.size();
        return true;
    }
    void Run(const std::vector<SServerStep>& arrScript) {
        if ((m_hPeer = accept4(m_hListen, nullptr, nullptr, SOCK_CLOEXEC)) < 0)
            return;
        bool bOpen = true;
        for (auto step = arrScript.begin(); bOpen && step != arrScript.end(); ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step->m_nMs));
            if (step->m_cCheck == 'a') {
                close(m_hPeer);
                bOpen = (m_hPeer = accept4(m_hListen, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
                continue;
            }
            bOpen =
                step->m_cCheck != 'h' && (step->m_strMark.empty() || ReadUntil(step->m_strMark));
            if (bOpen)
                send(m_hPeer, step->m_strSend.data(), step->m_strSend.size(), MSG_NOSIGNAL);
        }
        if (bOpen)
            ReadUntil(std::string(1, '\0')); // never sent: reads until the client closes
        close(m_hPeer);
    }

    uint16_t m_nPort = 0;
    int m_hListen, m_hPeer = -1;
    std::string m_strReceived;
    size_t m_nConsumed = 0;
    std::thread m_thread;
};

using SSaid = std::pair<std::string, uint32_t>; // a diagnostic and the last error at the time
struct CRecordingConnection : CSMTPConnection {
    explicit CRecordingConnection(uint32_t dwTimeoutMs = 10000) {
        m_strHeloName = "client.test";
        m_dwTimeoutMs = m_dwConnectTimeoutMs = dwTimeoutMs;
        m_traceHook = [this](ETrace eKind, const std::string& str) {
            if (eKind == TRACE_COMMAND)
                m_arrCommands.push_back(str);
        };
    }
    void ReportError(const std::string& str) override {
        m_arrSaid.emplace_back(str, GetLastError());
    }
    bool IsLoopbackPeer() const override { return m_bLoopback; }
    bool m_bLoopback = true; // false: the server counts as another machine
    SSaid First() const { return m_arrSaid.empty() ? SSaid() : m_arrSaid[0]; }
    std::vector<SSaid> m_arrSaid;
    std::vector<std::string> m_arrCommands; // as the trace shows them
};

// The host-down alert to two To, one Cc and one Bcc recipient, and its header as sent.
inline void ComposeAlert(CSMTPMessage& message) {
    message.m_from = CSMTPAddress("Vantrel <alerts@example.com>");
    message.m_replyTo = message.m_from;
    message.AddRecipientList("Ann <ann@example.com>, bob@example.com;");
    message.AddRecipient(CSMTPAddress("cc@example.com"), RECIPIENT_CC);
    message.AddRecipient(CSMTPAddress("hidden@example.com"), RECIPIENT_BCC);
    message.m_strSubject = "The host example.net went down";
    message.SetBodyText(".first\nsecond\r\n.\rlast");
    message.AddExtraHeader("X-Program: Vantrel");
}
inline const std::string ALERT_HEADER =
    "From: Vantrel <alerts@example.com>\r\nTo: Ann <ann@example.com>,bob@example.com\r\n"
    "Cc: cc@example.com\r\nSubject: The host example.net went down\r\nDate: *\r\n"
    "Message-ID: <*@example.com>\r\n"
    "X-Mailer: CSMTPConnection v2.29\r\nMIME-Version: 1.0\r\nContent-Type: "
    "text/plain;\r\n\tcharset=iso-8859-1\r\n"
    "Reply-To: Vantrel <alerts@example.com>\r\nX-Program: Vantrel\r\n\r\n";
inline const time_t g_tTestsStarted = time(nullptr);

// A date FormatDate gave since the tests started becomes "*", and so does a version 4 UUID
// before the "@" of the Message-ID.
inline std::string WithoutDate(std::string strWire) {
    constexpr std::string_view UUID = "xxxxxxxx-xxxx-4xxx-xxxx-xxxxxxxxxxxx@"; // x: 0-9a-f
    const size_t nId = strWire.find("\r\nMessage-ID: <") + 15;
    if (nId != 14 && std::ranges::equal(UUID, std::string_view(strWire).substr(nId, 37),
                                        [](char p, unsigned char c) {
                                            return p == 'x' ? std::isxdigit(c) && !std::isupper(c)
                                                            : p == c;
                                        }))
        strWire.replace(nId, 36, "*");
    const size_t nValue = strWire.find("\r\nDate: ") + 8, nEnd = strWire.find("\r\n", nValue);
    for (time_t t = g_tTestsStarted; nValue != 7 && t <= time(nullptr); ++t)
        if (strWire.compare(nValue, nEnd - nValue, CSMTPMessage::FormatDate(t)) == 0)
            return strWire.replace(nValue, nEnd - nValue, "*");
    return strWire;
}
