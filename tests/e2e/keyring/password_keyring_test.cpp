#include "core/password_keyring.h"
#include "core/settings_store.h"
#include "core/test_files.h"
#include "e2e/hub_lab.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <filesystem>

using namespace std::chrono_literals;

namespace {

// A home and a private session bus with gnome-keyring-daemon (Fallback*: nothing answers).
class KeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* pszName : {"XDG_CURRENT_DESKTOP", "DISPLAY", "WAYLAND_DISPLAY"})
            ::unsetenv(pszName);
        for (auto [pszName, strPath] :
             {std::pair("HOME", m_home.Path()),
              {"XDG_RUNTIME_DIR", m_home.Path()},
              {"XDG_CONFIG_HOME", m_home / "config"},
              {"XDG_DATA_HOME", m_home / "data"},
              {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home / "bus"}})
            ::setenv(pszName, strPath.c_str(), 1);
        if (!QCoreApplication::instance())
            new QCoreApplication(s_nArgs, s_arrArgs);
        if (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())
                .starts_with("Fallback"))
            return;
        // The keyring daemon owns org.freedesktop.secrets once it is ready.
        Shell("dbus-daemon --session --nofork --nopidfile --address=$DBUS_SESSION_BUS_ADDRESS & "
              "echo $! >bus.pid");
        WaitFor([&] { return std::filesystem::exists(m_home / "bus"); }, 5s);
        Shell("printf keyring-pass | gnome-keyring-daemon --foreground --unlock "
              "--components=secrets >/dev/null & echo $! >keyring.pid");
        ASSERT_TRUE(WaitFor([&] { return Owned(); }, 10s));
    }
    void TearDown() override { Shell("kill $(cat keyring.pid bus.pid 2>/dev/null) 2>/dev/null"); }
    bool Shell(const std::string& strLine) {
        return RunShell(m_home, "cd " + m_home.Path() + "; " + strLine).nExit == 0;
    }
    bool Owned() {
        return Shell("dbus-send --session --print-reply --dest=org.freedesktop.DBus / org."
                     "freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q true");
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
    std::string Stored(CPasswordKeyring& keyring) {
        std::string strRead = "stale";
        const auto eRead = keyring.Read(strRead);
        return eRead == CPasswordKeyring::KEYRING_OK          ? strRead
               : eRead == CPasswordKeyring::KEYRING_NOT_FOUND ? "not found" + strRead
                                                              : "error";
    }

    CTempDir m_home;
    static inline int s_nArgs = 1;
    static inline char s_szName[] = "tests";
    static inline char* s_arrArgs[] = {s_szName, nullptr};
};

const std::string PASSWORD = "p\xc3\xa4ssw\xc3\xb6rt \xe2\x82\xac"; // UTF-8 beyond Latin-1

// Stored, read back, removed; a password in the file moves into the keyring and stays there.
TEST_F(KeyringTest, PasswordInTheFileMovesIntoTheKeyring) {
    CPasswordKeyring keyring, other("Other");
    EXPECT_EQ(Stored(keyring), "not found");
    EXPECT_EQ(keyring.Write(PASSWORD), CPasswordKeyring::KEYRING_OK) << keyring.GetError();
    CPasswordKeyring second;
    EXPECT_EQ(Stored(second), PASSWORD);
    EXPECT_EQ(Stored(other), "not found");
    EXPECT_EQ(keyring.Remove(), CPasswordKeyring::KEYRING_OK);
    EXPECT_EQ(Stored(keyring), "not found");

    WriteFileBytes(m_home / "Vantrel.conf", "[Settings]\nLogin=ann\nPass=" + PASSWORD + "\n");
    EXPECT_EQ(Load(keyring), PASSWORD);
    EXPECT_EQ(ReadFileBytes(m_home / "Vantrel.conf"), "[Settings]\nLogin=ann\n");
    EXPECT_EQ(Stored(keyring), PASSWORD);
    EXPECT_EQ(Load(keyring), PASSWORD); // now from the keyring
    ASSERT_TRUE(Save(keyring, "second"));
    EXPECT_EQ(ReadFileBytes(m_home / "Vantrel.conf").find("Pass="), std::string::npos);
    EXPECT_EQ(Load(keyring), "second");
    ASSERT_TRUE(Save(keyring, ""));
    EXPECT_EQ(Stored(keyring), "not found");
}

// Where no Secret Service answers the file keeps the password, and nothing waits long.
TEST_F(KeyringTest, FallbackToTheFileWithoutAKeyring) {
    CPasswordKeyring keyring;
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_NE(keyring.Write(PASSWORD), CPasswordKeyring::KEYRING_OK);
    ASSERT_TRUE(Save(keyring, PASSWORD));
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(5));
    EXPECT_EQ(Load(keyring), PASSWORD);
    EXPECT_NE(ReadFileBytes(m_home / "Vantrel.conf").find("Pass=" + PASSWORD), std::string::npos);
}

} // namespace
