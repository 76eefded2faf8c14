#include "testing/host_probe.h"

#include "core/app_settings.h"

#include "platform/event.h"
#include "platform/url_splitter.h"
#include "testing/internet_session.h"
#include "testing/probes.h"
#include "testing/test_worker.h"

#include <algorithm>

bool CHostProbe::SplitURL(const std::string& strURL) {
    CURLParts parts;
    if (!ParseURLEx(strURL, parts))
        return false;
    m_dwServiceType = parts.m_dwServiceType;
    m_strServer = parts.m_strServer;
    m_strObject = parts.m_strObject;
    m_nPort = parts.m_nPort;
    m_strUserName = parts.m_strUserName;
    m_strPassword = parts.m_strPassword;
    return true;
}

bool CHostProbe::IsSupportedService() const {
    return m_dwServiceType == INET_SERVICE_HTTP || m_dwServiceType == INET_SERVICE_HTTPS ||
           m_dwServiceType == INET_SERVICE_UNK;
}

bool CHostProbe::IsHttps() const {
    return m_dwServiceType == INET_SERVICE_HTTPS;
}

uint16_t CHostProbe::GetRequestPort() const {
    // A scheme we do not know is requested over plain HTTP, where only port 80 makes sense.
    return m_dwServiceType == INET_SERVICE_HTTP || IsHttps() ? m_nPort : 80;
}

CHostProbe::EEcho CHostProbe::Echo(CProbes& probes, const CEvent& evStop,
                                   const std::string& strTarget, CPingResult& reply,
                                   int nPingMethod, int& nSent, const EchoTraceFn& trace) const {
    for (int nAttempt = 1; nAttempt <= ECHO_ATTEMPTS; ++nAttempt) {
        ++nSent;
        // A fresh result each time: an earlier answer (or another host's) must never stand
        // in for this attempt's. An ICMP error answering us (status not 0) is no answer.
        CPingResult attempt;
        const bool bAnswered =
            nPingMethod == PING_METHOD_TCP
                ? probes.ConnectTCP(strTarget, GetRequestPort(), attempt, ECHO_TIMEOUT_MS, evStop)
                : probes.PingUsingICMP(strTarget, attempt, ECHO_TTL, ECHO_TIMEOUT_MS,
                                       ECHO_PAYLOAD_SIZE, 0, false, evStop);
        const bool bOk = bAnswered && attempt.Status == PING_STATUS_SUCCESS;
        if (trace)
            trace(nAttempt, bOk, attempt);
        if (evStop.IsSet())
            return EEcho::STOPPED;
        if (bOk) {
            reply = attempt;
            return EEcho::ANSWERED;
        }
    }
    return EEcho::NOT_ANSWERED;
}

bool CHostProbe::RequestObject(CInternetSession& session, const std::string& strTarget,
                               const CEvent& evStop) const {
    // Credentials go only where the URL says how they travel: a mistyped scheme ("htps://")
    // would otherwise send them in clear to port 80.
    const bool bKnown = m_dwServiceType == INET_SERVICE_HTTP || IsHttps();
    return session.SendRequest(IsHttps(), m_strServer, strTarget, GetRequestPort(), m_strObject,
                               bKnown ? m_strUserName : std::string(),
                               bKnown ? m_strPassword : std::string(), evStop);
}

CHostTestResult CHostProbe::Test(CProbes& probes, CInternetSession& session, const CEvent& evStop,
                                 const CResolvedHost& addresses, int nPingMethod,
                                 const EchoTraceFn& trace) const {
    CHostTestResult result;
    result.nMethod = nPingMethod;
    const char* pszNoAnswer =
        nPingMethod == PING_METHOD_TCP ? "no connect answered" : "no echo answered";
    result.strReason = pszNoAnswer;
    for (const CHostAddress* pAddress : {&addresses.m_ipv4, &addresses.m_ipv6}) {
        if (pAddress->GetFamily() == 0)
            continue;
        const std::string strTarget = FormatAddress(*pAddress);
        CPingResult reply;
        switch (Echo(probes, evStop, strTarget, reply, nPingMethod, result.nEchoesSent, trace)) {
        case EEcho::STOPPED:
            result.eOutcome = CHostTestResult::EOutcome::STOPPED;
            return result;
        case EEcho::NOT_ANSWERED:
            continue; // a name with both families is tried over IPv6 too
        case EEcho::ANSWERED:
            break;
        }
        ++result.nEchoesAnswered;
        result.bPinged = true;
        result.nPingMs = reply.RTT;
        result.nPingTenths = static_cast<int32_t>(std::min<uint32_t>(reply.RTTTenths, INT32_MAX));
        result.nFamily = pAddress->GetFamily();
        const bool bResponse = RequestObject(session, strTarget, evStop);
        if (evStop.IsSet()) {
            result.eOutcome = CHostTestResult::EOutcome::STOPPED; // an aborted request is no result
            return result;
        }
        Judge(result, bResponse, session.GetLastExchange());
        return result;
    }
    return result;
}

void CHostProbe::Judge(CHostTestResult& result, bool bResponse, const CHttpExchange& web) const {
    result.nDnsTenths = web.nDnsTenths;
    result.nConnectTenths = web.nConnectTenths;
    result.nTlsTenths = web.nTlsTenths;
    result.nFirstByteTenths = web.nFirstByteTenths;
    result.nTotalTenths = web.nTotalTenths;
    result.tCertExpiry = web.tCertExpiry;
    result.nHttpStatus = bResponse ? static_cast<int>(web.nStatus) : 0;
    const int nStatus = result.nHttpStatus;
    if (!bResponse) {
        result.eOutcome = CHostTestResult::EOutcome::DOWN;
        result.strReason = FailureReason(web);
    } else if (nStatus >= 500 && m_bServerErrorsDown) {
        // The server is there, but its visitors get an error page.
        result.eOutcome = CHostTestResult::EOutcome::DOWN;
        result.strReason = "HTTP " + std::to_string(nStatus);
    } else {
        result.eOutcome = CHostTestResult::EOutcome::UP;
        result.strReason = nStatus >= 400 && nStatus < 500
                               ? "answers " + std::to_string(nStatus) + ": check the test URL"
                               : "";
    }
    result.bUp = result.eOutcome == CHostTestResult::EOutcome::UP;
}

std::string CHostProbe::FailureReason(const CHttpExchange& web) {
    switch (web.eFailure) {
    case CHttpExchange::EFailure::REFUSED:
        return "connection refused";
    case CHttpExchange::EFailure::TIMED_OUT:
        return "timed out";
    case CHttpExchange::EFailure::TLS: {
        // curl's reason without its own prefix: "TLS failure: certificate has expired".
        static const std::string PREFIX = "SSL certificate problem: ";
        return "TLS failure: " + (web.strError.starts_with(PREFIX)
                                      ? web.strError.substr(PREFIX.size())
                                      : web.strError);
    }
    default:
        return "no answer to the web request: " + web.strError;
    }
}

std::string CHostProbe::BadURLText(const std::string& strURL) {
    return "Cannot parse server URL:" + strURL + "\nThe tests will stop for this host.";
}

std::string CHostProbe::UnresolvedText(const std::string& strURL) {
    return "Test URL " + strURL +
           " could not be resolved.\nThe tests will not be held for this host.";
}

std::string CHostProbe::LookupFailedText(const std::string& strURL) {
    return "Test URL " + strURL +
           " could not be resolved.\nThe host counts as down and is looked up again at its next "
           "test.";
}

std::string CHostProbe::UnknownServiceText(const std::string& strURL) {
    return "Unknown service type for URL:" + strURL + "\nThe tests will stop for this host.";
}
