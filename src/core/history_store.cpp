#include "core/history_store.h"

#include "core/atomic_file.h"
#include "core/outages.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// PRAGMA user_version of the layout below; a newer one is left alone.
constexpr int SCHEMA_VERSION = 1;

constexpr const char* SCHEMA =
    "CREATE TABLE hosts(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL,"
    " test_url TEXT NOT NULL);"
    // Kept in the order of (host, time): a host's tests lie together on the disk, so that
    // reading one host's year touches its pages only. seq tells tests of the same second
    // apart (a clock set back), in the order they were written.
    "CREATE TABLE tests(host_id INTEGER NOT NULL, time INTEGER NOT NULL, seq INTEGER NOT NULL,"
    " up INTEGER NOT NULL, reason TEXT, ping INTEGER, method INTEGER, family INTEGER,"
    " echoes_sent INTEGER, echoes_answered INTEGER, http_status INTEGER, dns INTEGER,"
    " connect INTEGER, tls INTEGER, first_byte INTEGER, total INTEGER, cert_expiry INTEGER,"
    " PRIMARY KEY(host_id, time, seq)) WITHOUT ROWID;"
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;"
    "PRAGMA user_version = 1;";

constexpr const char* TEST_COLUMNS =
    "host_id, time, up, reason, ping, method, family, echoes_sent, echoes_answered, "
    "http_status, dns, connect, tls, first_byte, total, cert_expiry";

constexpr int64_t SECONDS_PER_DAY = 86400;

