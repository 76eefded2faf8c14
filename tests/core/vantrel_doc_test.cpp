#include "core/message_sink.h"
#include "core/test_control.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

class CRecordingSink : public CMessageSink {
public:
    void ShowMessage(const std::string& strText) override { m_vecMessages.push_back(strText); }
    std::vector<std::string> m_vecMessages;
};

class CFakeTestControl : public CTestControl {
public:
    void StartTests(CVantrelDoc&) override { ++m_nStarts; }
    void StopTests(CVantrelDoc&) override { ++m_nStops; }
    bool IsConnected() override {
        ++m_nConnectionChecks;
        return m_bConnected;
    }
    int m_nStarts = 0;
    int m_nStops = 0;
    int m_nConnectionChecks = 0;
    bool m_bConnected = true;
};

const char* const DAMAGED_TEXT = "Cannot load hosts data, will re-create the list";

CHost* MakeHost(const std::string& strName, int32_t bTesting = 0) {
    auto* pHost = new CHost;
    pHost->m_strName = strName;
    pHost->m_strTestURL = "http://" + strName + ".example.com/";
    *pHost->m_pPingHistory = {5, 6};
    pHost->m_nPingTotal = 11;
    pHost->m_bTesting = bTesting;
    return pHost;
}

// Writes a data file with the given hosts through a store of its own.
void WriteDataFile(const std::string& strPath, std::vector<CHost*> arrHosts,
                   int32_t nInterval = 5) {
    CRecordingSink sink;
    CVantrelDoc doc(sink, nullptr);
    for (CHost* pHost : arrHosts)
        doc.AddHost(pHost);
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(strPath, doc.m_arrHosts, 0, nInterval, false, strError));
}

} // namespace

TEST(HostStoreStart, FirstStartCreatesAnEmptyFileAndStartsTheWorker) {
    CTempDir dir;
    CRecordingSink sink;
    CFakeTestControl control;
    CVantrelDoc doc(sink, &control);
    CAppSettings settings;
    settings.m_strPass = "secret";
    settings.m_strSMTP = "mail.example.com";
    settings.m_bAlertEmail = 1;
    ASSERT_TRUE(doc.OnNewDocument(dir / "Vantrel.dat", settings));
    EXPECT_TRUE(std::filesystem::exists(dir / "Vantrel.dat"));
    EXPECT_EQ(std::filesystem::file_size(dir / "Vantrel.dat"), 0u);
    EXPECT_TRUE(doc.m_arrHosts.empty());
    EXPECT_EQ(doc.m_nIntervalMinutes, 5);
    EXPECT_EQ(doc.m_strPass, "secret");
    EXPECT_EQ(doc.m_strSMTP, "mail.example.com");
    EXPECT_EQ(doc.m_bAlertEmail, 1);
    EXPECT_EQ(control.m_nStarts, 1);
    EXPECT_EQ(control.m_nConnectionChecks, 0); // no host under test
    EXPECT_TRUE(sink.m_vecMessages.empty());

    // Closing hands back the settings as the options left them and writes the file.
    doc.m_strLogin = "me";
    doc.AddHost(MakeHost("alpha"));
    CAppSettings back;
    doc.OnCloseDocument(back);
    EXPECT_EQ(control.m_nStops, 1);
    EXPECT_EQ(back.m_strLogin, "me");
    EXPECT_EQ(back.m_strPass, "secret");
    EXPECT_EQ(back.m_bAlertEmail, 1);
    EXPECT_GT(std::filesystem::file_size(dir / "Vantrel.dat"), 12u);
    EXPECT_TRUE(sink.m_vecMessages.empty());
}

TEST(HostStoreStart, FileThatCannotBeCreatedEndsStartUp) {
    CTempDir dir;
    CRecordingSink sink;
    CFakeTestControl control;
    CVantrelDoc doc(sink, &control);
    EXPECT_FALSE(doc.OnNewDocument(dir / "no-such-folder/Vantrel.dat", CAppSettings()));
    EXPECT_EQ(sink.m_vecMessages, std::vector<std::string>{"Cannot create data file"});
    EXPECT_EQ(control.m_nStarts, 0);
}

