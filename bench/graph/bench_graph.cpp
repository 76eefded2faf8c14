// Painting the host graph: the chart of 288 points into an image, as a repaint does it, and
// the whole dialog for comparison. Goal: the chart under 5 ms. Opening Compare Hosts on 50
// hosts of 10,000 entries up to its first paint: goal under 200 ms.
#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "graph/chart_ctrl.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/host_graph_dlg.h"
#include "sample_host_graph.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

class CNoMessages : public CMessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

struct CSampleGraph {
    CSampleGraph() : m_doc(m_sink, nullptr) {
        auto* pHost = new CHost;
        FillSampleHost(*pHost);
        m_doc.m_arrHosts.push_back(pHost);
    }
    CNoMessages m_sink;
    CVantrelDoc m_doc;
};

void BM_PaintChart288(benchmark::State& state) {
    CSampleGraph sample;
    std::unique_ptr<CHostGraphDlg> pDlg = CHostGraphDlg::Prepare(nullptr, sample.m_doc, 0, nullptr);
    CChartCtrl& chart = pDlg->GetChart();
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter dc(&image);
        chart.Paint(dc);
        dc.end();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["points"] = chart.GetLayout().m_nSlots;
}
BENCHMARK(BM_PaintChart288)->Unit(benchmark::kMillisecond);

void BM_GrabChart288(benchmark::State& state) {
    CSampleGraph sample;
    std::unique_ptr<CHostGraphDlg> pDlg = CHostGraphDlg::Prepare(nullptr, sample.m_doc, 0, nullptr);
    for (auto _ : state)
        benchmark::DoNotOptimize(pDlg->GetChart().grab());
}
BENCHMARK(BM_GrabChart288)->Unit(benchmark::kMillisecond);

void BM_GrabDialog(benchmark::State& state) {
    CSampleGraph sample;
    std::unique_ptr<CHostGraphDlg> pDlg = CHostGraphDlg::Prepare(nullptr, sample.m_doc, 0, nullptr);
    for (auto _ : state)
        benchmark::DoNotOptimize(pDlg->grab());
}
BENCHMARK(BM_GrabDialog)->Unit(benchmark::kMillisecond);

// The command up to the dialog: snapshot under the lock, widgets, chart filled.
void BM_PrepareDialog(benchmark::State& state) {
    CSampleGraph sample;
    for (auto _ : state)
        benchmark::DoNotOptimize(CHostGraphDlg::Prepare(nullptr, sample.m_doc, 0, nullptr));
}
BENCHMARK(BM_PrepareDialog)->Unit(benchmark::kMillisecond);

// Compare Hosts on 50 hosts of 10,000 entries each: the snapshot (copies, sorts and
// percentiles under each host's lock), the window, and its first paint. Goal: under 200 ms.
void BM_OpenComparison50x10000(benchmark::State& state) {
    CNoMessages sink;
    CVantrelDoc doc(sink, nullptr);
    AddSampleHosts(doc, 50, 10000);
    for (auto _ : state) {
        std::unique_ptr<CCompareHostsDlg> pDlg =
            CCompareHostsDlg::Prepare(nullptr, doc, {}, nullptr);
        benchmark::DoNotOptimize(pDlg->grab());
    }
    state.counters["hosts"] = 50;
    state.counters["entries"] = 10000;
}
BENCHMARK(BM_OpenComparison50x10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
