#include "report/report_writer.h"

#include "report/report_scorer.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const CReportWeights s_arrMixed = {10, 5, 7, 2, 3, 6, 8, 9, 1};

TEST(ReportWriter, DocumentMatchesTheExpectedBytes) {
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {3, 0, 2}, s_arrMixed);
    const std::string strReport = CReportWriter::BuildReport(hosts.Hosts(), scorer);
    EXPECT_EQ(strReport, ExpectedReport("three_hosts.html"));
    EXPECT_EQ(strReport.find_first_of("\r\n"), std::string::npos);
}

TEST(ReportWriter, OneHostWithAllWeightsTen) {
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {3}, {10, 10, 10, 10, 10, 10, 10, 10, 10});
    const std::string strReport = CReportWriter::BuildReport(hosts.Hosts(), scorer);
    EXPECT_NE(strReport.find("<tr><td width=30% bgcolor=#f5f5f5>&nbsp;&nbsp;<a "
                             "href=\"http://beta.example/\">Beta Web</a>"),
              std::string::npos);
    EXPECT_NE(strReport.find("<td bgcolor=#ffffdd align=center width=8%>100.0</td></tr><tr></tr>"),
              std::string::npos);
    EXPECT_EQ(strReport.find("Smith"), std::string::npos);
    EXPECT_NE(strReport.find("> x 10</td><td align=center width=8%></td></tr>"), std::string::npos);
}

TEST(ReportWriter, FiguresIgnoreTheUsersNumberFormat) {
    // The desktop program runs under the user's locale, where "%.1f" would write a comma.
    // A German locale is compiled for this test, as most systems have none installed.
    CTempDir locales;
    const std::string strCommand =
        "localedef -i de_DE -f UTF-8 " + locales.Path() + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(strCommand.c_str()) != 0)
        GTEST_SKIP() << "localedef could not build a German locale";
    ::setenv("LOCPATH", locales.Path().c_str(), 1);
    const bool bSet = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    char szProbe[16];
    std::snprintf(szProbe, sizeof(szProbe), "%.1f", 1.5);
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {3, 0, 2}, s_arrMixed);
    const std::string strReport = CReportWriter::BuildReport(hosts.Hosts(), scorer);
    std::setlocale(LC_NUMERIC, "C");
    ::unsetenv("LOCPATH");
    ASSERT_TRUE(bSet);
    ASSERT_STREQ(szProbe, "1,5"); // the locale really is in effect
    EXPECT_EQ(strReport, ExpectedReport("three_hosts.html"));
}

TEST(ReportWriter, WritesAndReplacesTheFile) {
    CTempDir dir;
    const std::string strPath = dir.Path() + "/HostsReport.html";
    { std::ofstream(strPath) << "an older report"; }
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {0, 2, 3}, s_arrMixed);
    std::string strError;
    ASSERT_TRUE(CReportWriter::WriteReport(strPath, hosts.Hosts(), scorer, strError)) << strError;
    EXPECT_EQ(ReadFile(strPath), ExpectedReport("three_hosts.html"));
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"HostsReport.html"}));
}

TEST(ReportWriter, FailuresAreReportedAndLeaveNothingBehind) {
    CTempDir dir;
    std::string strError;
    // A folder that does not exist.
    const std::string strMissing = dir.Path() + "/missing/HostsReport.html";
    EXPECT_FALSE(CReportWriter::WriteFile(strMissing, "<html>", strError));
    EXPECT_NE(strError.find(strMissing), std::string::npos) << strError;
    EXPECT_EQ(strError.rfind("Cannot ", 0), 0u) << strError;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{});

    // The chosen name is a folder: the temporary file must not stay beside it.
    const std::string strFolder = dir.Path() + "/folder.html";
    ASSERT_EQ(::mkdir(strFolder.c_str(), 0700), 0);
    strError.clear();
    EXPECT_FALSE(CReportWriter::WriteFile(strFolder, "<html>", strError));
    EXPECT_NE(strError.find(strFolder), std::string::npos) << strError;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"folder.html"}));
    ::rmdir(strFolder.c_str());
}

TEST(ReportWriter, ShortWriteKeepsTheOldFileAndRemovesThePartialOne) {
    CTempDir dir;
    const std::string strPath = dir.Path() + "/HostsReport.html";
    { std::ofstream(strPath) << "an older report"; }
    // A file size limit stands in for a full disk: the write stops part-way.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string strError;
    const bool bWritten = CReportWriter::WriteFile(strPath, std::string(100000, 'x'), strError);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(bWritten);
    EXPECT_NE(strError.find(strPath), std::string::npos) << strError;
    EXPECT_EQ(ReadFile(strPath), "an older report");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"HostsReport.html"}));
}

} // namespace
