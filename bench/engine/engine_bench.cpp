// Figures of the test engine on loopback: one cycle over 200 hosts that all answer (real
// echoes to 127.0.0.x or TCP connects to their port 80, a real HTTP request each), tested one
// at a time and all at once, the time StopTests takes while the worker idles between cycles,
// the process's CPU time per host test, how long a stop takes to end each kind of wait (an
// echo, a connect and a web request that nobody answers), and cycle times of 10, 50 and 200
// hosts of which some are black-holed or have a web server that never answers (with fping's
// time for the same addresses beside them, when fping is installed).
//
// usage: bench_engine [RUNS] [--mix]   (root: the hosts live in network namespaces made here;
// --mix adds the mixed cycles, which take about seven minutes)

#include "core/vantrel_doc.h"
#include "lab_seams.h"
#include "platform/event.h"
#include "platform/http_client.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/tcp_ping.h"
#include "testing/row_update_sink.h"
#include "testing/test_engine.h"
#include "testing/test_worker.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int HOSTS = 200;

class CCountingRows : public CRowUpdateSink {
public:
    void PostHostUpdated(int) override { ++m_nRows; }
    std::atomic<int> m_nRows{0};
};

// The whole process: the cycle's threads and the in-process web server.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void AddHosts(CVantrelDoc& doc, int32_t bTesting) {
    for (int i = 0; i < HOSTS; ++i) {
        auto* pHost = new CHost;
        pHost->m_strName = "Host " + std::to_string(i);
        pHost->m_strTestURL = "http://127.0.0." + std::to_string(i + 1) + "/index.html";
        pHost->m_bTesting = bTesting;
        doc.AddHost(pHost);
    }
}

CEngineSeams MakeSeams(CProbes& probes, CAlertRaiser& alerts, CRowUpdateSink& rows,
                       CEngineClock& clock) {
    CEngineSeams seams;
    seams.pProbes = &probes;
    seams.pAlerts = &alerts;
    seams.pRowSink = &rows;
    seams.pClock = &clock;
    return seams;
}

// Milliseconds from setting the stop event, 200 ms into wait(evStop), to its return.
double StopLatencyMs(const std::function<void(const CEvent&)>& wait) {
    CEvent evStop;
    Clock::time_point tSet;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        tSet = Clock::now();
        evStop.Set();
    });
    wait(evStop);
    const Clock::time_point tEnd = Clock::now();
    stopper.join();
    return std::chrono::duration<double, std::milli>(tEnd - tSet).count();
}

struct CStats {
    double dMin, dMedian, dMax;
};
CStats Summarise(std::vector<double> arr) {
    std::sort(arr.begin(), arr.end());
    return {arr.front(), arr[arr.size() / 2], arr.back()};
}

struct CCycleFigures {
    double dSeconds;      // until the worker's first wait
    double dCpuMsPerHost; // the process's CPU time over the hosts in the list
    int nUp;
};

// One cycle of the worker over doc's hosts, from namespace strNs.
CCycleFigures RunOneCycle(CNetnsLab& lab, const std::string& strNs, CVantrelDoc& doc,
                          CProbes& probes, CAlertRaiser& alerts, CRowUpdateSink& rows) {
    COneCycleClock clock;
    const CEngineSeams seams = MakeSeams(probes, alerts, rows, clock);
    const auto start = Clock::now();
    const double dCpu = lab.InNamespace(strNs, [&] {
        const double dBefore = ProcessCpuSeconds();
        TestWorker(doc, seams);
        return ProcessCpuSeconds() - dBefore;
    });
    int nUp = 0;
    for (CHost* pHost : doc.m_arrHosts)
        nUp += pHost->m_nState == HOST_UP;
    return {std::chrono::duration<double>(clock.m_end - start).count(),
            dCpu / static_cast<double>(doc.m_arrHosts.size()) * 1000.0, nUp};
}

