#include "core/history_store.h"

#include "core/test_files.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstring>
#include <ctime>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CTestRecord MakeTest(int64_t nHostId, int64_t tWhen, bool bUp, int32_t nTotal = -1) {
    CTestRecord test;
    test.nHostId = nHostId;
    test.tWhen = tWhen;
    test.bUp = bUp;
    test.nTotalTenths = nTotal;
    return test;
}

// Every field, so that a column mixed up with another shows.
std::string Describe(const CTestRecord& t) {
    return std::to_string(t.nHostId) + " " + std::to_string(t.tWhen) + (t.bUp ? " up " : " down ") +
           "[" + t.strReason + "] " + std::to_string(t.nPingTenths) + " " +
           std::to_string(t.nMethod) + " " + std::to_string(t.nFamily) + " " +
           std::to_string(t.nEchoesSent) + "/" + std::to_string(t.nEchoesAnswered) + " " +
           std::to_string(t.nHttpStatus) + " " + std::to_string(t.nDnsTenths) + " " +
           std::to_string(t.nConnectTenths) + " " + std::to_string(t.nTlsTenths) + " " +
           std::to_string(t.nFirstByteTenths) + " " + std::to_string(t.nTotalTenths) + " " +
           std::to_string(t.tCertExpiry);
}

std::string Describe(const std::vector<CTestRecord>& arrTests) {
    std::string str;
    for (const CTestRecord& t : arrTests)
        str += Describe(t) + "\n";
    return str;
}

// Runs pszSql on the database at strPath, creating it if need be.
void Sql(const std::string& strPath, const char* pszSql) {
    sqlite3* pDb = nullptr;
    sqlite3_open(strPath.c_str(), &pDb);
    sqlite3_exec(pDb, pszSql, nullptr, nullptr, nullptr);
    sqlite3_close(pDb);
}

int64_t CountRows(const std::string& strPath, const char* pszSql) {
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* pStmt = nullptr;
    sqlite3_prepare_v2(pDb, pszSql, -1, &pStmt, nullptr);
    const int64_t n = sqlite3_step(pStmt) == SQLITE_ROW ? sqlite3_column_int64(pStmt, 0) : -1;
    sqlite3_finalize(pStmt);
    sqlite3_close(pDb);
    return n;
}

class HistoryStoreTest : public ::testing::Test {
protected:
    CTempDir m_dir;
    std::string m_strPath = m_dir / "Vantrel.dat.history";
    CHistoryStore m_store;
};

} // namespace

