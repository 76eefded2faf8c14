#include "report/report_command_ui.h"

#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "report/report_writer.h"
// The fixtures' expected files are not used here.
#ifndef VANTREL_REPORT_TEST_DATA
#define VANTREL_REPORT_TEST_DATA ""
#endif
#include "report_fixtures.h"
#include "testing/wait_observer.h"

#include "assistant/gui_test_app.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class CNullSink : public CMessageSink {
public:
    void ShowMessage(const std::string&) override {}
};

// Stands in for the dialogs, the desktop's opener and the message box.
class CTestCommand : public CReportCommandUI {
public:
    using CReportCommandUI::CReportCommandUI;

    bool AskWeights(CReportWeights& arrWeights) override {
        ++m_nWeightAsks;
        if (!m_bWeightsOk)
            return false;
        arrWeights = m_arrWeights;
        return true;
    }
    bool AskFileName(std::string& strPath) override {
        ++m_nFileAsks;
        if (m_strPath.empty())
            return false;
        strPath = m_strPath;
        return true;
    }
    void OpenFile(const std::string& strPath) override { m_arrOpened.push_back(strPath); }
    void ShowMessage(const std::string& strText) override { m_arrMessages.push_back(strText); }

    bool m_bWeightsOk = true;
    CReportWeights m_arrWeights{10, 10, 10, 10, 10, 10, 10, 10, 10};
    std::string m_strPath;
    int m_nWeightAsks = 0;
    int m_nFileAsks = 0;
    std::vector<std::string> m_arrOpened;
    std::vector<std::string> m_arrMessages;
};

class CCountingObserver : public CWaitObserver {
public:
    void BeginWait() override { ++m_nBegins; }
    void StepWait() override {}
    void EndWait() override { ++m_nEnds; }
    void Serve() override { ++m_nServes; }
    int m_nBegins = 0, m_nEnds = 0, m_nServes = 0;
};

class ReportCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        GuiTestApp();
        CReportHosts hosts;
        MakeThreeHosts(hosts);
        for (CHost* pSource : hosts.Hosts()) {
            auto* pHost = new CHost;
            pHost->CopyFrom(*pSource);
            m_doc.m_arrHosts.push_back(pHost);
        }
        m_arrMarked = {1, 0, 1, 1};
    }

    // The view's ToggleCheck as far as the flags go; remembers the rows it was called for.
    std::function<void(int)> Toggle() {
        return [this](int nRow) {
            m_arrToggled.push_back(nRow);
            m_arrMarked[nRow] = m_arrMarked[nRow] ? 0 : 1;
        };
    }

    std::string Expected(const std::vector<int>& arrSet, const CReportWeights& arrWeights) {
        CReportScorer scorer;
        scorer.Score(m_doc.m_arrHosts, arrSet, arrWeights);
        return CReportWriter::BuildReport(m_doc.m_arrHosts, scorer);
    }

    CNullSink m_sink;
    CVantrelDoc m_doc{m_sink, nullptr};
    std::vector<int> m_arrMarked;
    std::vector<int> m_arrToggled;
    CTempDir m_dir;
};

std::string VantrelctlPath() {
    char szExe[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
    if (n <= 0)
        return {};
    // tests/report/<binary> and src/cli/vantrelctl in the same build tree.
    const auto path = std::filesystem::path(szExe).parent_path().parent_path().parent_path() /
                      "src/cli/vantrelctl";
    return std::filesystem::exists(path) ? path.string() : std::string();
}

int RunProgram(std::vector<std::string> arrArgs) {
    std::vector<char*> argv;
    for (std::string& str : arrArgs)
        argv.push_back(str.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int nStatus = 0;
    if (::waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus))
        return -1;
    return WEXITSTATUS(nStatus);
}

} // namespace

