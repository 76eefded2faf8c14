#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    };

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

    const std::vector<SHost>& GetHosts() const { return m_arrHosts; }
    // Indices of the hosts with ping times, by median, fastest first (ties keep list order).
    std::vector<size_t> ByMedian() const;
    // Up tests as a share of all tests, and down tests likewise; 0 before the first test.
    static double UpShare(const SHost& host);
    static double DownShare(const SHost& host);

private:
    std::vector<SHost> m_arrHosts;
};
