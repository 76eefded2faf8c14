#include "core/hosts_file.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// The replacement below pairs malloc with free; GCC cannot see that across inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Largest single allocation while g_bTrackAllocations is set: proves that counts and lengths
// read from a file never size an allocation by themselves.
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

namespace {

struct CLoaded {
    ~CLoaded() {
        for (CHost* p : arrHosts)
            delete p;
    }
    std::vector<CHost*> arrHosts;
    int32_t nRunSeconds = 0;
    int32_t nInterval = 5;
    CHostsFile::CLoadReport report;
};

void Load(const std::string& strPath, CLoaded& loaded) {
    loaded.report =
        CHostsFile::Load(strPath, loaded.arrHosts, loaded.nRunSeconds, loaded.nInterval);
}

bool Save(const std::string& strPath, const std::vector<CHost*>& arrHosts, int32_t nRun = 0,
          int32_t nInterval = 5, std::string* pError = nullptr) {
    std::string strError;
    bool bOk = CHostsFile::Save(strPath, arrHosts, nRun, nInterval, true, strError);
    if (pError)
        *pError = strError;
    return bOk;
}

// Host "A": every field set to a distinct value.
std::unique_ptr<CHost> MakeHostA() {
    auto pHost = std::make_unique<CHost>();
    pHost->m_strName = "Alpha \xE9";
    pHost->m_strWebSite = "http://www.example.com";
    pHost->m_strTestURL = "http://www.example.com/t";
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        pHost->Answer(i) = i * 3 - 1;
    for (int i = 0; i < FEATURE_COUNT; ++i)
        pHost->m_arrFeatures[i] = i % 3 == 0 ? 7 : 0;
    pHost->m_nSecondsTested = 90061;
    pHost->m_nTests = 4;
    pHost->m_nTestsUp = 3;
    *pHost->m_pPingHistory = {10, 20, 0xFFFFFFFFu};
    pHost->m_nPingTotal = 29;
    pHost->m_bResolved = 1;
    pHost->m_bTesting = 0;
    return pHost;
}

// Host "B": empty history, testing.
std::unique_ptr<CHost> MakeHostB() {
    auto pHost = std::make_unique<CHost>();
    pHost->m_strName = "B";
    pHost->m_strTestURL = "http://example.org/";
    pHost->m_nTests = 2;
    pHost->m_bTesting = 1;
    return pHost;
}

// The record bytes written by hand from the field order.
CBytes& AppendString(CBytes& bytes, const std::string& str) {
    if (str.size() < 255)
        bytes.Byte(static_cast<unsigned char>(str.size()));
    else if (str.size() < 0xFFFE)
        bytes.Byte(0xFF).U16(static_cast<uint16_t>(str.size()));
    else
        bytes.Byte(0xFF).U16(0xFFFF).U32(static_cast<uint32_t>(str.size()));
    return bytes.Raw(str);
}

void AppendRecord(CBytes& bytes, const CHost& host) {
    AppendString(bytes, host.m_strName);
    AppendString(bytes, host.m_strWebSite);
    AppendString(bytes, host.m_strTestURL);
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        bytes.U32(static_cast<uint32_t>(host.Answer(i)));
    for (int32_t nFeature : host.m_arrFeatures)
        bytes.U32(static_cast<uint32_t>(nFeature));
    bytes.U32(host.m_nSecondsTested).U32(host.m_nTests).U32(host.m_nTestsUp);
    bytes.U32(static_cast<uint32_t>(host.m_pPingHistory->size()));
    for (uint32_t nPing : *host.m_pPingHistory)
        bytes.U32(nPing);
    bytes.U32(host.m_bResolved).U32(static_cast<uint32_t>(host.m_nPingTotal)).U32(host.m_bTesting);
}

} // namespace

TEST(HostsFileBytes, TwoHostsFieldByField) {
    CTempDir dir;
    auto pA = MakeHostA();
    auto pB = MakeHostB();
    ASSERT_TRUE(Save(dir / "h.dat", {pA.get(), pB.get()}, 3600, 7));

    CBytes expected;
    expected.U32(2);
    AppendRecord(expected, *pA);
    AppendRecord(expected, *pB);
    expected.U32(3600).U32(7);
    EXPECT_EQ(ReadFileBytes(dir / "h.dat"), expected.Str());
    // Spot checks that do not depend on the helper above: the resolved flag, the ping total
    // and the testing flag close host A in this order; host B has H = 0 and nothing after it.
    const std::string strBytes = ReadFileBytes(dir / "h.dat");
    const size_t nEndA = 4 + 1 + 7 + 1 + 22 + 1 + 24 + 4 * (22 + 37 + 3 + 1 + 3 + 3);
    EXPECT_EQ(strBytes.substr(nEndA - 12, 12), CBytes().U32(1).U32(29).U32(0).Str());
    EXPECT_EQ(strBytes.substr(strBytes.size() - 8 - 16, 16),
              CBytes().U32(0).U32(0).U32(0).U32(1).Str());
    EXPECT_EQ(strBytes.size(), nEndA + (3 + 1 + 19) + 4 * (22 + 37 + 3 + 1 + 3) + 8);
}