TEST_F(ReportCommandTest, NoMarkedHost) {
    m_arrMarked = {0, 0, 0, 0};
    CTestCommand command(nullptr, m_doc);
    EXPECT_EQ(command.Execute(m_arrMarked, Toggle()), "");
    EXPECT_EQ(command.m_arrMessages,
              std::vector<std::string>{"Please mark at least one host to generate report for."});
    EXPECT_EQ(command.m_nWeightAsks, 0);
    EXPECT_TRUE(m_arrToggled.empty());
}

TEST_F(ReportCommandTest, MarksAreConsumedAlsoWhenCancelled) {
    {
        CTestCommand command(nullptr, m_doc);
        command.m_bWeightsOk = false;
        command.m_strPath = m_dir.Path() + "/r.html";
        EXPECT_EQ(command.Execute(m_arrMarked, Toggle()), "");
        EXPECT_EQ(m_arrToggled, (std::vector<int>{0, 2, 3}));
        EXPECT_EQ(m_arrMarked, (std::vector<int>{0, 0, 0, 0}));
        EXPECT_EQ(command.m_nFileAsks, 0);
        EXPECT_TRUE(command.m_arrMessages.empty());
    }
    {
        m_arrMarked = {0, 1, 0, 0};
        CTestCommand command(nullptr, m_doc);
        EXPECT_EQ(command.Execute(m_arrMarked, nullptr), ""); // the file dialog is cancelled
        EXPECT_EQ(m_arrMarked, (std::vector<int>{0, 0, 0, 0}));
        EXPECT_EQ(command.m_nWeightAsks, 1);
        EXPECT_EQ(command.m_nFileAsks, 1);
        EXPECT_TRUE(command.m_arrOpened.empty());
        EXPECT_TRUE(command.m_arrMessages.empty());
    }
    EXPECT_TRUE(m_dir.Names().empty());
}

TEST_F(ReportCommandTest, WritesWhatTheReportLibraryWritesAndOpensIt) {
    const std::string strPath = m_dir.Path() + "/HostsReport.html";
    {
        std::ofstream old(strPath);
        old << "an older report that is replaced";
    }
    CTestCommand command(nullptr, m_doc);
    command.m_arrWeights = {3, 1, 10, 7, 2, 9, 5, 4, 6};
    command.m_strPath = strPath;
    EXPECT_EQ(command.Execute(m_arrMarked, Toggle()), strPath);
    EXPECT_TRUE(command.m_arrMessages.empty());
    EXPECT_EQ(command.m_arrOpened, std::vector<std::string>{strPath});
    const std::string strReport = ReadFile(strPath);
    EXPECT_EQ(strReport, Expected({0, 2, 3}, command.m_arrWeights));
    EXPECT_NE(strReport.find(" x 3 </td>"), std::string::npos);
    EXPECT_EQ(strReport.find("Unmarked"), std::string::npos);
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"HostsReport.html"});

    // The same bytes as the command-line companion for the same hosts and weights.
    const std::string strCtl = VantrelctlPath();
    if (strCtl.empty())
        GTEST_SKIP() << "vantrelctl is not built in this tree; compared with the library only";
    const std::string strData = m_dir.Path() + "/Vantrel.dat";
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(strData, m_doc.m_arrHosts, 0, 5, false, strError)) << strError;
    const std::string strCtlOut = m_dir.Path() + "/ctl.html";
    ASSERT_EQ(RunProgram({strCtl, "report", "--data", strData, "--hosts", "3,0,2", "--out",
                          strCtlOut, "--weights", "3,1,10,7,2,9,5,4,6"}),
              0);
    EXPECT_EQ(ReadFile(strCtlOut), strReport);
}

TEST_F(ReportCommandTest, WaitsForAHostUnderTestBehindTheWaitDialog) {
    // The worker is testing host 2 and holds its lock for a while.
    std::atomic<bool> bLocked{false};
    std::thread worker([&] {
        std::lock_guard<std::recursive_timed_mutex> lock(*m_doc.m_arrHosts[2]->m_pMutex);
        bLocked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    });
    while (!bLocked)
        std::this_thread::yield();
    CCountingObserver observer;
    CTestCommand command(nullptr, m_doc, &observer);
    command.m_strPath = m_dir.Path() + "/r.html";
    EXPECT_EQ(command.Execute(m_arrMarked, Toggle()), command.m_strPath);
    worker.join();
    EXPECT_EQ(observer.m_nBegins, 1);
    EXPECT_EQ(observer.m_nEnds, 1);
    EXPECT_GT(observer.m_nServes, 0);
    EXPECT_EQ(ReadFile(command.m_strPath), Expected({0, 2, 3}, command.m_arrWeights));
}

