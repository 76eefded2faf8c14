// The hosts data file, alone and through the host store.
#include "core/atomic_file.h"
#include "core/host_check.h"
#include "core/hosts_file.h"
#include "core/message_sink.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <new>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// The replacement below pairs malloc with free; GCC cannot see that across inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Largest single allocation while tracking: counts read from a file must never size one alone.
static std::atomic<bool> g_bTrackAllocations{false};
static std::atomic<size_t> g_nLargestAllocation{0};

void* operator new(size_t nSize) {
    if (g_bTrackAllocations && nSize > g_nLargestAllocation)
        g_nLargestAllocation = nSize;
    if (void* p = std::malloc(nSize ? nSize : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

// Reads of the file g_nReadsOf come in pieces of 3 bytes or fail after its first block (EIO).
enum class EReads { WHOLE, SHORT, EIO_AFTER_FIRST_BLOCK };
static std::atomic<ino_t> g_nReadsOf{0};
static std::atomic<EReads> g_eReads{EReads::WHOLE};
static std::mutex g_mtxSynced;
static std::vector<ino_t> g_arrSynced;

extern "C" ssize_t read(int nFd, void* pBuffer, size_t nBytes) {
    struct stat st;
    if (g_eReads != EReads::WHOLE && ::fstat(nFd, &st) == 0 && st.st_ino == g_nReadsOf) {
        if (g_eReads == EReads::SHORT)
            nBytes = std::min<size_t>(nBytes, 3);
        else if (::lseek(nFd, 0, SEEK_CUR) > 0)
            return errno = EIO, -1;
    }
    return ::syscall(SYS_read, nFd, pBuffer, nBytes);
}
extern "C" int fsync(int nFd) {
    struct stat st;
    if (::fstat(nFd, &st) == 0)
        std::scoped_lock{g_mtxSynced}, g_arrSynced.push_back(st.st_ino);
    return static_cast<int>(::syscall(SYS_fsync, nFd));
}

namespace {

using CTexts = std::vector<std::string>;

struct CLoaded {
    explicit CLoaded(const std::string& strPath = "") {
        report = CHostsFile::Load(strPath, arrHosts, nRunSeconds, nInterval);
    }
    ~CLoaded() {
        for (CHost* p : arrHosts)
            delete p;
    }
    std::vector<CHost*> arrHosts;
    int32_t nRunSeconds = 0, nInterval = 5;
    CHostsFile::CLoadReport report;
};

// The reason a save failed, or "" when it worked.
std::string Save(const std::string& strPath, const std::vector<CHost*>& arrHosts, int32_t nRun = 0,
                 int32_t nInterval = 5) {
    std::string strError;
    return CHostsFile::Save(strPath, arrHosts, nRun, nInterval, true, strError) ? "" : strError;
}

// Every stored field set to a distinct value.
CHost* MakeHost(const std::string& strName = "Alpha \xE9", int32_t bTesting = 0) {
    auto* pHost = new CHost;
    pHost->m_strName = strName;
    pHost->m_strWebSite = "http://www.example.com";
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        pHost->Answer(i) = i * 3 - 1;
    for (int i = 0; i < FEATURE_COUNT; ++i)
        pHost->m_arrFeatures[i] = i % 3 == 0 ? 7 : 0;
    pHost->m_nSecondsTested = 90061, pHost->m_nTests = 4, pHost->m_nTestsUp = 3;
    *pHost->m_pPingHistory = {10, 20, 0xFFFFFFFFu};
    pHost->m_nPingTotal = 29, pHost->m_bResolved = 1, pHost->m_bTesting = bTesting;
    return pHost;
}

// The record bytes, written by hand from the field order.
std::string Text(const std::string& str) {
    const uint32_t n = uint32_t(str.size());
    return (n < 255 ? std::string(1, char(n))
                    : "\xFF" + (n < 0xFFFE ? U16(uint16_t(n)) : U16(0xFFFF) + U32(n))) +
           str;
}

std::string Record(const CHost& host) {
    std::string str = Text(host.m_strName) + Text(host.m_strWebSite) + Text(host.m_strTestURL);
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        str += U32(host.Answer(i));
    for (int32_t nFeature : host.m_arrFeatures)
        str += U32(nFeature);
    str += U32(host.m_nSecondsTested) + U32(host.m_nTests) + U32(host.m_nTestsUp) +
           U32(uint32_t(host.m_pPingHistory->size()));
    for (uint32_t nPing : *host.m_pPingHistory)
        str += U32(nPing);
    return str + U32(host.m_bResolved) + U32(host.m_nPingTotal) + U32(host.m_bTesting);
}

// Runs fn with file access checked as nobody: root reads and writes every file.
template <class F> auto AsNobody(F fn) {
    const int nOldFsUid = ::setfsuid(65534); // for others than root, nothing changes
    auto result = fn();
    ::setfsuid(uid_t(nOldFsUid));
    return result;
}

} // namespace

// Every field at an extreme: loaded and saved unchanged, and the figures shown stay defined.
static CHost* MakeExtremeHost() {
    auto* pHost = new CHost;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        pHost->Answer(i) = i % 2 ? INT_MAX : INT_MIN;
    pHost->m_arrFeatures[0] = 7;
    pHost->m_nSecondsTested = INT_MIN, pHost->m_nTests = -3, pHost->m_nTestsUp = INT_MAX;
    *pHost->m_pPingHistory = {0xFFFFFFFFu};
    pHost->m_nPingTotal = INT_MIN, pHost->m_bResolved = -1, pHost->m_bTesting = 9;
    pHost->m_strName = "tab\there\x7F";
    return pHost;
}

static ino_t Inode(const std::string& strPath) {
    struct stat st {};
    ::stat(strPath.c_str(), &st);
    return st.st_ino;
}

// Each length form of a name, exactly; a new file owner-only, synced and then its folder; loaded
// from 3-byte reads up to its last byte and saved unchanged. A read error keeps no host at all.
TEST(HostsFileBytes, ExactSyncedLoadedFromShortReadsAndDamageAllocatesNothing) {
    CTempDir dir;
    const std::string strPath = dir / "a.dat";
    const std::pair<std::string, std::string> arrCases[] = {
        {"Alpha \xE9", "\x07"},
        {std::string(254, 'n'), "\xFE"},
        {std::string(255, 'n'), "\xFF" + U16(255)},
        {std::string(300, 'n'), "\xFF\x2C\x01"},
        {std::string(0xFFFD, 'n'), "\xFF" + U16(0xFFFD)},
        {std::string(0xFFFE, 'n'), "\xFF" + U16(0xFFFF) + U32(0xFFFE)}, // past the first block
    };
    for (const auto& [strName, strPrefix] : arrCases) {
        SCOPED_TRACE(strName.size());
        std::filesystem::remove(strPath);
        CLoaded hosts;
        hosts.arrHosts = {MakeExtremeHost(), MakeHost(strName)};
        g_arrSynced.clear();
        ASSERT_EQ(Save(strPath, hosts.arrHosts, INT_MIN, 160000000), "");
        EXPECT_EQ(g_arrSynced, (std::vector<ino_t>{Inode(strPath), Inode(dir.Path())}));
        EXPECT_EQ(std::filesystem::status(strPath).permissions(), std::filesystem::perms(0600));
        const std::string strBytes = ReadFileBytes(strPath), strFirst = Record(*hosts.arrHosts[0]);
        EXPECT_EQ(strBytes.substr(4 + strFirst.size(), strPrefix.size()), strPrefix);
        EXPECT_EQ(strBytes,
                  U32(2) + strFirst + Record(*hosts.arrHosts[1]) + U32(INT_MIN) + U32(160000000));
        g_nReadsOf = Inode(strPath), g_eReads = EReads::SHORT;
        CLoaded loaded(strPath);
        g_eReads = EReads::WHOLE;
        ASSERT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK);
        EXPECT_EQ(loaded.report.m_nEnd, strBytes.size());
        ASSERT_EQ(loaded.arrHosts.size(), 2u);
        // The history's length is published for readers that may not wait for the lock.
        EXPECT_EQ(loaded.arrHosts[1]->m_nPublishedPings.load(), 3u);
        const CHost& extreme = *loaded.arrHosts[0];
        EXPECT_EQ(extreme.GetUptimeText() + "|" + extreme.GetAvgPingText(), "100.0%|0.0 ms");
        EXPECT_EQ(CHostCheck::ClampInterval(loaded.nInterval), 60);
        ASSERT_EQ(Save(dir / "b.dat", loaded.arrHosts, loaded.nRunSeconds, loaded.nInterval), "");
        EXPECT_EQ(ReadFileBytes(dir / "b.dat"), strBytes);
    }
    g_nReadsOf = Inode(strPath), g_eReads = EReads::EIO_AFTER_FIRST_BLOCK;
    const CLoaded failed(strPath);
    g_eReads = EReads::WHOLE;
    EXPECT_EQ(failed.report.m_eResult, CHostsFile::LOAD_UNREADABLE);
    EXPECT_EQ(failed.report.m_strReason,
              "Cannot read " + strPath + ": the disk reported an input/output error");
    EXPECT_EQ(failed.arrHosts.size() + failed.report.m_nHostsRead + failed.report.m_nEnd, 0u);
    EXPECT_EQ(failed.nInterval, 5);
    // Absurd counts and lengths are damage, and never size an allocation.
    const std::string strHostStart = std::string(3, '\0') + std::string(4 * (22 + 37 + 3), '\0');
    const std::string arrFiles[] = {
        U32(0xFFFFFFFF) + U32(0) + U32(5),                     // host count
        U32(1) + "\xFF" + U16(0xFFFF) + U32(0xFFFFFFF0),       // text length
        U32(1) + "\xFF" + U16(0xFFFD) + std::string(100, 'x'), // text length, short file
        U32(1) + "\xFF" + U16(0xFFFE) + "ab",                  // wide-character prefix
        U32(1) + strHostStart + U32(0x3FFFFFFF) + U32(1),      // history length
    };
    for (const std::string& strFile : arrFiles) {
        WriteFileBytes(dir / "x.dat", strFile);
        g_nLargestAllocation = 0, g_bTrackAllocations = true;
        CLoaded loaded(dir / "x.dat");
        g_bTrackAllocations = false;
        EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_DAMAGED) << loaded.report.m_strReason;
        EXPECT_TRUE(loaded.arrHosts.empty());
        EXPECT_LT(g_nLargestAllocation.load(), size_t(1) << 20) << loaded.report.m_strReason;
    }
}

// A save failing on a full disk leaves the previous file and nothing of its own; the next good
// save removes the temporary files of killed saves, only ours and only old ones.
TEST(HostsFileCrashSafety, FailedSaveKeepsAllAndAGoodOneRemovesStaleTemporaryFiles) {
    CTempDir dir;
    if (::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "a full disk needs a small tmpfs, which only root may mount";
    std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount(dir.Path().c_str()); });
    CLoaded big; // about 400 KB; the first quarter makes the previous file
    for (int i = 0; i < 95; ++i) {
        big.arrHosts.push_back(MakeHost());
        big.arrHosts.back()->m_pPingHistory->assign(1000, 42);
    }
    const std::string strPath = dir / "v.dat";
    const std::vector<CHost*> arrSmall(big.arrHosts.begin(), big.arrHosts.begin() + 24);
    ASSERT_EQ(Save(strPath, arrSmall), "");
    const std::string strBefore = ReadFileBytes(strPath);
    const int nOld = CAtomicFile::STALE_TEMP_SECONDS + 5, nFresh = 60;
    const std::tuple<std::string, int, bool> arrFiles[] = {
        // name, age in seconds, removed
        {".v.dat.123456.tmp", nOld, true}, {".v.dat.7.tmp", nOld, true},
        {".v.dat.42.tmp", nFresh, false},  {".v.dat.abc.tmp", nOld, false},
        {".v.dat..tmp", nOld, false},      {".w.dat.5.tmp", nOld, false},
        {"v.dat.5.tmp", nOld, false},      {".v.dat.5.tmp.keep", nOld, false},
    };
    for (const auto& [strName, nAge, bRemoved] : arrFiles) {
        WriteFileBytes(dir / strName, "x");
        const timespec arrTimes[2] = {{::time(nullptr) - nAge, 0}, {::time(nullptr) - nAge, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / strName).c_str(), arrTimes, 0), 0);
    }
    EXPECT_EQ(Save(strPath, big.arrHosts), "Cannot save " + strPath + ": the disk is full");
    EXPECT_EQ(ReadFileBytes(strPath), strBefore);
    EXPECT_EQ(dir.Names().size(), std::size(arrFiles) + 1);
    ASSERT_EQ(Save(strPath, arrSmall), "");
    for (const auto& [strName, nAge, bRemoved] : arrFiles)
        EXPECT_EQ(std::filesystem::exists(dir / strName), !bRemoved) << strName;
}

