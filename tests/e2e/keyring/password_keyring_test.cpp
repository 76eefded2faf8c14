#include "core/password_keyring.h"
#include "core/settings_store.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

// Starts a program with strInput on its standard input; its output goes nowhere.
pid_t Spawn(std::vector<std::string> arrArgs, const std::string& strInput = "") {
    int arrPipe[2];
    if (::pipe(arrPipe) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(arrPipe[0], 0);
        ::close(arrPipe[1]);
        freopen("/dev/null", "w", stdout);
        std::vector<char*> argv;
        for (std::string& str : arrArgs)
            argv.push_back(str.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(arrPipe[0]);
    if (!strInput.empty() && ::write(arrPipe[1], strInput.data(), strInput.size()) < 0)
        ::perror("write");
    ::close(arrPipe[1]);
    return pid;
}

// A home of its own and a private session bus with gnome-keyring-daemon's Secret Service on
// it (FALLBACK: a bus address where nothing answers). Under ctest every case is a process of
// its own, so each gets a fresh bus.
class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* pszName : {"XDG_CURRENT_DESKTOP", "DISPLAY", "WAYLAND_DISPLAY"})
            ::unsetenv(pszName);
        for (auto [pszName, strPath] : {std::pair("HOME", m_home.Path()),
                                        {"XDG_RUNTIME_DIR", m_home.Path()},
                                        {"XDG_CONFIG_HOME", m_home / "config"},
                                        {"XDG_DATA_HOME", m_home / "data"}})
            ::setenv(pszName, strPath.c_str(), 1);
        const std::string strBus = "unix:path=" + m_home / "bus";
        ::setenv("DBUS_SESSION_BUS_ADDRESS", strBus.c_str(), 1);
        if (!s_pApp)
            s_pApp = new QCoreApplication(s_nArgs, s_arrArgs);
        if (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())
                .starts_with("Fallback"))
            return;
        m_pidBus =
            Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + strBus});
        // The keyring daemon owns org.freedesktop.secrets once it is ready.
        for (int i = 0; i < 100 && !Owned(); ++i) {
            if (i == 5)
                m_pidKeyring = Spawn(
                    {"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"},
                    "keyring-pass");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_TRUE(Owned());
    }
    void TearDown() override {
        for (pid_t pid : {m_pidKeyring, m_pidBus})
            if (pid > 0 && ::kill(pid, SIGTERM) == 0)
                ::waitpid(pid, nullptr, 0);
    }
    static bool Owned() {
        return ::system("dbus-send --session --print-reply --dest=org.freedesktop.DBus / "
                        "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets "
                        "2>/dev/null | grep -q 'boolean true'") == 0;
    }
    std::string Load(CPasswordKeyring& keyring) {
        CSettingsStore store(m_home / "Vantrel.conf");
        store.SetKeyring(&keyring);
        CAppSettings settings;
        std::string strDataPath;
        store.LoadSettings(settings, strDataPath, false);
        return settings.m_strPass;
    }
    bool Save(CPasswordKeyring& keyring, const std::string& strPassword) {
        CSettingsStore store(m_home / "Vantrel.conf");
        store.SetKeyring(&keyring);
        CAppSettings settings;
        settings.m_strPass = strPassword;
        return store.SaveSettings(settings);
    }
    bool FileHas(const std::string& strText) {
        return ReadFileBytes(m_home / "Vantrel.conf").find(strText) != std::string::npos;
    }

    CTempDir m_home;
    pid_t m_pidBus = -1, m_pidKeyring = -1;
    static inline int s_nArgs = 1;
    static inline char s_szName[] = "tests";
    static inline char* s_arrArgs[] = {s_szName, nullptr};
    static inline QCoreApplication* s_pApp = nullptr;
};

const std::string PASSWORD = "p\xc3\xa4ssw\xc3\xb6rt \xe2\x82\xac"; // UTF-8 beyond Latin-1

TEST_F(KeyringTest, StoredReadBackAndRemoved) {
    CPasswordKeyring keyring;
    std::string strRead = "stale";
    EXPECT_EQ(keyring.Read(strRead), CPasswordKeyring::KEYRING_NOT_FOUND);
    EXPECT_EQ(strRead, "");
    EXPECT_EQ(keyring.Write(PASSWORD), CPasswordKeyring::KEYRING_OK) << keyring.GetError();
    EXPECT_EQ(CPasswordKeyring().Read(strRead), CPasswordKeyring::KEYRING_OK);
    EXPECT_EQ(strRead, PASSWORD);
    EXPECT_EQ(CPasswordKeyring("Other").Read(strRead), CPasswordKeyring::KEYRING_NOT_FOUND);
    EXPECT_EQ(keyring.Remove(), CPasswordKeyring::KEYRING_OK);
    EXPECT_EQ(keyring.Read(strRead), CPasswordKeyring::KEYRING_NOT_FOUND);
}

// A password in the settings file moves into the keyring at the next load; saving keeps it
// there and out of the file.
TEST_F(KeyringTest, PasswordInTheFileMovesIntoTheKeyring) {
    WriteFileBytes(m_home / "Vantrel.conf", "[Settings]\nLogin=ann\nPass=" + PASSWORD + "\n");
    CPasswordKeyring keyring;
    EXPECT_EQ(Load(keyring), PASSWORD);
    EXPECT_EQ(ReadFileBytes(m_home / "Vantrel.conf"), "[Settings]\nLogin=ann\n");
    std::string strRead;
    EXPECT_EQ(keyring.Read(strRead), CPasswordKeyring::KEYRING_OK);
    EXPECT_EQ(strRead, PASSWORD);
    EXPECT_EQ(Load(keyring), PASSWORD); // now from the keyring
    ASSERT_TRUE(Save(keyring, "second"));
    EXPECT_FALSE(FileHas("Pass="));
    EXPECT_EQ(Load(keyring), "second");
    ASSERT_TRUE(Save(keyring, ""));
    EXPECT_EQ(keyring.Read(strRead), CPasswordKeyring::KEYRING_NOT_FOUND);
}

// Where no Secret Service answers the file keeps the password, and nothing waits long.
TEST_F(KeyringTest, FallbackToTheFileWithoutAKeyring) {
    CPasswordKeyring keyring;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_NE(keyring.Write(PASSWORD), CPasswordKeyring::KEYRING_OK);
    ASSERT_TRUE(Save(keyring, PASSWORD));
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(5));
    EXPECT_TRUE(FileHas("Pass=" + PASSWORD));
    EXPECT_EQ(Load(keyring), PASSWORD);
    EXPECT_TRUE(FileHas("Pass=" + PASSWORD));
}

} // namespace
