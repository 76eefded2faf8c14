#pragma once

#include "core/test_files.h"

#include <gtest/gtest.h>

// Runs vantrelctl in a folder of its own with settings, data and runtime folders (the
// single-instance guard's included) of its own: the user's are never used.
class CVantrelctlTest : public ::testing::Test {
protected:
    // A shell command line run in the test's folder.
    CShellRun Shell(const std::string& strLine) {
        return RunShell(m_dir, "cd '" + m_dir.Path() +
                                   "' || exit 99; umask 022; export XDG_CONFIG_HOME='" +
                                   m_dir / "config" + "' XDG_DATA_HOME='" + m_dir / "data" +
                                   "' XDG_RUNTIME_DIR='" + m_dir.Path() + "'; " + strLine);
    }
    // A command that blocks ends after 60 s with 124.
    static std::string Cli(const std::string& strArgs) {
        return "timeout 60 " VANTRELCTL_PATH " " + strArgs;
    }
    // "exit status|stdout and stderr" of a vantrelctl command line.
    std::string Say(const std::string& strArgs) {
        const CShellRun run = Shell(Cli(strArgs));
        return std::to_string(run.nExit) + "|" + run.strOut + run.strErr;
    }

    CTempDir m_dir;
};