TEST_F(HistoryStoreTest, TestsReadBackWithEveryFieldAndOwnerOnly) {
    EXPECT_EQ(CHistoryStore::PathFor("/home/u/Vantrel.dat"), "/home/u/Vantrel.dat.history");
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED) << m_store.GetLastError();
    EXPECT_EQ(std::filesystem::status(m_strPath).permissions(), std::filesystem::perms(0600));
    // Write-ahead logging: readers and the worker's writes never wait for each other.
    EXPECT_EQ(std::filesystem::status(m_strPath + "-wal").permissions(),
              std::filesystem::perms(0600));
    const std::vector<int64_t> arrIds = m_store.Attach({{"A", "http://a/"}, {"B", "http://b/"}});
    ASSERT_EQ(arrIds.size(), 2u);
    CTestRecord full{arrIds[1], 1700000000, true, "answers 404: check the test URL",
                     123,       1,          10,   4,
                     3,         404,        11,   22,
                     33,        44,         55,   1800000000};
    CTestRecord down = MakeTest(arrIds[1], 1700000300, false);
    down.strReason = "TLS failure: certificate has expired \xe9";
    // A test of a host the history does not know is dropped.
    ASSERT_TRUE(m_store.WriteCycle(
        {full, MakeTest(arrIds[0], 1700000000, true), MakeTest(99, 1700000000, true)}));
    // A second test of A in the same second (the clock set back) is kept beside the first.
    ASSERT_TRUE(m_store.WriteCycle({down, MakeTest(arrIds[0], 1700000000, false)}));
    const std::string strExpected =
        std::to_string(arrIds[1]) +
        " 1700000000 up [answers 404: check the test URL] 123 1 10 4/3 404 11 22 33 44 55 "
        "1800000000\n" +
        std::to_string(arrIds[1]) +
        " 1700000300 down [TLS failure: certificate has expired \xe9] -1 0 0 0/0 0 -1 -1 -1 -1 "
        "-1 0\n";
    EXPECT_EQ(Describe(m_store.Tests(arrIds[1], 0, INT64_MAX)), strExpected);
    // [from, to): the end is not in the range.
    EXPECT_EQ(Describe(m_store.Tests(arrIds[1], 1700000000, 1700000300)),
              strExpected.substr(0, strExpected.find('\n') + 1));
    m_store.Close();
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::OK);
    EXPECT_EQ(Describe(m_store.Tests(arrIds[1], 0, INT64_MAX)), strExpected);
    EXPECT_EQ(CountRows(m_strPath, "SELECT count(*) FROM tests"), 4);
    EXPECT_EQ(Describe(m_store.Tests(arrIds[0], 0, INT64_MAX)),
              std::to_string(arrIds[0]) + " 1700000000 up [] -1 0 0 0/0 0 -1 -1 -1 -1 -1 0\n" +
                  std::to_string(arrIds[0]) +
                  " 1700000000 down [] -1 0 0 0/0 0 -1 -1 -1 -1 -1 0\n");
    EXPECT_EQ(CountRows(m_strPath, "PRAGMA user_version"), 1);
    EXPECT_EQ(m_store.CheckIntegrity(), "ok");
    CHistoryStore reader;
    ASSERT_EQ(reader.OpenExisting(m_strPath), CHistoryStore::EOpen::OK);
    EXPECT_EQ(Describe(reader.Tests(arrIds[1], 0, INT64_MAX)), strExpected);
    EXPECT_EQ(reader.OpenExisting(m_dir / "none"), CHistoryStore::EOpen::FAILED);
    EXPECT_EQ(reader.GetLastError(),
              "Cannot open the test history " + m_dir / "none" + ": no such file or folder");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "none"));
}

// Response-time percentiles by nearest rank over the up tests that have one; echoes, period
// and the latest certificate over [from, to).
TEST_F(HistoryStoreTest, SummarizeCountsAndPercentiles) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    const int64_t nId = m_store.Attach({{"A", "u"}})[0];
    const struct {
        std::vector<int32_t> arrTotals; // -2: a down test
        const char* pszExpected;        // tests up first last echoes p10 median p90 cert
    } cases[] = {
        {{}, "0 0 0 0 0/0 -1 -1 -1 0"},
        {{-2, -1}, "2 1 100 160 2/1 -1 -1 -1 1010"},
        {{70}, "1 1 100 100 1/1 70 70 70 1000"},
        {{30, 10, 20, 40}, "4 4 100 280 4/4 10 20 40 1030"},
        {{100, 90, 80, 70, 60, 50, 40, 30, 20, 10, -2, -1}, "12 11 100 760 12/11 10 50 90 1100"},
    };
    int64_t nBase = 0;
    for (const auto& c : cases) {
        nBase += 100000;
        std::vector<CTestRecord> arrTests;
        for (int32_t nTotal : c.arrTotals) {
            CTestRecord t = MakeTest(nId, nBase + 100 + 60 * static_cast<int64_t>(arrTests.size()),
                                     nTotal != -2, nTotal < 0 ? -1 : nTotal);
            t.nEchoesSent = 1;
            t.nEchoesAnswered = t.bUp ? 1 : 0;
            // The latest certificate counts, also one seen by a later test without a
            // response time; none (0) leaves it.
            t.tCertExpiry =
                arrTests.size() % 3 == 2 ? 0 : 1000 + 10 * static_cast<int64_t>(arrTests.size());
            arrTests.push_back(t);
        }
        // Outside the range: before it and at its end.
        arrTests.push_back(MakeTest(nId, nBase, true, 1));
        arrTests.push_back(MakeTest(nId, nBase + 1000, true, 1));
        ASSERT_TRUE(m_store.WriteCycle(arrTests));
        const CHistoryStore::CSummary s = m_store.Summarize(nId, nBase + 100, nBase + 1000);
        EXPECT_EQ(std::to_string(s.nTests) + " " + std::to_string(s.nTestsUp) + " " +
                      std::to_string(s.tFirst ? s.tFirst - nBase : 0) + " " +
                      std::to_string(s.tLast ? s.tLast - nBase : 0) + " " +
                      std::to_string(s.nEchoesSent) + "/" + std::to_string(s.nEchoesAnswered) +
                      " " + std::to_string(s.nP10TotalTenths) + " " +
                      std::to_string(s.nMedianTotalTenths) + " " +
                      std::to_string(s.nP90TotalTenths) + " " + std::to_string(s.tCertExpiry),
                  c.pszExpected);
    }
}