TEST(HostsFileBytes, StringLengthForms) {
    CTempDir dir;
    // {length, expected prefix}: the one-byte form ends at 254, the 16-bit form at 0xFFFD.
    const std::pair<size_t, std::string> arrCases[] = {
        {0, CBytes().Byte(0).Str()},
        {254, CBytes().Byte(254).Str()},
        {255, CBytes().Byte(0xFF).U16(255).Str()},
        {300, CBytes().Byte(0xFF).Byte(0x2C).Byte(0x01).Str()},
        {0xFFFD, CBytes().Byte(0xFF).U16(0xFFFD).Str()},
        {0xFFFE, CBytes().Byte(0xFF).U16(0xFFFF).U32(0xFFFE).Str()},
        {70000, CBytes().Byte(0xFF).U16(0xFFFF).U32(70000).Str()},
    };
    for (const auto& [nLength, strPrefix] : arrCases) {
        CHost host;
        host.m_strName.assign(nLength, 'n');
        ASSERT_TRUE(Save(dir / "s.dat", {&host}));
        const std::string strBytes = ReadFileBytes(dir / "s.dat");
        EXPECT_EQ(strBytes.substr(4, strPrefix.size()), strPrefix) << nLength;
        EXPECT_EQ(strBytes.substr(4 + strPrefix.size(), nLength), host.m_strName) << nLength;
        EXPECT_EQ(strBytes.size(), 4 + strPrefix.size() + nLength + 2 + 4 * 66 + 8) << nLength;

        CLoaded loaded;
        Load(dir / "s.dat", loaded);
        ASSERT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK) << nLength;
        ASSERT_EQ(loaded.arrHosts.size(), 1u);
        EXPECT_EQ(loaded.arrHosts[0]->m_strName, host.m_strName) << nLength;
    }
}

TEST(HostsFileBytes, EmptyFileIsAnEmptyListAndSavesAsTwelveBytes) {
    CTempDir dir;
    WriteFileBytes(dir / "e.dat", "");
    CLoaded loaded;
    loaded.nRunSeconds = 0;
    loaded.nInterval = 5;
    Load(dir / "e.dat", loaded);
    EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK);
    EXPECT_TRUE(loaded.arrHosts.empty());
    EXPECT_EQ(loaded.nInterval, 5);
    ASSERT_TRUE(Save(dir / "e.dat", loaded.arrHosts, loaded.nRunSeconds, loaded.nInterval));
    EXPECT_EQ(ReadFileBytes(dir / "e.dat"), CBytes().U32(0).U32(0).U32(5).Str());
}

TEST(HostsFileRoundTrip, LoadThenSaveGivesTheSameBytesAndFreshRunState) {
    CTempDir dir;
    auto pA = MakeHostA();
    auto pB = MakeHostB();
    ASSERT_TRUE(Save(dir / "a.dat", {pA.get(), pB.get()}, -5, 60));
    CLoaded loaded;
    Load(dir / "a.dat", loaded);
    ASSERT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK);
    ASSERT_EQ(loaded.arrHosts.size(), 2u);
    EXPECT_EQ(loaded.nRunSeconds, -5);
    EXPECT_EQ(loaded.nInterval, 60);
    const CHost& a = *loaded.arrHosts[0];
    EXPECT_EQ(a.m_strName, pA->m_strName);
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        EXPECT_EQ(a.Answer(i), pA->Answer(i));
    EXPECT_EQ(*a.m_pPingHistory, *pA->m_pPingHistory);
    EXPECT_EQ(a.m_bResolved, 1);
    EXPECT_EQ(loaded.arrHosts[1]->m_bTesting, 1);
    // Not stored: a loaded record starts a new run in the unknown state.
    EXPECT_EQ(loaded.arrHosts[1]->m_nState, HOST_UNKNOWN);
    EXPECT_EQ(loaded.arrHosts[1]->m_bNewRun, 1);
    EXPECT_EQ(loaded.arrHosts[1]->m_tLastTest, 0);

    ASSERT_TRUE(Save(dir / "b.dat", loaded.arrHosts, loaded.nRunSeconds, loaded.nInterval));
    EXPECT_EQ(ReadFileBytes(dir / "b.dat"), ReadFileBytes(dir / "a.dat"));
}

