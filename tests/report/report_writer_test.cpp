#include "report/report_writer.h"

#include "core/product.h"
#include "report/report_scorer.h"
#include "report_hosts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The address in the expected files stands for the product's home page.
std::string ExpectedReport(const std::string& strName) {
    std::string str = ReadFile(std::string(VANTREL_REPORT_TEST_DATA) + "/data/" + strName);
    const std::string strPlaceholder = "https://www.vantrel.example/";
    const size_t nAt = str.find(strPlaceholder);
    if (nAt != std::string::npos)
        str.replace(nAt, strPlaceholder.size(), VANTREL_HOME_PAGE);
    return str;
}

class CTempDir {
public:
    CTempDir() {
        char szTemplate[] = "/tmp/vantrel_report_XXXXXX";
        m_strPath = ::mkdtemp(szTemplate);
    }
    ~CTempDir() { std::filesystem::remove_all(m_strPath); }
    std::vector<std::string> Names() const {
        std::vector<std::string> arr;
        for (const auto& entry : std::filesystem::directory_iterator(m_strPath))
            arr.push_back(entry.path().filename().string());
        std::sort(arr.begin(), arr.end());
        return arr;
    }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// Three marked hosts (list indices 0, 2, 3) and one unmarked, with a name and a web site that
// need escaping, a Latin-1 letter, and a host whose every answer is unanswered.
void MakeThreeHosts(CReportHosts& hosts) {
    CHost& smith = hosts.Add();
    smith.m_strName = "Smith & Sons <Hosting>";
    smith.m_strWebSite = "http://smith.example/?a=1&b=\"2\"";
    AnswerNeutrally(smith);
    smith.m_nStorage = 21;
    smith.m_nTransfer = 0;
    smith.m_nCost = 0;
    smith.m_nEmailAccounts = 20;
    smith.m_nForwarding = smith.m_nAutoresponders = 0;
    smith.m_nSupportRating = 9;
    smith.m_nBackups = 1;
    smith.m_nUPS = smith.m_nMonitoring = smith.m_nBackupMail = 0;
    smith.m_nFeatureRating = 6;
    SetPings(smith, {20, 21, 22});
    SetTests(smith, 3, 2);

    CHost& unmarked = hosts.Add();
    unmarked.m_strName = "Unmarked";
    AnswerNeutrally(unmarked);

    CHost& blank = hosts.Add();
    blank.m_strName = "Caf\xe9 Plain";
    blank.m_strWebSite = "http://plain.example/";
    blank.m_nTransfer = 50;
    blank.m_nCost = 51;

    CHost& beta = hosts.Add();
    beta.m_strName = "Beta Web";
    beta.m_strWebSite = "http://beta.example/";
    AnswerNeutrally(beta);
    beta.m_nStorage = 10;
    beta.m_nTransfer = 42;
    beta.m_nCost = 24;
    beta.m_nEmailAccounts = 4;
    beta.m_nForwarding = beta.m_nAutoresponders = beta.m_nWebMail = beta.m_nMailingLists = 0;
    beta.m_nSupportRating = 9;
    beta.m_nBackups = 0;
    beta.m_nUPS = beta.m_nGenerator = beta.m_nMonitoring = beta.m_nUptimeGuarantee = 0;
    beta.m_nFeatureRating = 6;
    SetPings(beta, {100, 100, 100, 100, 100, 100, 100, 100, 100, 105});
    SetTests(beta, 10, 10);
}

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
