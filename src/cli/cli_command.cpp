#include "cli/cli_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Built on first use, so registration works whatever order the files' statics start in.
std::vector<const CCliCommand*>& Registry() {
    static std::vector<const CCliCommand*> s_vecCommands;
    return s_vecCommands;
}

} // namespace

CCliCommand::CCliCommand(const char* pszName, const char* pszSummary, Function pfnRun)
    : m_pszName(pszName), m_pszSummary(pszSummary), m_pfnRun(pfnRun) {
    Registry().push_back(this);
}

const CCliCommand* CCliCommand::Find(const QString& strName) {
    for (const CCliCommand* pCommand : Registry())
        if (strName == QLatin1String(pCommand->m_pszName))
            return pCommand;
    return nullptr;
}

std::vector<const CCliCommand*> CCliCommand::GetAll() {
    std::vector<const CCliCommand*> vecCommands = Registry();
    std::sort(vecCommands.begin(), vecCommands.end(),
              [](const CCliCommand* a, const CCliCommand* b) {
                  return std::strcmp(a->m_pszName, b->m_pszName) < 0;
              });
    return vecCommands;
}

QString CliFromLatin1(const std::string& str) {
    return QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size()));
}

void CliError(const QString& strText) {
    std::fputs(("vantrelctl: " + strText + "\n").toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void CliPrint(const QString& strText) {
    const QByteArray bytes = strText.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

bool CliFlushOutput() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        CliError("cannot write to standard output");
        return false;
    }
    return true;
}
