// vantrelctl report, run as the real program on a data file written by the store's own code.
#include "core/hosts_file.h"
#include "report/report_scorer.h"
#include "report/report_writer.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct SRun {
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

class ReportCli : public ::testing::Test {
protected:
    void SetUp() override {
        MakeThreeHosts(m_hosts);
        m_strData = m_dir.Path() + "/Vantrel.dat";
        std::string strError;
        ASSERT_TRUE(CHostsFile::Save(m_strData, m_hosts.Hosts(), 0, 5, false, strError))
            << strError;
    }

    SRun Run(std::vector<std::string> arrArgs) {
        arrArgs.insert(arrArgs.begin(), {VANTRELCTL_PATH, "report", "--data", m_strData});
        std::vector<char*> argv;
        for (std::string& str : arrArgs)
            argv.push_back(str.data());
        argv.push_back(nullptr);
        const std::string strOut = m_dir.Path() + "/stdout";
        const std::string strErr = m_dir.Path() + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, strOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, strErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        SRun run;
        const int nSpawn =
            posix_spawn(&pid, VANTRELCTL_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(nSpawn, 0);
        int nStatus = 0;
        if (nSpawn == 0 && ::waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
            run.nExit = WEXITSTATUS(nStatus);
        run.strOut = ReadFile(strOut);
        run.strErr = ReadFile(strErr);
        std::filesystem::remove(strOut);
        std::filesystem::remove(strErr);
        return run;
    }

    std::string Library(const std::vector<int>& arrSet, const CReportWeights& arrWeights) {
        CReportScorer scorer;
        scorer.Score(m_hosts.Hosts(), arrSet, arrWeights);
        return CReportWriter::BuildReport(m_hosts.Hosts(), scorer);
    }

    CTempDir m_dir;
    CReportHosts m_hosts;
    std::string m_strData;
};

TEST_F(ReportCli, WritesTheLibrarysReport) {
    const std::string strOut = m_dir.Path() + "/HostsReport.html";
    SRun run = Run({"--hosts", "3,0,2", "--out", strOut, "--weights", "10,5,7,2,3,6,8,9,1"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(run.strErr, "");
    EXPECT_EQ(ReadFile(strOut), ExpectedReport("three_hosts.html"));

    // "all" with the default weights replaces the earlier file.
    run = Run({"--out", strOut, "--hosts", "all"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(ReadFile(strOut), Library({0, 1, 2, 3}, {10, 10, 10, 10, 10, 10, 10, 10, 10}));

    run = Run({"--hosts", "1", "--out", strOut, "--weights", " 1,1,1,1,1,1,1,1,1"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_EQ(ReadFile(strOut), Library({1}, {1, 1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST_F(ReportCli, BadArgumentsExitWithTwoAndWriteNothing) {
    const std::string strOut = m_dir.Path() + "/HostsReport.html";
    const std::vector<std::pair<std::vector<std::string>, std::string>> arrCases = {
        {{"--hosts", "4", "--out", strOut},
         "vantrelctl: there is no host \"4\": the data file holds 4 hosts (0 to 3); give "
         "indices as 'vantrelctl list' shows them, or all.\n"},
        {{"--hosts", "0,-1", "--out", strOut}, "there is no host \"-1\""},
        {{"--hosts", "0,,1", "--out", strOut}, "there is no host \"\""},
        {{"--hosts", "two", "--out", strOut}, "there is no host \"two\""},
        {{"--hosts", "0", "--out", strOut, "--weights", "10,10,10,10,10,10,10,10"},
         "vantrelctl: --weights needs 9 numbers separated by commas (storage, bandwidth, "
         "12-month cost, e-mail features, support, redundancy, general hosting features, "
         "connection speed, uptime), not 8.\n"},
        {{"--hosts", "0", "--out", strOut, "--weights", "10,10,10,10,10,10,10,10,10,10"},
         "not 10."},
        {{"--hosts", "0", "--out", strOut, "--weights", "10,10,0,10,10,10,10,10,10"},
         "vantrelctl: weight \"0\" is not a whole number from 1 to 10 (weight 3 of 9).\n"},
        {{"--hosts", "0", "--out", strOut, "--weights", "10,10,10,10,10,10,10,10,11"},
         "weight \"11\" is not a whole number from 1 to 10 (weight 9 of 9)."},
        {{"--hosts", "0", "--out", strOut, "--weights", "10,10,10,10,2.5,10,10,10,10"},
         "weight \"2.5\""},
        {{"--out", strOut}, "vantrelctl: --hosts is missing.\n"},
        {{"--hosts", "0"}, "vantrelctl: --out is missing.\n"},
    };
    for (const auto& [arrArgs, strMessage] : arrCases) {
        SCOPED_TRACE(arrArgs[1] + (arrArgs.size() > 5 ? " " + arrArgs[5] : ""));
        const SRun run = Run(arrArgs);
        EXPECT_EQ(run.nExit, 2);
        EXPECT_NE(run.strErr.find(strMessage), std::string::npos) << run.strErr;
        EXPECT_FALSE(std::filesystem::exists(strOut));
    }
}

TEST_F(ReportCli, UnwritableFileExitsWithOneAndLeavesNothingBehind) {
    const std::string strMissing = m_dir.Path() + "/missing/HostsReport.html";
    SRun run = Run({"--hosts", "all", "--out", strMissing});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.strErr.find(strMissing), std::string::npos) << run.strErr;
    EXPECT_NE(run.strErr.find("; no report was written.\n"), std::string::npos) << run.strErr;

    // The name of a folder: nothing replaces it and no temporary file stays beside it.
    const std::string strFolder = m_dir.Path() + "/report.html";
    ASSERT_TRUE(std::filesystem::create_directory(strFolder));
    run = Run({"--hosts", "all", "--out", strFolder});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_TRUE(std::filesystem::is_directory(strFolder));
    EXPECT_EQ(m_dir.Names(), (std::vector<std::string>{"Vantrel.dat", "report.html"}));
}

TEST_F(ReportCli, DamagedDataFileWritesNoReport) {
    // Cut the file inside the last host: the hosts before it would load, but a report over
    // part of the list would rank them wrongly.
    std::filesystem::resize_file(m_strData, std::filesystem::file_size(m_strData) - 30);
    const std::string strOut = m_dir.Path() + "/HostsReport.html";
    const SRun run = Run({"--hosts", "0", "--out", strOut});
    EXPECT_EQ(run.nExit, 1);
    EXPECT_NE(run.strErr, "");
    EXPECT_FALSE(std::filesystem::exists(strOut));
}

} // namespace
