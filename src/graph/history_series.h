#pragma once

#include "core/test_record.h"

#include <cstdint>
#include <functional>
#include <vector>

class CHistoryStore;

// A host's history over a time range as a fixed number of equal columns (one per pixel or so):
// the average ping and web response time of each and its up and down tests. A year of tests
// is read a slice at a time, so memory stays bounded by the columns, never by the history.
class CHistorySeries {
public:
    // Tests are read in slices of this many seconds.
    static constexpr int64_t SLICE_SECONDS = 7 * 86400;

    struct CColumn {
        int32_t nPingTenths = -1;     // average of the answered echoes; -1: none
        int32_t nResponseTenths = -1; // average web response (total) of up tests; -1: none
        int nUp = 0;
        int nDown = 0;
    };

    // Calls fnTest for every test of [tFrom, tTo), oldest first, a slice at a time. False
    // when fnTest asked to stop.
    static bool ForEachTest(CHistoryStore& store, int64_t nHostId, int64_t tFrom, int64_t tTo,
                            const std::function<bool(const CTestRecord&)>& fnTest);

    // Reads [tFrom, tTo) into nColumns columns (at least 1).
    void Read(CHistoryStore& store, int64_t nHostId, int64_t tFrom, int64_t tTo, int nColumns);
    // The same a test at a time: Start, Add each test, Finish.
    void Start(int64_t tFrom, int64_t tTo, int nColumns);
    void Add(const CTestRecord& test);
    void Finish();

    // The column a time falls in, clamped to the range.
    int ColumnOf(int64_t tWhen) const;

    int64_t m_tFrom = 0;
    int64_t m_tTo = 0;
    std::vector<CColumn> m_arrColumns;

private:
    struct CSums {
        int64_t nPing = 0, nPings = 0, nResponse = 0, nResponses = 0;
    };
    std::vector<CSums> m_arrSums;
};
