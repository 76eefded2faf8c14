#pragma once

#include <cstdint>
#include <string>

class CEvent;

// What one web request found: the response's status, when each step ended, the server
// certificate's end of validity, and why no response came.
struct CHttpExchange {
    enum class EFailure {
        NONE,      // a response came back
        REFUSED,   // the server's port refused the connection
        TIMED_OUT, // connecting or waiting for the response took too long
        TLS,       // the TLS handshake or the certificate's check failed
        STOPPED,   // the stop event ended it
        OTHER,
    };
    long nStatus = 0; // of the final response; 0: none
    EFailure eFailure = EFailure::NONE;
    std::string strError; // why no response came (curl's words); empty when one did
    // From the request's start, in tenths of a millisecond; -1 where it never got that far.
    int32_t nDnsTenths = -1;
    int32_t nConnectTenths = -1;
    int32_t nTlsTenths = -1;
    int32_t nFirstByteTenths = -1;
    int32_t nTotalTenths = -1;
    int64_t tCertExpiry = 0; // the server certificate's notAfter, UTC seconds; 0: none seen
};

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

    // GET of strObject from nPort of strServer at strAddress (empty: looked up), over TLS when
    // bHttps (the certificate checked against the system's CA store, or the file SSL_CERT_FILE
    // names, and the host name), without a proxy (environment included). Credentials go out only in
    // a second request after the server has answered 401, Basic, never over plain HTTP when bHttps.
    // True as soon as a final response's headers have arrived, whatever their status; the body is
    // never downloaded. False when not open, on a connection or TLS failure, a time-out, a
    // malformed response, or when pevStop is set (the transfer is then aborted within 100 ms).
    bool Request(bool bHttps, const std::string& strServer, const std::string& strAddress,
                 uint16_t nPort, const std::string& strObject, const std::string& strUserName,
                 const std::string& strPassword, const CEvent* pevStop = nullptr);

    // Status code of the last response (0 when none) and the reason of the last failure.
    long GetLastStatusCode() const { return m_last.nStatus; }
    const std::string& GetLastErrorText() const { return m_last.strError; }
    // Everything the last request found.
    const CHttpExchange& GetLastExchange() const { return m_last; }
    // "Dec  8 10:00:00 2026 GMT", as OpenSSL prints a certificate's dates, in UTC seconds; 0
    // when it cannot be read.
    static int64_t ParseCertDate(const std::string& strDate);

    // Tests only: shorter time-outs than 30 s to connect and 60 s in all.
    void SetTimeouts(long nConnectMs, long nTotalMs);

private:
    // One exchange; pResolve pins the server's address (null: curl looks it up). True when a
    // final response arrived.
    bool Perform(const std::string& strURL, bool bHttps, void* pResolve, bool bCredentials,
                 const std::string& strUserName, const std::string& strPassword,
                 const CEvent* pevStop);

    void* m_pCurl = nullptr; // CURL*
    long m_nConnectTimeoutMs = 30000;
    long m_nTotalTimeoutMs = 60000;
    std::string m_strAgent;
    CHttpExchange m_last;
};
