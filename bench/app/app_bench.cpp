// The desktop program, offscreen and left alone, with hosts in network namespaces: while the
// alert box of a black-holed host stays open for BOX_SECONDS, how often the healthy host is
// tested (the longest gap between two of its tests); then how long SIGTERM, File > Exit, Stop
// tests and logout take while a test waits for a black-holed echo, a silent web server, a TLS
// handshake nobody answers, a silent DNS server, a mail server that never answers, and in the
// wait between cycles; and SIGTERM while the wait dialog waits for a host's lock.
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
        CLoopbackHttpServer& good = lab.StartWeb(1, EMode::Reply);
        CLoopbackHttpServer& flaky = lab.StartWeb(2, EMode::Reply);
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
        ::kill(lab.m_nPid, SIGTERM);
        std::printf("exit after the alert box test: %lld ms\n", Ms(lab.GoneAfter(Clock::now())));
        lab.StopSmtpSink(); // port 25 is the silent mail server's from now on

        // Each way out while a test waits in each way it can, through the program's own menus.
        std::printf("step\tSIGTERM ms\tFile > Exit ms\tStop tests ms\tlogout ms\n");
        for (int nHeld = 0; nHeld < 6; ++nHeld) {
            std::printf("%s", CAppLab::HELD_NAMES[nHeld]);
            for (const char* pszAction : {"SIGTERM", "exit", "stop", "logout"}) {
                lab.StartHeld(CAppLab::EHeld(nHeld), VANTREL_DRIVEN_PATH);
                const auto tStart = Clock::now();
                long long nMs = 0;
                if (pszAction == std::string("SIGTERM")) {
                    ::kill(lab.m_nPid, SIGTERM);
                    nMs = Ms(lab.GoneAfter(tStart));
                } else if (pszAction == std::string("exit")) {
                    lab.Command("exit");
                    nMs = Ms(lab.GoneAfter(tStart));
                } else {
                    lab.Command(pszAction);
                    nMs = lab.CommandMs(pszAction); // by the program's clock
                }
                std::printf("\t%lld%s", nMs, nMs >= 1000 || nMs < 0 ? " (goal: under 1000)" : "");
                std::fflush(stdout);
            }
            std::printf("\n");
        }
        lab.StartHeld(CAppLab::EHeld::WEB, VANTREL_DRIVEN_PATH);
        lab.Command("edit"); // waits behind the silent request, with the dialog up
        std::this_thread::sleep_for(500ms);
        const auto tSignal = Clock::now();
        ::kill(lab.m_nPid, SIGTERM);
        std::printf("SIGTERM while the wait dialog waits for a host's lock: %lld ms\n",
                    Ms(lab.GoneAfter(tSignal)));
        lab.ClearHeld();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_app: %s\n", e.what());
        return 1;
    }
    return 0;
}
