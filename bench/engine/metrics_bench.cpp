// Figures of run --metrics: formatting and serving a scrape of 1,000 hosts (goal: under
// 20 ms), and the cycle time over 200 answering loopback hosts with no scraper and with one
// that scrapes ten times a second (goal: no measurable change).
//
// usage: bench_metrics [RUNS]   (root: the hosts live in a network namespace made here)

#include "cli/metrics_server.h"
#include "core/vantrel_doc.h"
#include "lab_seams.h"
#include "platform/http_client.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"
#include "platform/ping.h"
#include "testing/metrics_exposition.h"
#include "testing/row_update_sink.h"
#include "testing/test_worker.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int CYCLES_PER_RUN = 30;

// As run --metrics does it: the host's figures are copied under its lock after each test.
class CMetricsRows : public CRowUpdateSink {
public:
    CMetricsRows(CVantrelDoc& doc, CMetricsExposition& metrics) : m_doc(doc), m_metrics(metrics) {}
    void PostHostUpdated(int nIndex) override {
        const CHost& host = *m_doc.m_arrHosts[static_cast<size_t>(nIndex)];
        std::lock_guard lock(*host.m_pMutex);
        m_metrics.UpdateHost(static_cast<size_t>(nIndex), CMetricsExposition::Capture(host));
    }

private:
    CVantrelDoc& m_doc;
    CMetricsExposition& m_metrics;
};

size_t Discard(char*, size_t nSize, size_t nCount, void* pBytes) {
    *static_cast<size_t*>(pBytes) += nSize * nCount;
    return nSize * nCount;
}