TEST_F(ReportCommandTest, UnwritableFileIsReportedAndLeavesNothing) {
    const std::string strMissing = m_dir.Path() + "/no such folder/r.html";
    const std::string strFolder = m_dir.Path() + "/taken";
    std::filesystem::create_directory(strFolder);
    for (const std::string& strPath : {strMissing, strFolder}) {
        SCOPED_TRACE(strPath);
        m_arrMarked = {0, 0, 1, 0};
        CTestCommand command(nullptr, m_doc);
        command.m_strPath = strPath;
        EXPECT_EQ(command.Execute(m_arrMarked, Toggle()), "");
        ASSERT_EQ(command.m_arrMessages.size(), 1u);
        EXPECT_TRUE(command.m_arrMessages[0].starts_with("The report could not be written.\n"
                                                         "Cannot save " +
                                                         strPath + ": "));
        EXPECT_TRUE(command.m_arrOpened.empty());
    }
    EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"taken"});
    EXPECT_TRUE(std::filesystem::is_empty(strFolder));
}

TEST_F(ReportCommandTest, RealDialogs) {
    std::ofstream(m_dir.Path() + "/exists.html") << "keep";
    CReportCommandUI command(nullptr, m_doc);

    // Weighting dialog: OK without changes gives nine weights of 10.
    QTimer::singleShot(0, [] {
        QWidget* p = QApplication::activeModalWidget();
        ASSERT_NE(p, nullptr);
        QMetaObject::invokeMethod(p, "accept");
    });
    CReportWeights arrWeights{};
    ASSERT_TRUE(command.AskWeights(arrWeights));
    EXPECT_EQ(arrWeights, (CReportWeights{10, 10, 10, 10, 10, 10, 10, 10, 10}));

    // Save dialog: its filter, proposed name and extension; an existing file is only replaced
    // after the user confirms, and a name without extension gets ".html".
    QString strProposed, strQuestion;
    QStringList arrFilters;
    const QString strDir = QString::fromStdString(m_dir.Path());
    QTimer::singleShot(0, [&] {
        auto* pDlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDlg, nullptr);
        arrFilters = pDlg->nameFilters();
        EXPECT_EQ(pDlg->defaultSuffix(), "html");
        EXPECT_EQ(pDlg->acceptMode(), QFileDialog::AcceptSave);
        strProposed = pDlg->findChild<QLineEdit*>("fileNameEdit")->text();
        pDlg->setDirectory(strDir);
        pDlg->selectFile(strDir + "/exists.html");
        QTimer::singleShot(0, [&, pDlg] {
            auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(pBox, nullptr);
            strQuestion = pBox->text();
            pBox->button(QMessageBox::No)->click();
            pDlg->selectFile(strDir + "/fresh");
            QMetaObject::invokeMethod(pDlg, "accept");
        });
        QMetaObject::invokeMethod(pDlg, "accept");
    });
    std::string strPath;
    ASSERT_TRUE(command.AskFileName(strPath));
    EXPECT_EQ(strProposed, "HostsReport");
    EXPECT_EQ(arrFilters, (QStringList{"HTML Files (*.html)", "All Files (*)"}));
    EXPECT_TRUE(strQuestion.contains("exists.html")) << strQuestion.toStdString();
    EXPECT_EQ(strPath, m_dir.Path() + "/fresh.html");
    EXPECT_EQ(ReadFile(m_dir.Path() + "/exists.html"), "keep");

    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_FALSE(command.AskFileName(strPath));
}
