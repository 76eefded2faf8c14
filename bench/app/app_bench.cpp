// The desktop program, offscreen and left alone, with hosts in network namespaces: while the
// alert box of a black-holed host stays open for BOX_SECONDS, how often the healthy host is
// tested (the longest gap between two of its tests); then how long an exit (SIGTERM) takes
// while the worker waits for a black-holed echo, in the wait between cycles, for a silent web
// server, and while an alert e-mail waits for a mail server that never answers.
//
// usage: bench_app [BOX_SECONDS]   (default 300; root: the hosts live in network namespaces)

#include "e2e/app/app_lab.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace app_lab;

namespace {

long long Ms(Clock::duration d) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// The times at which the server's connection count rose, for nSeconds.
std::vector<Clock::time_point> WatchTests(const CLoopbackHttpServer& server, int nSeconds) {
    std::vector<Clock::time_point> arrTimes;
    int nSeen = server.GetConnections();
    for (const auto tEnd = Clock::now() + std::chrono::seconds(nSeconds); Clock::now() < tEnd;) {
        std::this_thread::sleep_for(5ms);
        if (const int n = server.GetConnections(); n > nSeen) {
            nSeen = n;
            arrTimes.push_back(Clock::now());
        }
    }
    return arrTimes;
}

void ReportExit(CAppLab& lab, const char* pszWhile) {
    const auto took = lab.Terminate(pszWhile);
    if (took >= 1s)
        std::printf("  (goal: under 1000 ms)\n");
}

} // namespace

int main(int argc, char** argv) {
    const int nBoxSeconds = argc > 1 ? std::atoi(argv[1]) : 300;
    if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty()) {
        std::fprintf(stderr, "bench_app: %s\n", strWhy.c_str());
        return 1;
    }
    try {
        CAppLab lab;
        lab.Open();
        CLoopbackHttpServer& good = *lab.StartWeb(1, EMode::Reply);
        CLoopbackHttpServer& flaky = *lab.StartWeb(2, EMode::Reply);
        lab.WriteData({"http://10.77.1.2/", "http://10.77.2.2/"});
        lab.StartSmtpSink();
        lab.StartProgram();
        CAppLab::Require(WaitFor([&] { return flaky.GetConnections() > 0; }, 20s), "no first test");
        CAppLab::Require(lab.m_lab.Ip(lab.Ns(2), "route add blackhole 10.77.2.1/32"),
                         "cannot black-hole host 2");
        CAppLab::Require(WaitFor([&] { return !lab.Mail(1).empty(); }, 60s), "no alert e-mail");
        std::printf("alert box open (nobody closes it) for %d s; interval 1 min of 1000 ms; the "
                    "black-holed host's echoes take 4 x 5 s per cycle\n",
                    nBoxSeconds);
        const std::vector<Clock::time_point> arrTests = WatchTests(good, nBoxSeconds);
        Clock::duration longest{};
        for (size_t i = 1; i < arrTests.size(); ++i)
            longest = std::max(longest, arrTests[i] - arrTests[i - 1]);
        std::printf("healthy host: %zu tests, longest gap between two tests %lld ms\n",
                    arrTests.size(), Ms(longest));
        std::this_thread::sleep_for(2s); // inside the black-holed host's echo
        ReportExit(lab, "while an echo waits for a black hole");
        lab.m_lab.Ip(lab.Ns(2), "route del blackhole 10.77.2.1/32");

        lab.WriteData({"http://10.77.1.2/"});
        lab.StartProgram();
        const int nBefore = good.GetConnections();
        CAppLab::Require(WaitFor([&] { return good.GetConnections() > nBefore; }, 20s), "no test");
        std::this_thread::sleep_for(300ms);
        ReportExit(lab, "in the wait between cycles");

        CLoopbackHttpServer& silent = *lab.StartWeb(2, EMode::Silent, 8080);
        lab.WriteData({"http://10.77.2.2:8080/"});
        lab.StartProgram();
        CAppLab::Require(WaitFor([&] { return silent.GetConnections() > 0; }, 20s), "no request");
        std::this_thread::sleep_for(300ms);
        ReportExit(lab, "while a web request waits for a silent server");

        // A host that refuses from its second test on: its alert e-mail meets a silent server.
        lab.StopSmtpSink();
        lab.StartSilentMailServer();
        CLoopbackHttpServer& once = *lab.StartWeb(2, EMode::Reply, 8081);
        lab.WriteData({"http://10.77.2.2:8081/"});
        lab.StartProgram();
        CAppLab::Require(WaitFor([&] { return once.GetConnections() > 0; }, 20s), "no test");
        lab.m_arrWeb.pop_back();
        CAppLab::Require(WaitFor([&] { return lab.IsMailUnderWay(); }, 20s), "no alert e-mail");
        ReportExit(lab, "while an alert e-mail waits for a silent mail server");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_app: %s\n", e.what());
        return 1;
    }
    return 0;
}
