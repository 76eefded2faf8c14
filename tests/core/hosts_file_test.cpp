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
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <iostream>
#include <mutex>
#include <new>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
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

// Reads of the file with inode g_nReadsOf come in pieces of at most 3 bytes, as some file systems
// give them, or fail with EIO after its first block; every fsync records the inode it synced.
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

// Two hosts (the second with empty texts and history) for each string-length form of the first
// one's name: the one-byte form ends at 254, the 16-bit form at 0xFFFD.
TEST(HostsFileBytes, TwoHostsExactlyAndLoadSaveRoundTrip) {
    CTempDir dir;
    const std::pair<std::string, std::string> arrCases[] = {
        {"Alpha \xE9", "\x07"},
        {std::string(254, 'n'), "\xFE"},
        {std::string(255, 'n'), "\xFF" + U16(255)},
        {std::string(300, 'n'), "\xFF\x2C\x01"},
        {std::string(0xFFFD, 'n'), "\xFF" + U16(0xFFFD)},
        {std::string(0xFFFE, 'n'), "\xFF" + U16(0xFFFF) + U32(0xFFFE)},
    };
    for (const auto& [strName, strPrefix] : arrCases) {
        SCOPED_TRACE(strName.size());
        CLoaded hosts;
        hosts.arrHosts = {MakeHost(strName), new CHost};
        hosts.arrHosts[1]->m_bTesting = 1;
        ASSERT_EQ(Save(dir / "a.dat", hosts.arrHosts, -5, 60), "");
        const std::string strBytes = ReadFileBytes(dir / "a.dat");
        EXPECT_EQ(strBytes.substr(4, strPrefix.size()), strPrefix);
        EXPECT_EQ(strBytes, U32(2) + Record(*hosts.arrHosts[0]) + Record(*hosts.arrHosts[1]) +
                                U32(-5) + U32(60));
        CLoaded loaded(dir / "a.dat");
        ASSERT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK);
        ASSERT_EQ(loaded.arrHosts.size(), 2u);
        // The history's length is published for readers that may not wait for the lock.
        EXPECT_EQ(std::pair(loaded.arrHosts[0]->m_nPublishedPings.load(),
                            loaded.arrHosts[1]->m_nPublishedPings.load()),
                  std::pair(3u, 0u));
        ASSERT_EQ(Save(dir / "b.dat", loaded.arrHosts, loaded.nRunSeconds, loaded.nInterval), "");
        EXPECT_EQ(ReadFileBytes(dir / "b.dat"), strBytes);
    }
}

TEST(HostsFileDamage, AbsurdCountsAndLengthsDoNotAllocate) {
    const std::string strHostStart = std::string(3, '\0') + std::string(4 * (22 + 37 + 3), '\0');
    const std::string arrFiles[] = {
        U32(0xFFFFFFFF) + U32(0) + U32(5),                     // host count
        U32(1) + "\xFF" + U16(0xFFFF) + U32(0xFFFFFFF0),       // text length
        U32(1) + "\xFF" + U16(0xFFFD) + std::string(100, 'x'), // text length, short file
        U32(1) + "\xFF" + U16(0xFFFE) + "ab",                  // wide-character prefix
        U32(1) + strHostStart + U32(0x3FFFFFFF) + U32(1),      // history length
    };
    CTempDir dir;
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

// Such a file loads as it is and is saved byte for byte: values are never changed behind the
// user's back.
TEST(HostsFileBytes, ExtremeValuesLoadAndSaveUnchanged) {
    CTempDir dir;
    CHost host;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = i % 2 ? INT_MAX : INT_MIN;
    host.m_arrFeatures[0] = 7;
    host.m_nSecondsTested = INT_MIN, host.m_nTests = -3, host.m_nTestsUp = INT_MAX;
    *host.m_pPingHistory = {0xFFFFFFFFu};
    host.m_nPingTotal = INT_MIN, host.m_bResolved = -1, host.m_bTesting = 9;
    host.m_strName = std::string("tab\there\x7F");
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(dir / "a.dat", {&host}, INT_MIN, 160000000, false, strError));
    const std::string strBytes = ReadFileBytes(dir / "a.dat");
    CLoaded loaded(dir / "a.dat");
    auto& [arrHosts, nRun, nInterval, report] = loaded;
    EXPECT_EQ(report.m_eResult, CHostsFile::LOAD_OK);
    ASSERT_EQ(arrHosts.size(), 1u);
    EXPECT_EQ(arrHosts[0]->GetUptimeText() + "|" + arrHosts[0]->GetAvgPingText(), "100.0%|0.0 ms");
    ASSERT_TRUE(CHostsFile::Save(dir / "b.dat", arrHosts, nRun, nInterval, false, strError));
    EXPECT_EQ(ReadFileBytes(dir / "b.dat"), strBytes);
    EXPECT_EQ(CHostCheck::ClampInterval(nInterval), 60);
}

