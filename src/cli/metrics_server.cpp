#include "cli/metrics_server.h"

#include "testing/metrics_exposition.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

MHD_Result Reply(MHD_Connection* pConnection, unsigned nStatus, const std::string& strBody,
                 const char* pszType) {
    MHD_Response* pResponse = MHD_create_response_from_buffer(
        strBody.size(), const_cast<char*>(strBody.data()), MHD_RESPMEM_MUST_COPY);
    if (!pResponse)
        return MHD_NO;
    MHD_add_response_header(pResponse, MHD_HTTP_HEADER_CONTENT_TYPE, pszType);
    if (nStatus == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(pResponse, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result result = MHD_queue_response(pConnection, nStatus, pResponse);
    MHD_destroy_response(pResponse);
    return result;
}

MHD_Result Answer(void* pCls, MHD_Connection* pConnection, const char* pszURL,
                  const char* pszMethod, const char*, const char*, size_t*, void**) {
    const auto& exposition = *static_cast<const CMetricsExposition*>(pCls);
    const char* pszText = "text/plain; charset=utf-8";
    if (std::strcmp(pszURL, "/metrics") != 0)
        return Reply(pConnection, MHD_HTTP_NOT_FOUND, "Not Found: the figures are at /metrics\n",
                     pszText);
    if (std::strcmp(pszMethod, MHD_HTTP_METHOD_GET) != 0 &&
        std::strcmp(pszMethod, MHD_HTTP_METHOD_HEAD) != 0)
        return Reply(pConnection, MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed\n", pszText);
    const char* pszAccept =
        MHD_lookup_connection_value(pConnection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT);
    const auto eFormat = pszAccept && std::strstr(pszAccept, "application/openmetrics-text")
                             ? CMetricsExposition::EFormat::OPEN_METRICS
                             : CMetricsExposition::EFormat::TEXT;
    return Reply(pConnection, MHD_HTTP_OK, exposition.Format(eFormat),
                 CMetricsExposition::ContentType(eFormat));
}

} // namespace

CMetricsServer::CMetricsServer(const CMetricsExposition& exposition) : m_exposition(exposition) {}

CMetricsServer::~CMetricsServer() {
    if (m_pDaemon)
        MHD_stop_daemon(m_pDaemon); // closes the listening socket too
    else if (m_nSocket >= 0)
        close(m_nSocket);
}

std::string CMetricsServer::GetURL() const {
    return "http://" + m_strHost + ":" + std::to_string(m_nPort) + "/metrics";
}

bool CMetricsServer::Start(const std::string& strAddress, std::string& strError) {
    const size_t nColon = strAddress.rfind(':');
    m_strHost = nColon == std::string::npos ? "" : strAddress.substr(0, nColon);
    std::string strHost = m_strHost;
    const std::string strPort = nColon == std::string::npos ? "" : strAddress.substr(nColon + 1);
    if (strHost.size() > 2 && strHost.front() == '[' && strHost.back() == ']')
        strHost = strHost.substr(1, strHost.size() - 2);
    else if (strHost.find(':') != std::string::npos)
        strHost.clear(); // an IPv6 address needs its brackets
    if (strHost == "localhost")
        strHost = "127.0.0.1";
    char* pEnd = nullptr;
    const long nPort = std::strtol(strPort.c_str(), &pEnd, 10);
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pInfo = nullptr;
    if (strHost.empty() || strPort.empty() || *pEnd != '\0' || nPort < 0 || nPort > 65535 ||
        getaddrinfo(strHost.c_str(), strPort.c_str(), &hints, &pInfo) != 0) {
        strError = "--metrics takes ADDRESS:PORT with the address written out, such as "
                   "127.0.0.1:9464 or [::1]:9464";
        return false;
    }
    const bool bIPv6 = pInfo->ai_family == AF_INET6;
    if (bIPv6) {
        const auto& addr6 = *reinterpret_cast<const sockaddr_in6*>(pInfo->ai_addr);
        m_bLoopback = IN6_IS_ADDR_LOOPBACK(&addr6.sin6_addr);
    } else {
        const auto& addr4 = *reinterpret_cast<const sockaddr_in*>(pInfo->ai_addr);
        m_bLoopback = (ntohl(addr4.sin_addr.s_addr) >> 24) == 127;
    }
    m_nSocket = socket(pInfo->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    bool bListening =
        m_nSocket >= 0 && setsockopt(m_nSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof(nOn)) == 0 &&
        (!bIPv6 || setsockopt(m_nSocket, IPPROTO_IPV6, IPV6_V6ONLY, &nOn, sizeof(nOn)) == 0) &&
        bind(m_nSocket, pInfo->ai_addr, pInfo->ai_addrlen) == 0 && listen(m_nSocket, 64) == 0;
    freeaddrinfo(pInfo);
    sockaddr_storage bound{};
    socklen_t nLength = sizeof(bound);
    if (bListening && getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&bound), &nLength) == 0)
        m_nPort = ntohs(bIPv6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                              : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    if (!bListening) {
        strError = "cannot listen for metrics on " + strAddress + ": " + std::strerror(errno);
        return false;
    }
    m_pDaemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | (bIPv6 ? MHD_USE_IPv6 : 0), m_nPort,
        nullptr, nullptr, &Answer, const_cast<CMetricsExposition*>(&m_exposition),
        MHD_OPTION_LISTEN_SOCKET, m_nSocket, MHD_OPTION_CONNECTION_LIMIT, CONNECTION_LIMIT,
        MHD_OPTION_CONNECTION_TIMEOUT, IDLE_SECONDS, MHD_OPTION_END);
    if (!m_pDaemon) {
        strError = "cannot start the metrics server on " + strAddress;
        return false;
    }
    return true;
}
