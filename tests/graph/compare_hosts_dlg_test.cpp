#include "graph/compare_hosts_dlg.h"

#include "core/settings_store.h"
#include "graph_dialog_test.h"
#include "sample_host_graph.h"
#include <QTemporaryDir>

namespace {

using Texts = std::vector<std::string>;

class CompareHostsTest : public GraphDialogTest {
protected:
    void SetUp() override { CCompareHostsDlg::SetMessageFunction(Recorder()); }
    void TearDown() override {
        CCompareHostsDlg::SetMessageFunction({});
        CCompareHostsDlg::SetPlacementStore(nullptr);
    }
};

// The ticked hosts, or all when none is ticked; the ticks kept.
TEST_F(CompareHostsTest, TickedHostsOrAll) {
    EXPECT_EQ(CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr), nullptr);
    EXPECT_EQ(m_arrMessages, Texts{"There are no web hosts to compare."});
    AddSampleHosts(m_doc, 4, 20);
    const Texts ALL = {"Bluefin Hosting", "Harbor Web Services", "Northwind Servers",
                       "Pebble Pages"};
    const std::pair<std::vector<int>, Texts> arrCases[] = {
        {{}, ALL},
        {{0, 0, 0, 0}, ALL},
        {{0, 1, 0, 1}, {"Harbor Web Services", "Pebble Pages"}},
        {{1, 0, 0, 0, 1}, {"Bluefin Hosting"}}, // a flag beyond the list counts for nothing
    };
    for (const auto& [arrMarked, arrNames] : arrCases) {
        const auto pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, arrMarked, nullptr);
        ASSERT_NE(pDlg, nullptr);
        Texts arrShown;
        for (const CHostComparison::SHost& host : pDlg->GetComparison().GetHosts())
            arrShown.push_back(host.strName);
        EXPECT_EQ(arrShown, arrNames);
    }
    EXPECT_EQ(m_arrMessages.size(), 1u);
}

// The command waits for the worker that holds a host's lock; later changes stay out.
TEST_F(CompareHostsTest, SnapshotUnderEachHostsLock) {
    AddSampleHosts(m_doc, 2, 12);
    CHost& host = *m_doc.m_arrHosts[1];
    std::thread worker = HoldLock(host, [&host] {
        host.m_pPingHistory->push_back(999);
        ++host.m_nTests, ++host.m_nTestsUp;
    });
    const auto pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, this);
    worker.join();
    ASSERT_NE(pDlg, nullptr);
    EXPECT_EQ(m_strWait, "begin end");
    host.m_pPingHistory->push_back(5);
    const CHostComparison::SHost& figures = pDlg->GetComparison().GetHosts()[1];
    EXPECT_EQ(std::tuple(figures.arrRecent.size(), figures.arrRecent.back(), figures.nMax,
                         figures.nTests),
              std::tuple(size_t{13}, 999u, 999u, 13));
}

// The size is kept; "Save Image..." writes the charts at the window's size, a refusal explained.
TEST_F(CompareHostsTest, RemembersItsSizeAndSavesItsImage) {
    AddSampleHosts(m_doc, 3, 20);
    QTemporaryDir dir;
    CSettingsStore store(dir.filePath("Vantrel.conf").toStdString());
    CCompareHostsDlg::SetPlacementStore(&store);
    auto pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(900, 700));
    pDlg->resize(640, 520);
    pDlg->reject();
    pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr);
    pDlg->show();
    EXPECT_EQ(pDlg->size(), QSize(640, 520));
    pDlg->resize(800, 600);
    ASSERT_TRUE(pDlg->SaveImage(dir.filePath("c.png")));
    EXPECT_EQ(QImage(dir.filePath("c.png")), pDlg->GetChartWidget()->grab().toImage());
    EXPECT_FALSE(pDlg->SaveImage(dir.filePath("c.bmp")));
    EXPECT_EQ(m_arrMessages,
              Texts{"The image could not be saved.\n" + dir.filePath("c.bmp").toStdString() +
                    " does not end in .png or .svg."});
}

} // namespace
