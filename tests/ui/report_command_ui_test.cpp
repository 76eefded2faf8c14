#include "ui/report_command_ui.h"

#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "report/report_history.h"
#include "report/report_writer.h"
#include "report/weighting_dialog.h"
#ifndef VANTREL_REPORT_TEST_DATA // the fixtures' expected files are not used here
#define VANTREL_REPORT_TEST_DATA ""
#endif
#include "gui_test_support.h"
#include "report/report_fixtures.h"
#include "testing/wait_observer.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>

namespace {

using Texts = std::vector<std::string>;

// Stands in for the dialogs, the opener, the message box and the wait dialog, and logs their
// calls. An empty path cancels the save dialog.
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

    bool m_bWeightsOk = true;
    bool m_bOpens = true;
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
    // The library's report of the marked hosts.
    std::string Plain(const CReportWeights& arrWeights) {
        CReportScorer scorer;
        scorer.Score(m_doc.m_arrHosts, {0, 2, 3}, arrWeights);
        return CReportWriter::BuildReport(m_doc.m_arrHosts, scorer);
    }

    CVantrelDoc m_doc{*this, nullptr};
    std::vector<int> m_arrRows{0, 2, 3};
    CTempDir m_dir;
};

} // namespace

TEST_F(ReportCommandTest, NothingIsWrittenWhenCancelledOrRefused) {
    std::filesystem::create_directory(m_dir.Path() + "/taken");
    // Rows, weights OK, file in m_dir ("" cancels), dialogs asked, message (or why writing
    // failed).
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

// Meanwhile the worker holds the lock of a marked host: the scorer waits behind the dialog.
TEST_F(ReportCommandTest, WritesWhatTheReportLibraryWrites) {
    const std::string strPath = m_dir.Path() + "/HostsReport.html";
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
    EXPECT_EQ(command.Execute(m_arrRows), strPath);
    worker.join();
    EXPECT_GT(command.m_nServes, 0);
    EXPECT_EQ(command.m_arrLog,
              (Texts{"weights", "file", "begin wait", "end wait", "open " + strPath}));
    EXPECT_EQ(ReadFile(strPath), Plain(command.m_arrWeights));
    EXPECT_EQ(m_dir.Names(), Texts{"HostsReport.html"});
}

// The weights and the history tick of the last report come back (also after a restart); the
// chart tick does not.
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
            EXPECT_EQ(pDlg->m_pChart->text(), "Include comparison chart");
            EXPECT_FALSE(pDlg->m_pChart->isChecked());
            pDlg->m_pChart->setChecked(bTick);
            // The history tick comes back as the last OK left it.
            EXPECT_EQ(pDlg->m_pHistory->text(), "Include measured history");
            EXPECT_EQ(pDlg->m_pHistory->isChecked(), nOpening == 1);
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

    // A damaged stored value opens the dialog at 10 as if nothing were stored.
    for (const char* pszText : {"1,2,3,4,5,6,7,8", "0,1,1,1,1,1,1,1,1", "11,1,1,1,1,1,1,1,1",
                                "1,1,1,1,1,1,1,1,x", "1,1,1,1,1,1,1,1,1,1", ""}) {
        CReportWeights arrWeights{7};
        EXPECT_FALSE(CReportCommandUI::ParseWeights(pszText, arrWeights)) << pszText;
        EXPECT_EQ(arrWeights, (CReportWeights{7})) << pszText;
    }
}

