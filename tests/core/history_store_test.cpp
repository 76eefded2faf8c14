#include "core/history_store.h"
#include "core/outages.h"
#include "core/test_files.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sstream>

namespace {

CTestRecord MakeTest(int64_t nHostId, int64_t tWhen, bool bUp) {
    CTestRecord test;
    test.nHostId = nHostId, test.tWhen = tWhen, test.bUp = bUp;
    return test;
}

// "U100 D400 D700" -> tests; a down test's reason is "r" and its time.
std::vector<CTestRecord> Parse(const std::string& strTests) {
    std::vector<CTestRecord> arrTests;
    std::istringstream in(strTests);
    std::string strItem;
    while (in >> strItem) {
        arrTests.push_back(MakeTest(0, std::stoll(strItem.substr(1)), strItem[0] == 'U'));
        if (strItem[0] == 'D')
            arrTests.back().strReason = "r" + strItem.substr(1);
    }
    return arrTests;
}

// "start-end last-seen-up n reason", "?" after an end the tests broke off at, "|" between.
std::string Describe(const std::vector<COutage>& arrOutages) {
    std::string str;
    for (const COutage& o : arrOutages)
        str += (str.empty() ? "" : " | ") + std::to_string(o.tStart) + "-" +
               std::to_string(o.tEnd) + (o.bEndUnknown ? "?" : "") + " up" +
               std::to_string(o.tLastSeenUp) + " n" + std::to_string(o.nTests) + " " + o.strReason;
    return str;
}

// Every field, so that a column mixed up with another shows.
std::string Describe(const std::vector<CTestRecord>& arrTests) {
    std::string str;
    for (const CTestRecord& t : arrTests) {
        for (int64_t n : {t.nHostId, t.tWhen, int64_t{t.bUp}, int64_t{t.nPingTenths},
                          int64_t{t.nMethod}, int64_t{t.nFamily}, int64_t{t.nEchoesSent},
                          int64_t{t.nEchoesAnswered}, int64_t{t.nHttpStatus}, int64_t{t.nDnsTenths},
                          int64_t{t.nConnectTenths}, int64_t{t.nTlsTenths},
                          int64_t{t.nFirstByteTenths}, int64_t{t.nTotalTenths}, t.tCertExpiry})
            str += std::to_string(n) + " ";
        str += "[" + t.strReason + "]\n";
    }
    return str;
}

// Runs pszSql on the database at strPath (made if need be): its first value, or -1.
int64_t Sql(const std::string& strPath, const char* pszSql) {
    sqlite3* pDb = nullptr;
    sqlite3_open(strPath.c_str(), &pDb);
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

// Every field reads back, owner-only; then pruning.
TEST_F(HistoryStoreTest, TestsReadBackWithEveryFieldOwnerOnlyAndArePruned) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED) << m_store.GetLastError();
    // Write-ahead logging: readers and the worker's writes never wait for each other.
    for (const std::string& strFile : {m_strPath, m_strPath + "-wal"})
        EXPECT_EQ(std::filesystem::status(strFile).permissions(), std::filesystem::perms(0600));
    const std::vector<int64_t> arrIds = m_store.Attach({{"A", "http://a/"}, {"B", "http://b/"}});
    const int64_t a = arrIds.at(0), b = arrIds.at(1);
    CTestRecord full{b,   1700000000, true, "answers 404: check the test URL",
                     123, 1,          10,   4,
                     3,   404,        11,   22,
                     33,  44,         55,   1800000000};
    CTestRecord down = MakeTest(b, 1700000300, false);
    down.strReason = "TLS failure: certificate has expired \xe9";
    // A test of a host the history does not know is dropped.
    ASSERT_TRUE(m_store.WriteCycle({full, MakeTest(a, 1700000000, true), MakeTest(99, 17, true)}));
    // A second test of A in the same second (the clock set back) is kept beside the first.
    ASSERT_TRUE(m_store.WriteCycle({down, MakeTest(a, 1700000000, false)}));
    const std::string strB = std::to_string(b), strA = std::to_string(a);
    const std::string strFull =
        strB + " 1700000000 1 123 1 10 4 3 404 11 22 33 44 55 1800000000 [answers 404: check the "
               "test URL]\n";
    const std::string strExpected =
        strFull + strB +
        " 1700000300 0 -1 0 0 0 0 0 -1 -1 -1 -1 -1 0 [TLS failure: certificate has expired \xe9]\n";
    EXPECT_EQ(Describe(m_store.Tests(b, 0, INT64_MAX)), strExpected);
    EXPECT_EQ(Describe(m_store.Tests(b, 1700000000, 1700000300)), strFull); // [from, to)
    m_store.Close();
    ASSERT_EQ(m_store.OpenExisting(m_strPath), CHistoryStore::EOpen::OK);
    EXPECT_EQ(Describe(m_store.Tests(b, 0, INT64_MAX)), strExpected);
    EXPECT_EQ(Describe(m_store.Tests(a, 0, INT64_MAX)),
              strA + " 1700000000 1 -1 0 0 0 0 0 -1 -1 -1 -1 -1 0 []\n" + strA +
                  " 1700000000 0 -1 0 0 0 0 0 -1 -1 -1 -1 -1 0 []\n");
    EXPECT_EQ(Sql(m_strPath, "PRAGMA user_version"), 1);

