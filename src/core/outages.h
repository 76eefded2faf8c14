#pragma once

#include "core/test_record.h"

#include <cstdint>
#include <vector>

// Builds a host's outages from its tests, fed one at a time in the order they were recorded
// (a year of tests never needs to be in memory at once).
//
// - Consecutive down tests form one outage: tStart is the first of them, strReason its
//   reason, nTests their count, tLastSeenUp the up test before them (0: none was seen).
// - The first up test after them ends it: tEnd is its time.
// - A break in the tests ends an open outage at its last down test (bEndUnknown): nothing is
//   known of the host after it, and a down test after the break starts a new outage. A break
//   is a gap longer than an hour and longer than three times the shortest spacing of the
//   tests so far (the program was closed, or the host's tests were stopped), or a test
//   earlier than the one before (the clock was set back: times across it cannot be
//   subtracted, so an outage after it has no last seen up test from before it).
// - Down tests at the end of the tests are an outage still going on (tEnd 0) while the last
//   of them is no older than such a gap at tNow; older, the tests were stopped and it ends at
//   the last down test, as at a break.
class COutageBuilder {
public:
    static constexpr int64_t MIN_BREAK_SECONDS = 3600;

    void Add(const CTestRecord& test);
    // The outages of everything added, oldest first; the builder starts afresh.
    std::vector<COutage> Finish(int64_t tNow);

    // All outages of a whole sequence at once.
    static std::vector<COutage> Build(const std::vector<CTestRecord>& arrTests, int64_t tNow);

private:
    bool IsBreak(int64_t tFrom, int64_t tTo) const;
    void EndAtLastDown();

    std::vector<COutage> m_arrOutages;
    bool m_bAny = false;
    bool m_bOpen = false; // the last outage has not ended yet
    int64_t m_tPrevious = 0;
    int64_t m_tLastUp = 0;
    int64_t m_tLastDown = 0;
    int64_t m_nShortestSpacing = -1;
};
