// bench_history_window [--dir=FOLDER] [--reuse]: the windows on a year of test history, 30
// hosts tested every 5 minutes for 365 days (3.15 million tests) in FOLDER (default /tmp).
// Prints the time until the History window of one host is first painted showing 30 days
// (goal 300 ms) and all of the year (goal 1 s), until Compare Hosts of the 30 hosts over 30
// days is painted (goal 1 s), and the peak memory after each. --reuse keeps the database a
// previous run left (it is removed otherwise).
#include "core/history_store.h"
#include "core/host.h"
#include "graph/comparison_chart.h"
#include "graph/history_dlg.h"
#include "graph/host_comparison.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <tuple>
#include <vector>

namespace {

constexpr int HOSTS = 30;
constexpr int64_t INTERVAL = 300;
constexpr int64_t CYCLES = 365 * 86400 / INTERVAL;
constexpr int64_t T_END = 1796083200;
constexpr int64_t T_START = T_END - CYCLES * INTERVAL;

double PeakRssMb() {
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double MsSince(std::chrono::steady_clock::time_point tStart) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart)
        .count();
}

// Mostly up with varying timings; now and then a run of down tests.
CTestRecord MakeTest(int64_t nHostId, int64_t tWhen, uint32_t& nSeed) {
    nSeed = nSeed * 1664525u + 1013904223u;
    const uint32_t r = nSeed >> 8;
    CTestRecord t;
    t.nHostId = nHostId;
    t.tWhen = tWhen;
    t.nEchoesSent = 4;
    t.bUp = (tWhen / INTERVAL + nHostId * 7) % 2000 >= 3 && r % 200 != 0;
    if (!t.bUp) {
        t.strReason = "timed out";
        return t;
    }
    t.nFamily = AF_INET;
    t.nEchoesAnswered = 4 - static_cast<int>(r % 50 == 0);
    t.nPingTenths = static_cast<int32_t>(150 + r % 900);
    t.nHttpStatus = 200;
    t.nFirstByteTenths = static_cast<int32_t>(1000 + (r >> 4) % 3000);
    t.nTotalTenths = t.nFirstByteTenths + static_cast<int32_t>((r >> 8) % 400);
    t.tCertExpiry = T_END + 40 * 86400;
    return t;
}

std::vector<CHistoryStore::CHostKey> Keys() {
    std::vector<CHistoryStore::CHostKey> arr;
    for (int i = 0; i < HOSTS; ++i)
        arr.push_back(
            {"Host " + std::to_string(i), "https://www" + std::to_string(i) + ".example/"});
    return arr;
}

[[noreturn]] void Fail(const std::string& strWhy) {
    std::fprintf(stderr, "bench_history_window: %s\n", strWhy.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string strDir = "/tmp";
    bool bReuse = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--dir=", 6) == 0)
            strDir = argv[i] + 6;
        else if (std::strcmp(argv[i], "--reuse") == 0)
            bReuse = true;
    }
    const std::string strPath = strDir + "/bench_history_window.history";
    const auto fnRemove = [&] {
        for (const char* pszSuffix : {"", "-wal", "-shm"})
            std::filesystem::remove(strPath + pszSuffix);
    };
    if (!bReuse)
        fnRemove();
    std::vector<int64_t> arrIds;
    {
        CHistoryStore store;
        const CHistoryStore::EOpen eOpen = store.Open(strPath);
        if (eOpen == CHistoryStore::EOpen::FAILED || eOpen == CHistoryStore::EOpen::MOVED)
            Fail(store.GetLastError());
        arrIds = store.Attach(Keys());
        if (eOpen == CHistoryStore::EOpen::CREATED) {
            std::printf("filling %d hosts x %lld tests...\n", HOSTS,
                        static_cast<long long>(CYCLES));
            uint32_t nSeed = 1;
            std::vector<CTestRecord> arrDay;
            for (int64_t nCycle = 0; nCycle < CYCLES; ++nCycle) {
                for (int64_t nId : arrIds)
                    arrDay.push_back(MakeTest(nId, T_START + nCycle * INTERVAL, nSeed));
                if (arrDay.size() >= 288 * HOSTS || nCycle + 1 == CYCLES) {
                    if (!store.WriteCycle(arrDay))
                        Fail(store.GetLastError());
                    arrDay.clear();
                }
            }
        }
    }
    QApplication app(argc, argv);
    std::printf("start: peak memory %.1f MB\n", PeakRssMb());

    for (const auto& [pszRange, nRange, nGoal] :
         {std::tuple("30 days", int(CHistoryDlg::RANGE_MONTH), 300),
          std::tuple("the year", int(CHistoryDlg::RANGE_ALL), 1000)}) {
        const auto tStart = std::chrono::steady_clock::now();
        CHistoryDlg dlg;
        if (!dlg.Open(strPath, arrIds[HOSTS / 2], "Host", "https://www.example/", T_END))
            Fail("the History window did not open");
        dlg.SetRange(nRange);
        dlg.resize(900, 720);
        QImage image(dlg.size(), QImage::Format_RGB32);
        dlg.render(&image);
        std::printf("History window, one host, %s: first painted in %.0f ms (goal %d ms); "
                    "peak memory %.1f MB\n",
                    pszRange, MsSince(tStart), nGoal, PeakRssMb());
    }

    const auto tStart = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<CHost>> arrHosts;
    CHostComparison comparison;
    for (int i = 0; i < HOSTS; ++i) {
        auto& pHost = arrHosts.emplace_back(std::make_unique<CHost>());
        pHost->m_strName = "Host " + std::to_string(i);
        pHost->m_nHistoryId = arrIds[static_cast<size_t>(i)];
        comparison.Add(*pHost);
    }
    CHistoryStore store;
    if (store.OpenForReading(strPath) != CHistoryStore::EOpen::OK)
        Fail(store.GetLastError());
    comparison.ReadHistory(store, T_END);
    const QSize size(900, 1500);
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter dc(&image);
        CComparisonChart(comparison).Paint(dc, size);
    }
    std::printf("Compare Hosts, %d hosts over 30 days: painted in %.0f ms (goal 1000 ms); peak "
                "memory %.1f MB\n",
                HOSTS, MsSince(tStart), PeakRssMb());
    store.Close();
    if (!bReuse)
        fnRemove();
    return 0;
}
