#include "sample_host_graph.h"

#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "graph/host_graph_dlg.h"

#include <QImage>
#include <QPixmap>

#include <cmath>

namespace {

class CNoMessages : public CMessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

} // namespace

void FillSampleHost(CHost& host, int nEntries) {
    host.m_strName = "Example Hosting";
    host.m_strTestURL = "http://www.example.com/";
    host.m_strWebSite = "http://www.example.com";
    host.m_bTesting = 1;
    host.m_nTests = nEntries + nEntries / 25;
    host.m_nTestsUp = nEntries;
    host.m_pPingHistory->clear();
    host.m_nPingTotal = 0;
    for (int i = 0; i < nEntries; ++i) {
        // A daily swing, some jitter, and a few slow answers.
        uint32_t nPing = static_cast<uint32_t>(62 + 18 * std::sin(i / 40.0) + (i * 37) % 11);
        if (i % 53 == 17)
            nPing += 45;
        host.m_pPingHistory->push_back(nPing);
        host.m_nPingTotal += static_cast<int32_t>(nPing);
    }
}

bool WriteSampleGraphPng(const QString& strPath, int nEntries) {
    CNoMessages sink;
    CVantrelDoc doc(sink, nullptr);
    auto* pHost = new CHost;
    FillSampleHost(*pHost, nEntries);
    doc.m_arrHosts.push_back(pHost);
    std::unique_ptr<CHostGraphDlg> pDlg = CHostGraphDlg::Prepare(nullptr, doc, 0, nullptr);
    if (!pDlg)
        return false;
    return pDlg->grab().toImage().save(strPath, "PNG");
}
