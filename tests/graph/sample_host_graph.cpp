#include "sample_host_graph.h"

#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "graph/host_graph_dlg.h"

#include <QPixmap>

#include <cmath>

void FillSampleHost(CHost& host, int nEntries) {
    host.m_strName = "Example Hosting";
    host.m_strTestURL = "http://www.example.com/";
    host.m_nTests = nEntries + nEntries / 25, host.m_nTestsUp = nEntries;
    for (int i = 0; i < nEntries; ++i) {
        // A daily swing, some jitter, and a few slow answers.
        const auto nPing = static_cast<uint32_t>(62 + 18 * std::sin(i / 40.0) + (i * 37) % 11 +
                                                 (i % 53 == 17 ? 45 : 0));
        host.m_pPingHistory->push_back(nPing);
        host.m_nPingTotal += static_cast<int32_t>(nPing);
    }
}

bool WriteSampleGraphPng(const QString& strPath, int nEntries) {
    if (nEntries < CHostGraphDlg::MIN_POINTS)
        return false; // the command would show its message box
    struct CNoMessages : CMessageSink {
        void ShowMessage(const std::string&) override {}
    } sink;
    CVantrelDoc doc(sink, nullptr);
    doc.m_arrHosts.push_back(new CHost);
    FillSampleHost(*doc.m_arrHosts[0], nEntries);
    const auto pDlg = CHostGraphDlg::Prepare(nullptr, doc, 0, nullptr);
    return pDlg && pDlg->grab().toImage().save(strPath, "PNG");
}
