#include "graph/history_csv.h"

#include "core/app_settings.h"
#include "core/atomic_file.h"
#include "graph/history_series.h"
#include "graph/history_text.h"

#include <sys/socket.h>

#include <cstdio>

namespace {

std::string Tenths(int32_t nTenths) {
    if (nTenths < 0)
        return {};
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%d.%d", nTenths / 10, nTenths % 10);
    return szText;
}

// A text of the history (ISO-8859-1) as a UTF-8 field.
std::string Field(const std::string& strLatin1) {
    std::string str;
    for (char c : strLatin1) {
        const auto nByte = static_cast<unsigned char>(c);
        if (nByte < 0x80) {
            str += c;
        } else {
            str += static_cast<char>(0xC0 | nByte >> 6);
            str += static_cast<char>(0x80 | (nByte & 0x3F));
        }
    }
    if (str.find_first_of(",\"\r\n") == std::string::npos)
        return str;
    std::string strQuoted = "\"";
    for (char c : str) {
        if (c == '"')
            strQuoted += '"';
        strQuoted += c;
    }
    return strQuoted + '"';
}

} // namespace

const char* const CHistoryCsv::HEADER =
    "time,up,reason,ping_ms,method,family,echoes_sent,echoes_answered,http_status,dns_ms,"
    "connect_ms,tls_ms,first_byte_ms,total_ms,cert_expiry\n";

std::string CHistoryCsv::Line(const CTestRecord& test) {
    const char* pszFamily = test.nFamily == AF_INET    ? "ipv4"
                            : test.nFamily == AF_INET6 ? "ipv6"
                                                       : "";
    std::string strLine = CHistoryText::UtcTime(test.tWhen);
    for (const std::string& strField :
         {std::string(test.bUp ? "up" : "down"), Field(test.strReason), Tenths(test.nPingTenths),
          std::string(test.nMethod == PING_METHOD_TCP ? "tcp" : "icmp"), std::string(pszFamily),
          std::to_string(test.nEchoesSent), std::to_string(test.nEchoesAnswered),
          test.nHttpStatus > 0 ? std::to_string(test.nHttpStatus) : std::string(),
          Tenths(test.nDnsTenths), Tenths(test.nConnectTenths), Tenths(test.nTlsTenths),
          Tenths(test.nFirstByteTenths), Tenths(test.nTotalTenths),
          test.tCertExpiry > 0 ? CHistoryText::UtcTime(test.tCertExpiry) : std::string()})
        strLine += ',' + strField;
    return strLine + "\n";
}

bool CHistoryCsv::Write(CHistoryStore& store, int64_t nHostId, int64_t tFrom, int64_t tTo,
                        const std::string& strPath, std::string& strError) {
    CAtomicFile file;
    if (!file.Open(strPath, CAtomicFile::NEW_UMASK)) {
        strError = file.GetError();
        return false;
    }
    // Written in blocks: a year of tests never sits in memory as one text.
    std::string strBlock = HEADER;
    bool bWritten =
        CHistorySeries::ForEachTest(store, nHostId, tFrom, tTo, [&](const CTestRecord& test) {
            strBlock += Line(test);
            if (strBlock.size() < 65536)
                return true;
            const bool bOk = file.Write(strBlock.data(), strBlock.size());
            strBlock.clear();
            return bOk;
        });
    bWritten = bWritten && file.Write(strBlock.data(), strBlock.size()) && file.Commit();
    if (!bWritten)
        strError = file.GetError();
    return bWritten;
}
