#include "platform/time_zone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

uint32_t ZoneAt(const char* pszZone, time_t t, TIME_ZONE_INFORMATION& tzi) {
    const char* pszOld = getenv("TZ");
    std::string strOld = pszOld != nullptr ? pszOld : "";
    setenv("TZ", pszZone, 1);
    tzset();
    uint32_t nResult = GetTimeZoneInformation(t, tzi);
    if (pszOld != nullptr)
        setenv("TZ", strOld.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    return nResult;
}

constexpr time_t DECEMBER_2026 = 1796465203;
constexpr time_t JULY_2026 = 1782907200;

} // namespace

TEST(TimeZone, BiasesOfZonesWithAndWithoutDaylightTime) {
    TIME_ZONE_INFORMATION tzi;
    EXPECT_EQ(ZoneAt("IST-5:30", DECEMBER_2026, tzi), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(tzi.Bias, -330);
    EXPECT_EQ(ZoneAt("NST3:30", DECEMBER_2026, tzi), TIME_ZONE_ID_UNKNOWN);
    EXPECT_EQ(tzi.Bias, 210);
    const char* pszCentral = "CET-1CEST,M3.5.0,M10.5.0/3";
    EXPECT_EQ(ZoneAt(pszCentral, DECEMBER_2026, tzi), TIME_ZONE_ID_STANDARD);
    EXPECT_EQ(tzi.Bias, -60);
    EXPECT_EQ(tzi.DaylightBias, -60);
    EXPECT_EQ(ZoneAt(pszCentral, JULY_2026, tzi), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(tzi.Bias, -60);
    EXPECT_EQ(tzi.DaylightBias, -60);
    // Southern hemisphere: daylight time in December.
    EXPECT_EQ(ZoneAt("NZST-12NZDT,M9.5.0,M4.1.0/3", DECEMBER_2026, tzi), TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(tzi.Bias + tzi.DaylightBias, -780);
}
