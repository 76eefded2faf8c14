// bench_history [--dir=FOLDER] [--reuse]: the test history at a year's size, 30 hosts tested
// every 5 minutes for 365 days (3.15 million tests), in FOLDER (default /tmp). Prints the
// database's size, the time of one cycle's writes for 200 hosts, the reads of one host over
// 30 days and over the year, Summarize of 30 hosts over 30 days, the start-up check, and the
// peak memory. --reuse keeps a database a previous run left (it is removed otherwise).
#include "core/history_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <vector>

namespace {

constexpr int HOSTS = 30;
constexpr int DAYS = 365;
constexpr int64_t INTERVAL = 300;
constexpr int64_t CYCLES = DAYS * 86400 / INTERVAL;
constexpr int64_t T_END = 1796083200; // the year ends here
constexpr int64_t T_START = T_END - CYCLES * INTERVAL;

long PeakRssKb() {
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The median and the slowest of nRuns, in ms.
std::pair<double, double> Time(int nRuns, const std::function<void()>& fn) {
    std::vector<double> arr;
    for (int i = 0; i < nRuns; ++i) {
        const auto tStart = std::chrono::steady_clock::now();
        fn();
        arr.push_back(Ms(std::chrono::steady_clock::now() - tStart));
    }
    std::sort(arr.begin(), arr.end());
    return {arr[arr.size() / 2], arr.back()};
}

// A plausible test: mostly up with varying timings, now and then down.
CTestRecord MakeTest(int64_t nHostId, int64_t tWhen, uint32_t& nSeed) {
    nSeed = nSeed * 1664525u + 1013904223u;
    const uint32_t r = nSeed >> 8;
    CTestRecord t;
    t.nHostId = nHostId;
    t.tWhen = tWhen;
    t.bUp = r % 100 != 0;
    t.nMethod = 0;
    t.nEchoesSent = 4;
    if (!t.bUp) {
        t.strReason = r % 3 ? "timed out" : "connection refused";
        return t;
    }
    t.nFamily = AF_INET;
    t.nEchoesAnswered = 4 - static_cast<int>(r % 50 == 0);
    t.nPingTenths = static_cast<int32_t>(150 + r % 900);
    t.nHttpStatus = 200;
    t.nDnsTenths = static_cast<int32_t>(10 + r % 300);
    t.nConnectTenths = t.nDnsTenths + t.nPingTenths;
    t.nTlsTenths = t.nConnectTenths + 2 * t.nPingTenths;
    t.nFirstByteTenths = t.nTlsTenths + static_cast<int32_t>(500 + (r >> 4) % 3000);
    t.nTotalTenths = t.nFirstByteTenths + static_cast<int32_t>((r >> 8) % 400);
    t.tCertExpiry = T_START + (1 + (tWhen - T_START) / (90 * 86400)) * 90 * 86400;
    return t;
}

std::vector<CHistoryStore::CHostKey> Keys(int nCount) {
    std::vector<CHistoryStore::CHostKey> arr;
    for (int i = 0; i < nCount; ++i)
        arr.push_back({"Host " + std::to_string(i),
                       "https://www" + std::to_string(i) + ".example.com/test.html"});
    return arr;
}

[[noreturn]] void Fail(const CHistoryStore& store) {
    std::fprintf(stderr, "bench_history: %s\n", store.GetLastError().c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    std::string strDir = "/tmp";
    bool bReuse = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--dir=", 6) == 0)
            strDir = argv[i] + 6;
        else if (std::strcmp(argv[i], "--reuse") == 0)
            bReuse = true;
    }
    const std::string strPath = strDir + "/bench_history.history";
    const auto fnRemove = [&] {
        for (const char* pszSuffix : {"", "-wal", "-shm"})
            std::filesystem::remove(strPath + pszSuffix);
    };
    if (!bReuse)
        fnRemove();

    CHistoryStore store;
    auto tStart = std::chrono::steady_clock::now();
    const CHistoryStore::EOpen eOpen = store.Open(strPath);
    if (eOpen == CHistoryStore::EOpen::FAILED || eOpen == CHistoryStore::EOpen::MOVED)
        Fail(store);
    const double nOpenMs = Ms(std::chrono::steady_clock::now() - tStart);
    std::vector<int64_t> arrIds = store.Attach(Keys(HOSTS));
    if (eOpen == CHistoryStore::EOpen::CREATED) {
        std::printf("filling %d hosts x %lld tests (%lld)...\n", HOSTS,
                    static_cast<long long>(CYCLES), static_cast<long long>(HOSTS * CYCLES));
        tStart = std::chrono::steady_clock::now();
        uint32_t nSeed = 1;
        std::vector<CTestRecord> arrDay;
        // A day of cycles per transaction: the figures below are about reading them.
        for (int64_t nCycle = 0; nCycle < CYCLES; ++nCycle) {
            for (int64_t nId : arrIds)
                arrDay.push_back(MakeTest(nId, T_START + nCycle * INTERVAL, nSeed));
            if (arrDay.size() >= 288 * HOSTS || nCycle + 1 == CYCLES) {
                if (!store.WriteCycle(arrDay))
                    Fail(store);
                arrDay.clear();
            }
        }
        std::printf("filled in %.1f s\n", Ms(std::chrono::steady_clock::now() - tStart) / 1000.0);
        store.Close();
        tStart = std::chrono::steady_clock::now();
        if (store.Open(strPath) != CHistoryStore::EOpen::OK)
            Fail(store);
        std::printf("open with its quick check, first start after filling: %.0f ms\n",
                    Ms(std::chrono::steady_clock::now() - tStart));
        arrIds = store.Attach(Keys(HOSTS));
    } else {
        std::printf("open with its quick check: %.0f ms\n", nOpenMs);
    }
    std::printf("database size: %.1f MB (goal <= 300 MB) for %lld tests\n",
                static_cast<double>(store.GetSizeBytes()) / 1e6,
                static_cast<long long>(HOSTS * CYCLES));

    // One cycle of 200 hosts, as the worker writes it, appended to the year.
    const std::vector<int64_t> arr200 = store.Attach(Keys(200));
    uint32_t nSeed = 7;
    int64_t tCycle = T_END;
    const auto [nCycleMedian, nCycleMax] = Time(50, [&] {
        std::vector<CTestRecord> arrCycle;
        for (int64_t nId : arr200)
            arrCycle.push_back(MakeTest(nId, tCycle, nSeed));
        tCycle += INTERVAL;
        if (!store.WriteCycle(arrCycle))
            Fail(store);
    });
    std::printf("one cycle's writes, 200 hosts: median %.2f ms, slowest of 50 %.2f ms (goal <= 5 "
                "ms)\n",
                nCycleMedian, nCycleMax);

    const int64_t nHost = arrIds[HOSTS / 2];
    for (const auto& [pszRange, tFrom] :
         {std::pair<const char*, int64_t>{"30 days", T_END - 30 * 86400}, {"the year", T_START}}) {
        size_t nTests = 0, nOutages = 0;
        CHistoryStore::CSummary summary;
        const double nTestsMs =
            Time(5, [&] { nTests = store.Tests(nHost, tFrom, T_END).size(); }).first;
        const double nSummaryMs =
            Time(5, [&] { summary = store.Summarize(nHost, tFrom, T_END); }).first;
        const double nOutagesMs =
            Time(5, [&] { nOutages = store.Outages(nHost, tFrom, T_END).size(); }).first;
        std::printf("one host over %s (%zu tests, %zu outages, median response %.1f ms): "
                    "Tests %.1f ms, Summarize %.1f ms, Outages %.1f ms, together %.1f ms\n",
                    pszRange, nTests, nOutages, summary.nMedianTotalTenths / 10.0, nTestsMs,
                    nSummaryMs, nOutagesMs, nTestsMs + nSummaryMs + nOutagesMs);
    }
    const auto [nAllMs, nAllMax] = Time(3, [&] {
        for (int64_t nId : arrIds)
            store.Summarize(nId, T_END - 30 * 86400, T_END);
    });
    std::printf("Summarize of %d hosts over 30 days: median %.0f ms, slowest %.0f ms\n", HOSTS,
                nAllMs, nAllMax);
    std::printf("peak memory (RSS): %.1f MB\n", static_cast<double>(PeakRssKb()) / 1024.0);
    store.Close();
    if (!bReuse)
        fnRemove();
    return 0;
}
