// vantrelctl report, run as the real program on a data file the store's own code wrote, under a
// German number format where one can be built: the user's locale must not make "%.1f" a comma.
#include "core/hosts_file.h"
#include "report/report_history.h"
#include "report/report_scorer.h"
#include "report/report_writer.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sys/wait.h>

TEST(ReportCli, ExitCodesMessagesAndFiles) {
    CTempDir dir, locales;
    const std::string strLoc = locales.Path(); // glibc's setlocale leaks a little with LOCPATH
    std::ofstream(strLoc + "/lsan.supp") << "leak:__argz_add_sep\n";
    const std::string strEnv =
        std::system(("localedef -i de_DE -f UTF-8 " + strLoc + "/de >/dev/null 2>&1").c_str())
            ? ""
            : "LOCPATH=" + strLoc +
                  " LC_ALL=de LSAN_OPTIONS=print_suppressions=0:suppressions=" + strLoc +
                  "/lsan.supp ";
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    const std::string strData = dir.Path() + "/v.dat", strCut = dir.Path() + "/cut.dat";
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(strData, hosts.Hosts(), 0, 5, false, strError)) << strError;
    std::filesystem::copy_file(strData, strCut);
    std::filesystem::resize_file(strCut, std::filesystem::file_size(strCut) - 30); // last host
    std::filesystem::create_directory(dir.Path() + "/taken");
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {0, 1, 2, 3}, {10, 10, 10, 10, 10, 10, 10, 10, 10});
    const std::string strAll = CReportWriter::BuildReport(hosts.Hosts(), scorer);
    std::filesystem::copy_file(strData, dir.Path() + "/bare.dat"); // without a history
    // The figures stay the same for days around now: the CLI's now is a little later.
    const int64_t tNow = ::time(nullptr);
    FillHistory(strData + ".history", hosts.Hosts(), tNow);
    CHistoryStore store;
    ASSERT_EQ(store.OpenExisting(strData + ".history"), CHistoryStore::EOpen::OK);
    std::vector<CReportHistory> arrHistory;
    for (int64_t nId : store.Find({{"Smith & Sons <Hosting>", ""},
                                   {"Unmarked", ""},
                                   {"Caf\xe9 Plain", ""},
                                   {"Beta Web", ""}}))
        arrHistory.push_back(CReportHistory::Measure(store, nId, tNow));
    store.Close();
    scorer.Score(hosts.Hosts(), {3, 0, 2}, {10, 5, 7, 2, 3, 6, 8, 9, 1});
    const std::string strHistory =
        CReportWriter::BuildReport(hosts.Hosts(), scorer, {}, &arrHistory);
    ASSERT_NE(strHistory.find("Hosting> 2, Beta Web 32, "), std::string::npos);
    // Each run follows "--data v.dat --out r.html" (the last --data or --out counts).
    const std::string arrFiles[] = {ExpectedThreeHosts(), strAll,
                                    strHistory}; // r.html after each success
    const std::tuple<std::string, int, std::string> arrCases[] = {
        {"--hosts 3,0,2 --weights ' 10,5,7,2,3,6,8,9,1'", 0, ""},
        {"--hosts all", 0, ""},
        {"--hosts 3,0,2 --weights 10,5,7,2,3,6,8,9,1 --history", 0, ""},
        {"--data bare.dat --hosts 0 --history", 1,
         "vantrelctl: Cannot open the test history bare.dat.history: no such file or folder; no "
         "report was written.\n"},
        {"--hosts 4", 2,
         "vantrelctl: there is no host \"4\": the data file holds 4 hosts (0 to 3); give indices "
         "as 'vantrelctl list' shows them, or all.\n"},
        {"--hosts 0 --weights 10,10,10,10,10,10,10,10", 2,
         "vantrelctl: --weights needs 9 numbers separated by commas (storage, bandwidth, 12-month "
         "cost, e-mail features, support, redundancy, general hosting features, connection speed, "
         "uptime), not 8.\n"},
        {"--hosts 0 --weights 10,10,0,10,10,10,10,10,10", 2,
         "vantrelctl: weight \"0\" is not a whole number from 1 to 10 (weight 3 of 9).\n"},
        {"--hosts 0 --weights 10,10,10,10,10,10,10,10,11", 2, "weight \"11\""},
        {"", 2, "vantrelctl: --hosts is missing.\n"},
        {"--hosts all --out no/r.html", 1, "vantrelctl: Cannot save no/r.html: "},
        {"--hosts all --out taken", 1, "; no report was written.\n"},
        {"--data cut.dat --hosts 0", 1, " complete hosts were read.\n"},
    };
    size_t nRuns = 0;
    for (const auto& [strArgs, nExit, strMessage] : arrCases) {
        SCOPED_TRACE(strArgs);
        const int nStatus = std::system(("cd " + dir.Path() + " && " + strEnv +
                                         VANTRELCTL_PATH " report --data v.dat --out r.html " +
                                         strArgs + " >/dev/null 2>err")
                                            .c_str());
        EXPECT_EQ(WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1, nExit);
        const std::string strErr = ReadFile(dir.Path() + "/err");
        EXPECT_TRUE(nExit ? strErr.find(strMessage) != std::string::npos : strErr.empty())
            << strErr;
        nRuns += nExit == 0;
        EXPECT_EQ(ReadFile(dir.Path() + "/r.html"), arrFiles[nRuns - 1]);
    }
    // No temporary file stays behind, and the folder was not replaced.
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bare.dat", "cut.dat", "err", "r.html",
                                                     "taken", "v.dat", "v.dat.history"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() + "/taken"));
}