// The host store over a fresh folder; it tells this fixture what it would show the user.
class HostStore : public ::testing::Test, public CMessageSink {
protected:
    void ShowMessage(const std::string& strText) override { m_vecMessages.push_back(strText); }
    CTexts m_vecMessages;
    CTempDir m_dir;
    CVantrelDoc m_doc{*this, nullptr};
};

// Each damaged start keeps the complete hosts, says so once and keeps its own copy, numbered
// from the second on and made by its first save; an earlier copy is never replaced.
TEST_F(HostStore, EveryCutKeepsTheCompleteHostsTellsOnceAndKeepsACopy) {
    CLoaded hosts;
    hosts.arrHosts = {MakeHost("first"), MakeHost("second", 1)};
    ASSERT_EQ(Save(m_dir / "full.dat", hosts.arrHosts, 77, 8), "");
    const std::string strFull = ReadFileBytes(m_dir / "full.dat");
    const size_t nEndA = 4 + Record(*hosts.arrHosts[0]).size(), nEndB = strFull.size() - 8;
    size_t nSaved = 0; // starts that saved, each making the next numbered copy
    auto Copy = [this](size_t nStart) {
        return m_dir / "v.dat.damaged" + (nStart > 1 ? "." + std::to_string(nStart - 1) : "");
    };
    for (size_t nCut = 1; nCut < strFull.size(); ++nCut) {
        SCOPED_TRACE(nCut);
        WriteFileBytes(m_dir / "v.dat", strFull.substr(0, nCut));
        m_vecMessages.clear();
        CVantrelDoc doc(*this, nullptr);
        ASSERT_TRUE(doc.OnNewDocument(m_dir / "v.dat", CAppSettings()));
        EXPECT_EQ(m_vecMessages, CTexts{"Cannot load hosts data, will re-create the list"});
        const size_t nComplete = nCut < nEndA ? 0 : nCut < nEndB ? 1 : 2;
        std::string strSaved = U32(uint32_t(nComplete));
        for (size_t i = 0; i < nComplete; ++i)
            strSaved += Record(*hosts.arrHosts[i]);
        strSaved += U32(nCut >= nEndB + 4 ? 77 : 0) + U32(5);
        EXPECT_EQ(doc.GetLoadResult(), CHostsFile::LOAD_DAMAGED);
        if (nCut % 50 != 1 && nCut != nEndA && nCut != nEndB) // not every start saves: slow disks
            continue;
        const std::string strCopy = Copy(++nSaved);
        EXPECT_FALSE(std::filesystem::exists(strCopy));
        ASSERT_TRUE(doc.SaveHosts()) << doc.m_strLastSaveError;
        EXPECT_EQ(ReadFileBytes(strCopy), strFull.substr(0, nCut));
        EXPECT_EQ(ReadFileBytes(m_dir / "v.dat"), strSaved);
        WriteFileBytes(strCopy, "kept");
        ASSERT_TRUE(doc.SaveHosts());
        EXPECT_FALSE(std::filesystem::exists(Copy(nSaved + 1)));
    }
    for (size_t i = 1; i <= nSaved; ++i) // none replaced by a later save or start
        EXPECT_EQ(ReadFileBytes(Copy(i)), "kept") << i;
}

