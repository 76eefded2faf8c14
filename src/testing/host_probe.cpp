#include "testing/host_probe.h"

#include "core/app_settings.h"

#include "platform/event.h"
#include "platform/url_splitter.h"
#include "testing/internet_session.h"
#include "testing/probes.h"
#include "testing/test_worker.h"

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

CHostProbe::EEcho CHostProbe::Echo(CProbes& probes, const CEvent& evStop, CPingResult& reply,
                                   int nPingMethod, const EchoTraceFn& trace) const {
    for (int nAttempt = 1; nAttempt <= ECHO_ATTEMPTS; ++nAttempt) {
        // A fresh result each time: an earlier answer (or another host's) must never stand
        // in for this attempt's. An ICMP error answering us (status not 0) is no answer.
        CPingResult attempt;
        const bool bAnswered =
            nPingMethod == PING_METHOD_TCP
                ? probes.ConnectTCP(m_strServer, GetRequestPort(), attempt, ECHO_TIMEOUT_MS, evStop)
                : probes.PingUsingICMP(m_strServer, attempt, ECHO_TTL, ECHO_TIMEOUT_MS,
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

bool CHostProbe::RequestObject(CInternetSession& session, const CEvent& evStop) const {
    return session.SendRequest(IsHttps(), m_strServer, GetRequestPort(), m_strObject, m_strUserName,
                               m_strPassword, evStop);
}

std::string CHostProbe::BadURLText(const std::string& strURL) {
    return "Cannot parse server URL:" + strURL + "\nThe tests will stop for this host.";
}

std::string CHostProbe::UnresolvedText(const std::string& strURL) {
    return "Test URL " + strURL +
           " could not be resolved.\nThe tests will not be held for this host.";
}

std::string CHostProbe::UnknownServiceText(const std::string& strURL) {
    return "Unknown service type for URL:" + strURL + "\nThe tests will stop for this host.";
}