// A host keeps its id through edits of its name or URL (one at a time), moves in the list and
// an import of the same hosts; an exact match wins over a partial one; removing a host drops
// its tests, and a host added with its name again starts a new history.
TEST_F(HistoryStoreTest, HostsKeepTheirHistoryThroughEditsMovesAndImports) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    const std::vector<int64_t> arrIds =
        m_store.Attach({{"A", "http://a/"}, {"B", "http://b/"}, {"C", "http://c/"}});
    const int64_t a = arrIds[0], b = arrIds[1], c = arrIds[2];
    EXPECT_TRUE(a != b && b != c && a != c && a > 0 && b > 0 && c > 0);
    // Each row: the list as loaded, and the ids it must get (0: a new one, all different).
    const struct {
        const char* pszCase;
        std::vector<CHistoryStore::CHostKey> arrHosts;
        std::vector<int64_t> arrExpected;
    } cases[] = {
        {"same list", {{"A", "http://a/"}, {"B", "http://b/"}, {"C", "http://c/"}}, {a, b, c}},
        {"moved", {{"C", "http://c/"}, {"A", "http://a/"}, {"B", "http://b/"}}, {c, a, b}},
        {"URL edited", {{"A", "http://a/x"}, {"B", "http://b/"}, {"C", "http://c/"}}, {a, b, c}},
        {"name edited", {{"A", "http://a/x"}, {"B2", "http://b/"}, {"C", "http://c/"}}, {a, b, c}},
        // B2 now holds C's URL and C holds B's: the names decide.
        {"URLs swapped", {{"B2", "http://c/"}, {"C", "http://b/"}, {"A", "http://a/x"}}, {b, c, a}},
        // A new host named like A, before A: A keeps its history.
        {"exact first", {{"A", "http://new/"}, {"A", "http://a/x"}}, {0, a}},
        {"both changed", {{"Z", "http://z/"}, {"A", "http://a/x"}}, {0, a}},
        {"twins", {{"A", "http://a/x"}, {"A", "http://a/x"}}, {a, 0}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.pszCase);
        std::vector<int64_t> arrGot = m_store.Attach(row.arrHosts);
        ASSERT_EQ(arrGot.size(), row.arrExpected.size());
        for (size_t i = 0; i < arrGot.size(); ++i) {
            if (row.arrExpected[i] != 0)
                EXPECT_EQ(arrGot[i], row.arrExpected[i]) << i;
            else
                EXPECT_TRUE(arrGot[i] > c &&
                            std::count(arrGot.begin(), arrGot.end(), arrGot[i]) == 1)
                    << i << ": " << arrGot[i];
        }
    }
    // An edit kept through UpdateHost is found by the next load even when both changed.
    ASSERT_TRUE(m_store.WriteCycle({MakeTest(a, 100, true), MakeTest(b, 100, false)}));
    ASSERT_TRUE(m_store.UpdateHost(a, {"A renamed", "http://elsewhere/"}));
    EXPECT_EQ(m_store.Attach({{"A renamed", "http://elsewhere/"}})[0], a);
    ASSERT_TRUE(m_store.RemoveHost(a));
    EXPECT_EQ(Describe(m_store.Tests(a, 0, INT64_MAX)), "");
    EXPECT_EQ(m_store.Tests(b, 0, INT64_MAX).size(), 1u);
    // Find matches as Attach does and writes nothing.
    const int64_t nHosts = CountRows(m_strPath, "SELECT count(*) FROM hosts");
    EXPECT_EQ(m_store.Find({{"nobody", "http://nowhere/"}, {"C", "http://other/"}}),
              (std::vector<int64_t>{0, c}));
    EXPECT_EQ(CountRows(m_strPath, "SELECT count(*) FROM hosts"), nHosts);
    const int64_t nAgain = m_store.Attach({{"A renamed", "http://elsewhere/"}})[0];
    EXPECT_NE(nAgain, a);
    // An import keeps the histories of the hosts it still has.
    ASSERT_TRUE(m_store.RemoveOtherHosts({c, nAgain}));
    EXPECT_EQ(
        m_store.Find({{"C", "http://b/"}, {"B2", "http://c/"}, {"A renamed", "http://elsewhere/"}}),
        (std::vector<int64_t>{c, 0, nAgain}));
    EXPECT_EQ(CountRows(m_strPath, "SELECT count(*) FROM hosts"), 2);
    EXPECT_EQ(CountRows(m_strPath, "SELECT count(*) FROM tests"), 0);
    EXPECT_EQ(CountRows(m_strPath,
                        "SELECT count(*) FROM tests WHERE host_id NOT IN (SELECT id FROM hosts)"),
              0);
}

