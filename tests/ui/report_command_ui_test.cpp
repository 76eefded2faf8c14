#include "ui/report_command_ui.h"

#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "graph/comparison_chart.h"
#include "graph/host_comparison.h"
#include "report/report_writer.h"
#include "report/weighting_dialog.h"
#ifndef VANTREL_REPORT_TEST_DATA // the fixtures' expected files are not used here
#define VANTREL_REPORT_TEST_DATA ""
#endif
#include "gui_test_support.h"
#include "report/report_fixtures.h"
#include "testing/wait_observer.h"
#include <QtWidgets>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Texts = std::vector<std::string>;

// Stands in for the dialogs, opener, box and wait dialog; an empty path cancels the save.
class CTestCommand : public CReportCommandUI, public CWaitObserver {
public:
    explicit CTestCommand(CVantrelDoc& doc) : CReportCommandUI(nullptr, doc, this) {}
    bool AskWeights(CReportWeights& arrWeights) override {
        m_arrLog.push_back("weights");
        arrWeights = m_arrWeights;
        return m_bWeightsOk;
    }
    bool AskFileName(std::string& strPath) override {
        m_arrLog.push_back("file");
        strPath = m_strPath;
        return !m_strPath.empty();
    }
    void OpenFile(const std::string& strPath, const std::function<void()>& fnFailed) override {
        m_arrLog.push_back("open " + strPath);
        if (!m_bOpens)
            fnFailed();
    }
    void ShowMessage(const std::string& strText) override { m_arrLog.push_back(strText); }
    void BeginWait() override { m_arrLog.push_back("begin wait"); }
    void StepWait() override {}
    void EndWait() override { m_arrLog.push_back("end wait"); }
    void Serve() override { ++m_nServes; }

    bool m_bWeightsOk = true, m_bOpens = true;
    CReportWeights m_arrWeights{3, 1, 10, 7, 2, 9, 5, 4, 6};
    std::string m_strPath;
    Texts m_arrLog;
    int m_nServes = 0;
};

class ReportCommandTest : public ::testing::Test, public CMessageSink {
protected:
    void ShowMessage(const std::string&) override {}
    void SetUp() override {
        EnsureApp();
        CReportHosts hosts;
        MakeThreeHosts(hosts); // hosts 0, 2 and 3 are marked
        for (CHost* pSource : hosts.Hosts())
            m_doc.m_arrHosts.emplace_back(new CHost)->CopyFrom(*pSource);
    }

    CVantrelDoc m_doc{*this, nullptr};
    CTempDir m_dir;
};

} // namespace

TEST_F(ReportCommandTest, NothingIsWrittenWhenCancelledOrRefused) {
    std::filesystem::create_directory(m_dir.Path() + "/taken");
    // Rows, weights OK, file ("" cancels), dialogs asked, message (or why writing failed).
    const std::string ASKS[] = {"weights", "file"};
    const std::tuple<std::vector<int>, bool, const char*, int, const char*> arrCases[] = {
        {{}, true, "r.html", 0, "Please mark at least one host to generate report for."},
        {{0, 2, 3}, false, "r.html", 1, nullptr},
        {{1}, true, "", 2, nullptr},
        {{2}, true, "no such folder/r.html", 2, "no such file or folder"},
        {{2}, true, "taken", 2, "the path names a folder"},
    };
    for (auto& [arrRows, bWeightsOk, pszFile, nAsks, pszMessage] : arrCases) {
        CTestCommand command(m_doc);
        command.m_bWeightsOk = bWeightsOk;
        command.m_strPath = *pszFile ? m_dir.Path() + "/" + pszFile : "";
        EXPECT_EQ(command.Execute(arrRows), "");
        Texts arrLog(ASKS, ASKS + nAsks);
        if (pszMessage)
            arrLog.push_back(nAsks < 2 ? pszMessage
                                       : "The report could not be written.\nCannot save " +
                                             command.m_strPath + ": " + pszMessage + ".");
        EXPECT_EQ(command.m_arrLog, arrLog);
    }
    EXPECT_EQ(m_dir.Names(), Texts{"taken"});
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path() + "/taken"));
}

