#pragma once

#include <cstdint>
#include <string>

// The web probe's HTTP client on libcurl: one object (one handle) per worker run, used by
// one thread at a time.
class CHttpClient {
public:
    // Initialises libcurl for the process; call it at start before any thread. Safe to call
    // more than once.
    static bool InitLibrary();

    CHttpClient() = default;
    ~CHttpClient();
    CHttpClient(const CHttpClient&) = delete;
    CHttpClient& operator=(const CHttpClient&) = delete;

    // Opens the handle with the given User-Agent; false when libcurl cannot make one.
    bool Open(const std::string& strAgent);
    void Close();
    bool IsOpen() const { return m_pCurl != nullptr; }

    // Plain-HTTP GET of strObject on port 80 of strServer, with Basic credentials when a user
    // name is given, no proxy (environment included). True as soon as a final response's
    // headers have arrived, whatever their status; the body is never downloaded. False when
    // not open, on a connection failure, a time-out or a malformed response.
    bool Request(const std::string& strServer, const std::string& strObject,
                 const std::string& strUserName, const std::string& strPassword);

    // Status code of the last response (0 when none) and the reason of the last failure.
    long GetLastStatusCode() const { return m_nLastStatus; }
    const std::string& GetLastErrorText() const { return m_strLastError; }

    // Tests only: another port than 80, shorter time-outs than 30 s to connect and 60 s in all.
    void SetPort(uint16_t nPort) { m_nPort = nPort; }
    void SetTimeouts(long nConnectMs, long nTotalMs);

private:
    void* m_pCurl = nullptr; // CURL*
    uint16_t m_nPort = 80;
    long m_nConnectTimeoutMs = 30000;
    long m_nTotalTimeoutMs = 60000;
    std::string m_strAgent;
    long m_nLastStatus = 0;
    std::string m_strLastError;
};
