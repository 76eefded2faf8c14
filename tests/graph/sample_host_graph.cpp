#include "sample_host_graph.h"

#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "graph/compare_hosts_dlg.h"
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

void AddSampleHosts(CVantrelDoc& doc, int nHosts, int nEntries, bool bSomeWithout) {
    static const char* const s_arrNames[] = {
        "Bluefin Hosting", "Harbor Web Services", "Northwind Servers",  "Pebble Pages",
        "Quartz Cloud",    "Summit Hosting Co.",  "Tidewater Networks", "Lantern Web"};
    for (int h = 0; h < nHosts; ++h) {
        auto* pHost = new CHost;
        pHost->m_strName = s_arrNames[h % 8];
        if (h >= 8)
            pHost->m_strName += " " + std::to_string(h / 8 + 1);
        pHost->m_strTestURL = "http://host" + std::to_string(h) + ".example.com/";
        const int nEntriesHere = bSomeWithout && h % 5 == 4 ? 0 : nEntries;
        const double dBase = 20 + 17 * (h % 8), dSwing = 4 + 3 * (h % 5);
        for (int i = 0; i < nEntriesHere; ++i) {
            const auto nPing =
                static_cast<uint32_t>(dBase + dSwing * std::sin((i + 7 * h) / 23.0) +
                                      (i * 37 + h * 11) % 9 + (i % (41 + h) == 5 ? dBase : 0));
            pHost->m_pPingHistory->push_back(nPing);
            pHost->m_nPingTotal += static_cast<int32_t>(nPing);
        }
        pHost->m_nTests = nEntriesHere + nEntriesHere * (h % 4) / 20;
        pHost->m_nTestsUp = nEntriesHere;
        pHost->m_nSecondsTested = pHost->m_nTests * 300;
        doc.m_arrHosts.push_back(pHost);
    }
}

bool WriteSampleComparisonPng(const QString& strPath, int nHosts, int nWidth, int nHeight) {
    struct CNoMessages : CMessageSink {
        void ShowMessage(const std::string&) override {}
    } sink;
    CVantrelDoc doc(sink, nullptr);
    AddSampleHosts(doc, nHosts, 400, true);
    const auto pDlg = CCompareHostsDlg::Prepare(nullptr, doc, {}, nullptr);
    if (!pDlg)
        return false;
    pDlg->resize(nWidth, nHeight);
    pDlg->show();
    return pDlg->grab().toImage().save(strPath, "PNG");
}
