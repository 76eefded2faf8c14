// bench_history_window [--dir=FOLDER]: the windows on the year of test history that
// `bench_history --dir=FOLDER --reuse` leaves in FOLDER (default /tmp): 30 hosts tested every
// 5 minutes for 365 days, 3.15 million tests. Prints the time until the History window of one
// host is first painted showing 30 days (goal 300 ms) and all of the year (goal 1 s), until
// Compare Hosts of the 30 hosts over 30 days is painted (goal 1 s), and the peak memory after
// each: it does not grow with the range.
#include "core/history_store.h"
#include "core/host.h"
#include "graph/comparison_chart.h"
#include "graph/history_dlg.h"
#include "graph/host_comparison.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <vector>

namespace {

constexpr int HOSTS = 30;
constexpr int64_t T_END = 1796083200; // where bench_history's year ends

double PeakRssMb() {
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double MsSince(std::chrono::steady_clock::time_point tStart) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tStart)
        .count();
}

[[noreturn]] void Fail(const std::string& strWhy) {
    std::fprintf(stderr, "bench_history_window: %s\n", strWhy.c_str());
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string strDir = "/tmp";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--dir=", 6) == 0)
            strDir = argv[i] + 6;
    const std::string strPath = strDir + "/bench_history.history";
    std::vector<int64_t> arrIds;
    {
        CHistoryStore store;
        if (store.OpenExisting(strPath) != CHistoryStore::EOpen::OK)
            Fail(store.GetLastError() + " (made by: bench_history --dir=" + strDir + " --reuse)");
        std::vector<CHistoryStore::CHostKey> arrKeys;
        for (int i = 0; i < HOSTS; ++i)
            arrKeys.push_back({"Host " + std::to_string(i),
                               "https://www" + std::to_string(i) + ".example.com/test.html"});
        arrIds = store.Find(arrKeys);
        if (std::count(arrIds.begin(), arrIds.end(), 0) > 0)
            Fail("the database holds other hosts than bench_history's");
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
    if (store.OpenExisting(strPath) != CHistoryStore::EOpen::OK)
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
    return 0;
}
