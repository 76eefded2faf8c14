#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A one-connection SMTP peer on 127.0.0.1 (port chosen by the system) that plays a script and
// records every byte the client sends.
struct SServerStep {
    enum EKind { SEND, LINE, DATA_END, SLEEP, QUIET, CLOSE };
    EKind m_eKind;
    std::string m_strText;
    int m_nMs = 0;
};
inline SServerStep Reply(std::string strText) {
    return {SServerStep::SEND, std::move(strText)};
}
// Waits for the client's next CR LF terminated line.
inline SServerStep Line() {
    return {SServerStep::LINE, {}};
}
// Waits for the end-of-data mark.
inline SServerStep DataEnd() {
    return {SServerStep::DATA_END, {}};
}
inline SServerStep Pause(int nMs) {
    return {SServerStep::SLEEP, {}, nMs};
}
// Notes a fault if the client sent anything beyond what was awaited within nMs.
inline SServerStep Quiet(int nMs) {
    return {SServerStep::QUIET, {}, nMs};
}
inline SServerStep Hangup() {
    return {SServerStep::CLOSE, {}};
}

// A loopback port that nobody listens on (free when asked).
uint16_t FreeLoopbackPort();

class CScriptedSmtpServer {
public:
    explicit CScriptedSmtpServer(std::vector<SServerStep> arrScript, bool bReadAfterScript = true);
    ~CScriptedSmtpServer();

    uint16_t GetPort() const { return m_nPort; }
    // Waits for the session to end and returns everything the client sent.
    std::string Transcript();
    // True when a Quiet step saw unexpected bytes.
    bool SawUnexpectedBytes();

private:
    void Run();
    bool ReadUntil(const std::string& strMark);

    std::vector<SServerStep> m_arrScript;
    bool m_bReadAfterScript;
    int m_hListen = -1;
    int m_hPeer = -1;
    uint16_t m_nPort = 0;
    std::mutex m_mtx;
    std::string m_strReceived;
    size_t m_nConsumed = 0;
    bool m_bUnexpected = false;
    std::thread m_thread;
};
