#pragma once

#include <QCommandLineParser>
#include <QStringList>

#include <initializer_list>
#include <string>
#include <vector>

// The arguments of one verb: --help, --data FILE (unless the verb has no data file) and the
// verb's own options, which it adds to Parser() before Parse().
class CCliArgs {
public:
    // args[0] is the verb. strSyntax names the positional arguments for the help ("FILE.json").
    CCliArgs(const QStringList& args, const QString& strDescription,
             const QString& strSyntax = QString(), bool bDataOption = true);

    QCommandLineParser& Parser() { return m_parser; }

    // False when the verb must end at once with GetExitCode(): after --help (printed, CLI_OK)
    // or a usage error (printed to stderr, CLI_USAGE), including a count of positional
    // arguments outside nMin..nMax.
    bool Parse(int nMinPositional = 0, int nMaxPositional = 0);
    int GetExitCode() const { return m_nExitCode; }

    // False, after "--NAME is missing." and strUsage on stderr, when one of the options (the
    // first in this order) was not given.
    bool Require(std::initializer_list<const QCommandLineOption*> options,
                 const QString& strUsage) const;

    // Positional arguments after the verb.
    QStringList GetPositional() const { return m_parser.positionalArguments(); }
    // --data, else the data path of the user's settings (never writes the settings).
    std::string GetDataPath() const;

    QString GetHelpText() const;

    // A --hosts list: indices as 'vantrelctl list' shows them, separated by commas, or "all".
    // False, with the reason on stderr, for an index outside the file's nHosts or no hosts.
    // The --hosts option of the verbs that work on chosen hosts.
    static QCommandLineOption HostsOption();
    static bool ParseHosts(const QString& strList, size_t nHosts, std::vector<int>& arrSet);

private:
    QStringList m_args;
    QString m_strSyntax;
    QCommandLineParser m_parser;
    QCommandLineOption m_optData;
    bool m_bDataOption;
    int m_nExitCode = 0;
};
