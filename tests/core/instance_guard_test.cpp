#include "core/instance_guard.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class InstanceGuardTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", m_runtime.Path().c_str(), 1); }
    CTempDir m_runtime;
};

} // namespace

TEST_F(InstanceGuardTest, SecondInstanceIsRefusedUntilTheFirstEnds) {
    CInstanceGuard first;
    EXPECT_EQ(first.GetLockPath(), m_runtime / "VantrelMutex.lock");
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.IsHeld());
    {
        CInstanceGuard second;
        EXPECT_FALSE(second.Acquire());
        EXPECT_FALSE(second.IsHeld());
    }
    first.Release();
    CInstanceGuard third;
    EXPECT_TRUE(third.Acquire());
    EXPECT_TRUE(third.IsHeld());
}

TEST_F(InstanceGuardTest, KilledInstanceDoesNotBlockTheNext) {
    int arrPipe[2];
    ASSERT_EQ(::pipe(arrPipe), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CInstanceGuard guard;
        const char chResult = guard.Acquire() && guard.IsHeld() ? 'y' : 'n';
        ssize_t nIgnored = ::write(arrPipe[1], &chResult, 1);
        (void)nIgnored;
        for (;;)
            ::pause();
    }
    ::close(arrPipe[1]);
    char chResult = 0;
    ASSERT_EQ(::read(arrPipe[0], &chResult, 1), 1);
    ::close(arrPipe[0]);
    ASSERT_EQ(chResult, 'y');
    {
        CInstanceGuard blocked;
        EXPECT_FALSE(blocked.Acquire());
    }
    // A crash: no clean-up code runs in the first instance.
    ::kill(pid, SIGKILL);
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(nStatus));
    EXPECT_TRUE(std::filesystem::exists(m_runtime / "VantrelMutex.lock"));
    CInstanceGuard next;
    EXPECT_TRUE(next.Acquire());
    EXPECT_TRUE(next.IsHeld());
}

TEST_F(InstanceGuardTest, GuardThatCannotBeMadeLetsStartUpGoOn) {
    // A folder where the lock file should be: it cannot be opened.
    std::filesystem::create_directory(m_runtime / "VantrelMutex.lock");
    CInstanceGuard guard;
    EXPECT_TRUE(guard.Acquire());
    EXPECT_FALSE(guard.IsHeld());
}

TEST_F(InstanceGuardTest, WithoutRuntimeFolderTheSettingsFolderIsUsed) {
    CTempDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    CInstanceGuard guard;
    EXPECT_EQ(guard.GetLockPath(), config / "Vantrel Software/VantrelMutex.lock");
    EXPECT_TRUE(guard.Acquire());
    EXPECT_TRUE(guard.IsHeld());
}
