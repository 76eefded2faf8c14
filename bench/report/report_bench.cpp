// Scoring and writing the comparison report of 10,000 marked hosts (goal: under 0.5 s for the
// whole of it, file written to disk and flushed).
#include "core/host.h"
#include "report/report_scorer.h"
#include "report/report_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int HOST_COUNT = 10000;
const CReportWeights s_arrWeights = {10, 9, 8, 7, 6, 5, 4, 3, 2};

// Hosts as a long-running installation has them: every question answered, a few hundred
// tests each and a ping history for most.
class CBenchHosts {
public:
    CBenchHosts() {
        std::mt19937 rng(42);
        auto pick = [&rng](int nLow, int nHigh) {
            return std::uniform_int_distribution<int>(nLow, nHigh)(rng);
        };
        for (int i = 0; i < HOST_COUNT; ++i) {
            auto pHost = std::make_unique<CHost>();
            pHost->m_strName = "Hosting Company " + std::to_string(i) + " & Partners";
            pHost->m_strWebSite = "http://www.host" + std::to_string(i) + ".example/?ref=report";
            for (int a = 0; a < CHost::ANSWER_COUNT; ++a)
                pHost->Answer(a) = pick(0, 1);
            pHost->m_nStorage = pick(0, 21);
            pHost->m_nTransfer = pick(0, 50);
            pHost->m_nCost = pick(0, 51);
            pHost->m_nEmailAccounts = pick(0, 20);
            pHost->m_nSupportRating = pick(0, 9);
            pHost->m_nBackups = pick(0, 3);
            pHost->m_nFeatureRating = pick(0, 9);
            if (pick(0, 9) != 0) {
                const int nPings = pick(50, 300);
                for (int p = 0; p < nPings; ++p) {
                    const auto nPing = static_cast<uint32_t>(pick(5, 400));
                    pHost->m_pPingHistory->push_back(nPing);
                    pHost->m_nPingTotal += static_cast<int32_t>(nPing);
                }
                pHost->m_nTests = nPings + pick(0, 20);
                pHost->m_nTestsUp = nPings;
            }
            m_arrHosts.push_back(pHost.get());
            m_arrOwned.push_back(std::move(pHost));
            m_arrSet.push_back(i);
        }
    }

    std::vector<std::unique_ptr<CHost>> m_arrOwned;
    std::vector<CHost*> m_arrHosts;
    std::vector<int> m_arrSet;
};

const CBenchHosts& Hosts() {
    static const CBenchHosts s_hosts;
    return s_hosts;
}

void BM_Score(benchmark::State& state) {
    const CBenchHosts& hosts = Hosts();
    for (auto _ : state) {
        CReportScorer scorer;
        scorer.Score(hosts.m_arrHosts, hosts.m_arrSet, s_arrWeights);
        benchmark::DoNotOptimize(scorer.m_arrRowOrder.data());
    }
}
BENCHMARK(BM_Score)->Unit(benchmark::kMillisecond);

void BM_BuildDocument(benchmark::State& state) {
    const CBenchHosts& hosts = Hosts();
    CReportScorer scorer;
    scorer.Score(hosts.m_arrHosts, hosts.m_arrSet, s_arrWeights);
    size_t nBytes = 0;
    for (auto _ : state) {
        const std::string strReport = CReportWriter::BuildReport(hosts.m_arrHosts, scorer);
        nBytes = strReport.size();
        benchmark::DoNotOptimize(strReport.data());
    }
    state.counters["bytes"] = static_cast<double>(nBytes);
}
BENCHMARK(BM_BuildDocument)->Unit(benchmark::kMillisecond);

// The whole command after the dialogs: score, build, write to disk, flush, rename.
void BM_ScoreAndWriteFile(benchmark::State& state) {
    const CBenchHosts& hosts = Hosts();
    const std::string strPath = "bench_report_" + std::to_string(::getpid()) + ".html";
    for (auto _ : state) {
        CReportScorer scorer;
        scorer.Score(hosts.m_arrHosts, hosts.m_arrSet, s_arrWeights);
        std::string strError;
        if (!CReportWriter::WriteReport(strPath, hosts.m_arrHosts, scorer, strError)) {
            state.SkipWithError(strError.c_str());
            break;
        }
    }
    std::remove(strPath.c_str());
}
BENCHMARK(BM_ScoreAndWriteFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