// A save goes through a symbolic link and keeps the file's mode; one that fails on a file size
// limit or a full disk leaves the previous file exactly as it was and nothing beside it.
TEST(HostsFileCrashSafety, FailedSaveLeavesThePreviousFileIntact) {
    CTempDir dir, small;
    // A full disk needs a small tmpfs, which only root may mount.
    const bool bTmpfs = ::mount("tmpfs", small.Path().c_str(), "tmpfs", 0, "size=256k") == 0;
    std::shared_ptr<void> unmount(nullptr, [&](void*) { bTmpfs&& ::umount(small.Path().c_str()); });
    if (!bTmpfs)
        std::cout << "Full disk not tested: mounting a tmpfs needs root (CAP_SYS_ADMIN).\n";
    const std::tuple<std::string, rlim_t, std::string> arrCases[] = {
        {dir.Path(), 128 * 1024,
         "the file would exceed the largest file size this program may write"},
        {bTmpfs ? small.Path() : "", RLIM_INFINITY, "the disk is full"},
    };
    CLoaded big; // about 400 KB; the first quarter makes the previous file
    for (int i = 0; i < 95; ++i) {
        big.arrHosts.push_back(MakeHost());
        big.arrHosts.back()->m_pPingHistory->assign(1000, 42);
    }
    for (const auto& [strFolder, nLimit, strReason] : arrCases) {
        if (strFolder.empty())
            continue;
        const std::string strPath = strFolder + "/t.dat", strLink = strFolder + "/v.dat";
        WriteFileBytes(strPath, "");
        std::filesystem::permissions(strPath, std::filesystem::perms(0640));
        std::filesystem::create_symlink("t.dat", strLink);
        ASSERT_EQ(Save(strLink, {big.arrHosts.begin(), big.arrHosts.begin() + 24}), "");
        EXPECT_TRUE(std::filesystem::is_symlink(strLink));
        EXPECT_EQ(std::filesystem::status(strPath).permissions(), std::filesystem::perms(0640));
        const std::string strBefore = ReadFileBytes(strPath);

        struct rlimit oldLimit;
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        const struct rlimit limit = {std::min(nLimit, oldLimit.rlim_max), oldLimit.rlim_max};
        // Ignored, SIGXFSZ turns into a failing write (EFBIG) instead of ending the process.
        auto pfnOld = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const std::string strError = Save(strLink, big.arrHosts);
        ::setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, pfnOld);
        EXPECT_EQ(strError, "Cannot save " + strPath + ": " + strReason);
        EXPECT_EQ(ReadFileBytes(strPath), strBefore);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(strFolder), {}), 2);
    }
}