    // Tests older than the days kept go, at most once a day; a clock set back prunes at once.
    const int64_t tNow = 1700000000, nDay = 86400;
    std::vector<CTestRecord> arrTests;
    for (int64_t nAgo : {500 * nDay, 400 * nDay + 1, 400 * nDay, 399 * nDay, nDay})
        for (int64_t nId : arrIds)
            arrTests.push_back(MakeTest(nId, tNow - nAgo, true));
    ASSERT_TRUE(m_store.WriteCycle(arrTests));
    const std::tuple<int64_t, int, bool, int64_t> steps[] = {
        // now, days kept, pruned, tests left
        {tNow, 400, true, 10},            // 400 days and 1 s ago goes, 400 days stays
        {tNow + nDay - 1, 1, false, 10},  // within a day of the last pruning
        {tNow + nDay, 400, true, 8},      // a day later
        {tNow + nDay - 3600, 1, true, 4}, // the clock set back
        {tNow + nDay - 3600 + 10, 1, false, 4},
    };
    for (const auto& [tAt, nDays, bPruned, nLeft] : steps) {
        EXPECT_EQ(m_store.Prune(tAt, nDays), bPruned) << tAt - tNow;
        EXPECT_EQ(Sql(m_strPath, "SELECT count(*) FROM tests"), nLeft) << tAt - tNow;
    }
}

// A host keeps its id through edits of its name or URL (one at a time) and moves in the list.
TEST_F(HistoryStoreTest, HostsKeepTheirHistoryThroughEditsAndMoves) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    const std::vector<int64_t> arrIds =
        m_store.Attach({{"A", "http://a/"}, {"B", "http://b/"}, {"C", "http://c/"}});
    const int64_t a = arrIds[0], b = arrIds[1], c = arrIds[2];
    EXPECT_TRUE(a > 0 && b > a && c > b);
    // Each row: the list as loaded, and the ids it must get (0: a new one, all different).
    using CKeys = std::vector<CHistoryStore::CHostKey>;
    const std::pair<CKeys, std::vector<int64_t>> cases[] = {
        {{{"C", "http://c/"}, {"A", "http://a/"}, {"B", "http://b/"}}, {c, a, b}},   // moved
        {{{"A", "http://a/x"}, {"B", "http://b/"}, {"C", "http://c/"}}, {a, b, c}},  // URL edited
        {{{"A", "http://a/x"}, {"B2", "http://b/"}, {"C", "http://c/"}}, {a, b, c}}, // name edited
        // B2 now holds C's URL and C holds B's: the names decide.
        {{{"B2", "http://c/"}, {"C", "http://b/"}, {"A", "http://a/x"}}, {b, c, a}},
        // A new host named like A, before A: A keeps its history.
        {{{"A", "http://new/"}, {"A", "http://a/x"}}, {0, a}},
        {{{"Z", "http://z/"}, {"A", "http://a/x"}}, {0, a}},  // both changed
        {{{"A", "http://a/x"}, {"A", "http://a/x"}}, {a, 0}}, // twins
    };
    for (const auto& [arrHosts, arrExpected] : cases) {
        const std::vector<int64_t> arrGot = m_store.Attach(arrHosts);
        ASSERT_EQ(arrGot.size(), arrExpected.size());
        for (size_t i = 0; i < arrGot.size(); ++i)
            EXPECT_TRUE(arrExpected[i]
                            ? arrGot[i] == arrExpected[i]
                            : arrGot[i] > c && std::ranges::count(arrGot, arrGot[i]) == 1)
                << arrHosts[0].strName << " " << i << ": " << arrGot[i];
    }
    // Find matches as Attach does and writes nothing: asked twice, nobody is still unknown.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(m_store.Find({{"nobody", "http://nowhere/"}, {"C", "http://other/"}}),
                  (std::vector<int64_t>{0, c}));
}

