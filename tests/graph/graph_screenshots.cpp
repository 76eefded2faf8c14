// graph_screenshots [FOLDER]: a sample host's graph, the Compare Hosts window of eight sample
// hosts, and the History window of a host and Compare Hosts with a test history, as PNG files.
#include "core/history_store.h"
#include "core/host.h"
#include "core/vantrel_doc.h"
#include "graph/compare_hosts_dlg.h"
#include "graph/history_dlg.h"
#include "graph/host_graph_dlg.h"
#include "gui_test_support.h"
#include "sample_host_graph.h"
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int64_t SAMPLE_NOW = 1'800'000'000; // 2027-01-15 08:00 UTC

CSampleSink g_sink;

// The window shown at nWidth x nHeight, or without a size as it opens.
bool Save(QWidget* pWindow, const QString& strPath, int nWidth = 0, int nHeight = 0) {
    if (pWindow && nWidth > 0)
        pWindow->resize(nWidth, nHeight), pWindow->show();
    return pWindow && pWindow->grab().toImage().save(strPath, "PNG");
}

// With bHistory, two days of test history as well.
bool SaveComparison(const QString& strPath, bool bHistory, int nHeight) {
    CVantrelDoc doc(g_sink, nullptr);
    AddSampleHosts(doc, 8, 400, true);
    QTemporaryDir dir;
    CHistoryStore store;
    if (bHistory) {
        const std::string strHistory = dir.filePath("Vantrel.dat.history").toStdString();
        if (store.Open(strHistory) == CHistoryStore::EOpen::FAILED)
            return false;
        const std::vector<int64_t> arrIds =
            store.Attach(CVantrelDoc::GetHistoryKeys(doc.m_arrHosts));
        for (size_t i = 0; i < arrIds.size(); ++i)
            doc.m_arrHosts[i]->m_nHistoryId = arrIds[i];
        if (!AddSampleHistory(store, arrIds, SAMPLE_NOW, 2))
            return false;
    }
    const auto pDlg = CCompareHostsDlg::Prepare(nullptr, doc, {}, nullptr);
    if (pDlg && bHistory)
        pDlg->GetComparison().ReadHistory(store, SAMPLE_NOW + 60);
    return Save(pDlg.get(), strPath, 900, nHeight);
}

// A host with 30 days of history, showing 7 days.
bool SaveHistory(const QString& strPath) {
    QTemporaryDir dir;
    const std::string strHistory = dir.filePath("Vantrel.dat.history").toStdString();
    CHistoryStore store;
    if (store.Open(strHistory) == CHistoryStore::EOpen::FAILED)
        return false;
    const std::vector<int64_t> arrIds =
        store.Attach({{"Example Hosting", "https://www.example.com/"}, {"", ""}});
    // The second host's index picks an outage pattern: the first alone has none.
    if (arrIds.size() != 2 || !AddSampleHistory(store, {arrIds[1], arrIds[0]}, SAMPLE_NOW, 30))
        return false;
    store.Close();
    CHistoryDlg dlg;
    if (!dlg.Open(strHistory, arrIds[0], "Example Hosting", "https://www.example.com/",
                  SAMPLE_NOW + 60))
        return false;
    dlg.SetRange(CHistoryDlg::RANGE_WEEK);
    return Save(&dlg, strPath, 900, 720);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TZ", "UTC", 1); // the same time axis on every machine
    tzset();
    QApplication app(argc, argv);
    PinFonts();
    const QDir out(QString::fromLocal8Bit(argc > 1 ? argv[1] : "."));
    CVantrelDoc doc(g_sink, nullptr);
    FillSampleHost(*doc.m_arrHosts.emplace_back(new CHost));
    if (Save(CHostGraphDlg::Prepare(nullptr, doc, 0, nullptr).get(),
             out.filePath("host-graph.png")) &&
        SaveComparison(out.filePath("compare-hosts.png"), false, 700) &&
        SaveHistory(out.filePath("history.png")) &&
        SaveComparison(out.filePath("compare-hosts-history.png"), true, 820))
        return 0;
    std::fprintf(stderr, "Cannot write the pictures to %s\n", qPrintable(out.path()));
    return 1;
}
