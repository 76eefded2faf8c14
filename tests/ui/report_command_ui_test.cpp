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

// Stands in for the dialogs, a failing opener, box and wait dialog; an empty path cancels.
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
        fnFailed(); // as when no program opens it
    }
    void ShowMessage(const std::string& strText) override { m_arrLog.push_back(strText); }
    void BeginWait() override { m_arrLog.push_back("begin wait"); }
    void StepWait() override {}
    void EndWait() override { m_arrLog.push_back("end wait"); }
    void Serve() override { ++m_nServes; }

    bool m_bWeightsOk = true;
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

// Cancelled or refused, nothing is written; written under a lock the worker holds, the chart
// in table order, a missing history said.
TEST_F(ReportCommandTest, WritesOnlyWhatWasAskedForAndAllowed) {
    const std::string D = m_dir.Path() + "/", strPath = D + "r.html";
    const std::string NOT_SAVED = "The report could not be written.\nCannot save " + D;
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(D + "v.dat", m_doc.m_arrHosts, 0, 5, false, strError));
    ASSERT_EQ(m_doc.LoadHosts(D + "v.dat").m_eResult, CHostsFile::LOAD_OK);
    std::filesystem::create_directory(D + "taken");
    std::ofstream(strPath) << "an older report that is replaced";
    // Rows, weights OK, file ("" cancels), what the command asked and said.
    const std::tuple<std::vector<int>, bool, std::string, Texts> arrCases[] = {
        {{}, true, "x.html", {"Please mark at least one host to generate report for."}},
        {{0, 2, 3}, false, "x.html", {"weights"}},
        {{1}, true, "", {"weights", "file"}},
        {{2},
         true,
         "no/x.html",
         {"weights", "file", NOT_SAVED + "no/x.html: no such file or folder."}},
        {{2}, true, "taken", {"weights", "file", NOT_SAVED + "taken: the path names a folder."}},
        {{0, 2, 3},
         true,
         "r.html",
         {"weights", "file", "begin wait", "end wait",
          "The measured history could not be read, so the report leaves it out.\nCannot open the "
          "test history " +
              D + "v.dat.history: no such file or folder.",
          "open " + strPath}},
    };
    for (auto& [arrRows, bWeightsOk, strFile, arrLog] : arrCases) {
        const bool bWritten = strFile == "r.html";
        std::atomic<bool> bLocked{!bWritten};
        std::thread worker([&] {
            std::lock_guard<std::recursive_timed_mutex> lock(*m_doc.m_arrHosts[2]->m_pMutex);
            bLocked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(bWritten ? 300 : 0));
        });
        while (!bLocked)
            std::this_thread::yield();
        CTestCommand command(m_doc);
        command.m_bWeightsOk = bWeightsOk;
        command.m_strPath = strFile.empty() ? "" : D + strFile;
        command.m_bIncludeChart = command.m_bIncludeHistory = bWritten;
        CBoxAnswerer answerer;
        EXPECT_EQ(command.Execute(arrRows), bWritten ? strPath : "");
        worker.join();
        EXPECT_EQ(command.m_arrLog, arrLog);
        EXPECT_TRUE(!bWritten || command.m_nServes > 0);
        EXPECT_EQ(answerer.Texts(), bWritten ? QStringList{CReportCommandUI::NOT_OPENED +
                                                           QString::fromStdString(strPath)}
                                             : QStringList{});
    }
    EXPECT_EQ(m_dir.Names(), (Texts{"r.html", "taken", "v.dat"}));
    EXPECT_TRUE(std::filesystem::is_empty(D + "taken"));
    CReportScorer scorer;
    scorer.Score(m_doc.m_arrHosts, {0, 2, 3}, CTestCommand(m_doc).m_arrWeights);
    CHostComparison comparison;
    comparison.TakeSnapshot(m_doc, {0, 3, 2}, nullptr);
    const CComparisonChart chart(comparison);
    EXPECT_EQ(ReadFile(strPath),
              CReportWriter::BuildReport(m_doc.m_arrHosts, scorer,
                                         chart.InlineSvg(chart.PreferredSize())));
}

// The weights and history tick of the last OK come back; the chart tick and bad values do not.
TEST_F(ReportCommandTest, WeightingDialogRemembersTheWeightsAndHistoryTick) {
    CSettingsStore store(m_dir.Path() + "/settings.conf");
    CReportCommandUI::SetSettingsStore(&store);
    store.SaveReportWeights("11,1,1,1,1,1,1,1,1");
    CReportCommandUI command(nullptr, m_doc);
    QString strShown; // the weights, chart and history ticks at the second opening
    for (auto eButton : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel}) {
        QTimer::singleShot(0, [&] {
            auto* pDlg = qobject_cast<CWeightingDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(pDlg, nullptr);
            for (int a = 0; a < ATTRIBUTE_COUNT; ++a) {
                strShown += pDlg->m_arrLists[a]->currentText() + ',';
                pDlg->m_arrLists[a]->setCurrentIndex(9 - a);
            }
            strShown += QString::number(pDlg->m_pChart->isChecked()) +
                        QString::number(pDlg->m_pHistory->isChecked()) + '|';
            pDlg->m_pChart->setChecked(true);
            pDlg->m_pHistory->setChecked(true);
            pDlg->findChild<QDialogButtonBox*>()->button(eButton)->click();
        });
        CReportWeights arrWeights{};
        EXPECT_EQ(command.AskWeights(arrWeights), eButton == QDialogButtonBox::Ok);
    }
    CReportCommandUI::SetSettingsStore(nullptr);
    EXPECT_EQ(strShown, "10,10,10,10,10,10,10,10,10,00|10,9,8,7,6,5,4,3,2,01|");
}
