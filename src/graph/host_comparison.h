#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CHistoryStore;
class CHost;
class CVantrelDoc;
class CWaitObserver;

// The figures that the comparison of hosts shows, copied from the hosts under their locks so
// that later test cycles do not change a comparison on screen. Standard library only.
class CHostComparison {
public:
    // Ping times of at most this many of the newest test cycles are drawn as lines.
    static constexpr int RECENT_CYCLES = 288;

    struct SHost {
        std::string strName;
        // The newest history entries, oldest first; the last one is 1 cycle ago.
        std::vector<uint32_t> arrRecent;
        // Of the whole history; meaningless while bHasPings is false.
        bool bHasPings = false;
        uint32_t nMin = 0;
        uint32_t nP10 = 0;
        uint32_t nMedian = 0;
        uint32_t nP90 = 0;
        uint32_t nMax = 0;
        int32_t nTests = 0;
        int32_t nTestsUp = 0;
        std::string strTimeTested;
        // From the test history, once ReadHistory found one: the host's id there; the average
        // ping of each of the comparison's HISTORY_COLUMNS spans of time (-1: none); the web
        // response time of its up tests over the whole span (-1: none).
        int64_t nHistoryId = 0;
        std::vector<int32_t> arrTimedPingTenths;
        int32_t nResponseMedianTenths = -1;
        int32_t nResponseP10Tenths = -1;
        int32_t nResponseP90Tenths = -1;
    };

    // The ping lines from the history: over at most this long, in this many columns.
    static constexpr int64_t HISTORY_SECONDS = 30 * 86400;
    static constexpr int HISTORY_COLUMNS = 600;

    // The rows to compare: the ticked rows of arrMarked, or every row when none is ticked.
    static std::vector<int> ChooseRows(const std::vector<int>& arrMarked, size_t nRows);

    // Copies the figures of one host; the caller holds its lock.
    static SHost Snapshot(const CHost& host);
    // Copies the hosts of arrRows, each under its own lock, waiting for the test worker with
    // pWait (may be null) while it holds one.
    void TakeSnapshot(CVantrelDoc& doc, const std::vector<int>& arrRows, CWaitObserver* pWait);
    // Copies one host / the hosts of arrRows from a store that no worker tests (the
    // command-line companion).
    void Add(const CHost& host) { m_arrHosts.push_back(Snapshot(host)); }
    void AddHosts(const std::vector<CHost*>& arrHosts, const std::vector<int>& arrRows);

    // Reads the hosts' history up to tNow: their ping times on a real time axis and their web
    // response times, over the last HISTORY_SECONDS or since the first test of any of them.
    void ReadHistory(CHistoryStore& store, int64_t tNow);
    // Whether ReadHistory found any test: the picture then draws from the history.
    bool HasHistory() const { return m_tHistoryTo > m_tHistoryFrom; }
    int64_t GetHistoryFrom() const { return m_tHistoryFrom; }
    int64_t GetHistoryTo() const { return m_tHistoryTo; }

    const std::vector<SHost>& GetHosts() const { return m_arrHosts; }
    // Indices of the hosts with ping times, by median, fastest first (ties keep list order).
    std::vector<size_t> ByMedian() const;
    // Up tests as a share of all tests, and down tests likewise; 0 before the first test.
    static double UpShare(const SHost& host);
    static double DownShare(const SHost& host);

private:
    std::vector<SHost> m_arrHosts;
    int64_t m_tHistoryFrom = 0;
    int64_t m_tHistoryTo = 0;
};
