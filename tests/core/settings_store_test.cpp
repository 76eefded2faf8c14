#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Empty configuration, data and runtime folders for every test. The configuration root is set
// once, before any QSettings use, because QSettings fixes its default folder on first use.
class SettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::setenv("XDG_CONFIG_HOME", s_config.Path().c_str(), 1); }
    void SetUp() override {
        std::filesystem::remove_all(s_config / "Vantrel Software");
        ::setenv("XDG_DATA_HOME", (m_data / "share/deeper").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", m_data.Path().c_str(), 1);
    }
    static std::string ConfigFile() { return s_config / "Vantrel Software/Vantrel.conf"; }
    std::string Load(CAppSettings& settings) {
        std::string strDataPath;
        CSettingsStore store;
        store.LoadSettings(settings, strDataPath);
        m_arrUnreadable = store.GetUnreadable();
        return strDataPath;
    }

    static inline CTempDir s_config;
    CTempDir m_data;
    std::vector<std::string> m_arrUnreadable; // of the last Load
};

std::string Describe(const CAppSettings& s) {
    std::string str = std::to_string(s.m_bAlertSystem) + std::to_string(s.m_bAlertEmail) +
                      std::to_string(s.m_bAlertBackUp);
    for (const std::string& strText :
         {s.m_strEmailFrom, s.m_strEmailTo, s.m_strLogin, s.m_strPass, s.m_strSMTP})
        str += "|" + strText;
    str += "|" + std::to_string(s.m_nSMTPPort) + "|" + std::to_string(s.m_nSMTPSecurity) + "|" +
           std::to_string(s.m_nSMTPAuth) + std::to_string(s.m_bAllowClearPassword) +
           s.m_strHeloName;
    for (int n : {s.m_nPingMethod, s.m_nConcurrentTests, s.m_nHistoryDays, s.m_bServerErrorsDown,
                  s.m_nCertWarningDays})
        str += "|" + std::to_string(n);
    return str;
}

} // namespace

TEST_F(SettingsTest, FirstStartWritesTheDataPathBackOwnerOnlyAndTakesItsGuard) {
    // A data folder below a plain file can never be made: the program's folder instead.
    WriteFileBytes(m_data / "file", "x");
    ::setenv("XDG_DATA_HOME", (m_data / "file/sub").c_str(), 1);
    CAppSettings settings;
    const std::string strExe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(Load(settings), strExe.substr(0, strExe.rfind('/')) + "/Vantrel.dat");
    std::filesystem::remove_all(s_config / "Vantrel Software");
    // Paths are bytes: a folder name that is not UTF-8 is written as bytes, never as U+FFFD.
    ::setenv("XDG_DATA_HOME", (m_data / "share/caf\xe9").c_str(), 1);
    settings.m_bAlertEmail = 7;
    settings.m_strPass = "stale";
    settings.m_nSMTPPort = 99;
    const mode_t nOldMask = ::umask(0);
    const std::string strDataPath = Load(settings);
    ::umask(nOldMask);
    EXPECT_EQ(Describe(settings), "001||||||25|0|00|0|64|400|1|14");
    EXPECT_EQ(strDataPath, m_data / "share/caf\xe9/Vantrel.dat"); // the folder is made
    EXPECT_TRUE(std::filesystem::is_directory(m_data / "share/caf\xe9"));
    EXPECT_EQ(ReadFileBytes(ConfigFile()),
              "[Settings]\nIniPath=@ByteArray(" + m_data.Path() + "/share/caf\\xe9/Vantrel.dat)\n");
    EXPECT_EQ(std::filesystem::status(ConfigFile()).permissions(), std::filesystem::perms(0600));
    // Later starts keep the written path even when the data folder moves.
    ::setenv("XDG_DATA_HOME", (m_data / "elsewhere").c_str(), 1);
    EXPECT_EQ(Load(settings), strDataPath);
    EXPECT_TRUE(CSettingsStore().SaveSettings(settings));
    EXPECT_EQ(Load(settings), strDataPath);
    // One instance per data file; a lock file left behind (as by a killed one) does not block.
    EXPECT_EQ(CInstanceGuard::GetLockPath(strDataPath), m_data / "share/caf\xe9/.Vantrel.dat.lock");
    WriteFileBytes(CInstanceGuard::GetLockPath(strDataPath), "");
    CInstanceGuard first;
    EXPECT_TRUE(first.Acquire(strDataPath) && first.IsHeld());
    EXPECT_FALSE(CInstanceGuard().Acquire(strDataPath));
}