// Whatever is at the path that SQLite cannot use as our database is kept aside, numbered, and
// a new database takes its place; what it cannot open it leaves alone and says why.
TEST_F(HistoryStoreTest, DamagedDatabaseIsMovedAsideAndANewOneStarted) {
    // A real database with tests, for the damaged copies made from it.
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    std::vector<CTestRecord> arrTests;
    const int64_t nId = m_store.Attach({{"A", "u"}})[0];
    for (int i = 0; i < 2000; ++i)
        arrTests.push_back(MakeTest(nId, i, true, i));
    ASSERT_TRUE(m_store.WriteCycle(arrTests));
    m_store.Close();
    const std::string strGood = ReadFileBytes(m_strPath);
    ASSERT_GT(strGood.size(), 16384u);
    std::string strBadPage = strGood;
    for (size_t i = 8192; i < 12288; ++i)
        strBadPage[i] = static_cast<char>(0xa5);
    const std::string strNotOurs = m_dir / "other.db";
    Sql(strNotOurs, "CREATE TABLE t(x)");
    const struct {
        const char* pszCase;
        std::string strBytes;
    } cases[] = {
        {"text", "Vantrel hosts, not a database\n"},
        {"cut short", strGood.substr(0, 4096)},
        {"a page overwritten", strBadPage},
        {"another program's database", ReadFileBytes(strNotOurs)},
    };
    std::vector<std::string> arrNames;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCase);
        std::filesystem::remove(m_strPath);
        {
            std::ofstream out(m_strPath, std::ios::binary);
            out << c.strBytes;
        }
        // Its write-ahead log goes with it, never into the new database.
        if (arrNames.empty()) {
            std::ofstream out(m_strPath + "-wal", std::ios::binary);
            out << "log";
        }
        ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::MOVED) << m_store.GetLastError();
        const std::string strAside =
            m_strPath + ".damaged" +
            (arrNames.empty() ? "" : "." + std::to_string(arrNames.size()));
        EXPECT_EQ(m_store.GetMovedTo(), strAside);
        EXPECT_EQ(ReadFileBytes(strAside), c.strBytes);
        EXPECT_TRUE(m_store.Tests(nId, 0, INT64_MAX).empty());
        EXPECT_EQ(m_store.Attach({{"A", "u"}}).size(), 1u);
        EXPECT_EQ(m_store.CheckIntegrity(), "ok");
        m_store.Close();
        EXPECT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::OK);
        m_store.Close();
        arrNames.push_back(strAside);
    }
    // A database of a newer Vantrel is not ours to replace.
    Sql(m_strPath, "PRAGMA user_version = 2");
    EXPECT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::FAILED);
    EXPECT_EQ(m_store.GetLastError(), "Cannot open the test history " + m_strPath +
                                          ": a newer version of Vantrel wrote it, and it is left "
                                          "as it is");
    // Neither is a FIFO or a folder.
    const std::string strFifo = m_dir / "fifo";
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    EXPECT_EQ(m_store.Open(strFifo), CHistoryStore::EOpen::FAILED);
    EXPECT_EQ(m_store.GetLastError(),
              "Cannot open the test history " + strFifo +
                  ": it is a FIFO, not a regular file, and is left as it is");
    EXPECT_EQ(m_store.Open(m_dir.Path()), CHistoryStore::EOpen::FAILED);
    EXPECT_EQ(m_store.GetLastError(),
              "Cannot open the test history " + m_dir.Path() + ": the path names a folder");
    EXPECT_FALSE(m_store.IsOpen());
    EXPECT_EQ(ReadFileBytes(m_strPath + ".damaged-wal"), "log");
    // SQLite made a log for the two copies of a database in that mode; it went with them.
    arrNames.insert(arrNames.end(),
                    {m_strPath, m_strPath + ".damaged-wal", m_strPath + ".damaged.1-wal",
                     m_strPath + ".damaged.2-wal", strFifo, m_dir / "other.db"});
    std::vector<std::string> arrFound;
    for (const std::string& strName : m_dir.Names())
        arrFound.push_back(m_dir / strName);
    std::sort(arrNames.begin(), arrNames.end());
    EXPECT_EQ(arrFound, arrNames);
}

