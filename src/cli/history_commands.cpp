// The test history verbs: history (the tests of one host) and outages (of chosen hosts), as
// CSV or JSON, read from the history beside the data file.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/cli_store.h"
#include "core/history_store.h"

#include <QDateTime>

#include <cstdio>
#include <ctime>
#include <limits>
#include <sys/socket.h>

namespace {

constexpr int64_t NO_TIME = std::numeric_limits<int64_t>::min();

QCommandLineOption FormatOption() {
    return QCommandLineOption("format", "csv (the default) or json.", "csv|json");
}

// False after saying why, for a --format that is neither.
bool ParseFormat(const QCommandLineParser& parser, const QCommandLineOption& option, bool& bJson) {
    const QString strFormat = parser.value(option);
    bJson = strFormat == "json";
    if (strFormat.isEmpty() || strFormat == "csv" || bJson)
        return true;
    CliError("--format \"" + strFormat + "\" must be csv or json.");
    return false;
}

// UTC, "2026-12-08T10:05:00Z".
std::string FormatTime(int64_t t) {
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(Qt::ISODate).toStdString();
}

// Tenths of a millisecond as milliseconds ("12.3"); empty for none (-1).
std::string FormatTenths(int32_t nTenths) {
    if (nTenths < 0)
        return {};
    return std::to_string(nTenths / 10) + "." + std::to_string(nTenths % 10);
}

// A CSV field (RFC 4180): quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& strUtf8) {
    if (strUtf8.find_first_of(",\"\r\n") == std::string::npos)
        return strUtf8;
    std::string strOut = "\"";
    for (char ch : strUtf8)
        strOut += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return strOut + "\"";
}

// A store text (ISO-8859-1) as UTF-8 with its control characters made visible.
std::string Shown(const std::string& strLatin1) {
    return CliFromLatin1(strLatin1).toUtf8().toStdString();
}

std::string JsonString(const std::string& strLatin1) {
    std::string strOut;
    CliAppendJsonString(strOut, strLatin1);
    return strOut;
}

// For JSON: a value or null.
std::string OrNull(const std::string& strValue, bool bQuote = false) {
    if (strValue.empty())
        return "null";
    return bQuote ? "\"" + strValue + "\"" : strValue;
}

// Standard output in large pieces: a year of tests is many lines.
class COutput {
public:
    void Add(const std::string& str) {
        m_strBuffer += str;
        if (m_strBuffer.size() > (1 << 20))
            Flush();
    }
    void Flush() {
        std::fwrite(m_strBuffer.data(), 1, m_strBuffer.size(), stdout);
        m_strBuffer.clear();
    }

private:
    std::string m_strBuffer;
};

// The history beside the data file, for reading; false after saying why.
bool OpenHistory(const CCliArgs& args, CHistoryStore& history) {
    if (history.OpenExisting(CHistoryStore::PathFor(args.GetDataPath())) ==
        CHistoryStore::EOpen::OK)
        return true;
    CliError(CliVisible(CliFromBytes(history.GetLastError())) + ".");
    return false;
}

// --since: a date (midnight UTC) or a date and time, UTC unless it names its offset.
bool ParseSince(const QString& strSince, int64_t& tSince) {
    QDateTime when = QDateTime::fromString(strSince, Qt::ISODate);
    if (when.isValid() && when.timeSpec() == Qt::LocalTime)
        when.setTimeSpec(Qt::UTC);
    if (!when.isValid()) {
        const QDate date = QDate::fromString(strSince, Qt::ISODate);
        if (date.isValid())
            when = date.startOfDay(Qt::UTC);
    }
    if (!when.isValid()) {
        CliError("--since \"" + strSince +
                 "\" is neither a date (2026-12-01) nor a time (2026-12-01T08:30:00Z).");
        return false;
    }
    tSince = when.toSecsSinceEpoch();
    return true;
}

const char* MethodName(const CTestRecord& test) {
    return test.nMethod == PING_METHOD_TCP ? "tcp" : "icmp";
}

const char* FamilyName(const CTestRecord& test) {
    return test.nFamily == AF_INET ? "ipv4" : test.nFamily == AF_INET6 ? "ipv6" : "";
}

int HistoryCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Writes every recorded test of one host, oldest first: when it ran "
                           "(UTC), up or down and why, the ping and web timings in ms, the HTTP "
                           "status and the certificate's expiry.");
    const QCommandLineOption optHost("host", "The host: its index as 'vantrelctl list' shows it.",
                                     "N");
    const QCommandLineOption optSince(
        "since", "Only tests from this date (UTC) or time on (2026-12-01, 2026-12-01T08:30:00Z).",
        "DATE");
    const QCommandLineOption optFormat = FormatOption();
    for (const QCommandLineOption& option : {optHost, optSince, optFormat})
        cliArgs.Parser().addOption(option);
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();
    const QCommandLineParser& parser = cliArgs.Parser();
    if (!cliArgs.Require({&optHost}, "Usage: vantrelctl history [--data FILE] --host N "
                                     "[--since DATE] [--format csv|json]"))
        return CLI_USAGE;
    bool bJson = false;
    int64_t tSince = NO_TIME;
    if (!ParseFormat(parser, optFormat, bJson) ||
        (parser.isSet(optSince) && !ParseSince(parser.value(optSince), tSince)))
        return CLI_USAGE;
    if (parser.value(optHost).contains(',') || parser.value(optHost).trimmed() == "all") {
        CliError("--host takes one host, as 'vantrelctl list' shows it.");
        return CLI_USAGE;
    }
    CCliStore store;
    std::vector<int> arrSet;
    if (const int nExit = store.LoadChosenHosts(cliArgs, parser.value(optHost), arrSet);
        nExit != CLI_OK)
        return nExit;
    CHost* pHost = store.GetDoc().m_arrHosts[static_cast<size_t>(arrSet.front())];
    const CHost& host = *pHost;
    CHistoryStore history;
    if (!OpenHistory(cliArgs, history))
        return CLI_BAD_INPUT;
    const int64_t nId = history.Find(CVantrelDoc::GetHistoryKeys({pHost}))[0];
    const std::vector<CTestRecord> arrTests =
        nId ? history.Tests(nId, tSince, std::numeric_limits<int64_t>::max())
            : std::vector<CTestRecord>();
    COutput out;
    if (bJson) {
        out.Add("{\n  \"host\": " + std::to_string(arrSet.front()) +
                ",\n  \"name\": " + JsonString(host.m_strName) +
                ",\n  \"test_url\": " + JsonString(host.m_strTestURL) + ",\n  \"tests\": [");
    } else {
        out.Add("time,up,reason,ping_ms,method,family,echoes_sent,echoes_answered,http_status,"
                "dns_ms,connect_ms,tls_ms,first_byte_ms,total_ms,cert_expiry\n");
    }
    for (size_t i = 0; i < arrTests.size(); ++i) {
        const CTestRecord& t = arrTests[i];
        const std::string strCert = t.tCertExpiry ? FormatTime(t.tCertExpiry) : std::string();
        const std::string strStatus = t.nHttpStatus ? std::to_string(t.nHttpStatus) : "";
        if (!bJson) {
            out.Add(FormatTime(t.tWhen) + (t.bUp ? ",up," : ",down,") +
                    CsvField(Shown(t.strReason)) + "," + FormatTenths(t.nPingTenths) + "," +
                    MethodName(t) + "," + FamilyName(t) + "," + std::to_string(t.nEchoesSent) +
                    "," + std::to_string(t.nEchoesAnswered) + "," + strStatus + "," +
                    FormatTenths(t.nDnsTenths) + "," + FormatTenths(t.nConnectTenths) + "," +
                    FormatTenths(t.nTlsTenths) + "," + FormatTenths(t.nFirstByteTenths) + "," +
                    FormatTenths(t.nTotalTenths) + "," + strCert + "\n");
            continue;
        }
        out.Add(std::string(i ? ",\n" : "\n") + "    {\"time\": \"" + FormatTime(t.tWhen) +
                "\", \"up\": " + (t.bUp ? "true" : "false") +
                ", \"reason\": " + JsonString(t.strReason) +
                ", \"ping_ms\": " + OrNull(FormatTenths(t.nPingTenths)) + ", \"method\": \"" +
                MethodName(t) + "\", \"family\": " + OrNull(FamilyName(t), true) +
                ", \"echoes_sent\": " + std::to_string(t.nEchoesSent) + ", \"echoes_answered\": " +
                std::to_string(t.nEchoesAnswered) + ", \"http_status\": " + OrNull(strStatus) +
                ", \"dns_ms\": " + OrNull(FormatTenths(t.nDnsTenths)) +
                ", \"connect_ms\": " + OrNull(FormatTenths(t.nConnectTenths)) +
                ", \"tls_ms\": " + OrNull(FormatTenths(t.nTlsTenths)) +
                ", \"first_byte_ms\": " + OrNull(FormatTenths(t.nFirstByteTenths)) +
                ", \"total_ms\": " + OrNull(FormatTenths(t.nTotalTenths)) +
                ", \"cert_expiry\": " + OrNull(strCert, true) + "}");
    }
    if (bJson)
        out.Add(arrTests.empty() ? "]\n}\n" : "\n  ]\n}\n");
    out.Flush();
    return CliFlushOutput() ? CLI_OK : CLI_BAD_INPUT;
}

