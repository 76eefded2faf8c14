#pragma once

#include "core/test_record.h"

#include <cstdint>
#include <string>

class CHistoryStore;

// A host's tests as CSV, the columns and bytes of `vantrelctl history`: one heading line, then
// one line per test, times in UTC, durations in milliseconds with one decimal, empty where the
// test never got that far, texts in UTF-8 and quoted where they hold a comma, quote or line
// break.
class CHistoryCsv {
public:
    static const char* const HEADER;

    static std::string Line(const CTestRecord& test);

    // Writes the tests of [tFrom, tTo) to strPath through a file that replaces the old one
    // only when complete. False with the reason in strError.
    static bool Write(CHistoryStore& store, int64_t nHostId, int64_t tFrom, int64_t tTo,
                      const std::string& strPath, std::string& strError);
};