// Tests older than the days kept go, at most once a day; a clock set back prunes at once.
TEST_F(HistoryStoreTest, PruneKeepsTheDaysAskedAtMostOnceADay) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    const std::vector<int64_t> arrIds = m_store.Attach({{"A", "a"}, {"B", "b"}});
    const int64_t tNow = 1700000000, nDay = 86400;
    std::vector<CTestRecord> arrTests;
    for (int64_t nAgo : {500 * nDay, 400 * nDay + 1, 400 * nDay, 399 * nDay, nDay, int64_t{0}})
        for (int64_t nId : arrIds)
            arrTests.push_back(MakeTest(nId, tNow - nAgo, true));
    ASSERT_TRUE(m_store.WriteCycle(arrTests));
    const auto fnCount = [&] {
        return m_store.Tests(arrIds[0], 0, INT64_MAX).size() +
               m_store.Tests(arrIds[1], 0, INT64_MAX).size();
    };
    const struct {
        int64_t tNow;
        int nDays;
        bool bPruned;
        size_t nLeft;
    } steps[] = {
        {tNow, 400, true, 8},             // 400 days and 1 s ago goes, 400 days stays
        {tNow + nDay - 1, 1, false, 8},   // within a day of the last pruning
        {tNow + nDay, 400, true, 6},      // a day later
        {tNow + nDay - 3600, 1, true, 2}, // the clock set back
        {tNow + nDay - 3600 + 10, 1, false, 2},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.tNow - tNow);
        EXPECT_EQ(m_store.Prune(step.tNow, step.nDays), step.bPruned);
        EXPECT_EQ(fnCount(), step.nLeft);
    }
}

