#include "core/vantrel_doc.h"

#include "core/atomic_file.h"
#include "core/host_check.h"
#include "core/message_sink.h"
#include "core/test_control.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Copies strSource to strDest as a whole (replacing an older copy). False with the reason.
bool CopyFileAtomically(const std::string& strSource, const std::string& strDest,
                        std::string& strError) {
    int nIn = ::open(strSource.c_str(), O_RDONLY | O_CLOEXEC);
    if (nIn < 0) {
        strError = "Cannot keep a copy of " + strSource + ": " + CAtomicFile::DescribeErrno(errno);
        return false;
    }
    CAtomicFile out;
    bool bOk = out.Open(strDest);
    std::vector<char> vecBuffer(65536);
    while (bOk) {
        ssize_t nRead = ::read(nIn, vecBuffer.data(), vecBuffer.size());
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead <= 0) {
            if (nRead < 0) {
                out.Fail(errno);
                bOk = false;
            }
            break;
        }
        bOk = out.Write(vecBuffer.data(), static_cast<size_t>(nRead));
    }
    ::close(nIn);
    if (bOk)
        bOk = out.Commit();
    if (!bOk)
        strError = out.GetError();
    return bOk;
}

} // namespace

CVantrelDoc::CVantrelDoc(CMessageSink& sink, CTestControl* pTestControl)
    : m_pTestControl(pTestControl), m_sink(sink) {}

CVantrelDoc::~CVantrelDoc() {
    for (CHost* pHost : m_arrHosts)
        delete pHost;
}

CHostsFile::CLoadReport CVantrelDoc::LoadHosts(const std::string& strDataPath) {
    m_strDataPath = strDataPath;
    int32_t nRunSeconds = m_nRunSeconds;
    int32_t nInterval = m_nIntervalMinutes;
    CHostsFile::CLoadReport report =
        CHostsFile::Load(strDataPath, m_arrHosts, nRunSeconds, nInterval);
    m_nRunSeconds = nRunSeconds;
    m_nIntervalMinutes = nInterval;
    m_eLoadResult = report.m_eResult;
    m_bKeepDamaged = report.m_eResult == CHostsFile::LOAD_DAMAGED;
    m_bUnreadable = report.m_eResult == CHostsFile::LOAD_UNREADABLE;
    return report;
}

