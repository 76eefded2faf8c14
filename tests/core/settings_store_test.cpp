#include "core/settings_store.h"
#include "core/test_files.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every test gets empty configuration and data folders. The configuration root is set once,
// before any QSettings use, because QSettings fixes its default folder on first use.
class SettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_pConfigRoot = new CTempDir;
        ::setenv("XDG_CONFIG_HOME", s_pConfigRoot->Path().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete s_pConfigRoot;
        s_pConfigRoot = nullptr;
    }
    void SetUp() override {
        std::filesystem::remove_all(*s_pConfigRoot / "Vantrel Software");
        ::setenv("XDG_DATA_HOME", (m_data / "share/deeper").c_str(), 1);
    }
    std::string ConfigFile() const { return *s_pConfigRoot / "Vantrel Software/Vantrel.conf"; }

    static CTempDir* s_pConfigRoot;
    CTempDir m_data;
};

CTempDir* SettingsTest::s_pConfigRoot = nullptr;

mode_t ModeOf(const std::string& strPath) {
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST_F(SettingsTest, FileIsWhereQSettingsKeepsVantrelSoftwareVantrel) {
    CSettingsStore store;
    EXPECT_EQ(store.GetFileName(), ConfigFile());
    QSettings qt("Vantrel Software", "Vantrel");
    EXPECT_EQ(qt.fileName().toStdString(), ConfigFile());
}

TEST_F(SettingsTest, FirstStartGivesDefaultsAndWritesTheDataPathBack) {
    CSettingsStore store;
    CAppSettings settings;
    settings.m_bAlertEmail = 7;
    settings.m_strPass = "stale";
    std::string strDataPath;
    store.LoadSettings(settings, strDataPath);
    EXPECT_EQ(settings.m_bAlertSystem, 0);
    EXPECT_EQ(settings.m_bAlertEmail, 0);
    EXPECT_EQ(settings.m_strPass, "");
    EXPECT_EQ(settings.m_strSMTP, "");
    // The data folder is created when missing.
    EXPECT_EQ(strDataPath, m_data / "share/deeper/Vantrel.dat");
    EXPECT_TRUE(std::filesystem::is_directory(m_data / "share/deeper"));

    QSettings check(QString::fromStdString(ConfigFile()), QSettings::IniFormat);
    EXPECT_EQ(check.value("Settings/IniPath").toString().toStdString(), strDataPath);
    EXPECT_EQ(ModeOf(ConfigFile()), 0600u);

    // Later starts keep the written path even when the data folder moves.
    ::setenv("XDG_DATA_HOME", (m_data / "elsewhere").c_str(), 1);
    std::string strLater;
    store.LoadSettings(settings, strLater);
    EXPECT_EQ(strLater, strDataPath);
}

TEST_F(SettingsTest, IniPathIsUsedAsGivenAndNotRewritten) {
    std::filesystem::create_directories(*s_pConfigRoot / "Vantrel Software");
    WriteFileBytes(ConfigFile(), "[Settings]\nIniPath=/srv/hosts/mine.dat\nAlertSystem=1\n"
                                 "AlertEmail=1\nEmailFrom=a@example.com\nEmailTo=b@example.com\n"
                                 "Login=user\nPass=pw\nSMTP=smtp.example.com\n");
    CSettingsStore store;
    CAppSettings settings;
    std::string strDataPath;
    store.LoadSettings(settings, strDataPath);
    EXPECT_EQ(strDataPath, "/srv/hosts/mine.dat");
    EXPECT_EQ(settings.m_bAlertSystem, 1);
    EXPECT_EQ(settings.m_bAlertEmail, 1);
    EXPECT_EQ(settings.m_strEmailFrom, "a@example.com");
    EXPECT_EQ(settings.m_strEmailTo, "b@example.com");
    EXPECT_EQ(settings.m_strLogin, "user");
    EXPECT_EQ(settings.m_strPass, "pw");
    EXPECT_EQ(settings.m_strSMTP, "smtp.example.com");
    EXPECT_FALSE(std::filesystem::exists(m_data / "share"));
}

TEST_F(SettingsTest, ReadOnlyCallersLeaveTheSettingsAlone) {
    CSettingsStore store;
    CAppSettings settings;
    std::string strDataPath;
    store.LoadSettings(settings, strDataPath, false);
    EXPECT_EQ(strDataPath, m_data / "share/deeper/Vantrel.dat");
    EXPECT_FALSE(std::filesystem::exists(ConfigFile()));
}

TEST_F(SettingsTest, NoDataFolderFallsBackToTheProgramFolder) {
    // A data folder below a plain file can never be created.
    WriteFileBytes(m_data / "file", "x");
    ::setenv("XDG_DATA_HOME", (m_data / "file/sub").c_str(), 1);
    CSettingsStore store;
    CAppSettings settings;
    std::string strDataPath;
    store.LoadSettings(settings, strDataPath);
    const std::string strExe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(strDataPath, strExe.substr(0, strExe.rfind('/')) + "/Vantrel.dat");
}

TEST_F(SettingsTest, SavedSettingsReadBackAndStayOwnerOnly) {
    // A file left readable by others is made private by the next write.
    std::filesystem::create_directories(*s_pConfigRoot / "Vantrel Software");
    WriteFileBytes(ConfigFile(), "[Settings]\nIniPath=/x/Vantrel.dat\n");
    ASSERT_EQ(::chmod(ConfigFile().c_str(), 0644), 0);

    CSettingsStore store;
    CAppSettings saved;
    saved.m_bAlertSystem = 1;
    saved.m_bAlertEmail = 0;
    saved.m_strEmailFrom = "alerts@example.com";
    saved.m_strEmailTo = "me@example.com, you@example.org";
    saved.m_strLogin = "ren\xE9"; // ISO-8859-1 byte
    saved.m_strPass = "p=a;s s#w\"d";
    saved.m_strSMTP = "smtp.example.net";
    ASSERT_TRUE(store.SaveSettings(saved));
    EXPECT_EQ(ModeOf(ConfigFile()), 0600u);

    CAppSettings loaded;
    std::string strDataPath;
    store.LoadSettings(loaded, strDataPath);
    EXPECT_EQ(strDataPath, "/x/Vantrel.dat");
    EXPECT_EQ(loaded.m_bAlertSystem, 1);
    EXPECT_EQ(loaded.m_bAlertEmail, 0);
    EXPECT_EQ(loaded.m_strEmailFrom, saved.m_strEmailFrom);
    EXPECT_EQ(loaded.m_strEmailTo, saved.m_strEmailTo);
    EXPECT_EQ(loaded.m_strLogin, saved.m_strLogin);
    EXPECT_EQ(loaded.m_strPass, saved.m_strPass);
    EXPECT_EQ(loaded.m_strSMTP, saved.m_strSMTP);
}

TEST_F(SettingsTest, NewSettingsFileIsCreatedOwnerOnly) {
    const mode_t nOld = ::umask(0);
    CSettingsStore store;
    const bool bSaved = store.SaveSettings(CAppSettings());
    ::umask(nOld);
    ASSERT_TRUE(bSaved);
    EXPECT_EQ(ModeOf(ConfigFile()), 0600u);
}
