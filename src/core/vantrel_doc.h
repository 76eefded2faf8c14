#pragma once

#include "core/app_settings.h"
#include "core/history_store.h"
#include "core/host.h"
#include "core/hosts_file.h"
#include "platform/event.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CMessageSink;
class CTestControl;

// The host store: the ordered host list, the settings copy the test worker reads, the test
// interval and the stop event of the worker. Row i of the host list is m_arrHosts[i]. The list
// changes (add, remove) only between StopTests and StartTests.
class CVantrelDoc {
public:
    CVantrelDoc(CMessageSink& sink, CTestControl* pTestControl);
    ~CVantrelDoc(); // deletes the records in index order
    CVantrelDoc(const CVantrelDoc&) = delete;
    CVantrelDoc& operator=(const CVantrelDoc&) = delete;

    // Creates the data file when missing, takes the settings copy, loads the file, checks the
    // connection when a host is under test, and starts the worker. False when the data file
    // cannot be created ("Cannot create data file").
    bool OnNewDocument(const std::string& strDataPath, const CAppSettings& settings);
    // Stops the worker, hands the settings back and writes the data file.
    void OnCloseDocument(CAppSettings& settings);
    // Copies the settings the user may have changed (under the settings lock) into settings.
    void GetSettings(CAppSettings& settings);

    // Writes the data file, each record under its lock (taken by fnLock when given, so that
    // the user-interface thread can wait behind its dialog). False (with the reason in plain
    // words in m_strLastSaveError) when it could not be written; the previous file is intact.
    bool SaveHosts(const CHostsFile::HostLockFn& fnLock = {});

    void StartTests();
    void StopTests();

    // List changes; the caller has stopped the worker. The history follows: a new host gets
    // its id, a removed one's history goes.
    void AddHost(CHost* pHost);  // takes ownership
    void RemoveHost(int nIndex); // deletes the record
    // After the user changed host nIndex's name or test URL: its history stays with it.
    void OnHostEdited(int nIndex);

    // The history of every test beside the data file (CHistoryStore::PathFor); empty before a
    // data file was chosen. Each reader and the worker open their own CHistoryStore on it.
    std::string GetHistoryPath() const;
    // Opens the history (OnNewDocument does), gives each host its m_nHistoryId and drops the
    // tests older than the days the settings keep (at most once a day). Tells the
    // user when a damaged history was moved aside or none can be opened; the tests go on
    // either way. False without a history.
    bool OpenHistory();
    // The hosts' keys for CHistoryStore::Attach, in list order.
    static std::vector<CHistoryStore::CHostKey> GetHistoryKeys(const std::vector<CHost*>& arrHosts);

    std::string GetDataPath() const { return m_strDataPath; }

    // Reads the data file at strDataPath into the list without creating it or telling the
    // user (OnNewDocument does both; the command-line tools report in their own words).
    // Afterwards SaveHosts keeps a damaged file as "<path>.damaged" before replacing it, and
    // refuses to write over a file that could not be read.
    CHostsFile::CLoadReport LoadHosts(const std::string& strDataPath);
    // How the data file read at start: LOAD_DAMAGED also after the file has been rewritten.
    CHostsFile::ELoadResult GetLoadResult() const { return m_eLoadResult; }

    // Comparison points from the answers of host nIndex; no lock is taken. The store's own
    // interface to them: the report scores records taken from any list, so it uses the forms below.
    int GetEmailScore(int nIndex) const;      // 0 to 40
    int GetRedundancyScore(int nIndex) const; // 0 to 75
    // The same points for a record, for callers that hold records rather than a store.
    static int GetEmailPoints(const CHost& host);
    static int GetRedundancyPoints(const CHost& host);

    CEvent m_hStopEvent;
    CTestControl* m_pTestControl;
    CMessageSink& m_sink;

    // Guards the settings copy below.
    std::recursive_timed_mutex m_mtxSettings;
    // Its m_nPingMethod and m_nConcurrentTests are not used: the worker reads those below,
    // without the lock.
    CAppSettings m_settings;

    std::vector<CHost*> m_arrHosts;
    // Read by the worker when a wait begins, written by the options dialog.
    std::atomic<int32_t> m_nIntervalMinutes{5};
    std::atomic<int32_t> m_nRunSeconds{0};
    // How the worker measures ping times (PING_METHOD_), read at every test.
    std::atomic<int> m_nPingMethod{PING_METHOD_ICMP};
    // How many hosts the worker tests at the same time, read as each cycle begins.
    std::atomic<int> m_nConcurrentTests{DEFAULT_CONCURRENT_TESTS};
    // Set to end the worker's wait between cycles early: after hosts were started
    // (m_bHostsStarted, the next cycle begins at once) or the interval was changed (the wait
    // goes on with the new interval, counted from its start).
    CEvent m_hWakeEvent;
    std::atomic<bool> m_bHostsStarted{false};
    // The user has been told this program run that echoes are not permitted.
    std::atomic<bool> m_bEchoHintShown{false};

    // Written by the last SaveHosts; read it only where no other thread saves.
    std::string m_strLastSaveError;

private:
    // One save at a time: the worker's after a cycle, the user interface's after a command.
    // Nobody holds a host's lock while waiting for it.
    std::recursive_timed_mutex m_mtxSave;
    std::string m_strDataPath;
    // The loaded file was damaged and has not been kept aside yet.
    bool m_bKeepDamaged = false;
    // The file exists but could not be read: it must not be replaced by what we hold.
    bool m_bUnreadable = false;
    CHostsFile::ELoadResult m_eLoadResult = CHostsFile::LOAD_OK;
    // The user-interface thread's connection to the history, for the hosts' identities.
    std::unique_ptr<CHistoryStore> m_pHistory;
    void AttachHistory();
};