bool CVantrelDoc::OnNewDocument(const std::string& strDataPath, const CAppSettings& settings) {
    struct stat st;
    if (::stat(strDataPath.c_str(), &st) != 0 && errno == ENOENT) {
        // Owner-only, and never through a link planted where the file is missing.
        int nFd =
            ::open(strDataPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (nFd < 0) {
            m_sink.ShowMessage("Cannot create data file");
            return false;
        }
        ::close(nFd);
    }
    {
        std::lock_guard lock(m_mtxSettings);
        m_settings = settings;
    }
    m_nPingMethod = settings.m_nPingMethod;
    m_nConcurrentTests = settings.m_nConcurrentTests;
    m_bServerErrorsDown = settings.m_bServerErrorsDown != 0;
    m_nCertWarningDays = settings.m_nCertWarningDays;
    m_nHistoryDays = settings.m_nHistoryDays;
    const CHostsFile::CLoadReport report = LoadHosts(strDataPath);
    if (report.m_eResult == CHostsFile::LOAD_DAMAGED)
        m_sink.ShowMessage("Cannot load hosts data, will re-create the list");
    else if (report.m_eResult == CHostsFile::LOAD_UNREADABLE)
        m_sink.ShowMessage(report.m_strReason +
                           ".\nVantrel starts with an empty host list and will not save over "
                           "that file.");

    // Nothing is written beside a file left alone: it may be a device in a folder not ours.
    if (report.m_eResult != CHostsFile::LOAD_UNREADABLE)
        OpenHistory();

    const bool bAnyTesting = std::any_of(m_arrHosts.begin(), m_arrHosts.end(),
                                         [](const CHost* pHost) { return pHost->m_bTesting; });
    if (bAnyTesting && m_pTestControl && !m_pTestControl->IsConnected())
        m_sink.ShowMessage(NO_CONNECTION_TEXT);
    m_hStopEvent.Reset();
    StartTests();
    return true;
}

void CVantrelDoc::OnCloseDocument(CAppSettings& settings) {
    StopTests();
    m_pHistory.reset();
    GetSettings(settings);
    // The user was told at start-up why an unreadable file is left alone.
    if (!SaveHosts() && !m_bUnreadable)
        m_sink.ShowMessage(m_strLastSaveError);
}

void CVantrelDoc::GetSettings(CAppSettings& settings) {
    {
        std::lock_guard lock(m_mtxSettings);
        settings = m_settings;
    }
    settings.m_nPingMethod = m_nPingMethod;
    settings.m_nConcurrentTests = m_nConcurrentTests;
    settings.m_bServerErrorsDown = m_bServerErrorsDown ? 1 : 0;
    settings.m_nCertWarningDays = m_nCertWarningDays;
    settings.m_nHistoryDays = m_nHistoryDays;
}

bool CVantrelDoc::SaveHosts(const CHostsFile::HostLockFn& fnLock) {
    // The worker saves after its cycles, the user-interface thread after its commands.
    std::unique_lock<std::recursive_timed_mutex> lockSave;
    if (fnLock) {
        fnLock(m_mtxSave);
        lockSave = std::unique_lock(m_mtxSave, std::adopt_lock);
    } else {
        lockSave = std::unique_lock(m_mtxSave);
    }
    m_strLastSaveError.clear();
    if (m_strDataPath.empty()) {
        m_strLastSaveError = "No hosts data file has been chosen.";
        return false;
    }
    if (m_bUnreadable) {
        m_strLastSaveError = "The hosts data file " + m_strDataPath +
                             " could not be read when Vantrel started, so it is not written over.";
        return false;
    }
    if (m_bKeepDamaged) {
        std::string strTarget;
        std::string strReason;
        if (!CAtomicFile::ResolveLinks(m_strDataPath, strTarget, strReason)) {
            m_strLastSaveError = "Cannot save " + m_strDataPath + ": " + strReason;
            return false;
        }
        if (!CopyFileAtomically(strTarget, CAtomicFile::GetFreeDamagedName(strTarget),
                                m_strLastSaveError))
            return false;
        m_bKeepDamaged = false;
    }
    return CHostsFile::Save(m_strDataPath, m_arrHosts, m_nRunSeconds, m_nIntervalMinutes, true,
                            m_strLastSaveError, fnLock);
}

void CVantrelDoc::StartTests() {
    if (m_pTestControl)
        m_pTestControl->StartTests(*this);
}

void CVantrelDoc::StopTests() {
    if (m_pTestControl)
        m_pTestControl->StopTests(*this);
}

void CVantrelDoc::PauseTests() {
    m_bPausing = true;
    StopTests();
    m_bPausing = false;
}

void CVantrelDoc::AddHost(CHost* pHost) {
    m_arrHosts.push_back(pHost);
    // The hosts before it match exactly and come first: they keep their ids.
    AttachHistory();
}

void CVantrelDoc::RemoveHost(int nIndex) {
    auto it = m_arrHosts.begin() + nIndex;
    CHost* pHost = *it;
    m_arrHosts.erase(it);
    if (m_pHistory && pHost->m_nHistoryId != 0)
        m_pHistory->RemoveHost(pHost->m_nHistoryId);
    delete pHost;
}

void CVantrelDoc::OnHostEdited(int nIndex) {
    const CHost& host = *m_arrHosts[static_cast<size_t>(nIndex)];
    if (m_pHistory && host.m_nHistoryId != 0)
        m_pHistory->UpdateHost(host.m_nHistoryId, {host.m_strName, host.m_strTestURL});
}

std::string CVantrelDoc::GetHistoryPath() const {
    return m_strDataPath.empty() ? std::string() : CHistoryStore::PathFor(m_strDataPath);
}

std::vector<CHistoryStore::CHostKey>
CVantrelDoc::GetHistoryKeys(const std::vector<CHost*>& arrHosts) {
    std::vector<CHistoryStore::CHostKey> arrKeys;
    for (const CHost* pHost : arrHosts)
        arrKeys.push_back({pHost->m_strName, pHost->m_strTestURL});
    return arrKeys;
}

bool CVantrelDoc::OpenHistory() {
    auto pHistory = std::make_unique<CHistoryStore>();
    const std::string strPath = GetHistoryPath();
    switch (pHistory->Open(strPath)) {
    case CHistoryStore::EOpen::MOVED:
        m_sink.ShowMessage("The test history " + strPath + " was damaged. It has been kept as " +
                           pHistory->GetMovedTo() + " and a new history has been started.");
        break;
    case CHistoryStore::EOpen::FAILED:
        m_sink.ShowMessage(pHistory->GetLastError() + ".\nThe tests go on without a history.");
        m_pHistory.reset();
        for (CHost* pHost : m_arrHosts)
            pHost->m_nHistoryId = 0;
        return false;
    default:
        break;
    }
    m_pHistory = std::move(pHistory);
    AttachHistory();
    int nKeepDays;
    {
        std::lock_guard lock(m_mtxSettings);
        nKeepDays = m_settings.m_nHistoryDays;
    }
    // At most once a day: the store keeps the time of the last pruning.
    m_pHistory->Prune(::time(nullptr), nKeepDays);
    return true;
}

void CVantrelDoc::AttachHistory() {
    // Without a history the ids stay as they are.
    if (!m_pHistory)
        return;
    const std::vector<int64_t> arrIds = m_pHistory->Attach(GetHistoryKeys(m_arrHosts));
    for (size_t i = 0; i < m_arrHosts.size(); ++i)
        m_arrHosts[i]->m_nHistoryId = arrIds[i];
}

int CVantrelDoc::GetEmailScore(int nIndex) const {
    return GetEmailPoints(*m_arrHosts[static_cast<size_t>(nIndex)]);
}

int CVantrelDoc::GetEmailPoints(const CHost& host) {
    int nPoints = 0;
    for (int32_t nAnswer :
         {host.m_nForwarding, host.m_nAutoresponders, host.m_nWebMail, host.m_nMailingLists})
        if (nAnswer == 0)
            nPoints += 5;
    // Unanswered (or no position of the list) gives no points for the accounts.
    return nPoints + std::min(CHostCheck::GetAnswer(host, &CHost::m_nEmailAccounts) + 1, 20);
}

int CVantrelDoc::GetRedundancyScore(int nIndex) const {
    return GetRedundancyPoints(*m_arrHosts[static_cast<size_t>(nIndex)]);
}

int CVantrelDoc::GetRedundancyPoints(const CHost& host) {
    const int32_t nBackups = CHostCheck::GetAnswer(host, &CHost::m_nBackups);
    int nPoints = nBackups < 0 ? 0 : (3 - nBackups) * 5;
    for (int32_t nAnswer : {host.m_nUPS, host.m_nGenerator, host.m_nMonitoring})
        if (nAnswer == 0)
            nPoints += 5;
    for (int32_t nAnswer : {host.m_nBackupMail, host.m_nFailOver, host.m_nUptimeGuarantee})
        if (nAnswer == 0)
            nPoints += 15;
    return nPoints;
}
