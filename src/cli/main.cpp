// vantrelctl: the command-line companion of Vantrel, for scripts and headless machines.
#include "cli/cli_command.h"
#include "core/version.h"

#include <QCoreApplication>

#include <algorithm>
#include <clocale>
#include <cstring>

namespace {

QString GetOverview() {
    QString strText = "Usage: vantrelctl <command> [options]\n\n"
                      "The command-line companion of Vantrel.\n\nCommands:\n";
    int nWidth = 0;
    for (const CCliCommand* pCommand : CCliCommand::GetAll())
        nWidth = std::max(nWidth, static_cast<int>(std::strlen(pCommand->m_pszName)));
    for (const CCliCommand* pCommand : CCliCommand::GetAll())
        strText += QString("  %1  %2\n")
                       .arg(QLatin1String(pCommand->m_pszName), -nWidth)
                       .arg(QLatin1String(pCommand->m_pszSummary));
    return strText + "\nRun 'vantrelctl <command> --help' for a command's options, "
                     "'vantrelctl --version' for the version.\n";
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantrelctl");
    // Qt takes the user's locale; figures keep their decimal point ("75.0%", "12.5 ms").
    setlocale(LC_NUMERIC, "C");
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        CliError("no command given\n" + GetOverview());
        return CLI_USAGE;
    }
    const QString& strVerb = args.at(1);
    if (strVerb == "--help" || strVerb == "-h" || strVerb == "help") {
        CliPrint(GetOverview());
        return CLI_OK;
    }
    if (strVerb == "--version") {
        CliPrint(VANTREL_VERSION_LINE "\n");
        return CLI_OK;
    }
    const CCliCommand* pCommand = CCliCommand::Find(strVerb);
    if (!pCommand) {
        CliError("unknown command \"" + strVerb + "\"\nRun 'vantrelctl --help' for the list.");
        return CLI_USAGE;
    }
    return pCommand->m_pfnRun(args.mid(1));
}
