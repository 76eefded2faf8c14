#include "graph/history_text.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <iterator>

namespace {

// English month names whatever the locale: the chart's texts are Latin-1.
const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

enum EUnit { HOURS, DAYS, MONTHS_UNIT };

struct CStep {
    EUnit eUnit;
    int nCount;
    int64_t nApproxSeconds;
};

const CStep STEPS[] = {{HOURS, 1, 3600},
                       {HOURS, 2, 7200},
                       {HOURS, 3, 10800},
                       {HOURS, 6, 21600},
                       {HOURS, 12, 43200},
                       {DAYS, 1, 86400},
                       {DAYS, 2, 2 * 86400},
                       {DAYS, 7, 7 * 86400},
                       {DAYS, 14, 14 * 86400},
                       {MONTHS_UNIT, 1, 30 * 86400},
                       {MONTHS_UNIT, 3, 91 * 86400},
                       {MONTHS_UNIT, 6, 182 * 86400},
                       {MONTHS_UNIT, 12, 365 * 86400}};

std::string Label(const CStep& step, const struct tm& tmAt) {
    char szText[32];
    if (step.eUnit == HOURS)
        std::snprintf(szText, sizeof(szText), "%02d:%02d", tmAt.tm_hour, tmAt.tm_min);
    else if (step.eUnit == DAYS)
        std::snprintf(szText, sizeof(szText), "%s %02d", MONTHS[tmAt.tm_mon], tmAt.tm_mday);
    else if (step.nCount < 12)
        std::snprintf(szText, sizeof(szText), "%s %d", MONTHS[tmAt.tm_mon], tmAt.tm_year + 1900);
    else
        std::snprintf(szText, sizeof(szText), "%d", tmAt.tm_year + 1900);
    return szText;
}

} // namespace

std::vector<std::pair<int64_t, std::string>> CHistoryText::TimeTicks(int64_t tFrom, int64_t tTo,
                                                                     int nMax) {
    std::vector<std::pair<int64_t, std::string>> arrTicks;
    if (tTo <= tFrom)
        return arrTicks;
    const CStep* pStep = std::end(STEPS) - 1;
    for (const CStep& step : STEPS)
        if ((tTo - tFrom) / step.nApproxSeconds <= std::max(nMax, 1)) {
            pStep = &step;
            break;
        }
    const time_t tStart = static_cast<time_t>(tFrom);
    struct tm tmAt = {};
    if (!localtime_r(&tStart, &tmAt))
        return arrTicks;
    // The round time at or before the start, then forward in steps of the calendar.
    tmAt.tm_sec = tmAt.tm_min = 0;
    if (pStep->eUnit == HOURS)
        tmAt.tm_hour -= tmAt.tm_hour % pStep->nCount;
    else
        tmAt.tm_hour = 0;
    if (pStep->eUnit == MONTHS_UNIT) {
        tmAt.tm_mday = 1;
        tmAt.tm_mon -= tmAt.tm_mon % pStep->nCount;
    }
    for (int nGuard = 0; nGuard < 1000; ++nGuard) {
        tmAt.tm_isdst = -1;
        struct tm tmNormal = tmAt;
        const int64_t t = mktime(&tmNormal);
        if (t >= tTo || t == -1)
            break;
        if (t >= tFrom)
            arrTicks.emplace_back(t, Label(*pStep, tmNormal));
        tmAt = tmNormal;
        (pStep->eUnit == HOURS  ? tmAt.tm_hour
         : pStep->eUnit == DAYS ? tmAt.tm_mday
                                : tmAt.tm_mon) += pStep->nCount;
    }
    return arrTicks;
}

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
