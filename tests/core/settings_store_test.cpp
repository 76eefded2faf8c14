#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
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
    return std::to_string(s.m_bAlertSystem) + std::to_string(s.m_bAlertEmail) + "|" +
           s.m_strEmailFrom + "|" + s.m_strEmailTo + "|" + s.m_strLogin + "|" + s.m_strPass + "|" +
           s.m_strSMTP + "|" + std::to_string(s.m_nSMTPPort) + "|" +
           std::to_string(s.m_nSMTPSecurity) + "|" + std::to_string(s.m_nSMTPAuth) +
           std::to_string(s.m_bAllowClearPassword) + s.m_strHeloName;
}

} // namespace

TEST_F(SettingsTest, FirstStartGivesDefaultsAndWritesTheDataPathBackOwnerOnly) {
    // A data folder below a plain file can never be made: the program's folder instead.
    WriteFileBytes(m_data / "file", "x");
    ::setenv("XDG_DATA_HOME", (m_data / "file/sub").c_str(), 1);
    CAppSettings settings;
    const std::string strExe = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(Load(settings), strExe.substr(0, strExe.rfind('/')) + "/Vantrel.dat");
    std::filesystem::remove_all(s_config / "Vantrel Software");
    ::setenv("XDG_DATA_HOME", (m_data / "share/deeper").c_str(), 1);
    settings.m_bAlertEmail = 7;
    settings.m_strPass = "stale";
    settings.m_nSMTPPort = 99;
    const mode_t nOldMask = ::umask(0);
    const std::string strDataPath = Load(settings);
    ::umask(nOldMask);
    EXPECT_EQ(Describe(settings), "00||||||25|0|00");
    EXPECT_EQ(strDataPath, m_data / "share/deeper/Vantrel.dat"); // the folder is made
    EXPECT_TRUE(std::filesystem::is_directory(m_data / "share/deeper"));
    EXPECT_EQ(ReadFileBytes(ConfigFile()), "[Settings]\nIniPath=" + strDataPath + "\n");
    EXPECT_EQ(std::filesystem::status(ConfigFile()).permissions(), std::filesystem::perms(0600));
    // Later starts keep the written path even when the data folder moves.
    ::setenv("XDG_DATA_HOME", (m_data / "elsewhere").c_str(), 1);
    EXPECT_EQ(Load(settings), strDataPath);
}

