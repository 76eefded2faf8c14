#pragma once

#include "core/test_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct sqlite3;

// The history of every test, in an SQLite database beside the data file. The data file never
// depends on it: a missing or damaged database loses history, never hosts. One object per
// open database, used by one thread at a time (the worker writes through its own object).
class CHistoryStore {
public:
    enum class EOpen {
        OK,      // opened an existing database
        CREATED, // there was none: a new one
        MOVED,   // the old one could not be read: kept as "<path>.damaged[.N]", a new one made
        FAILED,  // no database: GetLastError says why; the tests go on without history
    };

    // What the user sees of the database in `vantrelctl check` and the history views.
    struct CSummary {
        int64_t nTests = 0;
        int64_t nTestsUp = 0;
        int64_t tFirst = 0; // first and last test; 0 without tests
        int64_t tLast = 0;
        int64_t nEchoesSent = 0;
        int64_t nEchoesAnswered = 0;
        int32_t nMedianTotalTenths = -1; // web response time (total) of up tests; -1: none
        int32_t nP10TotalTenths = -1;
        int32_t nP90TotalTenths = -1;
        int64_t tCertExpiry = 0; // of the latest test that saw one
    };

    // The history of the data file strDataPath: "<data file>.history" beside it.
    static std::string PathFor(const std::string& strDataPath);

    CHistoryStore() = default;
    ~CHistoryStore();
    CHistoryStore(const CHistoryStore&) = delete;
    CHistoryStore& operator=(const CHistoryStore&) = delete;

    // Opens the database, or makes it. A file that is not a database or fails its quick check
    // is moved aside (GetMovedTo) and a new one made; a device, FIFO or socket at the path, or
    // a link planted in a shared folder, is refused (FAILED).
    EOpen Open(const std::string& strPath);
    // For the history's readers (windows, vantrelctl) and the worker, once the document has
    // opened it: an existing database only, neither checked (a year's check takes a second),
    // made nor moved; OK or FAILED. It may be written all the same.
    EOpen OpenExisting(const std::string& strPath);
    void Close();
    bool IsOpen() const { return m_pDb != nullptr; }
    const std::string& GetLastError() const { return m_strLastError; }
    // Where the last Open kept the damaged database (MOVED).
    const std::string& GetMovedTo() const { return m_strMovedTo; }

    // Host identity. The data file holds no ids: Attach gives each host of the list (its name
    // and test URL, in list order) the id of its history, matching by name and URL, then by
    // name, then by URL among ids not yet given, and a new id otherwise.
    struct CHostKey {
        std::string strName;
        std::string strTestURL;
    };
    std::vector<int64_t> Attach(const std::vector<CHostKey>& arrHosts);
    // The ids Attach would give, without writing anything: 0 for a host without a history.
    std::vector<int64_t> Find(const std::vector<CHostKey>& arrHosts);
    // Removes every host but those of arrKeep, with their tests (after an import).
    bool RemoveOtherHosts(const std::vector<int64_t>& arrKeep);
    // Keeps an edited host's name and URL, so that the next Attach finds it.
    bool UpdateHost(int64_t nHostId, const CHostKey& key);
    // Removes the host and all its tests.
    bool RemoveHost(int64_t nHostId);

    // Writes the tests of one cycle in one transaction. False (GetLastError) when the disk is
    // full or read-only; nothing of the cycle is kept then.
    bool WriteCycle(const std::vector<CTestRecord>& arrTests);
    // Drops tests older than nKeepDays before tNow, at most once a day (the last pruning's
    // time is kept in the database). True when it pruned.
    bool Prune(int64_t tNow, int nKeepDays);

    // Reads: tests of a host in [tFrom, tTo), oldest first; its outages overlapping the range;
    // and its figures over the range.
    std::vector<CTestRecord> Tests(int64_t nHostId, int64_t tFrom, int64_t tTo);
    std::vector<COutage> Outages(int64_t nHostId, int64_t tFrom, int64_t tTo);
    CSummary Summarize(int64_t nHostId, int64_t tFrom, int64_t tTo);

    // For `vantrelctl check`: "ok" or what PRAGMA integrity_check says, and the file's size.
    std::string CheckIntegrity();
    int64_t GetSizeBytes() const;

private:
    enum ECheck { CHECK_OK, CHECK_NEW, CHECK_DAMAGED, CHECK_FAILED };
    ECheck OpenChecked(const std::string& strTarget, bool bCheck);
    // The reason of an SQLite result in plain words.
    std::string Describe(int nResult) const;
    // Sets "<strWhat> the test history <path>: <reason>"; false.
    bool Fail(const std::string& strWhat, int nResult);
    int Exec(const char* pszSql);
    // Attach's matching; arrPartial marks the hosts matched by name or URL alone.
    int MatchHosts(const std::vector<CHostKey>& arrHosts, std::vector<int64_t>& arrIds,
                   std::vector<bool>& arrPartial);
    int RemoveHostRows(int64_t nHostId);
    // Runs fnWork (an SQLite result) in one transaction, rolled back unless all went well.
    bool InTransaction(const char* pszWhat, const std::function<int()>& fnWork);

    sqlite3* m_pDb = nullptr;
    std::string m_strPath;
    std::string m_strLastError;
    std::string m_strMovedTo;
};