// The chart is one <svg> element of the reported hosts between the table and the notes.
TEST_F(ReportCommandTest, ChartAfterTheTableAndAMessageWhenNothingOpensTheReport) {
    m_doc.m_arrHosts[0]->m_strName = "Caf\xe9 & <Co>"; // Latin-1 and markup in a chart text
    const std::string strPath = m_dir.Path() + "/HostsReport.html";
    CTestCommand command(m_doc);
    command.m_strPath = strPath;
    command.m_bIncludeChart = true;
    command.m_bOpens = false;
    CBoxAnswerer answerer;
    ASSERT_EQ(command.Execute(m_arrRows), strPath);
    EXPECT_EQ(command.m_arrLog, (Texts{"weights", "file", "open " + strPath}));
    EXPECT_EQ(answerer.Texts(),
              QStringList{CReportCommandUI::NOT_OPENED + QString::fromStdString(strPath)});
    const std::string strPlain = Plain(command.m_arrWeights), strReport = ReadFile(strPath);
    const size_t nTableEnd = strPlain.find("</table>") + 8;
    ASSERT_EQ(strReport.compare(0, nTableEnd, strPlain, 0, nTableEnd), 0);
    // 900 CSS pixels wide, shrunk to the page: 480 + 36 for each of the three hosts high.
    ASSERT_EQ(strReport.compare(nTableEnd, 95,
                                "<br><svg width=\"900\" height=\"588\" style=\"max-width: 100%; "
                                "height: auto\"\n viewBox=\"0 0 900 588\"\n"),
              0)
        << strReport.substr(nTableEnd, 95);
    const size_t nSvgEnd = strReport.find("</svg>") + 6;
    EXPECT_EQ(strReport.substr(nSvgEnd), strPlain.substr(nTableEnd));
    const std::string strSvg = strReport.substr(nTableEnd + 4, nSvgEnd - nTableEnd - 4);
    EXPECT_EQ(strSvg.find("<svg", 1), std::string::npos);
    EXPECT_TRUE(std::all_of(strSvg.begin(), strSvg.end(), [](char c) { return c > 0; }));
    EXPECT_NE(strSvg.find("Caf&#233; &amp; &lt;Co&gt;"), std::string::npos);
    // Only the three reported hosts, in the legend and the uptime view.
    EXPECT_EQ(strSvg.find(m_doc.m_arrHosts[1]->m_strName), std::string::npos);
    EXPECT_NE(strSvg.find(m_doc.m_arrHosts[3]->m_strName), std::string::npos);
    // The legend lists them in the table's order, best total first.
    CReportScorer scorer;
    scorer.Score(m_doc.m_arrHosts, m_arrRows, command.m_arrWeights);
    std::vector<size_t> arrAt;
    const char* const arrInSvg[] = {"Caf&#233; &amp;", "", "Caf&#233; Plain", "Beta Web"};
    for (int nRow : scorer.GetRowsInOrder())
        arrAt.push_back(strSvg.find(arrInSvg[nRow]));
    EXPECT_EQ(scorer.GetRowsInOrder(), (std::vector<int>{0, 3, 2}));
    EXPECT_TRUE(std::is_sorted(arrAt.begin(), arrAt.end()) && arrAt.back() != std::string::npos);
}

// The history beside the document's data file, read for the hosts' history ids; without one
// the report says why and is written without it.
TEST_F(ReportCommandTest, MeasuredHistoryOfTheDocumentsHosts) {
    const std::string strData = m_dir.Path() + "/v.dat", strPath = m_dir.Path() + "/r.html";
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(strData, m_doc.m_arrHosts, 0, 5, false, strError)) << strError;
    ASSERT_EQ(m_doc.LoadHosts(strData).m_eResult, CHostsFile::LOAD_OK);
    CTestCommand command(m_doc);
    command.m_strPath = strPath;
    command.m_bIncludeHistory = true;
    ASSERT_EQ(command.Execute(m_arrRows), strPath);
    EXPECT_EQ(command.m_arrLog[2], "The measured history could not be read, so the report leaves "
                                   "it out.\nCannot open the test history " +
                                       strData + ".history: no such file or folder.");
    EXPECT_EQ(ReadFile(strPath), Plain(command.m_arrWeights));

    const int64_t tNow = ::time(nullptr);
    FillHistory(strData + ".history", m_doc.m_arrHosts, tNow);
    ASSERT_TRUE(m_doc.OpenHistory());
    command.m_arrLog.clear();
    ASSERT_EQ(command.Execute(m_arrRows), strPath);
    EXPECT_EQ(command.m_arrLog, (Texts{"weights", "file", "open " + strPath}));
    CHistoryStore store;
    ASSERT_EQ(store.OpenExisting(strData + ".history"), CHistoryStore::EOpen::OK);
    std::vector<CReportHistory> arrHistory;
    for (CHost* pHost : m_doc.m_arrHosts)
        arrHistory.push_back(CReportHistory::Measure(store, pHost->m_nHistoryId, tNow));
    CReportScorer scorer;
    scorer.Score(m_doc.m_arrHosts, m_arrRows, command.m_arrWeights);
    const std::string strReport = ReadFile(strPath);
    EXPECT_EQ(strReport, CReportWriter::BuildReport(m_doc.m_arrHosts, scorer, {}, &arrHistory));
    EXPECT_NE(strReport.find("Beta Web 32, "), std::string::npos);
}