// A value that is none of its values is named, and unusable for the mail (port 0, security -1)
// or the default for a count; saved values read back, the file owner-only.
TEST_F(SettingsTest, GivenValuesAreReadAndSavedOnesReadBackOwnerOnly) {
    std::filesystem::create_directories(s_config / "Vantrel Software");
    const std::pair<const char*, const char*> cases[] = {
        {"SMTPPort=0\nSMTPSecurity=3\nPingMethod=0\nSMTPAuth=4\nConcurrentTests=0\nHistoryDays=0\n"
         "ServerErrorsDown=2\nCertWarningDays=-1\n",
         "001||||||0|-1|-10|0|64|400|1|14 SMTPPort=0 SMTPSecurity=3 SMTPAuth=4"},
        {"SMTPPort=65536\nSMTPSecurity=-1\nPingMethod=2\nSMTPAuth=-1\nAllowPlainPassword=2\n"
         "ConcurrentTests=257\nHistoryDays=36501\nCertWarningDays=366\n",
         "001||||||0|-1|-10|0|64|400|1|14 SMTPPort=65536 SMTPSecurity=-1 SMTPAuth=-1"},
        {"SMTPSecurity=1.0\n", "001||||||25|-1|00|0|64|400|1|14 SMTPSecurity=1.0"},
        {"SMTPPort=65535\nSMTPSecurity=2\nPingMethod=1\nSMTPAuth=3\nAllowPlainPassword=1\n"
         "HeloName=mx.example.com\nConcurrentTests=256\nHistoryDays=36500\nCertWarningDays=365\n",
         "001||||||65535|2|31mx.example.com|1|256|36500|1|365"},
        {"SMTPPort=1\nConcurrentTests=1\nHistoryDays=1\nServerErrorsDown=0\nCertWarningDays=0\n"
         "AlertBackUp=0\n",
         "000||||||1|0|00|0|1|1|0|0"},
        {"AlertSystem=1\nAlertEmail=1\nEmailFrom=a@example.com\nEmailTo=b@example.com\nLogin=user\n"
         "Pass=pw\nSMTP=smtp.example.com\nSMTPPort=abc\nSMTPSecurity=starttls\nPingMethod=tcp\n"
         "SMTPAuth=x\nAllowPlainPassword=yes\nConcurrentTests=x\nServerErrorsDown=x\n",
         "111|a@example.com|b@example.com|user|pw|smtp.example.com|0|-1|-10|0|64|400|1|14 "
         "SMTPPort=abc SMTPSecurity=starttls SMTPAuth=x"}};
    std::string strPath = "/srv/";
    CAppSettings settings;
    for (const auto& [pszLines, pszExpected] : cases) {
        SCOPED_TRACE(pszLines);
        // Each file a different size: Qt rereads a file only when its size or time changed.
        strPath += "mmmmmmmmmm";
        WriteFileBytes(ConfigFile(), "[Settings]\nIniPath=" + strPath + "\n" + pszLines);
        settings = CAppSettings();
        settings.m_nPingMethod = -1;
        EXPECT_EQ(Load(settings), strPath);
        std::string strDescribed = Describe(settings);
        for (const std::string& strValue : m_arrUnreadable)
            strDescribed += " " + strValue;
        EXPECT_EQ(strDescribed, pszExpected);
    }
    EXPECT_FALSE(std::filesystem::exists(m_data / "share"));
    std::filesystem::permissions(ConfigFile(), std::filesystem::perms(0644));
    settings.m_nPingMethod = PING_METHOD_TCP;
    // UTF-8, also beyond ISO-8859-1.
    settings.m_strPass = "p=\xc3\xa4;s s#w\"d\xe2\x82\xac";
    settings.m_strLogin = "ren\xc3\xa9 \xd0\x96";
    ASSERT_TRUE(CSettingsStore().SaveSettings(settings));
    EXPECT_EQ(std::filesystem::status(ConfigFile()).permissions(), std::filesystem::perms(0600));
    // The values that could not be read stay as written, so the next start names them again.
    EXPECT_EQ(ReadFileBytes(ConfigFile()),
              "[Settings]\nAlertBackUp=1\nAlertEmail=1\nAlertSystem=1\nAllowPlainPassword=0\n"
              "CertWarningDays=14\nConcurrentTests=64\nEmailFrom=a@example.com\n"
              "EmailTo=b@example.com\nHeloName=\nHistoryDays=400\nIniPath=" +
                  strPath +
                  "\nLogin=ren\xc3\xa9 \xd0\x96\nPass=\"p=\xc3\xa4;s s#w\\\"d\xe2\x82\xac\"\n"
                  "PingMethod=1\nSMTP=smtp.example.com\nSMTPAuth=x\nSMTPPort=abc\n"
                  "SMTPSecurity=starttls\nServerErrorsDown=1\n");
    CAppSettings loaded;
    EXPECT_EQ(Load(loaded), strPath);
    EXPECT_EQ(Describe(loaded), "111|a@example.com|b@example.com|ren\xc3\xa9 \xd0\x96|p=\xc3\xa4;s "
                                "s#w\"d\xe2\x82\xac|smtp.example.com|0|-1|-10|1|64|400|1|14");
    EXPECT_EQ(m_arrUnreadable,
              (std::vector<std::string>{"SMTPPort=abc", "SMTPSecurity=starttls", "SMTPAuth=x"}));
}