// A missing folder ends the start. A file that cannot be read (no permission, or a FIFO: no wait
// for a writer) starts an empty list and is never written over.
TEST_F(HostStore, MissingFolderEndsStartUpAndAnUnreadableFileIsNeverWrittenOver) {
    EXPECT_FALSE(m_doc.OnNewDocument(m_dir / "no-such-folder/Vantrel.dat", CAppSettings()));
    EXPECT_EQ(m_vecMessages, CTexts{"Cannot create data file"});
    const std::string strFile = m_dir / "v.dat", strFifo = m_dir / "fifo.dat";
    WriteFileBytes(strFile, "precious");
    // Writable by all, readable by none: only the store's refusal keeps it from being replaced.
    std::filesystem::permissions(m_dir.Path(), std::filesystem::perms::all);
    std::filesystem::permissions(strFile, std::filesystem::perms(0222));
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> arrCases[] = {{strFile, "permission denied"},
                                                            {strFifo, "it is not a regular file"}};
    for (const auto& [strPath, strReason] : arrCases) {
        SCOPED_TRACE(strPath);
        m_vecMessages.clear();
        const auto fnStart = [&] {
            CVantrelDoc doc(*this, nullptr);
            const bool bStarted = doc.OnNewDocument(strPath, CAppSettings());
            doc.AddHost(MakeHost());
            const bool bSaved = doc.SaveHosts();
            CAppSettings settings;
            doc.OnCloseDocument(settings); // must not repeat the message
            return bStarted && doc.m_arrHosts.size() == 1 && !bSaved
                       ? doc.m_strLastSaveError
                       : std::string("started or saved");
        };
        auto start = std::async(std::launch::async,
                                [&] { return strPath == strFile ? AsNobody(fnStart) : fnStart(); });
        if (start.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Let the blocked open go on, so that the test ends and fails.
            ::close(::open(strFifo.c_str(), O_WRONLY | O_NONBLOCK));
            FAIL() << " blocked";
        }
        EXPECT_EQ(start.get(), "The hosts data file " + strPath +
                                   " could not be read when Vantrel started, so it is not "
                                   "written over.");
        EXPECT_EQ(m_vecMessages, CTexts{"Cannot read " + strPath + ": " + strReason +
                                        ".\nVantrel starts with an empty host list and will not "
                                        "save over that file."});
        EXPECT_FALSE(std::filesystem::exists(strPath + ".history")) << "nothing made beside it";
    }
    EXPECT_EQ(ReadFileBytes(strFile), "precious");
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(strFifo)));
}

