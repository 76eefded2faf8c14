#include "report/report_history.h"

#include "core/history_store.h"

#include <algorithm>

CReportHistory CReportHistory::Measure(CHistoryStore& store, int64_t nHostId, int64_t tNow) {
    CReportHistory history;
    if (nHostId == 0)
        return history;
    // A test in the second of tNow still counts.
    const int64_t tEnd = tNow + 1, tFrom7 = tNow - 7 * DAY_SECONDS,
                  tFrom30 = tNow - 30 * DAY_SECONDS;
    const CHistoryStore::CSummary all = store.Summarize(nHostId, INT64_MIN, tEnd);
    history.nTests = all.nTests, history.tFirst = all.tFirst, history.tLast = all.tLast;
    const CHistoryStore::CSummary week = store.Summarize(nHostId, tFrom7, tEnd);
    history.nTests7 = week.nTests, history.nUp7 = week.nTestsUp;
    const CHistoryStore::CSummary month = store.Summarize(nHostId, tFrom30, tEnd);
    history.nTests30 = month.nTests, history.nUp30 = month.nTestsUp;
    history.nMedianTenths = month.nMedianTotalTenths;
    history.nEchoesSent = month.nEchoesSent, history.nEchoesAnswered = month.nEchoesAnswered;
    if (month.tCertExpiry != 0) {
        history.bCert = true;
        // Rounded down: a certificate expiring in 23 hours has 0 days left.
        const int64_t nLeft = month.tCertExpiry - tNow;
        history.nCertDaysLeft =
            nLeft >= 0 ? nLeft / DAY_SECONDS : -((-nLeft - 1) / DAY_SECONDS) - 1;
    }
    for (const COutage& outage : store.Outages(nHostId, tFrom30, tEnd)) {
        // Only the part within the 30 days counts; one still going on lasts until now.
        const int64_t tStop = std::min(outage.tEnd == 0 ? tNow : outage.tEnd, tNow);
        const int64_t nSeconds = std::max<int64_t>(tStop - std::max(outage.tStart, tFrom30), 0);
        ++history.nOutages;
        history.nDownSeconds += nSeconds;
        history.nLongestSeconds = std::max(history.nLongestSeconds, nSeconds);
    }
    return history;
}
