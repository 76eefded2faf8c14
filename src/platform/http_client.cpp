#include "platform/http_client.h"

#include "platform/event.h"
#include "platform/socket_wait.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sstream>

#include <curl/curl.h>

namespace {

struct CRequestState {
    CURL* pCurl = nullptr;
    bool bHeadersDone = false;
};

// Called once per header line; the empty line ends a header block. Returning 0 aborts the
// transfer, so the body of a final response is never read.
size_t OnHeader(char* pData, size_t nSize, size_t nCount, void* pUser) {
    auto* pState = static_cast<CRequestState*>(pUser);
    const size_t nBytes = nSize * nCount;
    const bool bBlankLine =
        (nBytes == 2 && std::memcmp(pData, "\r\n", 2) == 0) || (nBytes == 1 && pData[0] == '\n');
    if (!bBlankLine)
        return nBytes;
    long nStatus = 0;
    curl_easy_getinfo(pState->pCurl, CURLINFO_RESPONSE_CODE, &nStatus);
    if (nStatus < 200)
        return nBytes; // "100 Continue" and the like: the final response follows
    pState->bHeadersDone = true;
    return 0;
}

size_t OnBody(char*, size_t, size_t, void*) {
    return 0;
}

// The object as the user typed it may hold spaces and other bytes that may not appear in a
// request line: escape them, keep everything else (existing escapes included) as it is.
std::string EscapeObject(const std::string& strObject) {
    static const char szHex[] = "0123456789ABCDEF";
    std::string strOut;
    for (unsigned char c : strObject) {
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}#", c) != nullptr) {
            strOut += '%';
            strOut += szHex[c >> 4];
            strOut += szHex[c & 0x0F];
        } else {
            strOut += static_cast<char>(c);
        }
    }
    if (strOut.empty() || strOut[0] != '/')
        strOut.insert(0, "/");
    return strOut;
}

// How far into the exchange curl got by one of its time stamps; -1 where it never got there.
int32_t Tenths(CURL* pCurl, CURLINFO info) {
    curl_off_t nMicroseconds = 0;
    if (curl_easy_getinfo(pCurl, info, &nMicroseconds) != CURLE_OK || nMicroseconds <= 0)
        return -1;
    return static_cast<int32_t>(std::min<curl_off_t>(nMicroseconds / 100, INT32_MAX));
}

void ReadTimings(CURL* pCurl, bool bHttps, CHttpExchange& exchange) {
    exchange.nDnsTenths = Tenths(pCurl, CURLINFO_NAMELOOKUP_TIME_T);
    exchange.nConnectTenths = Tenths(pCurl, CURLINFO_CONNECT_TIME_T);
    // A pinned address is "looked up" in no measurable time, yet it was.
    if (exchange.nConnectTenths >= 0)
        exchange.nDnsTenths = std::max(exchange.nDnsTenths, 0);
    exchange.nTlsTenths = bHttps ? Tenths(pCurl, CURLINFO_APPCONNECT_TIME_T) : -1;
    exchange.nFirstByteTenths = Tenths(pCurl, CURLINFO_STARTTRANSFER_TIME_T);
    exchange.nTotalTenths = Tenths(pCurl, CURLINFO_TOTAL_TIME_T);
}

// The server's own certificate comes first in curl's list of the chain.
int64_t ReadCertExpiry(CURL* pCurl) {
    curl_certinfo* pInfo = nullptr;
    if (curl_easy_getinfo(pCurl, CURLINFO_CERTINFO, &pInfo) != CURLE_OK || pInfo == nullptr ||
        pInfo->num_of_certs < 1)
        return 0;
    static const char EXPIRE[] = "Expire date:";
    for (const curl_slist* pItem = pInfo->certinfo[0]; pItem != nullptr; pItem = pItem->next)
        if (std::strncmp(pItem->data, EXPIRE, sizeof EXPIRE - 1) == 0)
            return CHttpClient::ParseCertDate(pItem->data + sizeof EXPIRE - 1);
    return 0;
}

