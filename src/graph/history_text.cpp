#include "graph/history_text.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

std::string CHistoryText::Milliseconds(int32_t nTenths) {
    if (nTenths < 0)
        return "-";
    char szText[32];
    if (nTenths < 100)
        std::snprintf(szText, sizeof(szText), "%d.%d ms", nTenths / 10, nTenths % 10);
    else
        std::snprintf(szText, sizeof(szText), "%d ms", (nTenths + 5) / 10);
    return szText;
}

std::string CHistoryText::LastResult(const CTestRecord& test) {
    if (test.tWhen == 0)
        return {};
    if (!test.bUp)
        return test.strReason.empty() ? "Down" : "Down: " + test.strReason;
    std::string strText = "Up";
    const char* pszSeparator = ": ";
    auto Add = [&](const std::string& strPart) {
        strText += pszSeparator + strPart;
        pszSeparator = ", ";
    };
    if (test.nHttpStatus > 0)
        Add("HTTP " + std::to_string(test.nHttpStatus));
    if (test.nFirstByteTenths >= 0)
        Add("first byte " + Milliseconds(test.nFirstByteTenths));
    else if (test.nPingTenths >= 0)
        Add("ping " + Milliseconds(test.nPingTenths));
    if (!test.strReason.empty())
        Add(test.strReason);
    return strText;
}

std::string CHistoryText::Duration(int64_t nSeconds) {
    if (nSeconds < 0)
        nSeconds = 0;
    const int64_t nDays = nSeconds / 86400;
    const int nHours = static_cast<int>(nSeconds / 3600 % 24);
    const int nMinutes = static_cast<int>(nSeconds / 60 % 60);
    const int nRest = static_cast<int>(nSeconds % 60);
    char szText[64];
    if (nDays > 0)
        std::snprintf(szText, sizeof(szText), "%" PRId64 "d %02dh %02dm", nDays, nHours, nMinutes);
    else if (nHours > 0)
        std::snprintf(szText, sizeof(szText), "%dh %02dm", nHours, nMinutes);
    else if (nMinutes > 0)
        std::snprintf(szText, sizeof(szText), "%dm %02ds", nMinutes, nRest);
    else
        std::snprintf(szText, sizeof(szText), "%ds", nRest);
    return szText;
}

std::string CHistoryText::LocalTime(int64_t tWhen) {
    const time_t t = static_cast<time_t>(tWhen);
    struct tm tmLocal = {};
    char szText[64] = "";
    if (localtime_r(&t, &tmLocal))
        std::strftime(szText, sizeof(szText), "%Y-%m-%d %H:%M", &tmLocal);
    return szText;
}

std::string CHistoryText::UtcTime(int64_t tWhen) {
    const time_t t = static_cast<time_t>(tWhen);
    struct tm tmUtc = {};
    char szText[64] = "";
    if (gmtime_r(&t, &tmUtc))
        std::strftime(szText, sizeof(szText), "%Y-%m-%dT%H:%M:%SZ", &tmUtc);
    return szText;
}

std::string CHistoryText::Percent(int64_t nPart, int64_t nWhole) {
    if (nWhole <= 0)
        return "-";
    // Truncated, not rounded: one down test in a hundred thousand is not "100.00%".
    const int64_t nBasis = nPart * 10000 / nWhole;
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%" PRId64 ".%02d%%", nBasis / 100,
                  static_cast<int>(nBasis % 100));
    return szText;
}