// The saved file and then its folder are synced, so the rename outlives a crash. Short reads
// load everything, down to the last field that ends at the end of the file; an I/O error after
// the first block keeps no host at all.
TEST(HostsFileCrashSafety, RenameIsSyncedShortReadsLoadAndAReadErrorKeepsNothing) {
    CTempDir dir;
    const std::string strPath = dir / "h.dat";
    const auto Inode = [](const std::string& str) {
        struct stat st {};
        ::stat(str.c_str(), &st);
        return st.st_ino;
    };
    CLoaded saved;
    saved.arrHosts = {MakeHost(), MakeHost("Beta", 1)};
    saved.arrHosts[1]->m_pPingHistory->assign(20000, 7); // past the first 64 KiB block
    g_arrSynced.clear();
    ASSERT_EQ(Save(strPath, saved.arrHosts, 3600, 9), "");
    EXPECT_EQ(g_arrSynced, (std::vector<ino_t>{Inode(strPath), Inode(dir.Path())}));

    const uint64_t nSize = std::filesystem::file_size(strPath);
    const std::tuple<EReads, CHostsFile::ELoadResult, size_t, std::string> cases[] = {
        {EReads::SHORT, CHostsFile::LOAD_OK, 2, ""},
        {EReads::EIO_AFTER_FIRST_BLOCK, CHostsFile::LOAD_UNREADABLE, 0,
         "Cannot read " + strPath + ": the disk reported an input/output error"}};
    for (const auto& [eReads, eResult, nHosts, strReason] : cases) {
        g_nReadsOf = Inode(strPath), g_eReads = eReads;
        const CLoaded loaded(strPath);
        g_eReads = EReads::WHOLE;
        EXPECT_EQ(std::tuple(loaded.report.m_eResult, loaded.report.m_nHostsRead,
                             loaded.arrHosts.size(), loaded.report.m_strReason),
                  std::tuple(eResult, nHosts, nHosts, strReason));
        EXPECT_EQ(loaded.nInterval, eResult == CHostsFile::LOAD_OK ? 9 : 5);
        EXPECT_EQ(loaded.report.m_nEnd, eResult == CHostsFile::LOAD_OK ? nSize : 0);
    }
}

// The host store over a fresh folder; it tells this fixture what it would show the user.
class HostStore : public ::testing::Test, public CMessageSink {
protected:
    void ShowMessage(const std::string& strText) override { m_vecMessages.push_back(strText); }
    CTexts m_vecMessages;
    CTempDir m_dir;
    CVantrelDoc m_doc{*this, nullptr};
};

// Each damaged start keeps its own copy, numbered from the second on and made by its first save;
// an earlier one is never replaced, and the save writes the complete hosts.
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
        WriteFileBytes(m_dir / "v.dat", strFull.substr(0, nCut));
        m_vecMessages.clear();
        CVantrelDoc doc(*this, nullptr);
        ASSERT_TRUE(doc.OnNewDocument(m_dir / "v.dat", CAppSettings()));
        EXPECT_EQ(m_vecMessages, CTexts{"Cannot load hosts data, will re-create the list"}) << nCut;
        const size_t nComplete = nCut < nEndA ? 0 : nCut < nEndB ? 1 : 2;
        ASSERT_EQ(doc.m_arrHosts.size(), nComplete) << nCut;
        for (size_t i = 0; i < nComplete; ++i)
            EXPECT_EQ(Record(*doc.m_arrHosts[i]), Record(*hosts.arrHosts[i])) << nCut;
        EXPECT_EQ(doc.m_nRunSeconds, nCut >= nEndB + 4 ? 77 : 0) << nCut;
        EXPECT_EQ(doc.m_nIntervalMinutes, 5) << nCut;
        EXPECT_EQ(doc.GetLoadResult(), CHostsFile::LOAD_DAMAGED) << nCut;
        if (nCut % 50 != 1 && nCut != nEndA && nCut != nEndB) // not every start saves: slow disks
            continue;
        const std::string strCopy = Copy(++nSaved);
        EXPECT_FALSE(std::filesystem::exists(strCopy));
        ASSERT_TRUE(doc.SaveHosts()) << doc.m_strLastSaveError;
        EXPECT_EQ(ReadFileBytes(strCopy), strFull.substr(0, nCut));
        // Later saves leave the copy alone.
        WriteFileBytes(strCopy, "kept");
        ASSERT_TRUE(doc.SaveHosts());
        EXPECT_EQ(ReadFileBytes(strCopy), "kept");
        EXPECT_FALSE(std::filesystem::exists(Copy(nSaved + 1)));
        std::string strSaved = U32(uint32_t(nComplete));
        for (size_t i = 0; i < nComplete; ++i)
            strSaved += Record(*hosts.arrHosts[i]);
        EXPECT_EQ(ReadFileBytes(m_dir / "v.dat"), strSaved + U32(doc.m_nRunSeconds) + U32(5));
    }
    for (size_t i = 1; i <= nSaved; ++i) // none replaced by a later start
        EXPECT_EQ(ReadFileBytes(Copy(i)), "kept") << i;
}

