#include "platform/url_splitter.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

struct SchemeInfo {
    const char* pszName;
    uint32_t dwService;
    uint16_t nDefaultPort;
};

constexpr SchemeInfo g_arrSchemes[] = {
    {"ftp", INET_SERVICE_FTP, 21},
    {"gopher", INET_SERVICE_GOPHER, 70},
    {"http", INET_SERVICE_HTTP, 80},
    {"https", INET_SERVICE_HTTPS, 443},
    {"file", INET_SERVICE_FILE, 0},
    {"mailto", INET_SERVICE_MAILTO, 0},
    {"mid", INET_SERVICE_MID, 0},
    {"cid", INET_SERVICE_CID, 0},
    {"news", INET_SERVICE_NEWS, 119},
    {"nntp", INET_SERVICE_NNTP, 119},
    {"prospero", INET_SERVICE_PROSPERO, 1525},
    {"telnet", INET_SERVICE_TELNET, 23},
    {"wais", INET_SERVICE_WAIS, 210},
    {"afs", INET_SERVICE_AFS, 0},
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Characters of a registered name (letters, digits, "-._~", sub-delims, percent) and bytes
// above 0x7F for names in the 8-bit code page; the resolver decides whether they exist.
bool IsServerChar(unsigned char c) {
    return std::isalnum(c) || c >= 0x80 || std::strchr("-._~%!$&'()*+,;=", c) != nullptr;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Credentials are written percent-encoded ("p%40ss" for "p@ss"); a '%' that starts no
// valid escape stays as it is.
std::string PercentDecode(const std::string& str) {
    std::string strOut;
    strOut.reserve(str.size());
    for (size_t i = 0; i < str.size(); ++i) {
        if (str[i] == '%' && i + 2 < str.size() && HexValue(str[i + 1]) >= 0 &&
            HexValue(str[i + 2]) >= 0) {
            strOut += static_cast<char>(HexValue(str[i + 1]) * 16 + HexValue(str[i + 2]));
            i += 2;
        } else {
            strOut += str[i];
        }
    }
    return strOut;
}

bool SplitHostPort(const std::string& strHostPort, std::string& strServer, std::string& strPort) {
    size_t nPortColon;
    if (!strHostPort.empty() && strHostPort[0] == '[') {
        // IPv6 literal: "[addr]" optionally followed by ":port".
        size_t nClose = strHostPort.find(']');
        if (nClose == std::string::npos)
            return false;
        strServer = strHostPort.substr(1, nClose - 1);
        for (unsigned char c : strServer) {
            if (!std::isxdigit(c) && c != ':' && c != '.')
                return false;
        }
        if (nClose + 1 == strHostPort.size()) {
            nPortColon = std::string::npos;
        } else if (strHostPort[nClose + 1] == ':') {
            nPortColon = nClose + 1;
        } else {
            return false;
        }
    } else {
        nPortColon = strHostPort.find(':');
        strServer = strHostPort.substr(0, nPortColon);
        for (unsigned char c : strServer) {
            if (!IsServerChar(c))
                return false;
        }
    }
    strPort = nPortColon == std::string::npos ? std::string() : strHostPort.substr(nPortColon + 1);
    return !strServer.empty();
}

} // namespace

bool ParseURLEx(const std::string& strURL, CURLParts& parts) {
    parts = CURLParts();

    size_t nBegin = 0;
    size_t nEnd = strURL.size();
    while (nBegin < nEnd && IsSpace(strURL[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsSpace(strURL[nEnd - 1]))
        --nEnd;
    const std::string strText = strURL.substr(nBegin, nEnd - nBegin);
    for (unsigned char c : strText) {
        if (IsControl(c))
            return false;
    }

    // Scheme: a letter, then letters, digits, '+', '-', '.', then "://".
    size_t nSchemeEnd = strText.find("://");
    if (nSchemeEnd == std::string::npos || nSchemeEnd == 0 ||
        !std::isalpha(static_cast<unsigned char>(strText[0])))
        return false;
    std::string strScheme;
    for (size_t i = 0; i < nSchemeEnd; ++i) {
        unsigned char c = static_cast<unsigned char>(strText[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return false;
        strScheme += static_cast<char>(std::tolower(c));
    }

    CURLParts result;
    result.m_dwServiceType = INET_SERVICE_UNK;
    for (const SchemeInfo& scheme : g_arrSchemes) {
        if (strScheme == scheme.pszName) {
            result.m_dwServiceType = scheme.dwService;
            result.m_nPort = scheme.nDefaultPort;
        }
    }

    // Authority up to the first '/', '?' or '#'.
    const size_t nAuthority = nSchemeEnd + 3;
    size_t nAuthorityEnd = strText.find_first_of("/?#", nAuthority);
    if (nAuthorityEnd == std::string::npos)
        nAuthorityEnd = strText.size();
    std::string strAuthority = strText.substr(nAuthority, nAuthorityEnd - nAuthority);

    // Credentials end at the last '@': an unencoded '@' in a password stays in the password.
    size_t nAt = strAuthority.rfind('@');
    if (nAt != std::string::npos) {
        std::string strUserInfo = strAuthority.substr(0, nAt);
        strAuthority.erase(0, nAt + 1);
        size_t nColon = strUserInfo.find(':');
        result.m_strUserName = PercentDecode(strUserInfo.substr(0, nColon));
        if (nColon != std::string::npos)
            result.m_strPassword = PercentDecode(strUserInfo.substr(nColon + 1));
    }

    std::string strPort;
    if (!SplitHostPort(strAuthority, result.m_strServer, strPort))
        return false;
    if (!strPort.empty()) {
        if (strPort.size() > 5)
            return false;
        unsigned long nPort = 0;
        for (unsigned char c : strPort) {
            if (!std::isdigit(c))
                return false;
            nPort = nPort * 10 + (c - '0');
        }
        if (nPort == 0 || nPort > 65535)
            return false;
        result.m_nPort = static_cast<uint16_t>(nPort);
    }

    // Object: path and query; the fragment is never sent to a server.
    const size_t nFragment = std::min(strText.find('#', nAuthorityEnd), strText.size());
    const std::string strObject = strText.substr(nAuthorityEnd, nFragment - nAuthorityEnd);
    result.m_strObject = strObject.empty() || strObject[0] != '/' ? "/" + strObject : strObject;

    parts = result;
    return true;
}
