#pragma once

#include "core/test_record.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The texts the history views show for recorded tests: times, durations and the last
// result. Standard library only; times are shown in the local time zone.
class CHistoryText {
public:
    // "312 ms" (whole milliseconds from 10 ms up), "4.2 ms" below; "-" for -1 (none).
    static std::string Milliseconds(int32_t nTenths);
    // "Down: connection refused", "Up: HTTP 200, first byte 312 ms"; empty before the
    // first recorded test.
    static std::string LastResult(const CTestRecord& test);
    // "45s", "12m 05s", "2h 05m", "3d 04h 10m".
    static std::string Duration(int64_t nSeconds);
    // "2026-12-08 10:55" in local time.
    static std::string LocalTime(int64_t tWhen);
    // "2026-12-08T10:55:00Z".
    static std::string UtcTime(int64_t tWhen);
    // "99.95%", or "-" without tests.
    static std::string Percent(int64_t nPart, int64_t nWhole);
    // The round local times to label in [tFrom, tTo), at most about nMax of them, each with
    // its text ("06:00", "Dec 08", "Jan 2027", "2027").
    static std::vector<std::pair<int64_t, std::string>> TimeTicks(int64_t tFrom, int64_t tTo,
                                                                  int nMax);
};
