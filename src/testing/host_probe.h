#pragma once

#include "platform/host_lookup.h"
#include "platform/ping.h"
#include "testing/host_test_result.h"

#include <cstdint>
#include <functional>
#include <string>

class CEvent;
class CInternetSession;
class CProbes;
struct CHttpExchange;

// The steps of one host's probe run, shared by the worker and the command-line probe: split the
// test URL, check its service, look its server up once, echo it, request the object.
class CHostProbe {
public:
    enum class EEcho { ANSWERED, NOT_ANSWERED, STOPPED };
    // Told about every echo attempt: its number (1 to 4), whether it was answered with status
    // 0, and the reply (zero when the echo failed).
    using EchoTraceFn = std::function<void(int nAttempt, bool bOk, const CPingResult& reply)>;

    // Splits strURL into the parts below; false when it is not a URL.
    bool SplitURL(const std::string& strURL);
    // HTTP, HTTPS and schemes the splitter does not know are requested (those over plain
    // HTTP on port 80).
    bool IsSupportedService() const;
    bool IsHttps() const;
    // The port the web request (and a TCP connect in place of the echo) goes to.
    uint16_t GetRequestPort() const;
    // Up to four echoes (nPingMethod PING_METHOD_ICMP) or TCP connects to the request port
    // (PING_METHOD_TCP) to the address strTarget; stops early on an answer with status 0 or
    // when evStop is found set after an attempt (STOPPED wins over an answer in the same
    // attempt). An attempt in progress gives up when evStop is set. On ANSWERED, reply holds
    // the answer. nSent counts the attempts made.
    EEcho Echo(CProbes& probes, const CEvent& evStop, const std::string& strTarget,
               CPingResult& reply, int nPingMethod, int& nSent,
               const EchoTraceFn& trace = EchoTraceFn()) const;
    // The web request for the object, to the address strTarget; true when a response came back
    // (and evStop stayed clear).
    bool RequestObject(CInternetSession& session, const std::string& strTarget,
                       const CEvent& evStop) const;
    // One test over the server's addresses: the echoes and the web request over IPv4, and over
    // IPv6 when the name has no IPv4 address or no IPv4 echo was answered. Any response is up,
    // but one with a 5xx status while m_bServerErrorsDown; a 4xx is up with a note.
    CHostTestResult Test(CProbes& probes, CInternetSession& session, const CEvent& evStop,
                         const CResolvedHost& addresses, int nPingMethod,
                         const EchoTraceFn& trace = EchoTraceFn()) const;

    // Why a web request got no response, in plain words.
    static std::string FailureReason(const CHttpExchange& web);

    static std::string BadURLText(const std::string& strURL);
    static std::string UnresolvedText(const std::string& strURL);
    // The one notice of a look-up that failed; the host stays under test.
    static std::string LookupFailedText(const std::string& strURL);
    static std::string UnknownServiceText(const std::string& strURL);

    uint32_t m_dwServiceType = 0;
    std::string m_strServer;
    std::string m_strObject;
    uint16_t m_nPort = 0;
    std::string m_strUserName;
    std::string m_strPassword;
    bool m_bServerErrorsDown = true; // a 5xx answer counts down

private:
    // The web request's evidence and the verdict on it.
    void Judge(CHostTestResult& result, bool bResponse, const CHttpExchange& web) const;
};
