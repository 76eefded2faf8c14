// vantrelctl compare: the comparison chart of chosen hosts as a PNG or SVG file, drawn without
// a display, as Vantrel's Compare Hosts window shows it.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/cli_store.h"
#include "graph/comparison_chart.h"

#include <QFileInfo>

namespace {

const char s_szUsage[] = "Usage: vantrelctl compare [--data FILE] --hosts LIST|all --out "
                         "FILE.png|FILE.svg [--width W --height H]";

bool ParseSize(const QString& strName, const QString& strValue, int& nValue) {
    bool bOk = false;
    nValue = strValue.trimmed().toInt(&bOk);
    if (bOk && nValue >= 200 && nValue <= 20000)
        return true;
    CliError("--" + strName + " \"" + strValue + "\" is not a whole number of pixels from 200 to " +
             "20000.");
    return false;
}

int CompareCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Draws the comparison of the chosen hosts (ping times of the last test "
                           "cycles, their spread, uptime) as a PNG or SVG image, as Vantrel's "
                           "Compare Hosts window shows it.");
    const QCommandLineOption optHosts = CCliArgs::HostsOption();
    const QCommandLineOption optOut(
        "out", "The image to write, PNG or SVG by its suffix; an existing file is replaced.",
        "FILE.png|FILE.svg");
    const QCommandLineOption optWidth("width", "Image width in pixels (default 900).", "W");
    const QCommandLineOption optHeight(
        "height", "Image height in pixels (default: room for every host).", "H");
    for (const QCommandLineOption& option : {optHosts, optOut, optWidth, optHeight})
        cliArgs.Parser().addOption(option);
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();
    const QCommandLineParser& parser = cliArgs.Parser();
    if (!cliArgs.Require({&optHosts, &optOut}, s_szUsage))
        return CLI_USAGE;
    const QString strOut = parser.value(optOut);
    const QString strSuffix = QFileInfo(strOut).suffix().toLower();
    if (strSuffix != "png" && strSuffix != "svg") {
        CliError("--out \"" + strOut + "\" must end in .png or .svg.");
        return CLI_USAGE;
    }
    int nWidth = 0, nHeight = 0;
    if ((parser.isSet(optWidth) && !ParseSize("width", parser.value(optWidth), nWidth)) ||
        (parser.isSet(optHeight) && !ParseSize("height", parser.value(optHeight), nHeight)))
        return CLI_USAGE;

    CCliStore store;
    std::vector<int> arrSet;
    if (const int nExit = store.LoadChosenHosts(cliArgs, parser.value(optHosts), arrSet);
        nExit != CLI_OK)
        return nExit;
    const std::vector<CHost*>& arrHosts = store.GetDoc().m_arrHosts;

    CHostComparison comparison;
    comparison.AddHosts(arrHosts, arrSet);
    const CComparisonChart chart(comparison);
    QSize size = chart.PreferredSize();
    if (nWidth)
        size.setWidth(nWidth);
    if (nHeight)
        size.setHeight(nHeight);
    QString strError;
    if (!chart.Save(strOut, size, strError)) {
        CliError(strError + "; no image was written.");
        return CLI_BAD_INPUT; // 1: the file could not be written
    }
    return CLI_OK;
}

} // namespace

VANTREL_CLI_COMMAND("compare", "Draw the comparison chart of chosen hosts as PNG or SVG",
                    CompareCommand);
