#include "cli/cli_store.h"

#include "cli/cli_command.h"
#include "core/history_store.h"

#include <cerrno>
#include <sys/stat.h>

CCliStore::CCliStore() : m_doc(*this, nullptr) {}

int CCliStore::Load(const std::string& strPath) {
    m_report = m_doc.LoadHosts(strPath);
    switch (m_report.m_eResult) {
    case CHostsFile::LOAD_OK:
        return CLI_OK;
    case CHostsFile::LOAD_DAMAGED:
        ShowMessage(m_report.m_strReason + "; " + std::to_string(m_report.m_nHostsRead) +
                    (m_report.m_nHostsRead == 1 ? " complete host was read."
                                                : " complete hosts were read."));
        return CLI_BAD_INPUT;
    case CHostsFile::LOAD_UNREADABLE:
        break;
    }
    ShowMessage(m_report.m_strReason + ".");
    return CLI_BAD_INPUT;
}

bool CCliStore::Open(CCliArgs& args, int& nExit) {
    if (!args.Parse()) {
        nExit = args.GetExitCode();
        return false;
    }
    nExit = Load(args.GetDataPath());
    return m_report.m_eResult != CHostsFile::LOAD_UNREADABLE;
}

int CCliStore::LoadChosenHosts(const CCliArgs& args, const QString& strHosts,
                               std::vector<int>& arrSet) {
    const int nLoad = Load(args.GetDataPath());
    if (nLoad != CLI_OK)
        return nLoad;
    return CCliArgs::ParseHosts(strHosts, m_doc.m_arrHosts.size(), arrSet) ? CLI_OK : CLI_USAGE;
}

void CCliStore::ShowMessage(const std::string& strText) {
    CliError(CliVisible(CliFromBytes(strText), true));
}

QString CCliStore::DescribeHistory(const std::string& strDataPath, bool& bSound) {
    const std::string strPath = CHistoryStore::PathFor(strDataPath);
    struct stat st;
    if (::lstat(strPath.c_str(), &st) != 0 && errno == ENOENT)
        return {};
    CHistoryStore history;
    bSound = false;
    if (history.OpenExisting(strPath) != CHistoryStore::EOpen::OK)
        return "history: " + CliVisible(CliFromBytes(history.GetLastError())) + "\n";
    const std::string strCheck = history.CheckIntegrity();
    bSound = strCheck == "ok";
    const QString strSize = QString::number(history.GetSizeBytes()) + " bytes";
    if (bSound)
        return "history: ok, " + strSize + "\n";
    return "history: damaged, " + strSize + "\n" + CliVisible(CliFromBytes(strCheck)) + "\n";
}

bool CCliStore::KeepHistories(const std::string& strDataPath, const std::vector<CHost*>& arrHosts) {
    const std::string strPath = CHistoryStore::PathFor(strDataPath);
    struct stat st;
    if (::lstat(strPath.c_str(), &st) != 0 && errno == ENOENT)
        return true;
    CHistoryStore history;
    const CHistoryStore::EOpen eOpen = history.Open(strPath);
    if (eOpen == CHistoryStore::EOpen::MOVED)
        CliError("the test history " + CliVisible(CliFromBytes(strPath)) +
                 " was damaged; it has been kept as " +
                 CliVisible(CliFromBytes(history.GetMovedTo())) + " and a new one started.");
    if (eOpen == CHistoryStore::EOpen::FAILED) {
        CliError(CliVisible(CliFromBytes(history.GetLastError())) + ".");
        return false;
    }
    const std::vector<int64_t> arrIds = history.Attach(CVantrelDoc::GetHistoryKeys(arrHosts));
    if ((!arrIds.empty() && arrIds.front() == 0) || !history.RemoveOtherHosts(arrIds)) {
        CliError(CliVisible(CliFromBytes(history.GetLastError())) + ".");
        return false;
    }
    return true;
}