// Seconds fping takes for the addresses with the engine's budget (4 echoes of 5000 ms); -1
// when fping is not installed.
double FpingSeconds(CNetnsLab& lab, const std::string& strNs,
                    const std::vector<std::string>& arrAddresses) {
    if (!CNetnsLab::Run("command -v fping"))
        return -1;
    std::string strCommand = "fping -q -r 3 -B 1 -t 5000";
    for (const std::string& strAddress : arrAddresses)
        strCommand += " " + strAddress;
    const auto start = Clock::now();
    lab.Exec(strNs, strCommand + " 2>/dev/null");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One cycle each over 10, 50 and 200 hosts: answering loopback addresses, black-holed ones
// (10.123.x.y, swallowed by the sink namespace) and silent web servers (a server that reads
// the request and never answers). Returns the lines to print.
std::vector<std::string> MixedCycles(CNetnsLab& lab, const std::string& strNs, CProbes& probes,
                                     CMessageSink& sink, CAlertRaiser& alerts,
                                     CRowUpdateSink& rows) {
    auto pSilent = lab.InNamespace(strNs, [] {
        return std::make_unique<CLoopbackHttpServer>(CLoopbackHttpServer::EMode::Silent,
                                                     std::string(), "0.0.0.0", 8080);
    });
    struct CMix {
        int nHosts, nBlackHoledPercent, nSilentPercent;
    } const arrMixes[] = {{10, 0, 0},   {10, 10, 0},  {10, 50, 0},  {10, 0, 10}, {50, 0, 0},
                          {50, 10, 0},  {50, 50, 0},  {50, 0, 10},  {200, 0, 0}, {200, 10, 0},
                          {200, 50, 0}, {200, 0, 10}, {200, 10, 10}};
    std::vector<std::string> arrLines;
    for (const CMix& mix : arrMixes) {
        CVantrelDoc doc(sink, nullptr);
        const int nBlackHoled = mix.nHosts * mix.nBlackHoledPercent / 100;
        const int nSilent = mix.nHosts * mix.nSilentPercent / 100;
        std::vector<std::string> arrAddresses;
        for (int i = 0; i < mix.nHosts; ++i) {
            auto* pHost = new CHost;
            const bool bBlackHoled = i < nBlackHoled,
                       bSilent = !bBlackHoled && i < nBlackHoled + nSilent;
            const std::string strAddress = bBlackHoled ? "10.123.0." + std::to_string(i + 1)
                                                       : "127.0.1." + std::to_string(i % 250 + 1);
            pHost->m_strTestURL = "http://" + strAddress + (bSilent ? ":8080/" : "/");
            pHost->m_bTesting = 1;
            doc.AddHost(pHost);
            arrAddresses.push_back(strAddress);
        }
        const CCycleFigures cycle = RunOneCycle(lab, strNs, doc, probes, alerts, rows);
        char szLine[256];
        std::snprintf(szLine, sizeof(szLine),
                      "%3d hosts, %2d %% black-holed, %2d %% silent web: cycle %7.3f s, %3d up, "
                      "process CPU %.3f ms per host test; fping %.3f s",
                      mix.nHosts, mix.nBlackHoledPercent, mix.nSilentPercent, cycle.dSeconds,
                      cycle.nUp, cycle.dCpuMsPerHost, FpingSeconds(lab, strNs, arrAddresses));
        std::printf("%s\n", szLine);
        std::fflush(stdout);
        arrLines.push_back(szLine);
    }
    return arrLines;
}

} // namespace