CHttpExchange::EFailure Classify(CURL* pCurl, CURLcode code) {
    using EFailure = CHttpExchange::EFailure;
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return EFailure::TIMED_OUT;
    case CURLE_COULDNT_CONNECT: {
        long nErrno = 0;
        curl_easy_getinfo(pCurl, CURLINFO_OS_ERRNO, &nErrno);
        return nErrno == ECONNREFUSED ? EFailure::REFUSED : EFailure::OTHER;
    }
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
        return EFailure::TLS;
    default:
        return EFailure::OTHER;
    }
}

} // namespace

int64_t CHttpClient::ParseCertDate(const std::string& strDate) {
    static const char MONTHS[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    std::istringstream in(strDate);
    std::string strMonth, strClock, strZone;
    int nDay = 0, nYear = 0, nHour = 0, nMinute = 0, nSecond = 0;
    // The seconds may carry a fraction ("10:00:00.5"): it is dropped.
    if (!(in >> strMonth >> nDay >> strClock >> nYear >> strZone) || strZone != "GMT" ||
        strMonth.size() != 3 ||
        std::sscanf(strClock.c_str(), "%2d:%2d:%2d", &nHour, &nMinute, &nSecond) != 3)
        return 0;
    const char* pszMonth = std::strstr(MONTHS, strMonth.c_str());
    if (pszMonth == nullptr || (pszMonth - MONTHS) % 3 != 0 || nDay < 1 || nDay > 31 ||
        nHour > 23 || nMinute > 59 || nSecond > 60 || nYear < 1970 || nYear > 9999)
        return 0;
    std::tm tmDate{};
    tmDate.tm_year = nYear - 1900;
    tmDate.tm_mon = static_cast<int>((pszMonth - MONTHS) / 3);
    tmDate.tm_mday = nDay;
    tmDate.tm_hour = nHour;
    tmDate.tm_min = nMinute;
    tmDate.tm_sec = nSecond;
    return static_cast<int64_t>(timegm(&tmDate));
}

bool CHttpClient::InitLibrary() {
    static std::once_flag s_once;
    static CURLcode s_code = CURLE_OK;
    std::call_once(s_once, [] { s_code = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return s_code == CURLE_OK;
}

CHttpClient::~CHttpClient() {
    Close();
}

bool CHttpClient::Open(const std::string& strAgent) {
    Close();
    if (!InitLibrary())
        return false;
    m_pCurl = curl_easy_init();
    if (m_pCurl == nullptr)
        return false;
    m_strAgent = strAgent;
    return true;
}

void CHttpClient::Close() {
    if (m_pCurl != nullptr) {
        curl_easy_cleanup(static_cast<CURL*>(m_pCurl));
        m_pCurl = nullptr;
    }
}

void CHttpClient::SetTimeouts(long nConnectMs, long nTotalMs) {
    m_nConnectTimeoutMs = nConnectMs;
    m_nTotalTimeoutMs = nTotalMs;
}

bool CHttpClient::Request(bool bHttps, const std::string& strServer, const std::string& strAddress,
                          uint16_t nPort, const std::string& strObject,
                          const std::string& strUserName, const std::string& strPassword,
                          const CEvent* pevStop) {
    m_last = CHttpExchange();
    if (m_pCurl == nullptr) {
        m_last.eFailure = CHttpExchange::EFailure::OTHER;
        m_last.strError = "The HTTP client is not open";
        return false;
    }
    const std::string strHost =
        strServer.find(':') != std::string::npos ? "[" + strServer + "]" : strServer;
    const std::string strURL = (bHttps ? "https://" : "http://") + strHost + ":" +
                               std::to_string(nPort) + EscapeObject(strObject);
    // The address the test looked up and pinged, so that the request goes there without a
    // second look-up; the Host header and the TLS name stay the server's.
    curl_slist* pResolve = nullptr;
    if (!strAddress.empty() && strAddress != strServer) {
        const std::string strPinned =
            strAddress.find(':') != std::string::npos ? "[" + strAddress + "]" : strAddress;
        pResolve = curl_slist_append(
            nullptr, (strServer + ":" + std::to_string(nPort) + ":" + strPinned).c_str());
    }
    bool bResponse = Perform(strURL, bHttps, pResolve, false, strUserName, strPassword, pevStop);
    // The server asked for credentials: answer it once. Its first answer already made it up,
    // and stands when the second gets none.
    if (bResponse && m_last.nStatus == 401 && !strUserName.empty()) {
        const CHttpExchange first = m_last;
        if (!Perform(strURL, bHttps, pResolve, true, strUserName, strPassword, pevStop))
            m_last = first;
    }
    curl_slist_free_all(pResolve);
    return bResponse;
}

bool CHttpClient::Perform(const std::string& strURL, bool bHttps, void* pResolve, bool bCredentials,
                          const std::string& strUserName, const std::string& strPassword,
                          const CEvent* pevStop) {
    CURL* pCurl = static_cast<CURL*>(m_pCurl);
    curl_easy_reset(pCurl);
    m_last = CHttpExchange();
    CRequestState state;
    state.pCurl = pCurl;
    char szError[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(pCurl, CURLOPT_URL, strURL.c_str());
    // An https URL never falls back to plain HTTP, redirects are not followed at all.
    curl_easy_setopt(pCurl, CURLOPT_PROTOCOLS_STR, bHttps ? "https" : "http");
    curl_easy_setopt(pCurl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(pCurl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(pCurl, CURLOPT_USERAGENT, m_strAgent.c_str());
    curl_easy_setopt(pCurl, CURLOPT_PROXY, ""); // no proxy, whatever the environment says
    curl_easy_setopt(pCurl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(pCurl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(pCurl, CURLOPT_RESOLVE, static_cast<curl_slist*>(pResolve));
    if (bHttps) {
        curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(pCurl, CURLOPT_SSL_VERIFYHOST, 2L);
        // OpenSSL's own convention for another trust store, which the mail client follows too.
        if (const char* pszCAFile = std::getenv("SSL_CERT_FILE"); pszCAFile && *pszCAFile)
            curl_easy_setopt(pCurl, CURLOPT_CAINFO, pszCAFile);
        curl_easy_setopt(pCurl, CURLOPT_CERTINFO, 1L); // for the certificate's expiry
    }
    // Every test opens its own connection: a kept-alive one would not test the server.
    curl_easy_setopt(pCurl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(pCurl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(pCurl, CURLOPT_CONNECTTIMEOUT_MS, m_nConnectTimeoutMs);
    curl_easy_setopt(pCurl, CURLOPT_TIMEOUT_MS, m_nTotalTimeoutMs);
    curl_easy_setopt(pCurl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(pCurl, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, szError);
    if (bCredentials) {
        curl_easy_setopt(pCurl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(pCurl, CURLOPT_USERNAME, strUserName.c_str());
        curl_easy_setopt(pCurl, CURLOPT_PASSWORD, strPassword.c_str());
    }

    // The multi interface lets us look at the stop event while the transfer waits.
    CURLcode code = CURLE_OK;
    bool bStopped = false;
    CURLM* pMulti = curl_multi_init();
    if (pMulti == nullptr || curl_multi_add_handle(pMulti, pCurl) != CURLM_OK) {
        code = CURLE_OUT_OF_MEMORY;
    } else {
        for (int nRunning = 1; nRunning > 0;) {
            if (curl_multi_perform(pMulti, &nRunning) != CURLM_OK)
                break;
            if (nRunning == 0)
                break;
            if (pevStop != nullptr && pevStop->IsSet()) {
                bStopped = true;
                break;
            }
            curl_multi_poll(pMulti, nullptr, 0, static_cast<int>(STOP_POLL_SLICE.count()), nullptr);
        }
        int nLeft = 0;
        while (CURLMsg* pMsg = curl_multi_info_read(pMulti, &nLeft))
            if (pMsg->msg == CURLMSG_DONE)
                code = pMsg->data.result;
        curl_multi_remove_handle(pMulti, pCurl);
    }
    if (pMulti != nullptr)
        curl_multi_cleanup(pMulti);
    curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &m_last.nStatus);
    ReadTimings(pCurl, bHttps, m_last);
    if (bHttps)
        m_last.tCertExpiry = ReadCertExpiry(pCurl);
    curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, nullptr);
    if (state.bHeadersDone && !bStopped)
        return true;
    m_last.eFailure = bStopped ? CHttpExchange::EFailure::STOPPED : Classify(pCurl, code);
    m_last.strError = bStopped             ? "Stopped"
                      : szError[0] != '\0' ? szError
                                           : curl_easy_strerror(code);
    return false;
}