// One prepared statement, finalized with its scope.
class CStatement {
public:
    CStatement(sqlite3* pDb, const std::string& strSql) {
        m_nPrepare = sqlite3_prepare_v2(pDb, strSql.c_str(), -1, &m_pStmt, nullptr);
    }
    ~CStatement() { sqlite3_finalize(m_pStmt); }
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    int Prepared() const { return m_nPrepare; }
    CStatement& Bind(int nIndex, int64_t nValue) {
        sqlite3_bind_int64(m_pStmt, nIndex, nValue);
        return *this;
    }
    CStatement& Bind(int nIndex, const std::string& str) {
        sqlite3_bind_text(m_pStmt, nIndex, str.data(), static_cast<int>(str.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or the error.
    int Step() { return m_pStmt ? sqlite3_step(m_pStmt) : m_nPrepare; }
    void Reset() { sqlite3_reset(m_pStmt); }
    int64_t Int(int nColumn) const { return sqlite3_column_int64(m_pStmt, nColumn); }
    std::string Text(int nColumn) const {
        const auto* p = sqlite3_column_text(m_pStmt, nColumn);
        return p ? std::string(reinterpret_cast<const char*>(p),
                               static_cast<size_t>(sqlite3_column_bytes(m_pStmt, nColumn)))
                 : std::string();
    }

private:
    sqlite3_stmt* m_pStmt = nullptr;
    int m_nPrepare = SQLITE_OK;
};

bool IsDamage(int nResult) {
    return (nResult & 0xff) == SQLITE_NOTADB || (nResult & 0xff) == SQLITE_CORRUPT;
}

// A row of TEST_COLUMNS.
CTestRecord ReadTest(const CStatement& stmt) {
    CTestRecord test;
    test.nHostId = stmt.Int(0);
    test.tWhen = stmt.Int(1);
    test.bUp = stmt.Int(2) != 0;
    test.strReason = stmt.Text(3);
    test.nPingTenths = static_cast<int32_t>(stmt.Int(4));
    test.nMethod = static_cast<int>(stmt.Int(5));
    test.nFamily = static_cast<int>(stmt.Int(6));
    test.nEchoesSent = static_cast<int>(stmt.Int(7));
    test.nEchoesAnswered = static_cast<int>(stmt.Int(8));
    test.nHttpStatus = static_cast<int>(stmt.Int(9));
    test.nDnsTenths = static_cast<int32_t>(stmt.Int(10));
    test.nConnectTenths = static_cast<int32_t>(stmt.Int(11));
    test.nTlsTenths = static_cast<int32_t>(stmt.Int(12));
    test.nFirstByteTenths = static_cast<int32_t>(stmt.Int(13));
    test.nTotalTenths = static_cast<int32_t>(stmt.Int(14));
    test.tCertExpiry = stmt.Int(15);
    return test;
}

} // namespace

std::string CHistoryStore::PathFor(const std::string& strDataPath) {
    return strDataPath + ".history";
}

CHistoryStore::~CHistoryStore() {
    Close();
}

void CHistoryStore::Close() {
    if (m_pDb)
        sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
}

std::string CHistoryStore::Describe(int nResult) const {
    const int nErrno = m_pDb ? sqlite3_system_errno(m_pDb) : 0;
    // SQLite falls back to reading a file it may not write, or fails to make its shared-memory
    // file beside it, without saying that the disk is read-only.
    struct statvfs vfs;
    const bool bReadOnlyDisk = nErrno == EROFS || (::statvfs(m_strPath.c_str(), &vfs) == 0 &&
                                                   (vfs.f_flag & ST_RDONLY) != 0);
    switch (nResult & 0xff) {
    case SQLITE_FULL:
        return CAtomicFile::DescribeErrno(ENOSPC);
    case SQLITE_READONLY:
        return CAtomicFile::DescribeErrno(bReadOnlyDisk ? EROFS : EACCES);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return "it is damaged";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "another program keeps it locked";
    default:
        if (bReadOnlyDisk)
            return CAtomicFile::DescribeErrno(EROFS);
        if (nErrno != 0)
            return CAtomicFile::DescribeErrno(nErrno);
        return m_pDb ? sqlite3_errmsg(m_pDb) : sqlite3_errstr(nResult);
    }
}

bool CHistoryStore::Fail(const std::string& strWhat, int nResult) {
    m_strLastError = strWhat + " the test history " + m_strPath + ": " + Describe(nResult);
    return false;
}

int CHistoryStore::Exec(const char* pszSql) {
    return sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, nullptr);
}

CHistoryStore::ECheck CHistoryStore::OpenChecked(const std::string& strTarget, bool bCheck) {
    int nResult = sqlite3_open_v2(strTarget.c_str(), &m_pDb,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (nResult != SQLITE_OK) {
        Fail("Cannot open", nResult);
        Close();
        return CHECK_FAILED;
    }
    sqlite3_extended_result_codes(m_pDb, 1);
    // The worker's writes and a reader's queries meet only briefly.
    sqlite3_busy_timeout(m_pDb, 5000);
    // The first value of a query; the statement is finished at once, since one left open holds
    // a read transaction that keeps the journal mode from changing.
    const auto fnQuery = [&](const char* pszSql, std::string& strValue) {
        CStatement stmt(m_pDb, pszSql);
        const int nStep = stmt.Step();
        if (nStep == SQLITE_ROW)
            strValue = stmt.Text(0);
        return nStep;
    };
    std::string strValue;
    if (bCheck) {
        nResult = fnQuery("PRAGMA quick_check", strValue);
        if (IsDamage(nResult) || (nResult == SQLITE_ROW && strValue != "ok"))
            return CHECK_DAMAGED;
        if (nResult != SQLITE_ROW)
            return Fail("Cannot open", nResult), CHECK_FAILED;
    }
    nResult = fnQuery("PRAGMA user_version", strValue);
    if (IsDamage(nResult))
        return CHECK_DAMAGED;
    if (nResult != SQLITE_ROW)
        return Fail("Cannot open", nResult), CHECK_FAILED;
    const int64_t nVersion = std::stoll(strValue);
    if (nVersion > SCHEMA_VERSION) {
        m_strLastError = "Cannot open the test history " + m_strPath +
                         ": a newer version of Vantrel wrote it, and it is left as it is";
        return CHECK_FAILED;
    }
    if (nVersion == 0) {
        nResult = fnQuery("SELECT count(*) FROM sqlite_master", strValue);
        if (nResult != SQLITE_ROW)
            return IsDamage(nResult) ? CHECK_DAMAGED : (Fail("Cannot open", nResult), CHECK_FAILED);
        // Another program's database is not ours to add to.
        if (strValue != "0")
            return CHECK_DAMAGED;
        if (!bCheck) {
            m_strLastError = "Cannot open the test history " + m_strPath + ": it holds no tests";
            return CHECK_FAILED;
        }
        // A reader never waits for the worker's writes, nor they for it.
        nResult = fnQuery("PRAGMA journal_mode = WAL", strValue);
        if (nResult != SQLITE_ROW || strValue != "wal")
            return Fail("Cannot create", nResult == SQLITE_ROW ? SQLITE_CANTOPEN : nResult),
                   CHECK_FAILED;
        nResult = Exec("BEGIN IMMEDIATE");
        if (nResult == SQLITE_OK)
            nResult = Exec(SCHEMA);
        if (nResult == SQLITE_OK)
            nResult = Exec("COMMIT");
        if (nResult != SQLITE_OK) {
            Exec("ROLLBACK");
            return Fail("Cannot create", nResult), CHECK_FAILED;
        }
        Exec("PRAGMA synchronous = NORMAL");
        return CHECK_NEW;
    }
    // Committed cycles survive a crash of the program; a power cut may lose the last few.
    Exec("PRAGMA synchronous = NORMAL");
    return CHECK_OK;
}

CHistoryStore::EOpen CHistoryStore::Open(const std::string& strPath) {
    Close();
    m_strMovedTo.clear();
    m_strLastError.clear();
    m_strPath = strPath;
    std::string strTarget;
    std::string strReason;
    if (!CAtomicFile::ResolveRegular(strPath, strTarget, strReason)) {
        m_strLastError = "Cannot open the test history " + strPath + ": " + strReason;
        return EOpen::FAILED;
    }
    bool bMoved = false;
    for (int nTry = 0; nTry < 2; ++nTry) {
        // Created owner-only: the hosts' test URLs may hold passwords. SQLite gives its
        // journal files the same permissions.
        const int nFd =
            ::open(strTarget.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (nFd < 0 && errno != EEXIST) {
            m_strLastError = "Cannot create the test history " + strPath + ": " +
                             CAtomicFile::DescribeErrno(errno);
            return EOpen::FAILED;
        }
        if (nFd >= 0)
            ::close(nFd);
        switch (OpenChecked(strTarget, true)) {
        case CHECK_OK:
            return EOpen::OK;
        case CHECK_NEW:
            return bMoved ? EOpen::MOVED : EOpen::CREATED;
        case CHECK_FAILED:
            Close();
            return EOpen::FAILED;
        case CHECK_DAMAGED:
            break;
        }
        if (bMoved) {
            Close();
            break;
        }
        // Kept for whoever wants to look into it. Its write-ahead log goes with it, before
        // the connection closes (SQLite would remove it) and since it would be replayed into
        // the new database otherwise.
        const std::string strDamaged = CAtomicFile::GetFreeDamagedName(strTarget);
        if (::rename(strTarget.c_str(), strDamaged.c_str()) != 0) {
            m_strLastError = "Cannot move the damaged test history " + strPath +
                             " aside: " + CAtomicFile::DescribeErrno(errno);
            Close();
            return EOpen::FAILED;
        }
        ::rename((strTarget + "-wal").c_str(), (strDamaged + "-wal").c_str());
        Close();
        ::unlink((strTarget + "-shm").c_str());
        m_strMovedTo = strDamaged;
        bMoved = true;
    }
    m_strLastError = "Cannot open the test history " + strPath + ": it is damaged";
    return EOpen::FAILED;
}

CHistoryStore::EOpen CHistoryStore::OpenExisting(const std::string& strPath) {
    Close();
    m_strLastError.clear();
    m_strPath = strPath;
    std::string strTarget;
    std::string strReason;
    struct stat st;
    if (!CAtomicFile::ResolveRegular(strPath, strTarget, strReason)) {
        m_strLastError = "Cannot open the test history " + strPath + ": " + strReason;
        return EOpen::FAILED;
    }
    if (::stat(strTarget.c_str(), &st) != 0) {
        m_strLastError =
            "Cannot open the test history " + strPath + ": " + CAtomicFile::DescribeErrno(errno);
        return EOpen::FAILED;
    }
    const ECheck eCheck = OpenChecked(strTarget, false);
    if (eCheck == CHECK_OK)
        return EOpen::OK;
    if (eCheck == CHECK_DAMAGED)
        m_strLastError = "Cannot open the test history " + strPath + ": it is damaged";
    Close();
    return EOpen::FAILED;
}

bool CHistoryStore::InTransaction(const char* pszWhat, const std::function<int()>& fnWork) {
    if (!m_pDb) {
        m_strLastError = "The test history is not open";
        return false;
    }
    int nResult = Exec("BEGIN IMMEDIATE");
    if (nResult == SQLITE_OK)
        nResult = fnWork();
    if (nResult == SQLITE_OK)
        nResult = Exec("COMMIT");
    if (nResult == SQLITE_OK)
        return true;
    Fail(pszWhat, nResult);
    if (!sqlite3_get_autocommit(m_pDb))
        Exec("ROLLBACK");
    return false;
}

int CHistoryStore::MatchHosts(const std::vector<CHostKey>& arrHosts, std::vector<int64_t>& arrIds,
                              std::vector<bool>& arrPartial) {
    arrIds.assign(arrHosts.size(), 0);
    arrPartial.assign(arrHosts.size(), false);
    struct CRow {
        int64_t nId;
        CHostKey key;
        bool bGiven = false;
    };
    std::vector<CRow> arrRows;
    CStatement select(m_pDb, "SELECT id, name, test_url FROM hosts ORDER BY id");
    int nResult;
    while ((nResult = select.Step()) == SQLITE_ROW)
        arrRows.push_back({select.Int(0), {select.Text(1), select.Text(2)}});
    if (nResult != SQLITE_DONE)
        return nResult;
    // Exact matches first, so that a host matching only by name never takes the id of
    // another host that matches exactly.
    const auto fnMatch = [&](bool bName, bool bURL) {
        for (size_t i = 0; i < arrHosts.size(); ++i) {
            for (CRow& row : arrRows) {
                if (arrIds[i] != 0 || row.bGiven ||
                    (bName && row.key.strName != arrHosts[i].strName) ||
                    (bURL && row.key.strTestURL != arrHosts[i].strTestURL))
                    continue;
                arrIds[i] = row.nId;
                row.bGiven = true;
                arrPartial[i] = !bName || !bURL;
                break;
            }
        }
    };
    fnMatch(true, true);
    fnMatch(true, false);
    fnMatch(false, true);
    return SQLITE_OK;
}

std::vector<int64_t> CHistoryStore::Attach(const std::vector<CHostKey>& arrHosts) {
    std::vector<int64_t> arrIds;
    std::vector<bool> arrPartial;
    const bool bOk = InTransaction("Cannot write", [&] {
        int nResult = MatchHosts(arrHosts, arrIds, arrPartial);
        if (nResult != SQLITE_OK)
            return nResult;
        // A partial match takes the host's new name or URL; a host without one gets an id.
        CStatement update(m_pDb, "UPDATE hosts SET name = ?, test_url = ? WHERE id = ?");
        CStatement insert(m_pDb, "INSERT INTO hosts(name, test_url) VALUES(?, ?)");
        for (size_t i = 0; i < arrHosts.size(); ++i) {
            if (arrIds[i] != 0 && !arrPartial[i])
                continue;
            CStatement& stmt = arrIds[i] != 0 ? update : insert;
            stmt.Bind(1, arrHosts[i].strName).Bind(2, arrHosts[i].strTestURL);
            if (arrIds[i] != 0)
                stmt.Bind(3, arrIds[i]);
            if ((nResult = stmt.Step()) != SQLITE_DONE)
                return nResult;
            stmt.Reset();
            if (arrIds[i] == 0)
                arrIds[i] = sqlite3_last_insert_rowid(m_pDb);
        }
        return SQLITE_OK;
    });
    if (!bOk)
        arrIds.assign(arrHosts.size(), 0);
    return arrIds;
}

std::vector<int64_t> CHistoryStore::Find(const std::vector<CHostKey>& arrHosts) {
    std::vector<int64_t> arrIds(arrHosts.size(), 0);
    std::vector<bool> arrPartial;
    if (m_pDb) {
        if (const int nResult = MatchHosts(arrHosts, arrIds, arrPartial); nResult != SQLITE_OK) {
            Fail("Cannot read", nResult);
            arrIds.assign(arrHosts.size(), 0);
        }
    }
    return arrIds;
}

bool CHistoryStore::RemoveOtherHosts(const std::vector<int64_t>& arrKeep) {
    return InTransaction("Cannot write", [&] {
        std::vector<int64_t> arrGone;
        CStatement select(m_pDb, "SELECT id FROM hosts");
        int nResult;
        while ((nResult = select.Step()) == SQLITE_ROW)
            if (std::find(arrKeep.begin(), arrKeep.end(), select.Int(0)) == arrKeep.end())
                arrGone.push_back(select.Int(0));
        if (nResult != SQLITE_DONE)
            return nResult;
        for (int64_t nId : arrGone)
            if ((nResult = RemoveHostRows(nId)) != SQLITE_OK)
                return nResult;
        return SQLITE_OK;
    });
}

bool CHistoryStore::UpdateHost(int64_t nHostId, const CHostKey& key) {
    return InTransaction("Cannot write", [&] {
        CStatement update(m_pDb, "UPDATE hosts SET name = ?, test_url = ? WHERE id = ?");
        const int nResult =
            update.Bind(1, key.strName).Bind(2, key.strTestURL).Bind(3, nHostId).Step();
        return nResult == SQLITE_DONE ? SQLITE_OK : nResult;
    });
}

int CHistoryStore::RemoveHostRows(int64_t nHostId) {
    for (const char* pszSql :
         {"DELETE FROM tests WHERE host_id = ?", "DELETE FROM hosts WHERE id = ?"}) {
        CStatement remove(m_pDb, pszSql);
        const int nResult = remove.Bind(1, nHostId).Step();
        if (nResult != SQLITE_DONE)
            return nResult;
    }
    return SQLITE_OK;
}

bool CHistoryStore::RemoveHost(int64_t nHostId) {
    return InTransaction("Cannot write", [&] { return RemoveHostRows(nHostId); });
}

bool CHistoryStore::WriteCycle(const std::vector<CTestRecord>& arrTests) {
    return InTransaction("Cannot write", [&] {
        // A test of a host removed meanwhile is dropped, never kept without its host.
        CStatement insert(m_pDb, std::string("INSERT INTO tests(seq, ") + TEST_COLUMNS +
                                     ") SELECT (SELECT count(*) FROM tests WHERE host_id = ?1 "
                                     "AND time = ?2), ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
                                     "?11, ?12, ?13, ?14, ?15, ?16 WHERE EXISTS (SELECT 1 FROM "
                                     "hosts WHERE id = ?1)");
        for (const CTestRecord& test : arrTests) {
            insert.Bind(1, test.nHostId).Bind(2, test.tWhen).Bind(3, test.bUp ? 1 : 0);
            insert.Bind(4, test.strReason)
                .Bind(5, test.nPingTenths)
                .Bind(6, test.nMethod)
                .Bind(7, test.nFamily)
                .Bind(8, test.nEchoesSent)
                .Bind(9, test.nEchoesAnswered)
                .Bind(10, test.nHttpStatus)
                .Bind(11, test.nDnsTenths)
                .Bind(12, test.nConnectTenths)
                .Bind(13, test.nTlsTenths)
                .Bind(14, test.nFirstByteTenths)
                .Bind(15, test.nTotalTenths)
                .Bind(16, test.tCertExpiry);
            const int nResult = insert.Step();
            if (nResult != SQLITE_DONE)
                return nResult;
            insert.Reset();
        }
        return SQLITE_OK;
    });
}

bool CHistoryStore::Prune(int64_t tNow, int nKeepDays) {
    bool bPruned = false;
    const bool bOk = InTransaction("Cannot write", [&] {
        CStatement last(m_pDb, "SELECT value FROM meta WHERE key = 'last_prune'");
        int nResult = last.Step();
        if (nResult == SQLITE_ROW) {
            const int64_t tLast = last.Int(0);
            // A clock set back does not hold pruning off until it catches up.
            if (tLast <= tNow && tNow - tLast < SECONDS_PER_DAY)
                return SQLITE_OK;
        } else if (nResult != SQLITE_DONE) {
            return nResult;
        }
        // Host by host along the key, rather than through the whole table.
        CStatement prune(m_pDb, "DELETE FROM tests WHERE host_id IN (SELECT id FROM hosts) "
                                "AND time < ?");
        nResult = prune.Bind(1, tNow - int64_t{nKeepDays} * SECONDS_PER_DAY).Step();
        if (nResult != SQLITE_DONE)
            return nResult;
        CStatement keep(m_pDb, "INSERT OR REPLACE INTO meta(key, value) VALUES('last_prune', ?)");
        nResult = keep.Bind(1, tNow).Step();
        if (nResult != SQLITE_DONE)
            return nResult;
        bPruned = true;
        return SQLITE_OK;
    });
    return bOk && bPruned;
}

std::vector<CTestRecord> CHistoryStore::Tests(int64_t nHostId, int64_t tFrom, int64_t tTo) {
    std::vector<CTestRecord> arrTests;
    if (!m_pDb)
        return arrTests;
    CStatement select(m_pDb, std::string("SELECT ") + TEST_COLUMNS +
                                 " FROM tests WHERE host_id = ? AND time >= ? AND time < ? "
                                 "ORDER BY time");
    select.Bind(1, nHostId).Bind(2, tFrom).Bind(3, tTo);
    int nResult;
    while ((nResult = select.Step()) == SQLITE_ROW)
        arrTests.push_back(ReadTest(select));
    if (nResult != SQLITE_DONE)
        Fail("Cannot read", nResult);
    return arrTests;
}

std::vector<COutage> CHistoryStore::Outages(int64_t nHostId, int64_t tFrom, int64_t tTo) {
    std::vector<COutage> arrOutages;
    if (!m_pDb)
        return arrOutages;
    // An outage overlapping the range may begin before it and end after it: the tests from
    // the last up test before the range to the first up test after it.
    CStatement before(m_pDb, "SELECT time FROM tests WHERE host_id = ? AND time < ? AND up = 1 "
                             "ORDER BY time DESC LIMIT 1");
    const int64_t tBegin = before.Bind(1, nHostId).Bind(2, tFrom).Step() == SQLITE_ROW
                               ? before.Int(0)
                               : std::numeric_limits<int64_t>::min();
    CStatement after(m_pDb, "SELECT time FROM tests WHERE host_id = ? AND time >= ? AND up = 1 "
                            "ORDER BY time LIMIT 1");
    const int64_t tEnd = after.Bind(1, nHostId).Bind(2, tTo).Step() == SQLITE_ROW
                             ? after.Int(0)
                             : std::numeric_limits<int64_t>::max();
    CStatement select(m_pDb, std::string("SELECT ") + TEST_COLUMNS +
                                 " FROM tests WHERE host_id = ? AND time >= ? AND time <= ? "
                                 "ORDER BY time");
    select.Bind(1, nHostId).Bind(2, tBegin).Bind(3, tEnd);
    COutageBuilder builder;
    int nResult;
    while ((nResult = select.Step()) == SQLITE_ROW)
        builder.Add(ReadTest(select));
    if (nResult != SQLITE_DONE)
        Fail("Cannot read", nResult);
    for (COutage& outage : builder.Finish(::time(nullptr))) {
        const int64_t tOver = outage.tEnd == 0 ? std::numeric_limits<int64_t>::max()
                                               : std::max(outage.tEnd, outage.tStart + 1);
        if (outage.tStart < tTo && tOver > tFrom)
            arrOutages.push_back(std::move(outage));
    }
    return arrOutages;
}

CHistoryStore::CSummary CHistoryStore::Summarize(int64_t nHostId, int64_t tFrom, int64_t tTo) {
    CSummary summary;
    if (!m_pDb)
        return summary;
    const std::string strRange = " FROM tests WHERE host_id = ?1 AND time >= ?2 AND time < ?3";
    CStatement totals(m_pDb, "SELECT count(*), sum(up), min(time), max(time), sum(echoes_sent), "
                             "sum(echoes_answered), sum(up = 1 AND total >= 0)" +
                                 strRange);
    int nResult = totals.Bind(1, nHostId).Bind(2, tFrom).Bind(3, tTo).Step();
    if (nResult != SQLITE_ROW) {
        Fail("Cannot read", nResult);
        return summary;
    }
    summary.nTests = totals.Int(0);
    summary.nTestsUp = totals.Int(1);
    summary.tFirst = totals.Int(2);
    summary.tLast = totals.Int(3);
    summary.nEchoesSent = totals.Int(4);
    summary.nEchoesAnswered = totals.Int(5);
    CStatement cert(m_pDb, "SELECT cert_expiry" + strRange +
                               " AND cert_expiry <> 0 ORDER BY time DESC LIMIT 1");
    if (cert.Bind(1, nHostId).Bind(2, tFrom).Bind(3, tTo).Step() == SQLITE_ROW)
        summary.tCertExpiry = cert.Int(0);
    // Nearest rank: the value at rank ceil(p / 100 * N), counted from 1, of the sorted
    // response times; SQLite sorts them, they are never all in memory here.
    const std::string strResponses = strRange + " AND up = 1 AND total >= 0";
    const int64_t nCount = totals.Int(6);
    if (nCount == 0)
        return summary;
    const auto fnRank = [nCount](int nPercent) {
        return std::max<int64_t>((nCount * nPercent + 99) / 100, 1) - 1;
    };
    const std::pair<int64_t, int32_t*> arrWanted[] = {{fnRank(10), &summary.nP10TotalTenths},
                                                      {fnRank(50), &summary.nMedianTotalTenths},
                                                      {fnRank(90), &summary.nP90TotalTenths}};
    CStatement sorted(m_pDb, "SELECT total" + strResponses + " ORDER BY total");
    sorted.Bind(1, nHostId).Bind(2, tFrom).Bind(3, tTo);
    int64_t nRank = -1;
    int32_t nValue = -1;
    for (const auto& [nWanted, pValue] : arrWanted) {
        while (nRank < nWanted && sorted.Step() == SQLITE_ROW) {
            ++nRank;
            nValue = static_cast<int32_t>(sorted.Int(0));
        }
        if (nRank == nWanted)
            *pValue = nValue;
    }
    return summary;
}

std::string CHistoryStore::CheckIntegrity() {
    if (!m_pDb)
        return m_strLastError.empty() ? "not open" : m_strLastError;
    CStatement check(m_pDb, "PRAGMA integrity_check(20)");
    std::string strResult;
    int nResult;
    while ((nResult = check.Step()) == SQLITE_ROW)
        strResult += (strResult.empty() ? "" : "; ") + check.Text(0);
    if (nResult != SQLITE_DONE)
        return Describe(nResult);
    return strResult;
}

int64_t CHistoryStore::GetSizeBytes() const {
    // The write-ahead log holds the latest cycles until they reach the file.
    int64_t nSize = 0;
    struct stat st;
    for (const std::string& strFile : {m_strPath, m_strPath + "-wal"})
        if (::stat(strFile.c_str(), &st) == 0)
            nSize += st.st_size;
    return nSize;
}