TEST(HostStoreStart, NoConnectionWithAHostUnderTestIsReported) {
    CTempDir dir;
    WriteDataFile(dir / "v.dat", {MakeHost("a"), MakeHost("b", 1)});
    for (bool bConnected : {false, true}) {
        CRecordingSink sink;
        CFakeTestControl control;
        control.m_bConnected = bConnected;
        CVantrelDoc doc(sink, &control);
        ASSERT_TRUE(doc.OnNewDocument(dir / "v.dat", CAppSettings()));
        ASSERT_EQ(doc.m_arrHosts.size(), 2u);
        EXPECT_EQ(control.m_nStarts, 1);
        const std::vector<std::string> vecExpected =
            bConnected ? std::vector<std::string>{}
                       : std::vector<std::string>{"The internet connection was not detected.\nThe "
                                                  "tests will resume after you connect to the "
                                                  "internet."};
        EXPECT_EQ(sink.m_vecMessages, vecExpected);
    }
}

TEST(HostStoreDamage, EveryCutShowsTheMessageOnceAndKeepsCompleteHosts) {
    CTempDir dir;
    WriteDataFile(dir / "full.dat", {MakeHost("first"), MakeHost("second")}, 9);
    const std::string strFull = ReadFileBytes(dir / "full.dat");
    for (size_t nCut = 0; nCut < strFull.size(); ++nCut) {
        WriteFileBytes(dir / "v.dat", strFull.substr(0, nCut));
        CRecordingSink sink;
        CVantrelDoc doc(sink, nullptr);
        ASSERT_TRUE(doc.OnNewDocument(dir / "v.dat", CAppSettings()));
        if (nCut == 0) {
            EXPECT_TRUE(sink.m_vecMessages.empty());
            continue;
        }
        EXPECT_EQ(sink.m_vecMessages, std::vector<std::string>{DAMAGED_TEXT}) << nCut;
        ASSERT_LE(doc.m_arrHosts.size(), 2u);
        if (!doc.m_arrHosts.empty()) {
            EXPECT_EQ(doc.m_arrHosts[0]->m_strName, "first");
        }
        EXPECT_EQ(doc.m_nIntervalMinutes, 5) << nCut;
    }
}

TEST(HostStoreDamage, DamagedFileIsKeptAsideBeforeTheFirstSave) {
    CTempDir dir;
    WriteDataFile(dir / "v.dat", {MakeHost("first"), MakeHost("second")});
    const std::string strDamaged = ReadFileBytes(dir / "v.dat").substr(0, 400);
    WriteFileBytes(dir / "v.dat", strDamaged);

    CRecordingSink sink;
    CVantrelDoc doc(sink, nullptr);
    ASSERT_TRUE(doc.OnNewDocument(dir / "v.dat", CAppSettings()));
    ASSERT_EQ(doc.m_arrHosts.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir / "v.dat.damaged"));
    ASSERT_TRUE(doc.SaveHosts()) << doc.m_strLastSaveError;
    EXPECT_EQ(ReadFileBytes(dir / "v.dat.damaged"), strDamaged);

    // Later saves leave the kept copy alone.
    WriteFileBytes(dir / "v.dat.damaged", "kept");
    ASSERT_TRUE(doc.SaveHosts());
    EXPECT_EQ(ReadFileBytes(dir / "v.dat.damaged"), "kept");
    CRecordingSink sink2;
    CVantrelDoc reloaded(sink2, nullptr);
    ASSERT_TRUE(reloaded.OnNewDocument(dir / "v.dat", CAppSettings()));
    EXPECT_EQ(reloaded.m_arrHosts.size(), 1u);
    EXPECT_TRUE(sink2.m_vecMessages.empty());
}

