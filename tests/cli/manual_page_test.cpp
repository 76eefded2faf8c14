// The manual page and the bash completion against vantrelctl's own help: a command or option
// added to the program without them fails here.
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <vector>

namespace {

const std::string s_strCompletion = VANTREL_SOURCE_DIR "/packaging/vantrelctl.bash-completion";

std::string Output(const std::string& strCommand) {
    return RunShell(CTempDir(), strCommand).strOut;
}

// Non-empty lines. No <regex>: GCC 12 warns inside it in the sanitizer build.
std::vector<std::string> Lines(const std::string& strText) {
    std::vector<std::string> vecLines;
    std::istringstream lines(strText);
    for (std::string strLine; std::getline(lines, strLine);)
        if (!strLine.empty())
            vecLines.push_back(strLine);
    return vecLines;
}

// Help lines "  command  description".
std::vector<std::string> Commands() {
    std::vector<std::string> vecFound;
    char szName[64];
    int nEnd = 0;
    for (const std::string& strLine : Lines(Output(VANTRELCTL_PATH " --help")))
        if (std::sscanf(strLine.c_str(), "  %63[a-z-]%n", szName, &nEnd) == 1 &&
            strLine.compare(nEnd, 2, "  ") == 0 && szName[0] != '-')
            vecFound.push_back(szName);
    return vecFound;
}

// The long options of a command's help ("  --name" or "  -x, --name"), "--help" among them.
std::vector<std::string> Options(const std::string& strCommand) {
    std::vector<std::string> vecFound;
    char szName[64], chShort;
    for (const std::string& strLine : Lines(Output(VANTRELCTL_PATH " " + strCommand + " --help")))
        if (std::sscanf(strLine.c_str(), "  --%63[a-z-]", szName) == 1 ||
            std::sscanf(strLine.c_str(), "  -%c, --%63[a-z-]", &chShort, szName) == 2)
            vecFound.push_back(std::string("--") + szName);
    return vecFound;
}

// In troff source a hyphen is written "\-".
std::string Troff(const std::string& strText) {
    std::string strOut;
    for (char ch : strText)
        strOut += ch == '-' ? std::string("\\-") : std::string(1, ch);
    return strOut;
}

// The text of a manual page from the line starting with strHeading to the next heading.
std::string Section(const std::string& strPage, const std::string& strHeading) {
    const size_t nStart = strPage.find("\n" + strHeading);
    if (nStart == std::string::npos)
        return "";
    const std::string strRest = strPage.substr(nStart + 1);
    return strRest.substr(0, std::min(strRest.find("\n.SS"), strRest.find("\n.SH")));
}

// What the completion offers for the words typed so far (the last one being completed).
std::set<std::string> Complete(const std::vector<std::string>& vecWords) {
    CTempDir dir;
    std::string strScript = "source '" + s_strCompletion + "'\nCOMP_WORDS=(";
    for (const std::string& strWord : vecWords)
        strScript += " '" + strWord + "'";
    strScript += " )\nCOMP_CWORD=" + std::to_string(vecWords.size() - 1) +
                 "\nCOMPREPLY=()\n_vantrelctl\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
    WriteFileBytes(dir / "complete.sh", strScript);
    const std::vector<std::string> vecReply = Lines(Output("bash " + dir / "complete.sh"));
    return {vecReply.begin(), vecReply.end()};
}

} // namespace

TEST(ManualPageTest, EveryCommandAndOptionIsDocumentedAndCompleted) {
    const std::string strPage = ReadFileBytes(VANTREL_SOURCE_DIR "/docs/man/vantrelctl.1.in");
    const std::vector<std::string> vecCommands = Commands();
    ASSERT_GE(vecCommands.size(), 9u) << "vantrelctl --help lists too few commands";
    const std::set<std::string> setCommandsCompleted = Complete({"vantrelctl", ""});
    const std::string strGeneral = Section(strPage, ".SH GENERAL OPTIONS");
    const std::string strDescription = Section(strPage, ".SH DESCRIPTION");
    for (const std::string& strCommand : vecCommands) {
        SCOPED_TRACE(strCommand);
        EXPECT_TRUE(setCommandsCompleted.count(strCommand));
        const std::string strSection = Section(strPage, ".SS \"" + Troff(strCommand));
        EXPECT_FALSE(strSection.empty()) << "no section for the command";
        const std::vector<std::string> vecOptions = Options(strCommand);
        EXPECT_FALSE(vecOptions.empty());
        const std::set<std::string> setOptionsCompleted =
            Complete({"vantrelctl", strCommand, "--"});
        // Below the heading, which only lists them.
        const std::string strBody =
            strSection.substr(std::min(strSection.find('\n', 1), strSection.size()));
        for (const std::string& strOption : vecOptions) {
            // The help options and --data are described once, for every command.
            const std::string& strWhere = strOption == "--help" || strOption == "--help-all"
                                              ? strGeneral
                                          : strOption == "--data" ? strDescription
                                                                  : strBody;
            EXPECT_NE(strWhere.find(Troff(strOption)), std::string::npos)
                << strOption << " is not described in the manual page";
            EXPECT_TRUE(setOptionsCompleted.count(strOption)) << strOption << " is not completed";
        }
    }
}

TEST(ManualPageTest, CompletionOffersTheValuesEachPlaceTakes) {
    const struct {
        std::vector<std::string> vecWords;
        std::set<std::string> setExpected;
    } arrCases[] = {
        {{"vantrelctl", "al"}, {"alert-test"}},
        {{"vantrelctl", "--v"}, {"--version"}},
        {{"vantrelctl", "alert-test", "--security", ""}, {"none", "starttls", "tls"}},
        // "--security=s": the shell splits at '='.
        {{"vantrelctl", "alert-test", "--security", "=", "s"}, {"starttls"}},
        {{"vantrelctl", "alert-test", "--security", "="}, {"none", "starttls", "tls"}},
        {{"vantrelctl", "report", "--hosts", ""}, {"all"}},
        {{"vantrelctl", "compare", "--hosts", "a"}, {"all"}},
        {{"vantrelctl", "outages", "--format", ""}, {"csv", "json"}},
        {{"vantrelctl", "history", "--host", ""}, {}},
        {{"vantrelctl", "run", "--c"}, {"--cycles"}},
        {{"vantrelctl", "report", "--ch"}, {"--chart"}},
        {{"vantrelctl", "list", "--"}, {"--help", "--help-all", "--data"}},
        {{"vantrelctl", "ping", "--"}, {"--help", "--help-all"}},
        // Files come from the shell's own completion: nothing of ours.
        {{"vantrelctl", "report", "--out", ""}, {}},
        {{"vantrelctl", "import", ""}, {}},
        {{"vantrelctl", "run", "--cycles", ""}, {}},
        {{"vantrelctl", "run", "--metrics", "1"}, {"127.0.0.1:9891"}},
        {{"vantrelctl", "nosuchcommand", "--"}, {}},
    };
    for (const auto& testCase : arrCases)
        EXPECT_EQ(Complete(testCase.vecWords), testCase.setExpected)
            << ::testing::PrintToString(testCase.vecWords);
}
