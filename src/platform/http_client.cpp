#include "platform/http_client.h"

#include "platform/event.h"
#include "platform/socket_wait.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

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

} // namespace

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
    m_nLastStatus = 0;
    m_strLastError.clear();
    if (m_pCurl == nullptr) {
        m_strLastError = "The HTTP client is not open";
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
    // The server asked for credentials: answer it once. Its first answer already made it up.
    if (bResponse && m_nLastStatus == 401 && !strUserName.empty()) {
        const long nFirstStatus = m_nLastStatus;
        if (!Perform(strURL, bHttps, pResolve, true, strUserName, strPassword, pevStop))
            m_nLastStatus = nFirstStatus;
    }
    curl_slist_free_all(pResolve);
    return bResponse;
}

bool CHttpClient::Perform(const std::string& strURL, bool bHttps, void* pResolve, bool bCredentials,
                          const std::string& strUserName, const std::string& strPassword,
                          const CEvent* pevStop) {
    CURL* pCurl = static_cast<CURL*>(m_pCurl);
    curl_easy_reset(pCurl);
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
    curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &m_nLastStatus);
    curl_easy_setopt(pCurl, CURLOPT_ERRORBUFFER, nullptr);
    if (state.bHeadersDone && !bStopped)
        return true;
    m_strLastError = bStopped ? "Stopped" : szError[0] != '\0' ? szError : curl_easy_strerror(code);
    return false;
}
