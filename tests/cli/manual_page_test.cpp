// The manual page and the bash completion against vantrelctl's own help: a command or option
// added to the program without them fails here.
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace {

const std::string s_strCompletion = VANTREL_SOURCE_DIR "/packaging/vantrelctl.bash-completion";

std::string Output(const std::string& strCommand) {
    return RunShell(CTempDir(), strCommand).strOut;
}

// The first group of each non-empty line of strText that matches strPattern from its start.
std::vector<std::string> Lines(const std::string& strText, const std::string& strPattern = "(.+)") {
    std::vector<std::string> vecLines;
    std::istringstream lines(strText);
    std::smatch match;
    for (std::string strLine; std::getline(lines, strLine);)
        if (std::regex_search(strLine, match, std::regex(strPattern),
                              std::regex_constants::match_continuous))
            vecLines.push_back(match[1]);
    return vecLines;
}

// Help lines "  command  description".
std::vector<std::string> Commands() {
    return Lines(Output(VANTRELCTL_PATH " --help"), "  ([a-z][a-z-]*)  ");
}

// The long options of a command's help ("  --name" or "  -x, --name"), "--help" among them.
std::vector<std::string> Options(const std::string& strCommand) {
    return Lines(Output(VANTRELCTL_PATH " " + strCommand + " --help"), "  (?:-[^-], )?(--[a-z-]+)");
}

// In troff source a hyphen is written "\-".
std::string Troff(const std::string& strText) {
    return std::regex_replace(strText, std::regex("-"), "\\-");
}

// The text of a manual page from the line starting with strHeading to the next heading.
std::string Section(const std::string& strPage, const std::string& strHeading) {
    const size_t nStart = strPage.find("\n" + strHeading);
    const std::string strRest = nStart == std::string::npos ? "" : strPage.substr(nStart + 1);
    std::smatch next;
    return std::regex_search(strRest, next, std::regex("\n\\.S[SH]")) ? next.prefix().str()
                                                                      : strRest;
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
        {{"vantrelctl", "run", "--c"}, {"--cycles"}},
        {{"vantrelctl", "report", "--ch"}, {"--chart"}},
        {{"vantrelctl", "list", "--"}, {"--help", "--help-all", "--data"}},
        {{"vantrelctl", "ping", "--"}, {"--help", "--help-all"}},
        // Files come from the shell's own completion: nothing of ours.
        {{"vantrelctl", "report", "--out", ""}, {}},
        {{"vantrelctl", "import", ""}, {}},
        {{"vantrelctl", "run", "--cycles", ""}, {}},
        {{"vantrelctl", "nosuchcommand", "--"}, {}},
    };
    for (const auto& testCase : arrCases)
        EXPECT_EQ(Complete(testCase.vecWords), testCase.setExpected)
            << ::testing::PrintToString(testCase.vecWords);
}