// What SQLite cannot use is kept aside, numbered, with its log; what it cannot open it leaves.
TEST_F(HistoryStoreTest, DamagedDatabaseIsMovedAsideAndANewOneStarted) {
    ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::CREATED);
    std::vector<CTestRecord> arrTests;
    const int64_t nId = m_store.Attach({{"A", "u"}})[0];
    for (int i = 0; i < 2000; ++i)
        arrTests.push_back(MakeTest(nId, i, true));
    ASSERT_TRUE(m_store.WriteCycle(arrTests));
    m_store.Close();
    const std::string strGood = ReadFileBytes(m_strPath);
    ASSERT_GT(strGood.size(), 16384u);
    std::string strBadPage = strGood;
    std::fill(strBadPage.begin() + 8192, strBadPage.begin() + 12288, '\xa5');
    const std::string arrCases[] = {"Vantrel hosts, not a database\n", strGood.substr(0, 4096),
                                    strBadPage};
    for (size_t i = 0; i < std::size(arrCases); ++i) {
        SCOPED_TRACE(i);
        std::filesystem::remove(m_strPath);
        WriteFileBytes(m_strPath, arrCases[i]);
        if (i == 0) // its write-ahead log goes with it, never into the new database
            WriteFileBytes(m_strPath + "-wal", "log");
        ASSERT_EQ(m_store.Open(m_strPath), CHistoryStore::EOpen::MOVED) << m_store.GetLastError();
        const std::string strAside = m_strPath + ".damaged" + (i ? "." + std::to_string(i) : "");
        EXPECT_EQ(m_store.GetMovedTo(), strAside);
        EXPECT_EQ(ReadFileBytes(strAside), arrCases[i]);
        EXPECT_TRUE(m_store.Tests(nId, 0, INT64_MAX).empty());
        EXPECT_EQ(m_store.CheckIntegrity(), "ok");
        m_store.Close();
    }
    EXPECT_EQ(ReadFileBytes(m_strPath + ".damaged-wal"), "log");
    // SQLite made a log for the two copies of a database in that mode; it went with them.
    EXPECT_EQ(
        m_dir.Names(),
        (std::vector<std::string>{
            "Vantrel.dat.history", "Vantrel.dat.history.damaged", "Vantrel.dat.history.damaged-wal",
            "Vantrel.dat.history.damaged.1", "Vantrel.dat.history.damaged.1-wal",
            "Vantrel.dat.history.damaged.2", "Vantrel.dat.history.damaged.2-wal"}));
    // A database of a newer Vantrel or a folder is not ours to replace.
    Sql(m_strPath, "PRAGMA user_version = 2");
    const std::pair<std::string, std::string> arrRefused[] = {
        {m_strPath, "a newer version of Vantrel wrote it, and it is left as it is"},
        {m_dir.Path(), "the path names a folder"}};
    for (const auto& [strPath, strReason] : arrRefused) {
        EXPECT_EQ(m_store.Open(strPath), CHistoryStore::EOpen::FAILED);
        EXPECT_EQ(m_store.GetLastError(),
                  "Cannot open the test history " + strPath + ": " + strReason);
        EXPECT_FALSE(m_store.IsOpen());
    }
}

TEST(OutageBuilderTest, DownRunsGapsRestartsStopsAndClockChanges) {
    // Tests every 300 s unless a row says otherwise; then the time of the build and the outages.
    const std::tuple<const char*, int64_t, const char*> cases[] = {
        {"U1000 U1300 U1600", 1700, ""},
        {"U1000 D1300 D1600 D1900 U2200 U2500", 2600, "1300-2200 up1000 n3 r1300"},
        {"U1000 D1300 U1600 D1900 U2200", 2300,
         "1300-1600 up1000 n1 r1300 | 1900-2200 up1600 n1 r1900"},
        {"D1000 D1300 U1600", 1700, "1000-1600 up0 n2 r1000"},
        {"U1000 D1300 D1600", 5200, "1300-0 up1000 n2 r1300"},
        // The program was closed or the host's tests stopped while it was down.
        {"U1000 D1300 D1600", 5201, "1300-1600? up1000 n2 r1300"},
        {"U1000 D1300 D1600 U9000", 9100, "1300-1600? up1000 n2 r1300"},
        {"U1000 D1300 D1600 D9000 U9300", 9400,
         "1300-1600? up1000 n2 r1300 | 9000-9300 up1000 n1 r9000"},
        {"U1000 U1300 D9000 U9300", 9400, "9000-9300 up1300 n1 r9000"},
        // A restart of the program within the hour goes on with the same outage.
        {"U1000 D1300 D1600 D4600 U4900", 5000, "1300-4900 up1000 n3 r1300"},
        // Hourly tests: a gap is only a break beyond three hours.
        {"U100 D3700 D7300 D18100 U21700", 21800, "3700-21700 up100 n3 r3700"},
        {"U100 D3700 D7300 D18101 U21701", 21800,
         "3700-7300? up100 n2 r3700 | 18101-21701 up100 n1 r18101"},
        // The clock set back: an outage ends at its last down test; no up test before counts.
        {"U1000 D1300 D1600 D1100 U1400 D1700 U2000", 2100,
         "1300-1600? up1000 n2 r1300 | 1100-1400 up0 n1 r1100 | 1700-2000 up1400 n1 r1700"},
        {"U1000 U1300 U400 D700 U1000", 1100, "700-1000 up400 n1 r700"},
        {"U1000 D1300 D1300 U1300", 1400, "1300-1300 up1000 n2 r1300"},
        {"", 0, ""},
    };
    for (const auto& [pszTests, tNow, pszExpected] : cases)
        EXPECT_EQ(Describe(COutageBuilder::Build(Parse(pszTests), tNow)), pszExpected) << pszTests;
}
