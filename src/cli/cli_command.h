#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

// Exit statuses of every verb.
enum {
    CLI_OK = 0,
    CLI_BAD_INPUT = 1, // damaged or unreadable input
    CLI_USAGE = 2,     // wrong arguments
};

// A verb of vantrelctl. Each verb lives in its own source file and registers itself there:
//
//     int ListCommand(const QStringList& args); // args[0] is the verb itself
//     VANTREL_CLI_COMMAND("list", "Show one line per host", ListCommand);
//
// The function returns the exit status; CCliArgs parses the verb's arguments and CCliStore
// loads the data file for it.
class CCliCommand {
public:
    using Function = int (*)(const QStringList& args);

    CCliCommand(const char* pszName, const char* pszSummary, Function pfnRun);

    static const CCliCommand* Find(const QString& strName);
    // Every verb, by name.
    static std::vector<const CCliCommand*> GetAll();

    const char* m_pszName;
    const char* m_pszSummary;
    Function m_pfnRun;
};

#define VANTREL_CLI_CONCAT2(a, b) a##b
#define VANTREL_CLI_CONCAT(a, b) VANTREL_CLI_CONCAT2(a, b)
#define VANTREL_CLI_COMMAND(name, summary, function)                                               \
    static const CCliCommand VANTREL_CLI_CONCAT(s_cliCommand, __LINE__)(name, summary, function)

// The program's arguments without loss: bytes that are not UTF-8 are kept as the code points
// U+DC80..U+DCFF, so that CliPath gives back a file name's very bytes.
QStringList CliArguments(int argc, char* argv[]);
// Bytes that name files (a path, or a message about one) for printing: UTF-8, and the bytes
// that are not UTF-8 kept as CliArguments keeps them (printed as "\\xe9").
QString CliFromBytes(std::string_view strBytes);
// The bytes of a file name given as an argument (see CliArguments).
std::string CliPath(const QString& strArgument);
// Text from files and peers with its control characters made visible ("\r", "\x1b"), so that
// it cannot move the cursor, recolour the terminal or pose as a line of its own.
// bKeepLineBreaks keeps "\n" for messages of several lines.
QString CliVisible(const QString& strText, bool bKeepLineBreaks = false);
// A text of the data file or the store (ISO-8859-1 bytes) for printing, made visible.
QString CliFromLatin1(const std::string& str, bool bKeepLineBreaks = false);
// Appends an ISO-8859-1 text of the data file or the store as a JSON string (UTF-8, quoted,
// control characters escaped).
void CliAppendJsonString(std::string& strOut, const std::string& strLatin1);
// Writes "vantrelctl: <text>" and a line break to stderr.
void CliError(const QString& strText);
// Writes text to stdout or stderr in the terminal's encoding.
void CliPrint(const QString& strText);
// Flushes stdout. False, after saying so on stderr, when anything written to it was lost
// (a full disk, a closed pipe).
bool CliFlushOutput();
