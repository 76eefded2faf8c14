#pragma once

#include <cstdint>
#include <string>

// Service codes of a split URL (the values the data file's users and the assistant know).
enum : uint32_t {
    INET_SERVICE_FTP = 1,
    INET_SERVICE_GOPHER = 2,
    INET_SERVICE_HTTP = 3,
    INET_SERVICE_UNK = 0x1000, // a scheme we do not know
    INET_SERVICE_FILE = 0x1001,
    INET_SERVICE_MAILTO = 0x1002,
    INET_SERVICE_MID = 0x1003,
    INET_SERVICE_CID = 0x1004,
    INET_SERVICE_NEWS = 0x1005,
    INET_SERVICE_NNTP = 0x1006,
    INET_SERVICE_PROSPERO = 0x1007,
    INET_SERVICE_TELNET = 0x1008,
    INET_SERVICE_WAIS = 0x1009,
    INET_SERVICE_AFS = 0x100A,
    INET_SERVICE_HTTPS = 0x100B,
};

// The parts of a URL "scheme://[user[:password]@]server[:port][/path][?query][#fragment]".
struct CURLParts {
    uint32_t m_dwServiceType = 0;
    std::string m_strServer;   // host name or address, without IPv6 brackets
    std::string m_strObject;   // path and query, "/" when absent; never the fragment
    uint16_t m_nPort = 0;      // explicit port, else the scheme's default (0 when it has none)
    std::string m_strUserName; // percent-decoded; empty when absent
    std::string m_strPassword; // percent-decoded; empty when absent
};

// Splits strURL (surrounding white space ignored). False, with parts left empty, when the
// text is not "scheme://server..." or the server is empty or invalid or the port is not
// 1 to 65535.
bool ParseURLEx(const std::string& strURL, CURLParts& parts);