int main(int argc, char** argv) {
    const int nRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string strWhy = CNetnsLab::WhyUnavailable();
    if (!strWhy.empty()) {
        std::fprintf(stderr, "bench_engine %s\n", strWhy.c_str());
        return 1;
    }
    CHttpClient::InitLibrary();
    _CPING_ICMP::Get();
    CNetnsLab lab("bench");
    const std::string strNs = lab.Add("hosts");
    if (strNs.empty()) {
        std::fprintf(stderr, "cannot make a network namespace\n");
        return 1;
    }
    auto pServer = lab.InNamespace(strNs, [] {
        return std::make_unique<CLoopbackHttpServer>(
            CLoopbackHttpServer::EMode::Reply,
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok", "0.0.0.0", 80);
    });
    const std::string strDir = "/tmp/vantrel-bench-engine-" + std::to_string(getpid());
    std::filesystem::create_directories(strDir);
    const std::string strData = strDir + "/Vantrel.dat";

    CQuietSink sink;
    CLabProbes probes;
    CNoAlerts alerts;
    CCountingRows rows;

    // One cycle over 200 answering hosts, run after run, with each ping method, one host at a
    // time and all at once.
    std::vector<double> arrCycle[4], arrCpuPerHost[4];
    const char* const arrModes[] = {"ICMP echo, one at a time  ", "TCP connect, one at a time",
                                    "ICMP echo, at once        ", "TCP connect, at once      "};
    for (int nRun = 0; nRun < 4 * nRuns; ++nRun) {
        const int nMode = nRun % 4;
        const bool bTcp = nMode % 2 == 1;
        CVantrelDoc doc(sink, nullptr);
        AddHosts(doc, 1);
        doc.m_nPingMethod = bTcp ? PING_METHOD_TCP : PING_METHOD_ICMP;
        doc.m_nConcurrentTests = nMode < 2 ? 1 : DEFAULT_CONCURRENT_TESTS;
        const CCycleFigures cycle = RunOneCycle(lab, strNs, doc, probes, alerts, rows);
        arrCycle[nMode].push_back(cycle.dSeconds);
        arrCpuPerHost[nMode].push_back(cycle.dCpuMsPerHost);
        std::printf("run %d, %s: cycle over %d hosts (%d up) %.3f s, process CPU %.3f ms per "
                    "host test\n",
                    nRun / 4 + 1, arrModes[nMode], HOSTS, cycle.nUp, cycle.dSeconds,
                    cycle.dCpuMsPerHost);
    }

    // Stops during waits that nobody answers: a second namespace swallows 10.123.0.0/16.
    const std::string strSink = lab.Add("sink");
    if (strSink.empty() ||
        !lab.Link(strNs, "h0", "10.124.0.1/24", strSink, "s0", "10.124.0.2/24") ||
        !lab.Ip(strNs, "route add 10.123.0.0/16 via 10.124.0.2") ||
        !lab.Ip(strSink, "route add blackhole 10.123.0.0/16") ||
        !lab.Exec(strSink, "sysctl -qw net.ipv4.ip_forward=1")) {
        std::fprintf(stderr, "cannot make the silent network namespace\n");
        return 1;
    }
    auto pSilent = lab.InNamespace(strNs, [] {
        return std::make_unique<CLoopbackHttpServer>(CLoopbackHttpServer::EMode::Silent);
    });
    std::vector<double> arrStopEcho, arrStopConnect, arrStopRequest;
    lab.InNamespace(strNs, [&] {
        CHttpClient client;
        client.Open("Vantrel bench");
        for (int nRun = 0; nRun < 4 * nRuns; ++nRun) {
            CPingResult reply;
            arrStopEcho.push_back(StopLatencyMs([&](const CEvent& evStop) {
                CPing().PingUsingICMP("10.123.0.1", reply, 64, 5000, 32, 0, false, &evStop);
            }));
            arrStopConnect.push_back(StopLatencyMs([&](const CEvent& evStop) {
                CTcpPing().Connect("10.123.0.1", 80, reply, 5000, &evStop);
            }));
            arrStopRequest.push_back(StopLatencyMs([&](const CEvent& evStop) {
                client.Request(false, "127.0.0.1", "", pSilent->GetPort(), "/", "", "", &evStop);
            }));
        }
    });
    pSilent.reset();

    // StopTests while the worker waits between cycles (200 hosts in the list, none tested,
    // so each start reaches its idle wait at once; the stop writes the data file).
    std::vector<double> arrStop;
    for (int nRun = 0; nRun < 4 * nRuns; ++nRun) {
        CSystemClock clock;
        CTestEngine engine(MakeSeams(probes, alerts, rows, clock), nullptr);
        CVantrelDoc doc(sink, &engine);
        std::filesystem::remove(strData);
        AddHosts(doc, 0);
        doc.OnNewDocument(strData, CAppSettings());
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const auto start = Clock::now();
        doc.StopTests();
        arrStop.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }

    const bool bMix = argc > 2 && std::string(argv[2]) == "--mix";
    const std::vector<std::string> arrMix =
        bMix ? MixedCycles(lab, strNs, probes, sink, alerts, rows) : std::vector<std::string>();

    std::printf("\n");
    for (int nMode = 0; nMode < 4; ++nMode) {
        const CStats cycle = Summarise(arrCycle[nMode]);
        const CStats cpu = Summarise(arrCpuPerHost[nMode]);
        std::printf("%s: cycle over %d loopback hosts: min %.3f s, median %.3f s, max %.3f s "
                    "(goal < 2 s), %d runs; process CPU per host test: median %.3f ms, max "
                    "%.3f ms (goal < 1 ms)\n",
                    arrModes[nMode], HOSTS, cycle.dMin, cycle.dMedian, cycle.dMax, nRuns,
                    cpu.dMedian, cpu.dMax);
    }
    for (const std::string& strLine : arrMix)
        std::printf("%s\n", strLine.c_str());
    for (const auto& [pszStep, pArr] :
         {std::pair("an echo      ", &arrStopEcho), std::pair("a connect    ", &arrStopConnect),
          std::pair("a web request", &arrStopRequest)}) {
        const CStats wait = Summarise(*pArr);
        std::printf("stop during %s: min %.2f ms, median %.2f ms, max %.2f ms (goal < 1000 ms), "
                    "%zu stops\n",
                    pszStep, wait.dMin, wait.dMedian, wait.dMax, pArr->size());
    }
    const CStats stop = Summarise(arrStop);
    std::printf("StopTests while idle: min %.2f ms, median %.2f ms, max %.2f ms (goal < 100 ms), "
                "%zu stops\n",
                stop.dMin, stop.dMedian, stop.dMax, arrStop.size());
    std::printf("web requests served: %d\n", pServer->GetConnections());
    pServer.reset();
    std::filesystem::remove_all(strDir);
    return 0;
}