TEST(HostsFileRoundTrip, BytesAfterTheIntervalAreIgnored) {
    CTempDir dir;
    auto pA = MakeHostA();
    ASSERT_TRUE(Save(dir / "a.dat", {pA.get()}, 1, 9));
    const std::string strSound = ReadFileBytes(dir / "a.dat");
    // What an in-place save of a shrunken list used to leave behind.
    WriteFileBytes(dir / "a.dat", strSound + std::string(500, '\x7F'));
    CLoaded loaded;
    Load(dir / "a.dat", loaded);
    EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK);
    EXPECT_EQ(loaded.arrHosts.size(), 1u);
    EXPECT_EQ(loaded.nInterval, 9);
    EXPECT_EQ(loaded.report.m_nEnd, strSound.size());
    EXPECT_EQ(loaded.report.m_nFileSize, strSound.size() + 500);
}

TEST(HostsFileDamage, CutAtEveryOffsetKeepsTheCompleteHosts) {
    CTempDir dir;
    auto pA = MakeHostA();
    auto pB = MakeHostB();
    ASSERT_TRUE(Save(dir / "full.dat", {pA.get(), pB.get()}, 77, 8));
    const std::string strFull = ReadFileBytes(dir / "full.dat");
    CBytes recordA, recordB;
    AppendRecord(recordA, *pA);
    AppendRecord(recordB, *pB);
    const size_t nEndA = 4 + recordA.Size();
    const size_t nEndB = nEndA + recordB.Size();
    ASSERT_EQ(nEndB + 8, strFull.size());

    for (size_t nCut = 1; nCut < strFull.size(); ++nCut) {
        WriteFileBytes(dir / "cut.dat", strFull.substr(0, nCut));
        CLoaded loaded;
        Load(dir / "cut.dat", loaded);
        const size_t nComplete = nCut < nEndA ? 0 : nCut < nEndB ? 1 : 2;
        ASSERT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_DAMAGED) << nCut;
        ASSERT_EQ(loaded.arrHosts.size(), nComplete) << nCut;
        EXPECT_EQ(loaded.report.m_nHostsRead, nComplete) << nCut;
        if (nComplete >= 1) {
            EXPECT_EQ(*loaded.arrHosts[0]->m_pPingHistory, *pA->m_pPingHistory) << nCut;
        }
        if (nComplete == 2) {
            EXPECT_EQ(loaded.arrHosts[1]->m_strTestURL, pB->m_strTestURL) << nCut;
        }
        // The partial host is named; the count and the trailer belong to no host.
        const int64_t nExpectedIndex = nCut < 4 ? -1 : nCut < nEndB ? int64_t(nComplete) : -1;
        EXPECT_EQ(loaded.report.m_nHostIndex, nExpectedIndex) << nCut;
        EXPECT_LE(loaded.report.m_nOffset, nCut) << nCut;
        EXPECT_FALSE(loaded.report.m_strReason.empty());
        // The trailer is taken only as far as it was read.
        EXPECT_EQ(loaded.nRunSeconds, nCut >= nEndB + 4 ? 77 : 0) << nCut;
        EXPECT_EQ(loaded.nInterval, 5) << nCut;
    }
}

TEST(HostsFileDamage, WideCharacterPrefixIsDamage) {
    CTempDir dir;
    WriteFileBytes(dir / "w.dat", CBytes().U32(1).Byte(0xFF).U16(0xFFFE).Raw("ab").Str());
    CLoaded loaded;
    Load(dir / "w.dat", loaded);
    EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_DAMAGED);
    EXPECT_EQ(loaded.report.m_nOffset, 4u);
    EXPECT_EQ(loaded.report.m_nHostIndex, 0);
}

TEST(HostsFileDamage, AbsurdCountsAndLengthsDoNotAllocate) {
    CTempDir dir;
    CBytes hostStart;
    hostStart.Byte(0).Byte(0).Byte(0);
    for (int i = 0; i < 22 + 37 + 3; ++i)
        hostStart.U32(0);
    const std::string arrFiles[] = {
        CBytes().U32(0xFFFFFFFF).U32(0).U32(5).Str(),                 // host count
        CBytes().U32(1).Byte(0xFF).U16(0xFFFF).U32(0xFFFFFFF0).Str(), // text length
        CBytes().U32(1).Byte(0xFF).U16(0xFFFD).Raw(std::string(100, 'x')).Str(),
        CBytes().U32(1).Raw(hostStart.Str()).U32(0x3FFFFFFF).U32(1).Str(), // history length
    };
    for (const std::string& strFile : arrFiles) {
        WriteFileBytes(dir / "x.dat", strFile);
        CLoaded loaded;
        g_nLargestAllocation = 0;
        g_bTrackAllocations = true;
        Load(dir / "x.dat", loaded);
        g_bTrackAllocations = false;
        EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_DAMAGED);
        EXPECT_TRUE(loaded.arrHosts.empty());
        EXPECT_LT(g_nLargestAllocation.load(), size_t(1) << 20) << loaded.report.m_strReason;
    }
}

