#pragma once

#include "core/host.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CArchive;

// The hosts data file: a host count, the host records in list order, then the run seconds
// and the test interval, little-endian with no header. A zero-length file is an empty list.
class CHostsFile {
public:
    enum ELoadResult {
        LOAD_OK,
        LOAD_DAMAGED,    // the content stops or goes wrong part-way; complete hosts were kept
        LOAD_UNREADABLE, // the system would not let us read the file; nothing was loaded
    };

    struct CLoadReport {
        ELoadResult m_eResult = LOAD_OK;
        size_t m_nHostsRead = 0;
        // Where the damage was found: the first byte of the field that could not be read,
        // and the index of the host record it belongs to (-1: the count or the trailer).
        uint64_t m_nOffset = 0;
        int64_t m_nHostIndex = -1;
        // Plain words for the user: what was wrong and where.
        std::string m_strReason;
        // A sound file may hold bytes after the interval (older versions wrote the file in
        // place); loading ignores them.
        uint64_t m_nFileSize = 0;
        uint64_t m_nEnd = 0; // offset after the interval
    };

    // Appends the complete hosts of strPath to arrHosts (the caller owns them) and sets the
    // run seconds and interval when the trailer is read.
    static CLoadReport Load(const std::string& strPath, std::vector<CHost*>& arrHosts,
                            int32_t& nRunSeconds, int32_t& nIntervalMinutes);
    // Takes a host's lock for a writer that must not simply block (the user-interface thread).
    using HostLockFn = std::function<void(std::recursive_timed_mutex&)>;

    // Writes the whole file atomically. When bLockEach, each record is written under its
    // lock, taken by fnLock when one is given. False with the reason in plain words in
    // strError; the old file is then intact.
    static bool Save(const std::string& strPath, const std::vector<CHost*>& arrHosts,
                     int32_t nRunSeconds, int32_t nIntervalMinutes, bool bLockEach,
                     std::string& strError, const HostLockFn& fnLock = {});

    // One record in file order, for the archive's current position.
    static void ReadHost(CArchive& ar, CHost& host);
    static void WriteHost(CArchive& ar, const CHost& host);

    // The least a record can take: three empty texts and the 66 numbers.
    static constexpr uint64_t MIN_HOST_BYTES = 3 + 4 * (CHost::ANSWER_COUNT + FEATURE_COUNT + 7);
};
