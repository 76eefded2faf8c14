// The data-file verbs: list, export, import, check.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/cli_store.h"
#include "core/atomic_file.h"
#include "core/host_check.h"
#include "core/hosts_file.h"
#include "core/instance_guard.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int ListCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Shows one line per host: index, name, test URL, status, time tested, "
                           "uptime and average ping, separated by tabs.");
    CCliStore store;
    int nExit = CLI_OK;
    if (!store.Open(cliArgs, nExit))
        return nExit;
    const CVantrelDoc& doc = store.GetDoc();
    // A text longer than import takes comes from a damaged file: it is cut.
    auto Shown = [](const std::string& str) {
        return CliFromLatin1(str.substr(0, CHostCheck::MAX_TEXT_BYTES));
    };
    for (size_t i = 0; i < doc.m_arrHosts.size(); ++i) {
        const CHost& host = *doc.m_arrHosts[i];
        CliPrint(QString::number(i) + "\t" + Shown(host.m_strName) + "\t" +
                 Shown(host.m_strTestURL) + "\t" + CliFromLatin1(host.GetStatusText()) + "\t" +
                 CliFromLatin1(host.GetTimeTestedText()) + "\t" +
                 CliFromLatin1(host.GetUptimeText()) + "\t" + CliFromLatin1(host.GetAvgPingText()) +
                 "\n");
    }
    return CliFlushOutput() ? nExit : CLI_BAD_INPUT;
}

// Export writes its JSON by hand: keys in file order and number arrays on one line keep
// large histories readable, which QJsonDocument's sorted, one-per-line output does not.
template <typename T> void AppendJsonArray(std::string& strOut, const T* pValues, size_t nCount) {
    strOut += '[';
    for (size_t i = 0; i < nCount; ++i) {
        if (i)
            strOut += ", ";
        strOut += std::to_string(pValues[i]);
    }
    strOut += ']';
}

void AppendHostJson(std::string& strOut, const CHost& host) {
    auto Key = [&strOut](const char* pszKey) {
        strOut += "      \"";
        strOut += pszKey;
        strOut += "\": ";
    };
    strOut += "    {\n";
    Key("name");
    CliAppendJsonString(strOut, host.m_strName);
    strOut += ",\n";
    Key("website");
    CliAppendJsonString(strOut, host.m_strWebSite);
    strOut += ",\n";
    Key("test_url");
    CliAppendJsonString(strOut, host.m_strTestURL);
    strOut += ",\n";
    Key("answers");
    strOut += "{";
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i) {
        strOut += i ? ", \"" : "\"";
        strOut += CHostCheck::GetAnswerKey(i);
        strOut += "\": " + std::to_string(host.Answer(i));
    }
    strOut += "},\n";
    Key("features");
    AppendJsonArray(strOut, host.m_arrFeatures, FEATURE_COUNT);
    strOut += ",\n";
    Key("seconds_tested");
    strOut += std::to_string(host.m_nSecondsTested) + ",\n";
    Key("tests");
    strOut += std::to_string(host.m_nTests) + ",\n";
    Key("tests_up");
    strOut += std::to_string(host.m_nTestsUp) + ",\n";
    Key("ping_history");
    AppendJsonArray(strOut, host.m_pPingHistory->data(), host.m_pPingHistory->size());
    strOut += ",\n";
    Key("ping_total");
    strOut += std::to_string(host.m_nPingTotal) + ",\n";
    Key("resolved");
    strOut += std::to_string(host.m_bResolved) + ",\n";
    Key("testing");
    strOut += std::to_string(host.m_bTesting) + "\n    }";
}

int ExportCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Writes the whole data file as JSON to standard output. Texts are the "
                           "file's bytes read as ISO-8859-1.");
    CCliStore store;
    int nExit = CLI_OK;
    if (!store.Open(cliArgs, nExit))
        return nExit;
    const CVantrelDoc& doc = store.GetDoc();
    std::string strOut = "{\n  \"run_seconds\": " + std::to_string(doc.m_nRunSeconds) +
                         ",\n  \"interval_minutes\": " + std::to_string(doc.m_nIntervalMinutes) +
                         ",\n  \"hosts\": [";
    for (size_t i = 0; i < doc.m_arrHosts.size(); ++i) {
        strOut += i ? ",\n" : "\n";
        AppendHostJson(strOut, *doc.m_arrHosts[i]);
        if (strOut.size() > (1 << 20)) {
            std::fwrite(strOut.data(), 1, strOut.size(), stdout);
            strOut.clear();
        }
    }
    strOut += doc.m_arrHosts.empty() ? "]\n}\n" : "\n  ]\n}\n";
    std::fwrite(strOut.data(), 1, strOut.size(), stdout);
    return CliFlushOutput() ? nExit : CLI_BAD_INPUT;
}

