// vantrelctl: the command-line companion of Vantrel, for scripts and headless machines.
#include "cli/cli_command.h"
#include "core/version.h"

#include <QCoreApplication>
#ifdef VANTREL_CLI_CHARTS
#include "graph/font_faces.h"

#include <QGuiApplication>
#endif

#include <algorithm>
#include <clocale>
#include <cstring>
#include <memory>

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

// The verbs that draw charts need Qt Gui's fonts and images, on a machine without a display.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char* argv[]) {
#ifdef VANTREL_CLI_CHARTS
    bool bDraws = argc > 1 && std::strcmp(argv[1], "compare") == 0;
    for (int i = 2; i < argc && argc > 1 && std::strcmp(argv[1], "report") == 0; ++i)
        bDraws = bDraws || std::strcmp(argv[i], "--chart") == 0;
    if (bDraws) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The platform's start-up notes (no runtime folder and the like) are not the user's
        // business; the verb's own messages go to stderr as usual.
        const QtMessageHandler pfnDefault =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        auto pApp = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(pfnDefault);
        MapFontFaces();
        return pApp;
    }
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::unique_ptr<QCoreApplication> pApp = MakeApplication(argc, argv);
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
