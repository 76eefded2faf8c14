#include "cli/cli_args.h"

#include "cli/cli_command.h"
#include "core/settings_store.h"

#include <QFile>

CCliArgs::CCliArgs(const QStringList& args, const QString& strDescription, const QString& strSyntax,
                   bool bDataOption)
    : m_args(args), m_strSyntax(strSyntax),
      m_optData(QStringList{"data"}, "The hosts data file (default: the one Vantrel uses).",
                "FILE"),
      m_bDataOption(bDataOption) {
    m_parser.setApplicationDescription(strDescription);
    m_parser.addHelpOption();
    if (bDataOption)
        m_parser.addOption(m_optData);
}

QString CCliArgs::GetHelpText() const {
    // The parser names only the program; the verb and its arguments belong in the usage line.
    QString strHelp = m_parser.helpText();
    const qsizetype nEnd = strHelp.indexOf('\n');
    QString strUsage = "Usage: vantrelctl " + m_args.value(0) + " [options]";
    if (!m_strSyntax.isEmpty())
        strUsage += " " + m_strSyntax;
    return strUsage + "\n" + strHelp.mid(nEnd);
}

bool CCliArgs::Parse(int nMinPositional, int nMaxPositional) {
    // The parser takes its first argument as the program name: here, the verb.
    if (!m_parser.parse(m_args)) {
        CliError(m_parser.errorText() + "\nTry 'vantrelctl " + m_args.value(0) + " --help'.");
        m_nExitCode = CLI_USAGE;
        return false;
    }
    if (m_parser.isSet("help")) {
        CliPrint(GetHelpText());
        m_nExitCode = CLI_OK;
        return false;
    }
    const qsizetype nCount = m_parser.positionalArguments().size();
    if (nCount < nMinPositional || nCount > nMaxPositional) {
        CliError((nCount < nMinPositional
                      ? QString("missing argument")
                      : "unexpected argument \"" +
                            m_parser.positionalArguments().value(nMaxPositional) + "\"") +
                 "\nUsage: vantrelctl " + m_args.value(0) + " [options]" +
                 (m_strSyntax.isEmpty() ? QString() : " " + m_strSyntax));
        m_nExitCode = CLI_USAGE;
        return false;
    }
    return true;
}

std::string CCliArgs::GetDataPath() const {
    if (m_bDataOption && m_parser.isSet(m_optData))
        return QFile::encodeName(m_parser.value(m_optData)).toStdString();
    CAppSettings settings;
    std::string strPath;
    CSettingsStore().LoadSettings(settings, strPath, false);
    return strPath;
}

bool CCliArgs::Require(std::initializer_list<const QCommandLineOption*> options,
                       const QString& strUsage) const {
    for (const QCommandLineOption* pOption : options)
        if (!m_parser.isSet(*pOption)) {
            CliError("--" + pOption->names().first() + " is missing.\n" + strUsage);
            return false;
        }
    return true;
}

QCommandLineOption CCliArgs::HostsOption() {
    return QCommandLineOption("hosts",
                              "The hosts to compare: indices as 'vantrelctl list' shows them, "
                              "separated by commas, or all.",
                              "LIST");
}

bool CCliArgs::ParseHosts(const QString& strList, size_t nHosts, std::vector<int>& arrSet) {
    if (strList.trimmed() == "all") {
        for (size_t i = 0; i < nHosts; ++i)
            arrSet.push_back(static_cast<int>(i));
        if (arrSet.empty()) {
            CliError("the data file holds no hosts.");
            return false;
        }
        return true;
    }
    QString strRange = "the data file holds no hosts";
    if (nHosts == 1)
        strRange = "the data file holds 1 host (index 0)";
    else if (nHosts > 1)
        strRange = "the data file holds " + QString::number(nHosts) + " hosts (0 to " +
                   QString::number(nHosts - 1) + ")";
    for (const QString& strPart : strList.split(',')) {
        bool bOk = false;
        const int nIndex = strPart.trimmed().toInt(&bOk);
        if (!bOk || nIndex < 0 || static_cast<size_t>(nIndex) >= nHosts) {
            CliError("there is no host \"" + strPart.trimmed() + "\": " + strRange +
                     "; give indices as 'vantrelctl list' shows them, or all.");
            return false;
        }
        arrSet.push_back(nIndex);
    }
    return true;
}
