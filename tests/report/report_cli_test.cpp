// vantrelctl report, run as the real program on a data file the store's own code wrote, under a
// German number format where one can be built: the user's locale must not make "%.1f" a comma.
#include "core/hosts_file.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include <ctime>

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
    std::filesystem::copy_file(strData, dir.Path() + "/bare.dat"); // without a history
    std::filesystem::create_directory(dir.Path() + "/taken");
    FillHistory(strData + ".history", hosts.Hosts(), ::time(nullptr)); // the same for days
    // Each run follows "--data v.dat --out r.html" (the last --data or --out counts).
    // {arguments, exit status, what stderr holds (exit 0: nothing, and r.html is this if given)}
    const std::tuple<std::string, int, std::string> arrCases[] = {
        {"--hosts 3,0,2 --weights ' 10,5,7,2,3,6,8,9,1'", 0,
         ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts.html")},
        {"--hosts 3,0,2 --weights 10,5,7,2,3,6,8,9,1 --history", 0, ""}, // checked below
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
        {"", 2, "vantrelctl: --hosts is missing.\n"},
        {"--hosts all --out no/r.html", 1, "vantrelctl: Cannot save no/r.html: "},
        {"--hosts all --out taken", 1, "; no report was written.\n"},
        {"--data cut.dat --hosts 0", 1, " complete hosts were read.\n"},
    };
    std::string strFile; // r.html after the last success: a failed run leaves it alone
    for (const auto& [strArgs, nExit, strMessage] : arrCases) {
        SCOPED_TRACE(strArgs);
        const CShellRun run =
            RunShell(dir, "cd " + dir.Path() + " && " + strEnv +
                              VANTRELCTL_PATH " report --data v.dat --out r.html " + strArgs);
        EXPECT_EQ(run.nExit, nExit);
        strFile = nExit ? strFile : ReadFile(dir.Path() + "/r.html");
        EXPECT_EQ(ReadFile(dir.Path() + "/r.html"), strFile);
        EXPECT_TRUE(nExit ? run.strErr.find(strMessage) != std::string::npos
                          : run.strErr.empty() && (strMessage.empty() || strFile == strMessage))
            << run.strErr;
    }
    // The history from the data file's own store: the expected document but for the dates.
    const auto Undated = [](std::string str) {
        const size_t n = str.find("Test period: ") + 13;
        return str.erase(n, str.find(" UTC.", n) - n);
    };
    EXPECT_EQ(Undated(strFile),
              Undated(ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts_history.html")));
    // No temporary file stays behind, and the folder was not replaced.
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"bare.dat", "cut.dat", "err", "out", "r.html",
                                                     "taken", "v.dat", "v.dat.history"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() + "/taken"));
}