// Written under a lock the worker holds; chart in table order; a missing history said.
TEST_F(ReportCommandTest, WritesWhatTheReportLibraryWrites) {
    const std::string strData = m_dir.Path() + "/v.dat", strPath = m_dir.Path() + "/r.html";
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(strData, m_doc.m_arrHosts, 0, 5, false, strError)) << strError;
    ASSERT_EQ(m_doc.LoadHosts(strData).m_eResult, CHostsFile::LOAD_OK);
    std::ofstream(strPath) << "an older report that is replaced";
    std::atomic<bool> bLocked{false};
    std::thread worker([&] {
        std::lock_guard<std::recursive_timed_mutex> lock(*m_doc.m_arrHosts[2]->m_pMutex);
        bLocked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    while (!bLocked)
        std::this_thread::yield();
    CTestCommand command(m_doc);
    command.m_strPath = strPath;
    command.m_bIncludeChart = command.m_bIncludeHistory = true;
    command.m_bOpens = false;
    CBoxAnswerer answerer;
    EXPECT_EQ(command.Execute({0, 2, 3}), strPath);
    worker.join();
    EXPECT_GT(command.m_nServes, 0);
    EXPECT_EQ(command.m_arrLog,
              (Texts{"weights", "file", "begin wait", "end wait",
                     "The measured history could not be read, so the report leaves it out.\n"
                     "Cannot open the test history " +
                         strData + ".history: no such file or folder.",
                     "open " + strPath}));
    EXPECT_EQ(answerer.Texts(),
              QStringList{CReportCommandUI::NOT_OPENED + QString::fromStdString(strPath)});
    EXPECT_EQ(m_dir.Names(), (Texts{"r.html", "v.dat"}));
    CReportScorer scorer;
    scorer.Score(m_doc.m_arrHosts, {0, 2, 3}, command.m_arrWeights);
    EXPECT_EQ(scorer.GetRowsInOrder(), (std::vector<int>{0, 3, 2}));
    CHostComparison comparison;
    comparison.TakeSnapshot(m_doc, {0, 3, 2}, nullptr);
    const CComparisonChart chart(comparison);
    EXPECT_EQ(ReadFile(strPath),
              CReportWriter::BuildReport(m_doc.m_arrHosts, scorer,
                                         chart.InlineSvg(chart.PreferredSize())));
}

// The weights and history tick of the last OK come back; the chart tick and bad values not.
TEST_F(ReportCommandTest, WeightingDialogRemembersTheWeightsAndHistoryButNotTheChartTick) {
    CSettingsStore store(m_dir.Path() + "/settings.conf");
    CReportCommandUI::SetSettingsStore(&store);
    CReportCommandUI command(nullptr, m_doc);
    int nOpening = 0;
    for (auto [eButton, bTick] : {std::pair(QDialogButtonBox::Ok, true),
                                  {QDialogButtonBox::Ok, false},
                                  {QDialogButtonBox::Cancel, true}}) {
        QTimer::singleShot(0, [&] {
            auto* pDlg = qobject_cast<CWeightingDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(pDlg, nullptr);
            for (int a = 0; a < ATTRIBUTE_COUNT; ++a) { // the weights read the item texts
                EXPECT_EQ(pDlg->m_arrLists[a]->currentText(),
                          nOpening == 0 ? "10" : QString::number(nOpening == 1 ? a + 1 : 10 - a));
                pDlg->m_arrLists[a]->setCurrentIndex(nOpening == 0 ? a : 9 - a);
            }
            EXPECT_FALSE(pDlg->m_pChart->isChecked());
            EXPECT_EQ(pDlg->m_pHistory->isChecked(), nOpening == 1);
            pDlg->m_pChart->setChecked(bTick);
            pDlg->m_pHistory->setChecked(bTick);
            pDlg->findChild<QDialogButtonBox*>()->button(eButton)->click();
        });
        CReportWeights arrWeights{};
        const bool bOk = eButton == QDialogButtonBox::Ok;
        EXPECT_EQ(command.AskWeights(arrWeights), bOk);
        EXPECT_EQ(arrWeights, (!bOk            ? CReportWeights{}
                               : nOpening == 0 ? CReportWeights{1, 2, 3, 4, 5, 6, 7, 8, 9}
                                               : CReportWeights{10, 9, 8, 7, 6, 5, 4, 3, 2}));
        EXPECT_TRUE(!bOk ||
                    (command.m_bIncludeChart == bTick && command.m_bIncludeHistory == bTick));
        ++nOpening;
    }
    CReportCommandUI::SetSettingsStore(nullptr);
    EXPECT_EQ(store.LoadReportWeights(), "10,9,8,7,6,5,4,3,2"); // Cancel kept the last OK's
    EXPECT_FALSE(store.LoadReportHistory());
    for (const char* pszText : {"1,2,3,4,5,6,7,8", "0,1,1,1,1,1,1,1,1", "11,1,1,1,1,1,1,1,1",
                                "1,1,1,1,1,1,1,1,x", "1,1,1,1,1,1,1,1,1,1", ""}) {
        CReportWeights arrWeights{7};
        EXPECT_FALSE(CReportCommandUI::ParseWeights(pszText, arrWeights)) << pszText;
        EXPECT_EQ(arrWeights, (CReportWeights{7})) << pszText;
    }
}