// One GET of the URL; the body's size, 0 on failure.
size_t Scrape(CURL* pCurl, const std::string& strURL) {
    size_t nBytes = 0;
    curl_easy_setopt(pCurl, CURLOPT_URL, strURL.c_str());
    curl_easy_setopt(pCurl, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(pCurl, CURLOPT_WRITEDATA, &nBytes);
    long nStatus = 0;
    return curl_easy_perform(pCurl) == CURLE_OK &&
                   curl_easy_getinfo(pCurl, CURLINFO_RESPONSE_CODE, &nStatus) == CURLE_OK &&
                   nStatus == 200
               ? nBytes
               : 0;
}

double Median(std::vector<double> arr) {
    std::sort(arr.begin(), arr.end());
    return arr[arr.size() / 2];
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    const int nRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (const std::string strWhy = CNetnsLab::WhyUnavailable(); !strWhy.empty()) {
        std::fprintf(stderr, "bench_metrics %s\n", strWhy.c_str());
        return 1;
    }
    CHttpClient::InitLibrary();
    _CPING_ICMP::Get();

    // A scrape of 1,000 hosts that have been tested for a week.
    {
        CMetricsExposition metrics("1.0", "frankfurt");
        for (size_t i = 0; i < 1000; ++i) {
            CHost host;
            host.m_strName = "Hosting Company " + std::to_string(i);
            host.m_strTestURL =
                "https://user:pw@www.host" + std::to_string(i) + ".example/test.html";
            host.m_nTests = host.m_nTestsUp = 2016;
            host.m_pPingHistory->assign(2016, 23);
            host.m_nPingTotal = 2016 * 23;
            host.m_tLastTest = 1800000000;
            host.m_bTesting = 1;
            host.m_nState = HOST_UP;
            metrics.UpdateHost(i, CMetricsExposition::Capture(host));
        }
        metrics.EndCycle(1.5);
        CMetricsServer server(metrics);
        std::string strError;
        if (!server.Start("127.0.0.1:0", strError)) {
            std::fprintf(stderr, "%s\n", strError.c_str());
            return 1;
        }
        const std::string strURL =
            "http://127.0.0.1:" + std::to_string(server.GetPort()) + "/metrics";
        CURL* pCurl = curl_easy_init();
        std::vector<double> arrText, arrOpen, arrHttp;
        size_t nBytes = 0;
        for (int nRun = 0; nRun < 20 * nRuns; ++nRun) {
            auto t = Clock::now();
            nBytes = metrics.Format(CMetricsExposition::EFormat::TEXT).size();
            arrText.push_back(Milliseconds(Clock::now() - t));
            t = Clock::now();
            metrics.Format(CMetricsExposition::EFormat::OPEN_METRICS);
            arrOpen.push_back(Milliseconds(Clock::now() - t));
            t = Clock::now();
            if (Scrape(pCurl, strURL) != nBytes) {
                std::fprintf(stderr, "the scrape over HTTP failed\n");
                return 1;
            }
            arrHttp.push_back(Milliseconds(Clock::now() - t));
        }
        curl_easy_cleanup(pCurl);
        std::printf("scrape of 1000 hosts (%zu bytes), median of %d: format %.2f ms (OpenMetrics "
                    "%.2f ms), GET over loopback HTTP %.2f ms (max %.2f ms); goal under 20 ms\n",
                    nBytes, 20 * nRuns, Median(arrText), Median(arrOpen), Median(arrHttp),
                    *std::max_element(arrHttp.begin(), arrHttp.end()));
    }

    // Cycles over 200 answering hosts, with and without ten scrapes a second.
    CNetnsLab lab("metrics");
    const std::string strNs = lab.Add("hosts");
    if (strNs.empty()) {
        std::fprintf(stderr, "cannot make a network namespace\n");
        return 1;
    }
    auto pWeb = lab.InNamespace(strNs, [] {
        return std::make_unique<CLoopbackHttpServer>(
            CLoopbackHttpServer::EMode::Reply,
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok", "0.0.0.0", 80);
    });
    CQuietSink sink;
    CLabProbes probes;
    CNoAlerts alerts;
    std::vector<double> arrQuiet, arrScraped;
    int nScrapes = 0;
    for (int nRun = 0; nRun < 2 * nRuns; ++nRun) {
        const bool bScraped = nRun % 2 == 1;
        CVantrelDoc doc(sink, nullptr);
        for (int i = 0; i < 200; ++i) {
            auto* pHost = new CHost;
            pHost->m_strName = "Host " + std::to_string(i);
            pHost->m_strTestURL = "http://127.0.0." + std::to_string(i + 1) + "/";
            pHost->m_bTesting = 1;
            doc.AddHost(pHost);
        }
        CMetricsExposition metrics("1.0", "");
        CMetricsRows rows(doc, metrics);
        COneCycleClock clock;
        CEngineSeams seams;
        seams.pProbes = &probes;
        seams.pAlerts = &alerts;
        seams.pRowSink = &rows;
        seams.pClock = &clock;
        const double dSeconds = lab.InNamespace(strNs, [&] {
            CMetricsServer server(metrics);
            std::string strError;
            server.Start("127.0.0.1:0", strError);
            std::atomic<bool> bDone{false};
            std::thread scraper;
            if (bScraped)
                scraper = std::thread([&, strURL = "http://127.0.0.1:" +
                                                   std::to_string(server.GetPort()) + "/metrics"] {
                    CURL* pCurl = curl_easy_init();
                    for (auto tNext = Clock::now(); !bDone;
                         tNext += std::chrono::milliseconds(100)) {
                        nScrapes += Scrape(pCurl, strURL) > 0;
                        std::this_thread::sleep_until(tNext);
                    }
                    curl_easy_cleanup(pCurl);
                });
            // Cycles back to back for a second or so: about ten scrapes meet them.
            double dTotal = 0;
            for (int nCycle = 0; nCycle < CYCLES_PER_RUN; ++nCycle) {
                const auto start = Clock::now();
                TestWorker(doc, seams);
                dTotal += std::chrono::duration<double>(clock.m_end - start).count();
            }
            bDone = true;
            if (scraper.joinable())
                scraper.join();
            return dTotal / CYCLES_PER_RUN;
        });
        (bScraped ? arrScraped : arrQuiet).push_back(dSeconds);
        std::printf("run %d: mean of %d cycles over 200 hosts %s: %.4f s\n", nRun / 2 + 1,
                    CYCLES_PER_RUN, bScraped ? "scraped 10 times a second" : "without scrapes",
                    dSeconds);
    }
    std::printf("cycle over 200 hosts, median of %d runs: %.4f s without scrapes, %.4f s with 10 "
                "scrapes a second (%d scrapes answered)\n",
                nRuns, Median(arrQuiet), Median(arrScraped), nScrapes);
    return 0;
}