// Reading the JSON of import: each failure names the key (and the host) in plain words.
class CImportError {
public:
    QString m_strText;
};

QString Where(int nHost, const QString& strKey) {
    return (nHost >= 0 ? "host " + QString::number(nHost) + ": key \"" : QString("key \"")) +
           strKey + "\"";
}

QJsonValue Require(const QJsonObject& obj, const QString& strKey, int nHost,
                   const QString& strPath = QString()) {
    const QString strName = strPath.isEmpty() ? strKey : strPath + "." + strKey;
    auto it = obj.constFind(strKey);
    if (it == obj.constEnd())
        throw CImportError{Where(nHost, strName) + " is missing"};
    return *it;
}

int64_t ToWhole(const QJsonValue& value, int64_t nMin, int64_t nMax, int nHost,
                const QString& strKey) {
    const double dValue = value.toDouble(std::nan(""));
    if (!value.isDouble() || dValue != std::floor(dValue) || dValue < static_cast<double>(nMin) ||
        dValue > static_cast<double>(nMax))
        throw CImportError{Where(nHost, strKey) + " must be a whole number from " +
                           QString::number(nMin) + " to " + QString::number(nMax)};
    return static_cast<int64_t>(dValue);
}

int32_t ToI32(const QJsonValue& value, int nHost, const QString& strKey) {
    return static_cast<int32_t>(ToWhole(value, std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max(), nHost, strKey));
}

std::string ToLatin1(const QJsonValue& value, int nHost, const QString& strKey) {
    if (!value.isString())
        throw CImportError{Where(nHost, strKey) + " must be a text"};
    const QString str = value.toString();
    for (QChar ch : str)
        if (ch.unicode() > 0xFF)
            throw CImportError{Where(nHost, strKey) +
                               " holds a character outside ISO-8859-1 (Latin-1)"};
    return str.toLatin1().toStdString();
}

QJsonArray ToArray(const QJsonValue& value, int nHost, const QString& strKey) {
    if (!value.isArray())
        throw CImportError{Where(nHost, strKey) + " must be an array"};
    return value.toArray();
}

void ReadHostJson(const QJsonValue& value, int nHost, CHost& host) {
    if (!value.isObject())
        throw CImportError{"host " + QString::number(nHost) + " must be an object"};
    const QJsonObject obj = value.toObject();
    host.m_strName = ToLatin1(Require(obj, "name", nHost), nHost, "name");
    host.m_strWebSite = ToLatin1(Require(obj, "website", nHost), nHost, "website");
    host.m_strTestURL = ToLatin1(Require(obj, "test_url", nHost), nHost, "test_url");
    const QJsonValue answers = Require(obj, "answers", nHost);
    if (!answers.isObject())
        throw CImportError{Where(nHost, "answers") + " must be an object"};
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i) {
        const QString strKey = QString("answers.") + CHostCheck::GetAnswerKey(i);
        host.Answer(i) =
            ToI32(Require(answers.toObject(), CHostCheck::GetAnswerKey(i), nHost, "answers"), nHost,
                  strKey);
    }
    const QJsonArray features = ToArray(Require(obj, "features", nHost), nHost, "features");
    if (features.size() != FEATURE_COUNT)
        throw CImportError{Where(nHost, "features") + " must hold " +
                           QString::number(FEATURE_COUNT) + " numbers, not " +
                           QString::number(features.size())};
    for (int i = 0; i < FEATURE_COUNT; ++i)
        host.m_arrFeatures[i] = ToI32(features[i], nHost, "features[" + QString::number(i) + "]");
    host.m_nSecondsTested = ToI32(Require(obj, "seconds_tested", nHost), nHost, "seconds_tested");
    host.m_nTests = ToI32(Require(obj, "tests", nHost), nHost, "tests");
    host.m_nTestsUp = ToI32(Require(obj, "tests_up", nHost), nHost, "tests_up");
    const QJsonArray history = ToArray(Require(obj, "ping_history", nHost), nHost, "ping_history");
    host.m_pPingHistory->reserve(static_cast<size_t>(history.size()));
    for (qsizetype i = 0; i < history.size(); ++i)
        host.m_pPingHistory->push_back(
            static_cast<uint32_t>(ToWhole(history[i], 0, std::numeric_limits<uint32_t>::max(),
                                          nHost, "ping_history[" + QString::number(i) + "]")));
    host.m_nPingTotal = ToI32(Require(obj, "ping_total", nHost), nHost, "ping_total");
    host.m_bResolved = ToI32(Require(obj, "resolved", nHost), nHost, "resolved");
    host.m_bTesting = ToI32(Require(obj, "testing", nHost), nHost, "testing");
}

