#include "cli/cli_store.h"

#include "cli/cli_command.h"

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
    CliError(CliFromLatin1(strText));
}