TEST_F(HostStore, MissingFolderEndsStartUpAndAnUnreadableFileIsNeverWrittenOver) {
    EXPECT_FALSE(m_doc.OnNewDocument(m_dir / "no-such-folder/Vantrel.dat", CAppSettings()));
    EXPECT_EQ(m_vecMessages, CTexts{"Cannot create data file"});
    m_vecMessages.clear();
    const std::string strPath = m_dir / "v.dat";
    WriteFileBytes(strPath, "precious");
    // Writable by all, readable by none: only the store's refusal keeps it from being replaced.
    std::filesystem::permissions(m_dir.Path(), std::filesystem::perms::all);
    std::filesystem::permissions(strPath, std::filesystem::perms(0222));
    EXPECT_TRUE(AsNobody([&] {
        const bool bStarted = m_doc.OnNewDocument(strPath, CAppSettings());
        m_doc.AddHost(MakeHost());
        const bool bSaved = m_doc.SaveHosts();
        CAppSettings settings;
        m_doc.OnCloseDocument(settings); // must not repeat the message
        return bStarted && !bSaved;
    }));
    EXPECT_EQ(m_doc.m_strLastSaveError, "The hosts data file " + strPath +
                                            " could not be read when Vantrel started, so it is "
                                            "not written over.");
    EXPECT_EQ(m_vecMessages, CTexts{"Cannot read " + strPath +
                                    ": permission denied.\nVantrel starts with an empty host "
                                    "list and will not save over that file."});
    EXPECT_EQ(ReadFileBytes(strPath), "precious");
}