// Reads the document of import ("-": standard input) into bytes. The reason in plain words
// when it cannot: a device never ends, and a pipe that runs past the bound is refused too.
QString ReadImport(const QString& strJson, QByteArray& bytes) {
    constexpr qsizetype MAX_IMPORT_BYTES = 256 * 1024 * 1024;
    const int nFd =
        strJson == "-" ? STDIN_FILENO : ::open(CliPath(strJson).c_str(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0)
        return QString::fromStdString(CAtomicFile::DescribeErrno(errno));
    QString strReason;
    struct stat st;
    if (::fstat(nFd, &st) != 0)
        strReason = QString::fromStdString(CAtomicFile::DescribeErrno(errno));
    else if (S_ISDIR(st.st_mode))
        strReason = QString::fromStdString(CAtomicFile::DescribeErrno(EISDIR));
    else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        strReason = "it is a device, not a document";
    else if (S_ISREG(st.st_mode) && st.st_size > MAX_IMPORT_BYTES)
        strReason = "it is larger than 256 MB";
    while (strReason.isEmpty()) {
        const qsizetype nOld = bytes.size();
        if (nOld > MAX_IMPORT_BYTES) {
            strReason = "it is larger than 256 MB";
            break;
        }
        bytes.resize(nOld + 65536);
        const ssize_t nRead = ::read(nFd, bytes.data() + nOld, 65536);
        bytes.resize(nOld + std::max<ssize_t>(nRead, 0));
        if (nRead == 0)
            break;
        if (nRead < 0 && errno != EINTR)
            strReason = QString::fromStdString(CAtomicFile::DescribeErrno(errno));
    }
    if (nFd != STDIN_FILENO)
        ::close(nFd);
    if (!strReason.isEmpty())
        bytes.clear();
    return strReason;
}

int ImportCommand(const QStringList& args) {
    CCliArgs cliArgs(args,
                     "Writes the data file from JSON in the form export writes ('-' reads "
                     "standard input). On any error the data file is left as it was.",
                     "FILE.json");
    if (!cliArgs.Parse(1, 1))
        return cliArgs.GetExitCode();
    const QString strJson = cliArgs.GetPositional().at(0);
    QByteArray bytes;
    if (const QString strReason = ReadImport(strJson, bytes); !strReason.isEmpty()) {
        CliError("cannot read " + strJson + ": " + strReason + "; the data file was not changed.");
        return CLI_BAD_INPUT;
    }
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(bytes, &parseError);
    bytes.clear();
    if (json.isNull()) {
        CliError(strJson + " is not valid JSON: " + parseError.errorString() + " at byte " +
                 QString::number(parseError.offset));
        return CLI_BAD_INPUT;
    }

    // The running engine would write its own list back over the import.
    const std::string strDataPath = cliArgs.GetDataPath();
    CInstanceGuard guard;
    if (!guard.Acquire(strDataPath)) {
        CliError("Vantrel is running; close it before importing.");
        return CLI_BAD_INPUT;
    }

    std::vector<std::unique_ptr<CHost>> vecHosts;
    int32_t nRunSeconds = 0;
    int32_t nInterval = 0;
    try {
        if (!json.isObject())
            throw CImportError{"the top level must be an object"};
        const QJsonObject top = json.object();
        nRunSeconds = ToI32(Require(top, "run_seconds", -1), -1, "run_seconds");
        nInterval = ToI32(Require(top, "interval_minutes", -1), -1, "interval_minutes");
        const QJsonArray hosts = ToArray(Require(top, "hosts", -1), -1, "hosts");
        for (qsizetype i = 0; i < hosts.size(); ++i) {
            vecHosts.push_back(std::make_unique<CHost>());
            ReadHostJson(hosts[i], static_cast<int>(i), *vecHosts.back());
        }
        std::vector<CHostCheck::CProblem> arrProblems;
        for (size_t i = 0; i < vecHosts.size(); ++i)
            CHostCheck::CheckHost(*vecHosts[i], static_cast<int>(i), arrProblems);
        CHostCheck::CheckTrailer(nRunSeconds, nInterval, arrProblems);
        if (!arrProblems.empty())
            throw CImportError{CliFromLatin1(arrProblems.front().Describe())};
    } catch (const CImportError& error) {
        CliError(strJson + ": " + error.m_strText + "; the data file was not changed.");
        return CLI_BAD_INPUT;
    }

    std::vector<CHost*> arrHosts;
    for (const auto& pHost : vecHosts)
        arrHosts.push_back(pHost.get());
    std::string strError;
    if (!CHostsFile::Save(strDataPath, arrHosts, nRunSeconds, nInterval, false, strError)) {
        CliError(CliVisible(CliFromBytes(strError)) + "; the data file was not changed.");
        return CLI_BAD_INPUT;
    }
    // Hosts that match keep their histories; those no longer in the list lose theirs. The
    // import itself stands either way.
    if (!CCliStore::KeepHistories(strDataPath, arrHosts))
        CliError("the hosts were imported, but their test history was not updated.");
    return CLI_OK;
}

int CheckCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Reads the data file and tells whether it is sound: the hosts read, "
                           "and where a damaged file goes wrong; then the test history beside it, "
                           "when there is one: sound or damaged, and its size. Exit status 0 only "
                           "for a sound file and history.");
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();
    std::vector<CHost*> arrHosts;
    int32_t nRunSeconds = 0;
    int32_t nInterval = 5;
    const CHostsFile::CLoadReport report =
        CHostsFile::Load(cliArgs.GetDataPath(), arrHosts, nRunSeconds, nInterval);
    std::vector<CHostCheck::CProblem> arrProblems;
    for (size_t i = 0; i < arrHosts.size(); ++i)
        CHostCheck::CheckHost(*arrHosts[i], static_cast<int>(i), arrProblems);
    if (report.m_eResult == CHostsFile::LOAD_OK)
        CHostCheck::CheckTrailer(nRunSeconds, nInterval, arrProblems);
    for (CHost* pHost : arrHosts)
        delete pHost;
    QString strProblems;
    for (const CHostCheck::CProblem& problem : arrProblems)
        strProblems += CliFromLatin1(problem.Describe()) + "\n";
    if (report.m_eResult == CHostsFile::LOAD_UNREADABLE) {
        CliError(CliVisible(CliFromBytes(report.m_strReason)) + ".");
        return CLI_BAD_INPUT;
    }
    QString strOut = "hosts read: " + QString::number(report.m_nHostsRead) + "\n";
    if (report.m_eResult == CHostsFile::LOAD_DAMAGED) {
        QString strWhere =
            report.m_nHostIndex >= 0
                ? "in host " + QString::number(report.m_nHostIndex)
                : (report.m_nOffset < 4 ? QString("in the host count") : QString("in the trailer"));
        bool bHistorySound = true;
        CliPrint(strOut + "damaged: yes, at byte " + QString::number(report.m_nOffset) + " " +
                 strWhere + "\n" + CliVisible(CliFromBytes(report.m_strReason)) + "\n" +
                 strProblems + CCliStore::DescribeHistory(cliArgs.GetDataPath(), bHistorySound));
        CliFlushOutput();
        return CLI_BAD_INPUT;
    }
    strOut += "damaged: no\n";
    if (report.m_nFileSize > report.m_nEnd && report.m_nEnd > 0)
        strOut += "ignored bytes after the interval: " +
                  QString::number(report.m_nFileSize - report.m_nEnd) + "\n";
    bool bHistorySound = true;
    CliPrint(strOut + strProblems +
             CCliStore::DescribeHistory(cliArgs.GetDataPath(), bHistorySound));
    if (!CliFlushOutput())
        return CLI_BAD_INPUT;
    return arrProblems.empty() && bHistorySound ? CLI_OK : CLI_BAD_INPUT;
}

} // namespace

VANTREL_CLI_COMMAND("list", "Show one line per host, as the host list does", ListCommand);
VANTREL_CLI_COMMAND("export", "Write the data file as JSON to standard output", ExportCommand);
VANTREL_CLI_COMMAND("import", "Write the data file from JSON (FILE.json)", ImportCommand);
VANTREL_CLI_COMMAND("check", "Tell whether the data file is sound", CheckCommand);
