// --version and --help of both programs; the manual page and the bash completion against
// vantrelctl's own help: a command or option added to the program without them fails here.
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

namespace {

// The non-empty lines a shell command prints.
std::vector<std::string> Lines(const std::string& strCommand) {
    std::vector<std::string> vecLines;
    std::istringstream lines(RunShell(CTempDir(), strCommand).strOut);
    for (std::string strLine; std::getline(lines, strLine);)
        if (!strLine.empty())
            vecLines.push_back(strLine);
    return vecLines;
}

// What the completion offers for the words typed so far (the last one being completed).
std::set<std::string> Complete(const std::vector<std::string>& vecWords) {
    std::string strWords;
    for (const std::string& strWord : vecWords)
        strWords += " '" + strWord + "'";
    const std::vector<std::string> vecReply =
        Lines("bash -c \"source '" VANTREL_SOURCE_DIR "/packaging/vantrelctl.bash-completion'; "
              "COMP_WORDS=(vantrelctl" +
              strWords + "); COMP_CWORD=" + std::to_string(vecWords.size()) +
              "; COMPREPLY=(); _vantrelctl; printf '%s\\n' \\\"\\${COMPREPLY[@]}\\\"\"");
    return {vecReply.begin(), vecReply.end()};
}

// In troff source a hyphen is written "\-".
std::string Troff(std::string str) {
    for (size_t n = 0; (n = str.find('-', n)) != std::string::npos; n += 2)
        str.insert(n, 1, '\\');
    return str;
}

// The text of a manual page from the line starting with strHeading to the next heading.
std::string Section(const std::string& strPage, const std::string& strHeading) {
    const size_t nStart = strPage.find("\n" + strHeading);
    if (nStart == std::string::npos)
        return "";
    const std::string strRest = strPage.substr(nStart + 1);
    return strRest.substr(0, std::min(strRest.find("\n.SS"), strRest.find("\n.SH")));
}

} // namespace

// Neither a display, a data file nor settings are needed or made for a question about the program.
TEST(VersionTest, BothProgramsPrintTheVersionAndTheirOptions) {
    std::vector<std::pair<std::string, std::string>> arrCases = {
        {VANTRELCTL_PATH " --version", "Vantrel 1.0\n"},
        // For vantrelctl --help: how it ends.
        {VANTRELCTL_PATH " --help", "\nRun 'vantrelctl <command> --help' for a command's options, "
                                    "'vantrelctl --version' for the version.\n"}};
#ifdef VANTREL_PATH
    arrCases.insert(
        arrCases.end(),
        {{VANTREL_PATH " -v", "Vantrel 1.0\n"},
         {VANTREL_PATH " --help",
          "Usage: vantrel [options]\n\nVantrel measures candidate web hosts and compares them. Its "
          "settings are made in the\nprogram; for scripts and machines without a display use "
          "vantrelctl.\n\nOptions:\n  -h, --help     Show this help and exit.\n  -v, --version  "
          "Show the version and exit.\n\nThe toolkit's own options (-platform, -display, -style, "
          "...) are passed on to it.\n"},
         // Answered before the toolkit's own options are read.
         {VANTREL_PATH " -platform nosuch --version", "Vantrel 1.0\n"}});
#endif
    for (const auto& [strCommand, strOut] : arrCases) {
        CTempDir dir;
        const CShellRun run = RunShell(
            dir, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME='" +
                     dir / "config" + "' XDG_DATA_HOME='" + dir / "data" + "' " + strCommand);
        EXPECT_EQ(std::to_string(run.nExit) + run.strErr, "0") << strCommand;
        EXPECT_EQ(strOut.starts_with('\n') ? run.strOut.substr(run.strOut.rfind("\n\n") + 1)
                                           : run.strOut,
                  strOut);
        EXPECT_EQ(dir.Names(), std::vector<std::string>({"err", "out"})) << strCommand;
    }
#ifndef VANTREL_PATH
    GTEST_SKIP() << "the desktop program is not built (VANTREL_GUI=OFF)";
#endif
}

TEST(ManualPageTest, EveryCommandAndOptionIsDocumentedAndCompleted) {
    const std::string strPage = ReadFileBytes(VANTREL_SOURCE_DIR "/docs/man/vantrelctl.1.in");
    char szName[64], chShort;
    int nEnd = 0;
    std::vector<std::string> vecCommands; // help lines "  command  description"
    for (const std::string& strLine : Lines(VANTRELCTL_PATH " --help"))
        if (std::sscanf(strLine.c_str(), "  %63[a-z-]%n", szName, &nEnd) == 1 &&
            strLine.compare(nEnd, 2, "  ") == 0 && szName[0] != '-')
            vecCommands.push_back(szName);
    ASSERT_GE(vecCommands.size(), 9u) << "vantrelctl --help lists too few commands";
    const std::set<std::string> setCommandsCompleted = Complete({""});
    for (const std::string& strCommand : vecCommands) {
        SCOPED_TRACE(strCommand);
        EXPECT_TRUE(setCommandsCompleted.count(strCommand));
        const std::string strSection = Section(strPage, ".SS \"" + Troff(strCommand));
        ASSERT_FALSE(strSection.empty()) << "no section for the command";
        // Below the heading, which only lists them; help and --data are described for all.
        const std::string strBody = strSection.substr(strSection.find('\n', 1));
        const std::set<std::string> setCompleted = Complete({strCommand, "--"});
        for (const std::string& strLine : Lines(VANTRELCTL_PATH " " + strCommand + " --help"))
            if (std::sscanf(strLine.c_str(), "  --%63[a-z-]", szName) == 1 ||
                std::sscanf(strLine.c_str(), "  -%c, --%63[a-z-]", &chShort, szName) == 2) {
                const std::string strOption = std::string("--") + szName;
                const std::string strWhere =
                    strOption.starts_with("--help") ? Section(strPage, ".SH GENERAL OPTIONS")
                    : strOption == "--data"         ? Section(strPage, ".SH DESCRIPTION")
                                                    : strBody;
                EXPECT_NE(strWhere.find(Troff(strOption)), std::string::npos)
                    << strOption << " is not described in the manual page";
                EXPECT_TRUE(setCompleted.count(strOption)) << strOption << " is not completed";
            }
    }
    // The values each place takes; files come from the shell's own completion.
    const std::pair<std::vector<std::string>, std::set<std::string>> arrCases[] = {
        {{"al"}, {"alert-test"}},
        {{"--v"}, {"--version"}},
        {{"alert-test", "--security", "=", "s"}, {"starttls"}}, // the shell splits at '='
        {{"outages", "--format", ""}, {"csv", "json"}},
        {{"history", "--host", ""}, {}},
        {{"ping", "--"}, {"--help", "--help-all"}},
        {{"report", "--out", ""}, {}},
        {{"run", "--metrics", "1"}, {"127.0.0.1:9891"}},
        {{"nosuchcommand", "--"}, {}},
    };
    for (const auto& [vecWords, setExpected] : arrCases)
        EXPECT_EQ(Complete(vecWords), setExpected) << ::testing::PrintToString(vecWords);
}
