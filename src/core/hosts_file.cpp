#include "core/hosts_file.h"

#include "core/archive.h"
#include "core/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

void CHostsFile::ReadHost(CArchive& ar, CHost& host) {
    host.m_strName = ar.ReadString();
    host.m_strWebSite = ar.ReadString();
    host.m_strTestURL = ar.ReadString();
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = ar.ReadI32();
    for (int32_t& nFeature : host.m_arrFeatures)
        nFeature = ar.ReadI32();
    host.m_nSecondsTested = ar.ReadI32();
    host.m_nTests = ar.ReadI32();
    host.m_nTestsUp = ar.ReadI32();
    const uint32_t nHistory = ar.ReadU32();
    ar.ReadU32Array(*host.m_pPingHistory, nHistory);
    host.PublishPings();
    host.m_bResolved = ar.ReadI32();
    host.m_nPingTotal = ar.ReadI32();
    host.m_bTesting = ar.ReadI32();
}

void CHostsFile::WriteHost(CArchive& ar, const CHost& host) {
    ar.WriteString(host.m_strName);
    ar.WriteString(host.m_strWebSite);
    ar.WriteString(host.m_strTestURL);
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        ar.WriteI32(host.Answer(i));
    for (int32_t nFeature : host.m_arrFeatures)
        ar.WriteI32(nFeature);
    ar.WriteI32(host.m_nSecondsTested);
    ar.WriteI32(host.m_nTests);
    ar.WriteI32(host.m_nTestsUp);
    ar.WriteU32(static_cast<uint32_t>(host.m_pPingHistory->size()));
    ar.WriteU32Array(*host.m_pPingHistory);
    ar.WriteI32(host.m_bResolved);
    ar.WriteI32(host.m_nPingTotal);
    ar.WriteI32(host.m_bTesting);
}

CHostsFile::CLoadReport CHostsFile::Load(const std::string& strPath, std::vector<CHost*>& arrHosts,
                                         int32_t& nRunSeconds, int32_t& nIntervalMinutes) {
    CLoadReport report;
    // A socket cannot even be opened; it is no more a data file than a FIFO or a device.
    struct stat st;
    if (::stat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        report.m_eResult = LOAD_UNREADABLE;
        report.m_strReason = "Cannot read " + strPath + ": it is not a regular file";
        return report;
    }
    // Non-blocking: opening a FIFO for reading would otherwise wait for a writer for ever.
    int nFd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (nFd < 0 || ::fstat(nFd, &st) != 0) {
        const int nErr = errno;
        if (nFd >= 0)
            ::close(nFd);
        report.m_eResult = LOAD_UNREADABLE;
        report.m_strReason = "Cannot read " + strPath + ": " + CAtomicFile::DescribeErrno(nErr);
        return report;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(nFd);
        report.m_eResult = LOAD_UNREADABLE;
        report.m_strReason = "Cannot read " + strPath + ": " +
                             (S_ISDIR(st.st_mode) ? CAtomicFile::DescribeErrno(EISDIR)
                                                  : std::string("it is not a regular file"));
        return report;
    }
    const uint64_t nSize = static_cast<uint64_t>(st.st_size);
    report.m_nFileSize = nSize;
    if (nSize == 0) {
        ::close(nFd);
        return report;
    }

    CArchive ar(nFd, CArchive::LOAD, nSize);
    const size_t nFirstNew = arrHosts.size();
    try {
        const uint32_t nCount = ar.ReadU32();
        // The count is untrusted: reserve no more records than the bytes left could hold.
        arrHosts.reserve(nFirstNew +
                         std::min<uint64_t>(nCount, ar.GetRemaining() / MIN_HOST_BYTES));
        for (uint32_t i = 0; i < nCount; ++i) {
            report.m_nHostIndex = i;
            auto pHost = std::make_unique<CHost>();
            ReadHost(ar, *pHost);
            arrHosts.push_back(pHost.release());
            ++report.m_nHostsRead;
        }
        report.m_nHostIndex = -1;
        nRunSeconds = ar.ReadI32();
        nIntervalMinutes = ar.ReadI32();
        report.m_nEnd = ar.GetPosition();
    } catch (const CArchive::CError& error) {
        if (error.m_eKind == CArchive::CError::IO_ERROR) {
            // An I/O error says nothing about the content: keep none of it, so nothing the
            // user has is replaced by a part.
            for (size_t i = nFirstNew; i < arrHosts.size(); ++i)
                delete arrHosts[i];
            arrHosts.resize(nFirstNew);
            report.m_eResult = LOAD_UNREADABLE;
            report.m_nHostsRead = 0;
            report.m_strReason =
                "Cannot read " + strPath + ": " + CAtomicFile::DescribeErrno(error.m_nErrno);
        } else {
            report.m_eResult = LOAD_DAMAGED;
            report.m_nOffset = error.m_nOffset;
            report.m_strReason =
                "The hosts data file " + strPath + " is damaged: " + error.what() +
                (report.m_nHostIndex >= 0 ? " (in host " + std::to_string(report.m_nHostIndex) + ")"
                                          : std::string(" (outside the host records)"));
        }
    } catch (const std::bad_alloc&) {
        report.m_eResult = LOAD_DAMAGED;
        report.m_nOffset = ar.GetPosition();
        report.m_strReason = "The hosts data file " + strPath +
                             " could not be loaded: not enough memory at byte " +
                             std::to_string(report.m_nOffset);
    }
    ::close(nFd);
    return report;
}

bool CHostsFile::Save(const std::string& strPath, const std::vector<CHost*>& arrHosts,
                      int32_t nRunSeconds, int32_t nIntervalMinutes, bool bLockEach,
                      std::string& strError, const HostLockFn& fnLock) {
    CAtomicFile file;
    if (!file.Open(strPath)) {
        strError = file.GetError();
        return false;
    }
    try {
        CArchive ar(file.GetFd(), CArchive::STORE);
        ar.WriteU32(static_cast<uint32_t>(arrHosts.size()));
        for (const CHost* pHost : arrHosts) {
            std::unique_lock<std::recursive_timed_mutex> lock;
            if (bLockEach && fnLock) {
                fnLock(*pHost->m_pMutex);
                lock = std::unique_lock(*pHost->m_pMutex, std::adopt_lock);
            } else if (bLockEach) {
                lock = std::unique_lock(*pHost->m_pMutex);
            }
            WriteHost(ar, *pHost);
        }
        ar.WriteI32(nRunSeconds);
        ar.WriteI32(nIntervalMinutes);
        ar.Flush();
    } catch (const CArchive::CError& error) {
        file.Fail(error.m_nErrno ? error.m_nErrno : EINVAL);
        strError =
            error.m_nErrno ? file.GetError() : "Cannot save " + strPath + ": " + error.what();
        return false;
    }
    if (!file.Commit()) {
        strError = file.GetError();
        return false;
    }
    return true;
}