// A full disk fails the cycle as a whole with the reason, keeps every earlier cycle, and the
// writes go on once there is room; a read-only disk is named as such.
TEST_F(HistoryStoreTest, FullOrReadOnlyDiskLosesOnlyTheCycleAndSaysWhy) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a small disk of its own needs root";
    const std::string strDisk = m_dir / "disk";
    std::filesystem::create_directory(strDisk);
    if (::mount("vantrel-test", strDisk.c_str(), "tmpfs", 0, "size=384k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    struct CUnmount {
        std::string strDisk;
        ~CUnmount() { ::umount2(strDisk.c_str(), MNT_DETACH); }
    } unmount{strDisk};
    const std::string strPath = strDisk + "/Vantrel.dat.history";
    ASSERT_EQ(m_store.Open(strPath), CHistoryStore::EOpen::CREATED) << m_store.GetLastError();
    const int64_t nId = m_store.Attach({{"A", "u"}})[0];
    {
        std::ofstream filler(strDisk + "/filler", std::ios::binary);
        filler << std::string(64 * 1024, 'x');
    }
    size_t nKept = 0;
    bool bFull = false;
    for (int nCycle = 0; nCycle < 2000 && !bFull; ++nCycle) {
        std::vector<CTestRecord> arrTests;
        for (int i = 0; i < 20; ++i) {
            arrTests.push_back(MakeTest(nId, nCycle * 20 + i, false));
            arrTests.back().strReason = "TLS failure: " + std::string(100, 'r');
        }
        if (m_store.WriteCycle(arrTests))
            nKept += arrTests.size();
        else
            bFull = true;
    }
    ASSERT_TRUE(bFull);
    EXPECT_EQ(m_store.GetLastError(),
              "Cannot write the test history " + strPath + ": the disk is full");
    EXPECT_EQ(m_store.Tests(nId, 0, INT64_MAX).size(), nKept);
    std::filesystem::remove(strDisk + "/filler");
    EXPECT_TRUE(m_store.WriteCycle({MakeTest(nId, 1000000, true)})) << m_store.GetLastError();
    EXPECT_EQ(m_store.Tests(nId, 0, INT64_MAX).size(), nKept + 1);
    EXPECT_EQ(m_store.CheckIntegrity(), "ok");
    m_store.Close();
    ASSERT_EQ(::mount(nullptr, strDisk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    // Its shared memory cannot be made there: the tests go on without a history.
    EXPECT_EQ(m_store.Open(strPath), CHistoryStore::EOpen::FAILED);
    EXPECT_EQ(m_store.GetLastError(),
              "Cannot open the test history " + strPath + ": the disk is read-only");
}

// Outages overlapping a range come whole, from before it and to after it; one still going on
// has no end.
TEST_F(HistoryStoreTest, OutagesOverlappingARangeComeWhole) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    const std::vector<int64_t> arrIds = m_store.Attach({{"A", "a"}, {"B", "b"}});
    const int64_t b = ::time(nullptr) - 3000;
    std::vector<CTestRecord> arrTests;
    for (const char* pszTest :
         {"U100", "D300", "D600", "U900", "U1200", "D1500", "U1800", "D2100", "D2400", "D2700"}) {
        arrTests.push_back(MakeTest(arrIds[0], b + std::stoll(pszTest + 1), pszTest[0] == 'U'));
        arrTests.back().strReason = arrTests.back().bUp ? "" : std::string("r") + (pszTest + 1);
        // The other host's tests stay out of it.
        arrTests.push_back(MakeTest(arrIds[1], b + std::stoll(pszTest + 1), pszTest[0] != 'U'));
    }
    ASSERT_TRUE(m_store.WriteCycle(arrTests));
    const struct {
        int64_t tFrom, tTo;
        const char* pszExpected;
    } cases[] = {
        {400, 500, "300-900 up100 n2 r300"},
        {900, 1500, ""},
        {899, 1501, "300-900 up100 n2 r300 | 1500-1800 up1200 n1 r1500"},
        {1000, 100000, "1500-1800 up1200 n1 r1500 | 2100-0 up1800 n3 r2100"},
        {-100000, 100000,
         "300-900 up100 n2 r300 | 1500-1800 up1200 n1 r1500 | 2100-0 up1800 n3 r2100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tFrom);
        std::string strGot;
        for (const COutage& o : m_store.Outages(arrIds[0], b + c.tFrom, b + c.tTo))
            strGot += (strGot.empty() ? "" : " | ") + std::to_string(o.tStart - b) + "-" +
                      std::to_string(o.tEnd ? o.tEnd - b : 0) + " up" +
                      std::to_string(o.tLastSeenUp ? o.tLastSeenUp - b : 0) + " n" +
                      std::to_string(o.nTests) + " " + o.strReason;
        EXPECT_EQ(strGot, c.pszExpected);
    }
}