TEST_F(HostStore, EachRecordIsWrittenUnderItsLock) {
    ASSERT_TRUE(m_doc.OnNewDocument(m_dir / "v.dat", CAppSettings()));
    m_doc.AddHost(MakeHost());
    m_doc.AddHost(MakeHost());
    m_doc.m_arrHosts[1]->m_pMutex->lock();
    auto save = std::async(std::launch::async, [this] { return m_doc.SaveHosts(); });
    EXPECT_EQ(save.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    // Changed under the lock: the save, still waiting, must write the new value.
    m_doc.m_arrHosts[1]->m_nTests = 99;
    m_doc.m_arrHosts[1]->m_pMutex->unlock();
    ASSERT_TRUE(save.get());
    EXPECT_EQ(CLoaded(m_dir / "v.dat").arrHosts.at(1)->m_nTests, 99);
}

// Temporary files of saves killed part-way: only ours, only old ones, only by a good save.
TEST_F(HostStore, StaleTemporaryFilesGoWithTheNextSuccessfulSave) {
    ASSERT_TRUE(m_doc.OnNewDocument(m_dir / "v.dat", CAppSettings()));
    const int nOld = CAtomicFile::STALE_TEMP_SECONDS + 5, nFresh = 60;
    // {name, age in seconds, removed}
    const std::tuple<std::string, int, bool> arrFiles[] = {
        {".v.dat.123456.tmp", nOld, true}, {".v.dat.7.tmp", nOld, true},
        {".v.dat.42.tmp", nFresh, false},  {".v.dat.abc.tmp", nOld, false},
        {".v.dat..tmp", nOld, false},      {".w.dat.5.tmp", nOld, false},
        {"v.dat.5.tmp", nOld, false},      {".v.dat.5.tmp.keep", nOld, false},
    };
    auto Plant = [&] {
        for (const auto& [strName, nAge, bRemoved] : arrFiles) {
            WriteFileBytes(m_dir / strName, std::string(1000, 'x'));
            const timespec arrTimes[2] = {{::time(nullptr) - nAge, 0}, {::time(nullptr) - nAge, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, (m_dir / strName).c_str(), arrTimes, 0), 0);
        }
    };
    Plant();
    // A save that fails (the folder is read-only) removes nothing.
    std::filesystem::permissions(m_dir.Path(), std::filesystem::perms(0555));
    EXPECT_FALSE(AsNobody([&] { return m_doc.SaveHosts(); }));
    std::filesystem::permissions(m_dir.Path(), std::filesystem::perms(0755));
    for (const auto& [strName, nAge, bRemoved] : arrFiles)
        EXPECT_TRUE(std::filesystem::exists(m_dir / strName)) << strName;
    ASSERT_TRUE(m_doc.SaveHosts()) << m_doc.m_strLastSaveError;
    for (const auto& [strName, nAge, bRemoved] : arrFiles)
        EXPECT_EQ(std::filesystem::exists(m_dir / strName), !bRemoved) << strName;
}

// A FIFO, a socket or a device at the data path: no wait for a writer, no write over it.
TEST_F(HostStore, SpecialFilesAreUnreadableAtOnceAndNeverWrittenOver) {
    const std::string strFifo = m_dir / "fifo.dat", strSocket = m_dir / "socket.dat";
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    const int nSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", strSocket.c_str());
    ASSERT_EQ(::bind(nSocket, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    for (const std::string& strPath : {strFifo, strSocket, std::string("/dev/zero")}) {
        m_vecMessages.clear();
        auto start = std::async(std::launch::async, [&] {
            CVantrelDoc doc(*this, nullptr);
            const bool bStarted = doc.OnNewDocument(strPath, CAppSettings());
            doc.AddHost(MakeHost());
            return bStarted && doc.m_arrHosts.size() == 1 && !doc.SaveHosts();
        });
        if (start.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Let the blocked open go on, so that the test ends and fails.
            ::close(::open(strFifo.c_str(), O_WRONLY | O_NONBLOCK));
            FAIL() << strPath << " blocked";
        }
        EXPECT_TRUE(start.get()) << strPath;
        EXPECT_EQ(m_vecMessages, CTexts{"Cannot read " + strPath +
                                        ": it is not a regular file.\nVantrel starts with an "
                                        "empty host list and will not save over that file."});
    }
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(strFifo)));
    EXPECT_TRUE(std::filesystem::is_socket(std::filesystem::symlink_status(strSocket)));
    ::close(nSocket);
}

// The document gives each host its history: kept through an edit of both name and URL and a
// restart, gone with a removed host; a damaged history is set aside and a missing one only
// costs the history, each said once.
TEST_F(HostStore, HistoryFollowsTheHostsAndItsTroublesAreToldOnce) {
    const std::string strData = m_dir / "v.dat", strHistory = strData + ".history";
    // A's history from an earlier run: the start drops what is older than the days kept.
    int64_t nOld = 0;
    {
        CHistoryStore earlier;
        ASSERT_EQ(earlier.Open(strHistory), CHistoryStore::EOpen::CREATED);
        nOld = earlier.Attach({{"A", ""}})[0];
        CTestRecord test;
        test.nHostId = nOld;
        test.tWhen = ::time(nullptr) - 2 * 86400 - 60;
        CTestRecord recent = test;
        recent.tWhen += 86400;
        ASSERT_TRUE(earlier.WriteCycle({test, recent}));
    }
    CAppSettings keepTwoDays;
    keepTwoDays.m_nHistoryDays = 2;
    ASSERT_TRUE(m_doc.OnNewDocument(strData, keepTwoDays));
    EXPECT_EQ(m_doc.GetHistoryPath(), strHistory);
    for (const char* pszName : {"A", "B", "C"})
        m_doc.AddHost(MakeHost(pszName));
    const auto fnIds = [](const CVantrelDoc& doc) {
        std::vector<int64_t> arrIds;
        for (const CHost* pHost : doc.m_arrHosts)
            arrIds.push_back(pHost->m_nHistoryId);
        return arrIds;
    };
    const std::vector<int64_t> arrIds = fnIds(m_doc);
    EXPECT_TRUE(arrIds[0] == nOld && arrIds[1] > arrIds[0] && arrIds[2] > arrIds[1]);
    {
        CHistoryStore reader;
        ASSERT_EQ(reader.OpenExisting(strHistory), CHistoryStore::EOpen::OK);
        EXPECT_EQ(reader.Tests(nOld, 0, INT64_MAX).size(), 1u);
    }
    {
        CHistoryStore writer;
        ASSERT_EQ(writer.OpenExisting(strHistory), CHistoryStore::EOpen::OK);
        CTestRecord test;
        test.tWhen = 1000;
        for (int64_t nId : arrIds) {
            test.nHostId = nId;
            ASSERT_TRUE(writer.WriteCycle({test}));
        }
    }
    m_doc.m_arrHosts[1]->m_strName = "B renamed";
    m_doc.m_arrHosts[1]->m_strTestURL = "http://moved.example.com/";
    m_doc.OnHostEdited(1);
    m_doc.RemoveHost(0);
    CAppSettings settings;
    m_doc.OnCloseDocument(settings);
    CVantrelDoc again(*this, nullptr);
    ASSERT_TRUE(again.OnNewDocument(strData, CAppSettings()));
    EXPECT_EQ(fnIds(again), (std::vector<int64_t>{arrIds[1], arrIds[2]}));
    CHistoryStore reader;
    ASSERT_EQ(reader.OpenExisting(strHistory), CHistoryStore::EOpen::OK);
    EXPECT_EQ(reader.Tests(arrIds[0], 0, INT64_MAX).size(), 0u);
    EXPECT_EQ(reader.Tests(arrIds[1], 0, INT64_MAX).size(), 1u);
    reader.Close();
    again.OnCloseDocument(settings);
    EXPECT_EQ(m_vecMessages, CTexts{});

    WriteFileBytes(strHistory, "not a database");
    CVantrelDoc damaged(*this, nullptr);
    ASSERT_TRUE(damaged.OnNewDocument(strData, CAppSettings()));
    EXPECT_EQ(m_vecMessages,
              CTexts{"The test history " + strHistory + " was damaged. It has been kept as " +
                     strHistory + ".damaged and a new history has been started."});
    EXPECT_EQ(ReadFileBytes(strHistory + ".damaged"), "not a database");
    EXPECT_TRUE(fnIds(damaged)[0] > 0 && fnIds(damaged)[1] > fnIds(damaged)[0]);
    damaged.OnCloseDocument(settings);

    m_vecMessages.clear();
    std::filesystem::remove(strHistory);
    ASSERT_EQ(::mkfifo(strHistory.c_str(), 0600), 0);
    CVantrelDoc without(*this, nullptr);
    ASSERT_TRUE(without.OnNewDocument(strData, CAppSettings()));
    without.AddHost(MakeHost("D"));
    without.RemoveHost(0);
    EXPECT_EQ(fnIds(without), (std::vector<int64_t>{0, 0}));
    EXPECT_EQ(m_vecMessages,
              CTexts{"Cannot open the test history " + strHistory +
                     ": it is a FIFO, not a regular file, and is left as it is.\nThe tests go on "
                     "without a history."});
    without.OnCloseDocument(settings);
    EXPECT_EQ(CLoaded(strData).arrHosts.size(), 2u);
}
