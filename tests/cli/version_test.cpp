#include "core/test_files.h"

#include <gtest/gtest.h>

// Both programs answer --version and --help without a display, and neither a data file nor
// settings come into being for a question about the program.
TEST(VersionTest, BothProgramsPrintTheVersionAndTheirOptions) {
    const std::string DESKTOP_HELP =
        "Usage: vantrel [options]\n\nVantrel measures candidate web hosts and compares them. Its "
        "settings are made in the\nprogram; for scripts and machines without a display use "
        "vantrelctl.\n\nOptions:\n  -h, --help     Show this help and exit.\n  -v, --version  "
        "Show the version and exit.\n\nThe toolkit's own options (-platform, -display, -style, "
        "...) are passed on to it.\n";
    // {program and arguments, output or, for vantrelctl --help, how it ends}
    std::vector<std::pair<std::string, std::string>> arrCases = {
        {VANTRELCTL_PATH " --version", "Vantrel 1.0\n"},
        {VANTRELCTL_PATH " --help", "\nRun 'vantrelctl <command> --help' for a command's options, "
                                    "'vantrelctl --version' for the version.\n"}};
#ifdef VANTREL_PATH
    arrCases.insert(arrCases.end(),
                    {{VANTREL_PATH " -v", "Vantrel 1.0\n"},
                     {VANTREL_PATH " --help", DESKTOP_HELP},
                     // Answered before the toolkit's own options are read.
                     {VANTREL_PATH " -platform nosuch --version", "Vantrel 1.0\n"}});
#endif
    for (const auto& [strCommand, strOut] : arrCases) {
        CTempDir dir;
        const CShellRun run = RunShell(
            dir, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME='" +
                     dir / "config" + "' XDG_DATA_HOME='" + dir / "data" + "' " + strCommand);
        EXPECT_EQ(run.nExit, 0) << strCommand;
        EXPECT_EQ(strOut.starts_with('\n') ? run.strOut.substr(run.strOut.rfind("\n\n") + 1)
                                           : run.strOut,
                  strOut)
            << strCommand;
        EXPECT_EQ(run.strErr, "") << strCommand;
        EXPECT_EQ(dir.Names(), std::vector<std::string>({"err", "out"})) << strCommand;
    }
#ifndef VANTREL_PATH
    GTEST_SKIP() << "the desktop program is not built (VANTREL_GUI=OFF)";
#endif
}