int OutagesCommand(const QStringList& args) {
    CCliArgs cliArgs(args, "Writes the outages of the chosen hosts, oldest first: consecutive down "
                           "tests, from the first of them to the first up test after them, with "
                           "the last up test before them and the first test's reason.");
    const QCommandLineOption optHosts = CCliArgs::HostsOption();
    const QCommandLineOption optFormat = FormatOption();
    for (const QCommandLineOption& option : {optHosts, optFormat})
        cliArgs.Parser().addOption(option);
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();
    const QCommandLineParser& parser = cliArgs.Parser();
    bool bJson = false;
    if (!ParseFormat(parser, optFormat, bJson))
        return CLI_USAGE;
    CCliStore store;
    std::vector<int> arrSet;
    if (const int nExit = store.LoadChosenHosts(
            cliArgs, parser.isSet(optHosts) ? parser.value(optHosts) : QString("all"), arrSet);
        nExit != CLI_OK)
        return nExit;
    CHistoryStore history;
    if (!OpenHistory(cliArgs, history))
        return CLI_BAD_INPUT;
    const std::vector<CHost*>& arrHosts = store.GetDoc().m_arrHosts;
    const std::vector<int64_t> arrIds = history.Find(CVantrelDoc::GetHistoryKeys(arrHosts));
    const int64_t tNow = ::time(nullptr);
    COutput out;
    out.Add(bJson ? "{\n  \"outages\": ["
                  : "host,name,start,end,duration_s,last_seen_up,tests,reason,ended_by\n");
    bool bFirst = true;
    for (int nIndex : arrSet) {
        const auto i = static_cast<size_t>(nIndex);
        if (arrIds[i] == 0)
            continue;
        for (const COutage& o : history.Outages(arrIds[i], std::numeric_limits<int64_t>::min(),
                                                std::numeric_limits<int64_t>::max())) {
            const std::string strEnd = o.tEnd ? FormatTime(o.tEnd) : std::string();
            const std::string strSeen = o.tLastSeenUp ? FormatTime(o.tLastSeenUp) : std::string();
            const std::string strDuration = std::to_string((o.tEnd ? o.tEnd : tNow) - o.tStart);
            const char* pszEndedBy = o.tEnd == 0     ? "still down"
                                     : o.bEndUnknown ? "tests broke off"
                                                     : "answered again";
            if (bJson) {
                out.Add(std::string(bFirst ? "\n" : ",\n") +
                        "    {\"host\": " + std::to_string(nIndex) +
                        ", \"name\": " + JsonString(arrHosts[i]->m_strName) + ", \"start\": \"" +
                        FormatTime(o.tStart) + "\", \"end\": " + OrNull(strEnd, true) +
                        ", \"duration_seconds\": " + strDuration + ", \"last_seen_up\": " +
                        OrNull(strSeen, true) + ", \"tests\": " + std::to_string(o.nTests) +
                        ", \"reason\": " + JsonString(o.strReason) + ", \"ended_by\": \"" +
                        pszEndedBy + "\"}");
            } else {
                out.Add(std::to_string(nIndex) + "," + CsvField(Shown(arrHosts[i]->m_strName)) +
                        "," + FormatTime(o.tStart) + "," + strEnd + "," + strDuration + "," +
                        strSeen + "," + std::to_string(o.nTests) + "," +
                        CsvField(Shown(o.strReason)) + "," + pszEndedBy + "\n");
            }
            bFirst = false;
        }
    }
    if (bJson)
        out.Add(bFirst ? "]\n}\n" : "\n  ]\n}\n");
    out.Flush();
    return CliFlushOutput() ? CLI_OK : CLI_BAD_INPUT;
}

} // namespace

VANTREL_CLI_COMMAND("history", "Write the recorded tests of a host as CSV or JSON", HistoryCommand);
VANTREL_CLI_COMMAND("outages", "Write the outages of chosen hosts as CSV or JSON", OutagesCommand);
