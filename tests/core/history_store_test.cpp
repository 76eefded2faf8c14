#include "core/history_store.h"

#include "core/test_files.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

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
    ASSERT_TRUE(m_store.WriteCycle({down}));
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
    EXPECT_EQ(CountRows(m_strPath, "SELECT count(*) FROM tests"), 3);
    EXPECT_EQ(CountRows(m_strPath, "PRAGMA user_version"), 1);
    EXPECT_EQ(m_store.CheckIntegrity(), "ok");
    CHistoryStore reader;
    ASSERT_EQ(reader.OpenForReading(m_strPath), CHistoryStore::EOpen::OK);
    EXPECT_EQ(Describe(reader.Tests(arrIds[1], 0, INT64_MAX)), strExpected);
    EXPECT_EQ(reader.OpenForReading(m_dir / "none"), CHistoryStore::EOpen::FAILED);
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
