#include "core/test_files.h"

#include <gtest/gtest.h>

namespace {

const char* const DESKTOP_HELP =
    "Usage: vantrel [options]\n\nVantrel measures candidate web hosts and compares them. Its "
    "settings are made in the\nprogram; for scripts and machines without a display use "
    "vantrelctl.\n\nOptions:\n  -h, --help     Show this help and exit.\n  -v, --version  Show "
    "the version and exit.\n\nThe toolkit's own options (-platform, -display, -style, ...) are "
    "passed on to it.\n";

} // namespace

// Neither a data file nor settings come into being for a question about the program.
TEST(VersionTest, BothProgramsPrintTheVersionAndTheirOptions) {
    // {program, arguments, output or, for vantrelctl --help, how it ends}
    std::vector<std::tuple<std::string, std::string, std::string>> arrCases = {
        {VANTRELCTL_PATH, "--version", "Vantrel 1.0\n"},
        {VANTRELCTL_PATH, "--help",
         "\nRun 'vantrelctl <command> --help' for a command's options, 'vantrelctl --version' for "
         "the version.\n"},
    };
#ifdef VANTREL_PATH
    arrCases.insert(arrCases.end(),
                    {{VANTREL_PATH, "--version", "Vantrel 1.0\n"},
                     {VANTREL_PATH, "-v", "Vantrel 1.0\n"},
                     {VANTREL_PATH, "--help", DESKTOP_HELP},
                     {VANTREL_PATH, "-h", DESKTOP_HELP},
                     // Answered before the toolkit's own options are read.
                     {VANTREL_PATH, "-platform nosuchplatform --version", "Vantrel 1.0\n"}});
#endif
    for (const auto& [strProgram, strArgs, strOut] : arrCases) {
        SCOPED_TRACE(strProgram + " " + strArgs);
        CTempDir dir;
        // No display and folders of its own, as a script on a server would run it.
        const CShellRun run =
            RunShell(dir, "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME='" +
                              dir / "config" + "' XDG_DATA_HOME='" + dir / "data" + "' " +
                              strProgram + " " + strArgs);
        EXPECT_EQ(run.nExit, 0);
        EXPECT_TRUE(strOut.starts_with('\n') ? run.strOut.ends_with(strOut) : run.strOut == strOut)
            << run.strOut;
        EXPECT_EQ(run.strErr, "");
        EXPECT_FALSE(std::filesystem::exists(dir / "data"));
        EXPECT_FALSE(std::filesystem::exists(dir / "config"));
    }
#ifndef VANTREL_PATH
    GTEST_SKIP() << "the desktop program is not built (VANTREL_GUI=OFF)";
#endif
}
