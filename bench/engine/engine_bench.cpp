// Figures of the test engine on loopback: one cycle over 200 hosts that all answer (real
// echoes to 127.0.0.x or TCP connects to their port 80, a real HTTP request each), the time
// StopTests takes while the worker idles between cycles, the worker thread's CPU time per host
// test, and how long a stop takes to end each kind of wait (an echo, a connect and a web
// request that nobody answers).
//
// usage: bench_engine [RUNS]   (root: the hosts live in a network namespace made here)

#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "platform/event.h"
#include "platform/http_client.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "platform/tcp_ping.h"
#include "testing/alert_raiser.h"
#include "testing/row_update_sink.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
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

class CQuietSink : public CMessageSink {
public:
    void ShowMessage(const std::string& strText) override {
        std::fprintf(stderr, "message: %s\n", strText.c_str());
    }
};

class CNoAlerts : public CAlertRaiser {
public:
    void RaiseHostDownAlert(CVantrelDoc&, const CHostAlert& alert) override {
        std::fprintf(stderr, "alert: %s went down\n", alert.m_strServer.c_str());
    }
    void RaiseHostUpAlert(CVantrelDoc&, const CHostAlert& alert) override {
        std::fprintf(stderr, "alert: %s is up again\n", alert.m_strServer.c_str());
    }
};

class CCountingRows : public CRowUpdateSink {
public:
    void PostHostUpdated(int) override { ++m_nRows; }
    std::atomic<int> m_nRows{0};
};

// The namespace has no default route: the connection check is answered yes, every other
// probe is the real one.
class CLabProbes : public CSystemProbes {
public:
    bool IsConnected() override { return true; }
};

// Ends the run at the first wait and notes when the cycle's tests were done.
class COneCycleClock : public CSystemClock {
public:
    EWaitEnd WaitForStopOrWake(const CEvent&, const CEvent&, int64_t) override {
        m_end = Clock::now();
        return EWaitEnd::STOPPED;
    }
    Clock::time_point m_end;
};

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
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

    // One cycle over 200 answering hosts, run after run, with each ping method.
    std::vector<double> arrCycle, arrCpuPerHost, arrCycleTcp, arrCpuPerHostTcp;
    for (int nRun = 0; nRun < 2 * nRuns; ++nRun) {
        const bool bTcp = nRun % 2 == 1;
        CVantrelDoc doc(sink, nullptr);
        AddHosts(doc, 1);
        doc.m_nPingMethod = bTcp ? PING_METHOD_TCP : PING_METHOD_ICMP;
        COneCycleClock clock;
        const CEngineSeams seams = MakeSeams(probes, alerts, rows, clock);
        const auto start = Clock::now();
        const double dCpu = lab.InNamespace(strNs, [&] {
            const double dBefore = ThreadCpuSeconds();
            TestWorker(doc, seams);
            return ThreadCpuSeconds() - dBefore;
        });
        int nUp = 0;
        for (CHost* pHost : doc.m_arrHosts)
            nUp += pHost->m_nState == HOST_UP;
        const double dSeconds = std::chrono::duration<double>(clock.m_end - start).count();
        (bTcp ? arrCycleTcp : arrCycle).push_back(dSeconds);
        (bTcp ? arrCpuPerHostTcp : arrCpuPerHost).push_back(dCpu / HOSTS * 1000.0);
        std::printf("run %d, %s: cycle over %d hosts (%d up) %.3f s, worker CPU %.3f ms per "
                    "host test\n",
                    nRun / 2 + 1, bTcp ? "TCP connect" : "ICMP echo", HOSTS, nUp, dSeconds,
                    dCpu / HOSTS * 1000.0);
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
                client.Request(false, "127.0.0.1", pSilent->GetPort(), "/", "", "", &evStop);
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

    std::printf("\n");
    for (const auto& [pszMethod, arrSeconds, arrCpu] :
         {std::tuple("ICMP echo  ", &arrCycle, &arrCpuPerHost),
          std::tuple("TCP connect", &arrCycleTcp, &arrCpuPerHostTcp)}) {
        const CStats cycle = Summarise(*arrSeconds);
        const CStats cpu = Summarise(*arrCpu);
        std::printf("%s: cycle over %d loopback hosts: min %.3f s, median %.3f s, max %.3f s "
                    "(goal < 2 s), %d runs; worker CPU per host test: median %.3f ms, max %.3f "
                    "ms (goal < 1 ms)\n",
                    pszMethod, HOSTS, cycle.dMin, cycle.dMedian, cycle.dMax, nRuns, cpu.dMedian,
                    cpu.dMax);
    }
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
