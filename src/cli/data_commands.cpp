// The data-file verbs: list, export, import, check.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/cli_store.h"

namespace {

QString FromLatin1(const std::string& str) {
    return QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size()));
}

int ListCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Shows one line per host: index, name, test URL, status, time tested, "
                           "uptime and average ping, separated by tabs.");
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();
    CCliStore store;
    const int nExit = store.Load(cliArgs.GetDataPath());
    if (store.GetReport().m_eResult == CHostsFile::LOAD_UNREADABLE)
        return nExit;
    const CVantrelDoc& doc = store.GetDoc();
    for (size_t i = 0; i < doc.m_arrHosts.size(); ++i) {
        const CHost& host = *doc.m_arrHosts[i];
        CliPrint(QString::number(i) + "\t" + FromLatin1(host.m_strName) + "\t" +
                 FromLatin1(host.m_strTestURL) + "\t" + FromLatin1(host.GetStatusText()) + "\t" +
                 FromLatin1(host.GetTimeTestedText()) + "\t" + FromLatin1(host.GetUptimeText()) +
                 "\t" + FromLatin1(host.GetAvgPingText()) + "\n");
    }
    return nExit;
}

} // namespace

VANTREL_CLI_COMMAND("list", "Show one line per host, as the host list does", ListCommand);
