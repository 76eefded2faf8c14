#pragma once

#include <cstdint>
#include <ctime>

constexpr uint32_t TIME_ZONE_ID_UNKNOWN = 0;  // the zone has no daylight time
constexpr uint32_t TIME_ZONE_ID_STANDARD = 1; // standard time is in effect
constexpr uint32_t TIME_ZONE_ID_DAYLIGHT = 2; // daylight time is in effect

// The local zone as biases in minutes: UTC = local time + bias (+ daylight bias while daylight
// time is in effect). A zone one hour east of UTC has Bias -60.
struct TIME_ZONE_INFORMATION {
    int32_t Bias;
    int32_t StandardBias;
    int32_t DaylightBias;
};

// The local zone (TZ and the system's zone files) as it stands at time t; returns one of the
// TIME_ZONE_ID_ values.
uint32_t GetTimeZoneInformation(time_t t, TIME_ZONE_INFORMATION& tzi);