// Values given by hand are read; a port or security that is none of its values is named and
// unusable (port 0, security -1), never the default port or no TLS; saved values read back, the
// file owner-only and PingMethod after the other values. Counts out of their bounds are the
// defaults (64 tests at once, 400 days of history, 5xx down, certificate notice 14 days ahead).
TEST_F(SettingsTest, GivenValuesAreReadAndSavedOnesReadBackOwnerOnly) {
    std::filesystem::create_directories(s_config / "Vantrel Software");
    const std::pair<const char*, const char*> cases[] = {
        {"SMTPPort=0\nSMTPSecurity=3\nPingMethod=0\nSMTPAuth=4\nConcurrentTests=0\n",
         "00||||||0|-1|-10|0|64|400|1|14 SMTPPort=0 SMTPSecurity=3 SMTPAuth=4"},
        {"SMTPPort=65536\nSMTPSecurity=-1\nPingMethod=2\nSMTPAuth=-1\nAllowPlainPassword=2\n"
         "ConcurrentTests=257\n",
         "00||||||0|-1|-10|0|64|400|1|14 SMTPPort=65536 SMTPSecurity=-1 SMTPAuth=-1"},
        {"SMTPPort=abc\nSMTPSecurity=starttls\nPingMethod=tcp\nSMTPAuth=x\nAllowPlainPassword="
         "yes\nConcurrentTests=x\n",
         "00||||||0|-1|-10|0|64|400|1|14 SMTPPort=abc SMTPSecurity=starttls SMTPAuth=x"},
        {"SMTPSecurity=1.0\n", "00||||||25|-1|00|0|64|400|1|14 SMTPSecurity=1.0"},
        {"SMTPPort=65535\nSMTPSecurity=2\nPingMethod=1\nSMTPAuth=3\nAllowPlainPassword=1\n"
         "HeloName=mx.example.com\nConcurrentTests=256\n",
         "00||||||65535|2|31mx.example.com|1|256|400|1|14"},
        {"HistoryDays=0\nServerErrorsDown=2\nCertWarningDays=-1\n",
         "00||||||25|0|00|0|64|400|1|14"},
        {"HistoryDays=36501\nServerErrorsDown=x\nCertWarningDays=366\n",
         "00||||||25|0|00|0|64|400|1|14"},
        {"HistoryDays=36500\nServerErrorsDown=0\nCertWarningDays=0\n",
         "00||||||25|0|00|0|64|36500|0|0"},
        {"HistoryDays=1\nCertWarningDays=365\n", "00||||||25|0|00|0|64|1|1|365"},
        {"AlertBackUp=0\n", "00||||||25|0|00|0|64|400|1|14"},
        {"SMTPPort=1\nConcurrentTests=1\n", "00||||||1|0|00|0|1|400|1|14"},
        {"AlertSystem=1\nAlertEmail=1\nEmailFrom=a@example.com\nEmailTo=b@example.com\nLogin=user\n"
         "Pass=pw\nSMTP=smtp.example.com\nSMTPPort=587\nSMTPSecurity=1\nSMTPAuth=1\n",
         "11|a@example.com|b@example.com|user|pw|smtp.example.com|587|1|10|0|64|400|1|14"}};
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
        std::string strDescribed = Describe(settings) + "|" +
                                   std::to_string(settings.m_nPingMethod) + "|" +
                                   std::to_string(settings.m_nConcurrentTests) + "|" +
                                   std::to_string(settings.m_nHistoryDays) + "|" +
                                   std::to_string(settings.m_bServerErrorsDown) + "|" +
                                   std::to_string(settings.m_nCertWarningDays);
        for (const std::string& strValue : m_arrUnreadable)
            strDescribed += " " + strValue;
        EXPECT_EQ(strDescribed, pszExpected);
        // "Also tell me when a host is back up" is on unless the file says otherwise.
        EXPECT_EQ(settings.m_bAlertBackUp,
                  std::string(pszLines).find("AlertBackUp=0") == 0 ? 0 : 1);
    }
    EXPECT_FALSE(std::filesystem::exists(m_data / "share"));
    std::filesystem::permissions(ConfigFile(), std::filesystem::perms(0644));
    settings.m_nPingMethod = PING_METHOD_TCP;
    ASSERT_TRUE(CSettingsStore().SaveSettings(settings));
    EXPECT_EQ(std::filesystem::status(ConfigFile()).permissions(), std::filesystem::perms(0600));
    EXPECT_EQ(
        ReadFileBytes(ConfigFile()),
        "[Settings]\nAlertBackUp=1\nAlertEmail=1\nAlertSystem=1\nAllowPlainPassword=0\n"
        "CertWarningDays=14\nConcurrentTests=64\nEmailFrom=a@example.com\nEmailTo=b@example.com\n"
        "HeloName=\nHistoryDays=400\nIniPath=" +
            strPath +
            "\nLogin=user\nPass=pw\nPingMethod=1\nSMTP=smtp.example.com\nSMTPAuth=1\n"
            "SMTPPort=587\nSMTPSecurity=1\nServerErrorsDown=1\n");
    // UTF-8, also beyond ISO-8859-1.
    settings.m_strPass = "p=\xc3\xa4;s s#w\"d\xe2\x82\xac",
    settings.m_strLogin = "ren\xc3\xa9 \xd0\x96";
    settings.m_bAlertEmail = 0, settings.m_nSMTPPort = 465, settings.m_nSMTPSecurity = 2;
    ASSERT_TRUE(CSettingsStore().SaveSettings(settings));
    CAppSettings loaded;
    EXPECT_EQ(Load(loaded), strPath);
    EXPECT_EQ(Describe(loaded),
              "10|a@example.com|b@example.com|ren\xc3\xa9 \xd0\x96|p=\xc3\xa4;s s#w\"d\xe2\x82\xac|"
              "smtp.example.com|465|2|10");
}

TEST_F(SettingsTest, SecondInstanceIsRefusedAndAKilledFirstDoesNotBlock) {
    const std::string strData = m_data / "Vantrel.dat";
    EXPECT_EQ(CInstanceGuard::GetLockPath(strData), m_data / ".Vantrel.dat.lock");
    int arrPipe[2];
    ASSERT_EQ(::pipe(arrPipe), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CInstanceGuard guard;
        const char chHeld = guard.Acquire(strData) && guard.IsHeld() ? 'y' : 'n';
        if (::write(arrPipe[1], &chHeld, 1) == 1)
            for (;;)
                ::pause();
        ::_exit(1);
    }
    ::close(arrPipe[1]);
    char chHeld = 0;
    EXPECT_EQ(::read(arrPipe[0], &chHeld, 1), 1);
    EXPECT_EQ(chHeld, 'y');
    EXPECT_FALSE(CInstanceGuard().Acquire(strData));
    // A crash: no clean-up code runs in the first instance, and its lock file stays.
    ::kill(pid, SIGKILL);
    int nStatus = 0;
    EXPECT_EQ(::waitpid(pid, &nStatus, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(nStatus));
    ::close(arrPipe[0]);
    EXPECT_TRUE(std::filesystem::exists(m_data / ".Vantrel.dat.lock"));
    CInstanceGuard next;
    EXPECT_TRUE(next.Acquire(strData));
    EXPECT_TRUE(next.IsHeld());
}