TEST(HostsFileUnreadable, FolderOrMissingFileLoadsNothing) {
    CTempDir dir;
    std::filesystem::create_directory(dir / "d.dat");
    for (const char* pszName : {"d.dat", "missing.dat"}) {
        CLoaded loaded;
        Load(dir / pszName, loaded);
        EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_UNREADABLE) << pszName;
        EXPECT_TRUE(loaded.arrHosts.empty());
        EXPECT_NE(loaded.report.m_strReason.find(dir / pszName), std::string::npos);
    }
}

TEST(HostsFileSave, KeepsPermissionsAndFollowsSymbolicLinks) {
    CTempDir dir;
    auto pA = MakeHostA();
    std::filesystem::create_directory(dir / "real");
    WriteFileBytes(dir / "real/t.dat", "old");
    ASSERT_EQ(::chmod((dir / "real/t.dat").c_str(), 0640), 0);
    std::filesystem::create_symlink("real/t.dat", dir / "link.dat");

    ASSERT_TRUE(Save(dir / "link.dat", {pA.get()}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.dat"));
    struct stat st;
    ASSERT_EQ(::stat((dir / "real/t.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    CLoaded loaded;
    Load(dir / "real/t.dat", loaded);
    EXPECT_EQ(loaded.report.m_eResult, CHostsFile::LOAD_OK);
    EXPECT_EQ(loaded.arrHosts.size(), 1u);
    // Nothing but the file and the link is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "real"), {}), 1);

    // A new file gets the usual mode for new files.
    const mode_t nMask = ::umask(022);
    ::umask(nMask);
    ASSERT_TRUE(Save(dir / "new.dat", {}));
    ASSERT_EQ(::stat((dir / "new.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u & ~nMask);
}

namespace {

// Hosts whose file is about nBytes long.
std::vector<std::unique_ptr<CHost>> MakeBigList(size_t nBytes) {
    std::vector<std::unique_ptr<CHost>> vecHosts;
    for (size_t nSize = 0; nSize < nBytes; nSize += 4 * 1000 + 300) {
        vecHosts.push_back(MakeHostA());
        vecHosts.back()->m_pPingHistory->assign(1000, 42);
    }
    return vecHosts;
}

std::vector<CHost*> Pointers(const std::vector<std::unique_ptr<CHost>>& vecHosts) {
    std::vector<CHost*> arr;
    for (const auto& p : vecHosts)
        arr.push_back(p.get());
    return arr;
}

} // namespace

TEST(HostsFileCrashSafety, FileSizeLimitLeavesThePreviousFileIntact) {
    CTempDir dir;
    auto pA = MakeHostA();
    ASSERT_TRUE(Save(dir / "v.dat", {pA.get()}, 1, 5));
    const std::string strBefore = ReadFileBytes(dir / "v.dat");

    const auto vecBig = MakeBigList(400 * 1024);
    struct rlimit oldLimit;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    // Going over the limit raises SIGXFSZ, which would end the process; ignored, the write
    // fails with EFBIG instead.
    auto pfnOld = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = oldLimit;
    limit.rlim_cur = 128 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string strError;
    const bool bSaved = Save(dir / "v.dat", Pointers(vecBig), 2, 5, &strError);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, pfnOld);

    EXPECT_FALSE(bSaved);
    EXPECT_EQ(strError, "Cannot save " + (dir / "v.dat") +
                            ": the file would exceed the largest file size this program may write");
    EXPECT_EQ(ReadFileBytes(dir / "v.dat"), strBefore);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(HostsFileCrashSafety, FullDiskLeavesThePreviousFileIntact) {
    CTempDir dir;
    const std::string strMount = dir / "small";
    std::filesystem::create_directory(strMount);
    if (::mount("tmpfs", strMount.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root (CAP_SYS_ADMIN); not tested here";
    auto pA = MakeHostA();
    const std::string strPath = strMount + "/v.dat";
    const auto vecFirst = MakeBigList(100 * 1024);
    ASSERT_TRUE(Save(strPath, Pointers(vecFirst), 1, 5));
    const std::string strBefore = ReadFileBytes(strPath);

    const auto vecBig = MakeBigList(200 * 1024);
    std::string strError;
    const bool bSaved = Save(strPath, Pointers(vecBig), 2, 5, &strError);
    const std::string strAfter = ReadFileBytes(strPath);
    const auto nEntries = std::distance(std::filesystem::directory_iterator(strMount), {});
    ::umount(strMount.c_str());

    EXPECT_FALSE(bSaved);
    EXPECT_EQ(strError, "Cannot save " + strPath + ": the disk is full");
    EXPECT_EQ(strAfter, strBefore);
    EXPECT_EQ(nEntries, 1);
}