namespace {

// Runs the store over a file that exists but cannot be read. Returns a description of the
// first failed expectation, or an empty string. Runs in a child process without root's
// right to read any file.
std::string RunUnreadable(const std::string& strPath) {
    CRecordingSink sink;
    CVantrelDoc doc(sink, nullptr);
    if (!doc.OnNewDocument(strPath, CAppSettings()))
        return "start-up failed";
    if (!doc.m_arrHosts.empty())
        return "hosts loaded";
    if (sink.m_vecMessages.size() != 1 ||
        sink.m_vecMessages[0] != "Cannot read " + strPath +
                                     ": permission denied.\nVantrel starts with an empty host "
                                     "list and will not save over that file.")
        return "message: " + (sink.m_vecMessages.empty() ? "none" : sink.m_vecMessages[0]);
    doc.AddHost(MakeHost("new"));
    if (doc.SaveHosts())
        return "saved over the file";
    if (doc.m_strLastSaveError != "The hosts data file " + strPath +
                                      " could not be read when Vantrel started, so it is not "
                                      "written over.")
        return "save error: " + doc.m_strLastSaveError;
    CAppSettings settings;
    doc.OnCloseDocument(settings);
    if (sink.m_vecMessages.size() != 1)
        return "close repeated the message";
    return "";
}

} // namespace

TEST(HostStoreUnreadable, FileIsNeverWrittenOver) {
    CTempDir dir;
    const std::string strPath = dir / "v.dat";
    WriteDataFile(strPath, {MakeHost("precious")});
    const std::string strBefore = ReadFileBytes(strPath);
    // Writable by all, readable by none: only our refusal keeps it from being replaced.
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(strPath.c_str(), 0222), 0);

    std::string strFailure;
    if (::geteuid() != 0) {
        strFailure = RunUnreadable(strPath);
    } else {
        // Root reads every file: run the store as an ordinary user instead.
        int arrPipe[2];
        ASSERT_EQ(::pipe(arrPipe), 0);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(arrPipe[0]);
            std::string strResult = ::setgid(65534) == 0 && ::setuid(65534) == 0
                                        ? RunUnreadable(strPath)
                                        : "cannot become nobody";
            ssize_t nIgnored = ::write(arrPipe[1], strResult.data(), strResult.size());
            (void)nIgnored;
            ::_exit(0);
        }
        ::close(arrPipe[1]);
        char szBuf[1024];
        ssize_t nRead;
        while ((nRead = ::read(arrPipe[0], szBuf, sizeof(szBuf))) > 0)
            strFailure.append(szBuf, static_cast<size_t>(nRead));
        ::close(arrPipe[0]);
        int nStatus = 0;
        ::waitpid(pid, &nStatus, 0);
        ASSERT_TRUE(WIFEXITED(nStatus));
    }
    EXPECT_EQ(strFailure, "");
    ::chmod(strPath.c_str(), 0600);
    EXPECT_EQ(ReadFileBytes(strPath), strBefore);
}

TEST(HostStoreSave, EachRecordIsWrittenUnderItsLock) {
    CTempDir dir;
    CRecordingSink sink;
    CVantrelDoc doc(sink, nullptr);
    ASSERT_TRUE(doc.OnNewDocument(dir / "v.dat", CAppSettings()));
    doc.AddHost(MakeHost("a"));
    doc.AddHost(MakeHost("b"));
    doc.m_arrHosts[1]->m_pMutex->lock();
    auto save = std::async(std::launch::async, [&doc] { return doc.SaveHosts(); });
    EXPECT_EQ(save.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    // Changed under the lock: the save, still waiting, must write the new value.
    doc.m_arrHosts[1]->m_nTests = 99;
    doc.m_arrHosts[1]->m_pMutex->unlock();
    ASSERT_TRUE(save.get());

    CVantrelDoc reloaded(sink, nullptr);
    ASSERT_EQ(reloaded.LoadHosts(dir / "v.dat").m_eResult, CHostsFile::LOAD_OK);
    ASSERT_EQ(reloaded.m_arrHosts.size(), 2u);
    EXPECT_EQ(reloaded.m_arrHosts[1]->m_nTests, 99);
}
