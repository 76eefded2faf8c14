// vantrelctl report: the HTML comparison report of chosen hosts, the same bytes the desktop
// program writes.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/cli_store.h"
#include "core/history_store.h"
#include "report/report_history.h"
#include "report/report_scorer.h"
#include "report/report_writer.h"
#ifdef VANTREL_CLI_CHARTS
#include "graph/comparison_chart.h"
#endif

#include <QFile>

#include <ctime>
#include <vector>

namespace {

// The attributes in weight order, for the help text.
const char s_szWeightNames[] = "storage, bandwidth, 12-month cost, e-mail features, support, "
                               "redundancy, general hosting features, connection speed, uptime";

bool ParseWeights(const QString& strList, CReportWeights& arrWeights) {
    const QStringList parts = strList.split(',');
    if (parts.size() != ATTRIBUTE_COUNT) {
        CliError("--weights needs " + QString::number(ATTRIBUTE_COUNT) +
                 " numbers separated by commas (" + s_szWeightNames + "), not " +
                 QString::number(parts.size()) + ".");
        return false;
    }
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a) {
        bool bOk = false;
        const int nWeight = parts[a].trimmed().toInt(&bOk);
        if (!bOk || nWeight < 1 || nWeight > 10) {
            CliError("weight \"" + parts[a].trimmed() +
                     "\" is not a whole number from 1 to 10 (weight " + QString::number(a + 1) +
                     " of " + QString::number(ATTRIBUTE_COUNT) + ").");
            return false;
        }
        arrWeights[a] = nWeight;
    }
    return true;
}

int ReportCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Writes the HTML comparison report of the chosen hosts, ranked on nine "
                           "attributes under the given weights, as Vantrel's Generate report "
                           "command does.");
    const QCommandLineOption optHosts = CCliArgs::HostsOption();
    const QCommandLineOption optOut(
        "out", "The report file to write; an existing file is replaced.", "FILE.html");
    const QCommandLineOption optWeights(
        "weights",
        QString("Nine weights from 1 to 10, separated by commas, in this order: ") +
            s_szWeightNames + ". Default: all 10.",
        "W1,...,W9");
    cliArgs.Parser().addOption(optHosts);
    cliArgs.Parser().addOption(optOut);
    cliArgs.Parser().addOption(optWeights);
    const QCommandLineOption optChart(
        "chart", "Add the comparison chart of the hosts as an image after the score table.");
    cliArgs.Parser().addOption(optChart);
    const QCommandLineOption optHistory(
        "history", "Add the measured history: the test period under the title and, after the "
                   "scores, uptime over 7 and 30 days, outages, median web response, loss and "
                   "certificate days left.");
    cliArgs.Parser().addOption(optHistory);
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();
    if (!cliArgs.Require({&optHosts, &optOut},
                         "Usage: vantrelctl report [--data FILE] --hosts LIST --out FILE.html "
                         "[--weights W1,...,W9] [--chart] [--history]"))
        return CLI_USAGE;
    CReportWeights arrWeights;
    arrWeights.fill(10);
    if (cliArgs.Parser().isSet(optWeights) &&
        !ParseWeights(cliArgs.Parser().value(optWeights), arrWeights))
        return CLI_USAGE;

    CCliStore store;
    std::vector<int> arrSet;
    if (const int nExit = store.LoadChosenHosts(cliArgs, cliArgs.Parser().value(optHosts), arrSet);
        nExit != CLI_OK)
        return nExit;
    const std::vector<CHost*>& arrHosts = store.GetDoc().m_arrHosts;

    CReportScorer scorer;
    scorer.Score(arrHosts, arrSet, arrWeights);
    std::string strChart;
    if (cliArgs.Parser().isSet(optChart)) {
#ifdef VANTREL_CLI_CHARTS
        CHostComparison comparison;
        comparison.AddHosts(arrHosts, scorer.GetRowsInOrder());
        const CComparisonChart chart(comparison);
        strChart = chart.InlineSvg(chart.PreferredSize());
#else
        CliError("--chart needs Qt SVG, which this vantrelctl was built without.");
        return CLI_USAGE;
#endif
    }
    std::vector<CReportHistory> arrHistory;
    if (cliArgs.Parser().isSet(optHistory)) {
        CHistoryStore history;
        if (history.OpenExisting(CHistoryStore::PathFor(cliArgs.GetDataPath())) !=
            CHistoryStore::EOpen::OK) {
            CliError(CliVisible(CliFromBytes(history.GetLastError())) + "; no report was written.");
            return CLI_BAD_INPUT;
        }
        const std::vector<int64_t> arrIds = history.Find(CVantrelDoc::GetHistoryKeys(arrHosts));
        const int64_t tNow = ::time(nullptr);
        arrHistory.resize(arrHosts.size());
        for (int nRow : arrSet)
            arrHistory[static_cast<size_t>(nRow)] =
                CReportHistory::Measure(history, arrIds[static_cast<size_t>(nRow)], tNow);
    }
    const std::string strPath = CliPath(cliArgs.Parser().value(optOut));
    std::string strError;
    if (!CReportWriter::WriteReport(strPath, arrHosts, scorer, strError, strChart,
                                    cliArgs.Parser().isSet(optHistory) ? &arrHistory : nullptr)) {
        CliError(CliVisible(CliFromBytes(strError)) + "; no report was written.");
        return CLI_BAD_INPUT; // 1: the file could not be written
    }
    return CLI_OK;
}

} // namespace

VANTREL_CLI_COMMAND("report", "Write the HTML comparison report of chosen hosts", ReportCommand);