// A damaged history is set aside and a missing one only costs the history, each said once.
TEST_F(HostStore, HistoryTroublesAreToldOnce) {
    const std::string strData = m_dir / "v.dat", strHistory = strData + ".history";
    WriteFileBytes(strHistory, "not a database");
    ASSERT_TRUE(m_doc.OnNewDocument(strData, CAppSettings()));
    EXPECT_EQ(m_doc.GetHistoryPath(), strHistory);
    m_doc.AddHost(MakeHost("A"));
    EXPECT_GT(m_doc.m_arrHosts[0]->m_nHistoryId, 0);
    CAppSettings settings;
    m_doc.OnCloseDocument(settings);
    EXPECT_EQ(ReadFileBytes(strHistory + ".damaged"), "not a database");
    std::filesystem::remove(strHistory);
    ASSERT_EQ(::mkfifo(strHistory.c_str(), 0600), 0);
    CVantrelDoc without(*this, nullptr);
    ASSERT_TRUE(without.OnNewDocument(strData, CAppSettings()));
    EXPECT_EQ(without.m_arrHosts.at(0)->m_nHistoryId, 0);
    without.OnCloseDocument(settings);
    EXPECT_EQ(m_vecMessages,
              (CTexts{"The test history " + strHistory + " was damaged. It has been kept as " +
                          strHistory + ".damaged and a new history has been started.",
                      "Cannot open the test history " + strHistory +
                          ": it is a FIFO, not a regular file, and is left as it is.\nThe tests "
                          "go on without a history."}));
}
