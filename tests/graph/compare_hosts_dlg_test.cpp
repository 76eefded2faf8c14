#include "graph/compare_hosts_dlg.h"

#include "core/host.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "sample_host_graph.h"
#include "testing/wait_observer.h"
#include <QFileInfo>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

class CompareHostsTest : public ::testing::Test, public CMessageSink, public CWaitObserver {
protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void SetUp() override {
        CCompareHostsDlg::SetMessageFunction([this](QWidget* pOwner, const std::string& strText) {
            m_arrMessages.push_back(pOwner ? strText : "(not owned) " + strText);
        });
    }
    void TearDown() override {
        CCompareHostsDlg::SetMessageFunction({});
        CCompareHostsDlg::SetPlacementStore(nullptr);
    }
    void ShowMessage(const std::string&) override {}
    void BeginWait() override { m_strWait += "begin "; }
    void StepWait() override { m_strWait += "step "; }
    void EndWait() override { m_strWait += "end"; }
    void Serve() override {}

    static Texts Names(const CCompareHostsDlg& dlg) {
        Texts arrNames;
        for (const CHostComparison::SHost& host : dlg.GetComparison().GetHosts())
            arrNames.push_back(host.strName);
        return arrNames;
    }

    QWidget m_parent;
    CVantrelDoc m_doc{*this, nullptr};
    Texts m_arrMessages;
    std::string m_strWait;
};

TEST_F(CompareHostsTest, TickedHostsOrAll) {
    EXPECT_EQ(CCompareHostsDlg::Prepare(&m_parent, m_doc, {}, nullptr), nullptr);
    EXPECT_EQ(m_arrMessages, Texts{"There are no web hosts to compare."});
    AddSampleHosts(m_doc, 4, 20);
    const std::pair<std::vector<int>, Texts> arrCases[] = {
        {{}, {"Bluefin Hosting", "Harbor Web Services", "Northwind Servers", "Pebble Pages"}},
        {{0, 0, 0, 0},
         {"Bluefin Hosting", "Harbor Web Services", "Northwind Servers", "Pebble Pages"}},
        {{0, 1, 0, 1}, {"Harbor Web Services", "Pebble Pages"}},
        {{1, 0, 0, 0, 1}, {"Bluefin Hosting"}}, // a flag beyond the list counts for nothing
    };
    for (const auto& [arrMarked, arrNames] : arrCases) {
        const auto pDlg = CCompareHostsDlg::Prepare(&m_parent, m_doc, arrMarked, nullptr);
        ASSERT_NE(pDlg, nullptr);
        EXPECT_EQ(Names(*pDlg), arrNames);
    }
    EXPECT_EQ(m_arrMessages.size(), 1u);
}

// The command waits for the worker that holds a host's lock; later changes stay out.
TEST_F(CompareHostsTest, SnapshotUnderEachHostsLock) {
    AddSampleHosts(m_doc, 2, 12);
    CHost& host = *m_doc.m_arrHosts[1];
    std::promise<void> locked;
    std::thread worker([&] {
        std::lock_guard lock(*host.m_pMutex);
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        host.m_pPingHistory->push_back(999);
        ++host.m_nTests, ++host.m_nTestsUp;
    });
    locked.get_future().wait();
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
    // The settings file holds the mail password: still for its owner only.
    const QFileDevice::Permissions perms = QFileInfo(dir.filePath("Vantrel.conf")).permissions();
    EXPECT_EQ(perms & 0x0FF, 0) << std::hex << perms;
    EXPECT_TRUE(perms.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // "Save Image..." writes the charts at the window's size; a refused file is explained.
    pDlg->resize(800, 600);
    ASSERT_TRUE(pDlg->SaveImage(dir.filePath("c.png")));
    EXPECT_EQ(QImage(dir.filePath("c.png")), pDlg->GetChartWidget()->grab().toImage());
    EXPECT_FALSE(pDlg->SaveImage(dir.filePath("c.bmp")));
    EXPECT_EQ(m_arrMessages,
              Texts{"The image could not be saved.\n" + dir.filePath("c.bmp").toStdString() +
                    " does not end in .png or .svg."});
}

} // namespace
