#include "platform/time_zone.h"

#include <initializer_list>

namespace {

bool LocalOffset(time_t t, long& nOffsetSeconds, bool& bDaylight) {
    tm tmLocal{};
    if (localtime_r(&t, &tmLocal) == nullptr)
        return false;
    nOffsetSeconds = tmLocal.tm_gmtoff;
    bDaylight = tmLocal.tm_isdst > 0;
    return true;
}

} // namespace

uint32_t GetTimeZoneInformation(time_t t, TIME_ZONE_INFORMATION& tzi) {
    tzi = TIME_ZONE_INFORMATION{0, 0, 0};
    long nOffset = 0;
    bool bDaylight = false;
    if (!LocalOffset(t, nOffset, bDaylight))
        return TIME_ZONE_ID_UNKNOWN;
    if (!bDaylight) {
        tzi.Bias = static_cast<int32_t>(-nOffset / 60);
        // Look half a year either way for daylight time, to tell "standard" from "none".
        for (time_t tOther : {t - 182 * 86400L, t + 182 * 86400L}) {
            long nOtherOffset = 0;
            bool bOtherDaylight = false;
            if (LocalOffset(tOther, nOtherOffset, bOtherDaylight) && bOtherDaylight) {
                tzi.DaylightBias = static_cast<int32_t>(-(nOtherOffset - nOffset) / 60);
                return TIME_ZONE_ID_STANDARD;
            }
        }
        return TIME_ZONE_ID_UNKNOWN;
    }
    // Daylight time now: the bias is that of standard time, found half a year away.
    long nStandard = nOffset;
    for (time_t tOther : {t - 182 * 86400L, t + 182 * 86400L}) {
        long nOtherOffset = 0;
        bool bOtherDaylight = true;
        if (LocalOffset(tOther, nOtherOffset, bOtherDaylight) && !bOtherDaylight) {
            nStandard = nOtherOffset;
            break;
        }
    }
    tzi.Bias = static_cast<int32_t>(-nStandard / 60);
    tzi.DaylightBias = static_cast<int32_t>(-(nOffset - nStandard) / 60);
    return TIME_ZONE_ID_DAYLIGHT;
}
