// The test engine's verbs: ping, probe, alert-test, run.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "cli/metrics_server.h"
#include "core/instance_guard.h"
#include "core/message_sink.h"
#include "core/password_keyring.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "core/version.h"
#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/ping.h"
#include "platform/resolver.h"
#include "testing/alert_mail_queue.h"
#include "testing/alert_mail_trial.h"
#include "testing/host_down_alert.h"
#include "testing/host_probe.h"
#include "testing/metrics_exposition.h"
#include "testing/row_update_sink.h"
#include "testing/smtp_mail_sender.h"
#include "testing/store_recorder.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
#include "testing/test_engine.h"
#include "testing/test_worker.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <sys/stat.h>

namespace {

// Exit statuses of probe beside CLI_OK (up).
constexpr int PROBE_DOWN = 1;
// How long a run that ends by itself waits for the first attempt of its alert e-mails.
constexpr int64_t ALERT_MAIL_WAIT_MS = 60000;
constexpr int PROBE_BAD_URL = 2;

// The reply's address: either family, or the IPv4 field alone.
QString ReplyAddress(const CPingResult& reply) {
    return QString::fromStdString(reply.From.GetFamily() != 0 ? FormatAddress(reply.From)
                                                              : FormatIPv4(reply.Address));
}

// The --settings option of the verbs that read the saved settings.
QCommandLineOption SettingsOption() {
    return {QStringList{"settings"}, "The settings file to read (default: the one Vantrel uses).",
            "FILE"};
}

// The settings file --settings names, else the user's.
// The user's settings keep the mail password in the desktop keyring where one answers (with
// bKeyring); a file given with --settings keeps its own.
CSettingsStore LoadSettingsFrom(const QCommandLineParser& parser,
                                const QCommandLineOption& optSettings, bool bKeyring = false) {
    if (parser.isSet(optSettings))
        return CSettingsStore(CliPath(parser.value(optSettings)));
    static CPasswordKeyring s_keyring;
    CSettingsStore store;
    if (bKeyring)
        store.SetKeyring(&s_keyring);
    return store;
}

void PrintEcho(int nAttempt, bool bOk, const CPingResult& reply) {
    if (bOk || reply.Status != PING_STATUS_SUCCESS) {
        CliPrint(QString("Echo %1: reply from %2, time %3 ms, status %4\n")
                     .arg(nAttempt)
                     .arg(ReplyAddress(reply))
                     .arg(reply.RTT)
                     .arg(reply.Status));
    } else {
        CliPrint(QString("Echo %1: no reply, last error %2\n").arg(nAttempt).arg(GetLastError()));
    }
    std::fflush(stdout);
}

void PrintConnect(int nAttempt, bool bOk, const CPingResult& reply) {
    if (bOk)
        CliPrint(QString("Connect %1: answer from %2, time %3 ms\n")
                     .arg(nAttempt)
                     .arg(ReplyAddress(reply))
                     .arg(reply.RTT));
    else
        CliPrint(
            QString("Connect %1: no answer, last error %2\n").arg(nAttempt).arg(GetLastError()));
    std::fflush(stdout);
}

int PingCommand(const QStringList& args) {
    CCliArgs cliArgs(args,
                     "Sends up to 4 ICMP echo requests to HOST as the test engine does (time to "
                     "live 64, 32 bytes, 5000 ms each) and stops at the first answer. Exit "
                     "status 0 when an echo was answered, 1 when none was.",
                     "HOST", false);
    if (!cliArgs.Parse(1, 1))
        return cliArgs.GetExitCode();
    CSystemProbes probes;
    if (!probes.IsEchoPermitted()) {
        CliError(ICMP_NOT_PERMITTED_TEXT);
        return CLI_BAD_INPUT;
    }
    std::string strHost = cliArgs.GetPositional().at(0).toLatin1().toStdString();
    // "[2001:db8::1]" as in a URL is the same address as without the brackets.
    if (strHost.size() > 2 && strHost.front() == '[' && strHost.back() == ']')
        strHost = strHost.substr(1, strHost.size() - 2);
    CEvent evNever;
    CResolvedHost addresses;
    if (probes.LookUp(strHost, addresses, evNever) != CHostLookup::EResult::FOUND) {
        CliPrint(QString("Echo 1: no reply, last error %1\n").arg(GetLastError()));
        CliPrint(QString("No answer after %1 echoes\n").arg(ECHO_ATTEMPTS));
        return CLI_BAD_INPUT;
    }
    // As the engine: IPv4 where the name has it.
    const CHostAddress& target = addresses.HasIPv4() ? addresses.m_ipv4 : addresses.m_ipv6;
    CHostProbe test;
    test.m_strServer = strHost;
    CPingResult reply;
    int nSent = 0;
    if (test.Echo(probes, evNever, FormatAddress(target), reply, PING_METHOD_ICMP, nSent,
                  PrintEcho) == CHostProbe::EEcho::ANSWERED)
        return CLI_OK;
    CliPrint(QString("No answer after %1 echoes\n").arg(ECHO_ATTEMPTS));
    return CLI_BAD_INPUT;
}
VANTREL_CLI_COMMAND("ping", "Send ICMP echoes to a host as the test engine does", PingCommand);

int ProbeCommand(const QStringList& args) {
    CCliArgs cliArgs(args,
                     "Tests URL once as the test engine tests a host: splits it, resolves its "
                     "server, sends up to 4 echoes (or TCP connects, as the saved PingMethod "
                     "says or when echoes are not permitted) and, when one is answered, "
                     "requests the URL on its port, over TLS for https. Prints Up or Down. Exit "
                     "status 0 up, 1 down, 2 for a URL the engine cannot use.",
                     "URL", false);
    const QCommandLineOption optSettings = SettingsOption();
    cliArgs.Parser().addOption(optSettings);
    if (!cliArgs.Parse(1, 1))
        return cliArgs.GetExitCode();
    const std::string strURL = cliArgs.GetPositional().at(0).toLatin1().toStdString();
    CSystemProbes probes;
    CHostProbe test;
    if (!test.SplitURL(strURL)) {
        CliError(CliFromLatin1(CHostProbe::BadURLText(strURL), true));
        return PROBE_BAD_URL;
    }
    CEvent evNever;
    CResolvedHost addresses;
    switch (probes.LookUp(test.m_strServer, addresses, evNever)) {
    case CHostLookup::EResult::FOUND:
    case CHostLookup::EResult::STOPPED:
        break;
    case CHostLookup::EResult::NOT_FOUND:
        CliError(CliFromLatin1(CHostProbe::UnresolvedText(strURL), true));
        return PROBE_BAD_URL;
    case CHostLookup::EResult::FAILED: // the engine counts it down and tries again
        CliError(CliFromLatin1(CHostProbe::LookupFailedText(strURL), true));
        CliPrint("Down: the name could not be looked up\n");
        return PROBE_DOWN;
    }
    if (!test.IsSupportedService()) {
        CliError(CliFromLatin1(CHostProbe::UnknownServiceText(strURL), true));
        return PROBE_BAD_URL;
    }
    CAppSettings settings;
    std::string strIgnored;
    LoadSettingsFrom(cliArgs.Parser(), optSettings).LoadSettings(settings, strIgnored, false);
    test.m_bServerErrorsDown = settings.m_bServerErrorsDown != 0;
    int nMethod = settings.m_nPingMethod;
    if (nMethod == PING_METHOD_ICMP && !probes.IsEchoPermitted()) {
        CliError(ICMP_NOT_PERMITTED_TEXT);
        nMethod = PING_METHOD_TCP;
    }
    const QString strMethod = nMethod == PING_METHOD_TCP
                                  ? QString("TCP connect to port %1").arg(test.GetRequestPort())
                                  : QString("ICMP echo");
    std::unique_ptr<CInternetSession> pSession = probes.InternetOpen(VANTREL_INTERNET_AGENT);
    if (!pSession) {
        CliError("Cannot initialize internet functions. InternetOpen failed");
        return CLI_BAD_INPUT;
    }
    const CHostTestResult result = test.Test(probes, *pSession, evNever, addresses, nMethod,
                                             nMethod == PING_METHOD_TCP ? PrintConnect : PrintEcho);
    if (!result.bPinged) {
        CliPrint(nMethod == PING_METHOD_TCP ? "Down: no connect answered\n"
                                            : "Down: no echo answered\n");
        return PROBE_DOWN;
    }
    const QString strFamily = result.nFamily == AF_INET6 ? "IPv6" : "IPv4";
    const bool bUp = result.eOutcome == CHostTestResult::EOutcome::UP;
    // An up host's reason is a note on its answer ("answers 404: check the test URL").
    CliPrint(
        QString("%1: ping %2 ms by %3 over %4%5\n")
            .arg(bUp ? "Up" : "Down")
            .arg(result.nPingMs)
            .arg(strMethod)
            .arg(strFamily)
            .arg(result.strReason.empty() ? QString() : ", " + CliFromLatin1(result.strReason)));
    return bUp ? CLI_OK : PROBE_DOWN;
}
VANTREL_CLI_COMMAND("probe", "Test one URL as the test engine tests a host", ProbeCommand);

int AlertTestCommand(const QStringList& args) {
    CCliArgs cliArgs(args,
                     "Composes the host-down e-mail with the saved mail settings, or the ones "
                     "given here, and sends it as an alert would (without a login and without "
                     "TLS: no login, then CRAM-MD5, then AUTH LOGIN; otherwise one attempt with "
                     "the chosen login method, never a password over an unencrypted connection "
                     "to another machine unless the settings allow it), printing the commands "
                     "(login data hidden), the server's replies and the outcome. The password "
                     "comes from the settings or the desktop keyring. Exit status 0 when the "
                     "message was sent, 1 when it was not or the settings cannot work, 2 for wrong "
                     "options. "
                     "The settings are not changed.",
                     QString(), false);
    QCommandLineOption optServer(QStringList{"server-name"},
                                 "The host name the alert names (default: www.example.com).",
                                 "NAME", "www.example.com");
    const QCommandLineOption optSettings = SettingsOption();
    QCommandLineOption optPort(QStringList{"port"},
                               "The mail server's port instead of the saved one.", "PORT");
    QCommandLineOption optSecurity(QStringList{"security"},
                                   "none, starttls or tls instead of the saved security.", "MODE");
    QCommandLineOption optSmtp(QStringList{"server"}, "The SMTP server instead of the saved one.",
                               "HOST");
    QCommandLineOption optUser(QStringList{"user"}, "The login instead of the saved one.", "LOGIN");
    QCommandLineOption optTo(QStringList{"to"}, "The recipients instead of the saved ones.",
                             "ADDRESSES");
    QCommandLineOption optFrom(QStringList{"from"}, "The sender instead of the saved one.",
                               "ADDRESS");
    QCommandLineOption optAuth(QStringList{"auth"},
                               "auto, plain, login or cram-md5 instead of the saved login method.",
                               "METHOD");
    cliArgs.Parser().addOptions(
        {optServer, optSettings, optPort, optSecurity, optSmtp, optUser, optTo, optFrom, optAuth});
    if (!cliArgs.Parse())
        return cliArgs.GetExitCode();

    CSettingsStore store = LoadSettingsFrom(cliArgs.Parser(), optSettings, true);
    CAppSettings settings;
    std::string strDataPath;
    store.LoadSettings(settings, strDataPath, false);
    for (const std::string& strValue : store.GetUnreadable())
        CliError("the settings hold " + CliFromLatin1(strValue) +
                 ", which is not an allowed value");
    const QCommandLineParser& parser = cliArgs.Parser();
    if (parser.isSet(optSmtp))
        settings.m_strSMTP = parser.value(optSmtp).toLatin1().toStdString();
    if (parser.isSet(optUser))
        settings.m_strLogin = parser.value(optUser).toUtf8().toStdString();
    if (parser.isSet(optTo))
        settings.m_strEmailTo = parser.value(optTo).toUtf8().toStdString();
    if (parser.isSet(optFrom))
        settings.m_strEmailFrom = parser.value(optFrom).toUtf8().toStdString();
    if (parser.isSet(optAuth)) {
        const qsizetype nMethod = QStringList{"auto", "plain", "login", "cram-md5"}.indexOf(
            parser.value(optAuth).toLower());
        if (nMethod < 0) {
            CliError("--auth takes auto, plain, login or cram-md5.");
            return CLI_USAGE;
        }
        settings.m_nSMTPAuth = static_cast<int>(nMethod);
    }
    if (cliArgs.Parser().isSet(optPort)) {
        bool bOk = false;
        settings.m_nSMTPPort = cliArgs.Parser().value(optPort).toInt(&bOk);
        if (!bOk || settings.m_nSMTPPort < 1 || settings.m_nSMTPPort > 65535) {
            CliError("--port takes a number from 1 to 65535.");
            return CLI_USAGE;
        }
    }
    if (cliArgs.Parser().isSet(optSecurity)) {
        const qsizetype nMode = QStringList{"none", "starttls", "tls"}.indexOf(
            cliArgs.Parser().value(optSecurity).toLower());
        if (nMode < 0) {
            CliError("--security takes none, starttls or tls.");
            return CLI_USAGE;
        }
        settings.m_nSMTPSecurity = static_cast<int>(nMode);
    }
    if (!settings.m_bAlertEmail)
        CliPrint("Note: e-mail alerts are switched off in the settings.\n");

    const QString strHostName = cliArgs.Parser().value(optServer);
    if (strHostName.contains('\r') || strHostName.contains('\n')) {
        CliError("--server-name must not contain a line break.");
        return CLI_USAGE;
    }
    if (CliVisible(strHostName) != strHostName) {
        CliError("--server-name must not contain control characters.");
        return CLI_USAGE;
    }
    CAlertMailTrial test(settings, strHostName.toLatin1().toStdString());
    CEvent evNever;
    const CAlertMailTrial::EOutcome eOutcome = test.Run(
        [](const std::string& strLine) {
            CliPrint(QString::fromUtf8(strLine) + "\n");
            std::fflush(stdout);
        },
        evNever);
    switch (eOutcome) {
    case CAlertMailTrial::EOutcome::SENT:
        CliPrint(CliVisible(QString::fromUtf8(test.GetOutcomeText()), true) + "\n");
        return CLI_OK;
    case CAlertMailTrial::EOutcome::BAD_SETTINGS:
        CliError(CliVisible(QString::fromUtf8(test.GetOutcomeText()), true) +
                 " (settings: " + QFile::decodeName(store.GetFileName().c_str()) + ")");
        return CLI_BAD_INPUT;
    case CAlertMailTrial::EOutcome::NOT_SENT:
        break;
    }
    CliError(CliVisible(QString::fromUtf8(test.GetOutcomeText()), true));
    return CLI_BAD_INPUT;
}
VANTREL_CLI_COMMAND("alert-test", "Send the host-down e-mail with the saved mail settings",
                    AlertTestCommand);

// Syslog priorities that journald reads from a "<N>" before a line.
constexpr int LOG_PRIORITY_ERROR = 3;
constexpr int LOG_PRIORITY_WARNING = 4;
constexpr int LOG_PRIORITY_INFO = 6;

// True when systemd connected stderr to the journal (it names the stream in JOURNAL_STREAM),
// not when the variable was merely inherited by a program started from the service.
bool IsJournalStream() {
    const char* pszStream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    return pszStream && fstat(STDERR_FILENO, &st) == 0 &&
           std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) == pszStream;
}

// run's messages: as every verb writes them on a terminal, each line with its priority for
// the journal.
void RunLog(bool bJournal, int nPriority, const QString& strText) {
    if (!bJournal)
        return CliError(strText);
    QString strLines;
    for (const QString& strLine : QString("vantrelctl: " + strText).split('\n'))
        strLines += QString("<%1>").arg(nPriority) + strLine + "\n";
    std::fputs(strLines.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// Messages of the store and the worker go to stderr; nobody has to close them.
class CStderrSink : public CMessageSink {
public:
    explicit CStderrSink(bool bJournal) : m_bJournal(bJournal) {}
    void ShowMessage(const std::string& strText) override {
        RunLog(m_bJournal, LOG_PRIORITY_WARNING, CliFromLatin1(strText, true));
    }

private:
    bool m_bJournal;
};

// One line per finished test of a host.
class CPrintingRows : public CRowUpdateSink {
public:
    // The store is made after the engine that holds this sink.
    void SetDoc(CVantrelDoc& doc) { m_pDoc = &doc; }
    // Hosts' figures are also copied there as they change (none: no --metrics).
    void SetMetrics(CMetricsExposition* pMetrics) { m_pMetrics = pMetrics; }
    void PostHostUpdated(int nIndex) override {
        const CHost& host = *m_pDoc->m_arrHosts[static_cast<size_t>(nIndex)];
        std::lock_guard lock(*host.m_pMutex);
        if (m_pMetrics)
            m_pMetrics->UpdateHost(static_cast<size_t>(nIndex), CMetricsExposition::Capture(host));
        CliPrint(QString::number(nIndex) + "\t" + CliFromLatin1(host.m_strName) + "\t" +
                 CliFromLatin1(host.GetStatusText()) + "\t" +
                 CliFromLatin1(host.GetTimeTestedText()) + "\t" +
                 CliFromLatin1(host.GetUptimeText()) + "\t" + CliFromLatin1(host.GetAvgPingText()) +
                 "\n");
        // A reader that went away (run | head) ends the run; the list is saved first.
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            m_bOutputLost = true;
    }
    bool OutputLost() const { return m_bOutputLost; }

    // The cycle's end: every host, also those not tested, as the worker left them.
    void EndCycle(double dSeconds) {
        if (!m_pMetrics)
            return;
        for (size_t i = 0; i < m_pDoc->m_arrHosts.size(); ++i) {
            const CHost& host = *m_pDoc->m_arrHosts[i];
            std::lock_guard lock(*host.m_pMutex);
            m_pMetrics->UpdateHost(i, CMetricsExposition::Capture(host));
        }
        m_pMetrics->EndCycle(dSeconds);
    }

private:
    CVantrelDoc* m_pDoc = nullptr;
    std::atomic<bool> m_bOutputLost{false};
    CMetricsExposition* m_pMetrics = nullptr;
};

// The real clock, ending the run at the wait after its last cycle (a wait for the connection
// counts as a cycle). The wait also ends a cycle for the row sink's figures.
class CCycleLimitClock : public CSystemClock {
public:
    CCycleLimitClock(int nCycles, CPrintingRows& rows) : m_rows(rows), m_nCyclesLeft(nCycles) {}
    EWaitEnd WaitForStopOrWake(const CEvent& evStop, const CEvent& evWake,
                               int64_t nMilliseconds) override {
        m_rows.EndCycle(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_tCycleStart)
                .count());
        if (m_nCyclesLeft > 0 && --m_nCyclesLeft == 0) {
            m_bEndedRun = true;
            return EWaitEnd::STOPPED;
        }
        const EWaitEnd eEnd = CSystemClock::WaitForStopOrWake(evStop, evWake, nMilliseconds);
        m_tCycleStart = std::chrono::steady_clock::now();
        return eEnd;
    }
    bool EndedRun() const { return m_bEndedRun; }

private:
    CPrintingRows& m_rows;
    std::chrono::steady_clock::time_point m_tCycleStart = std::chrono::steady_clock::now();
    std::atomic<bool> m_bEndedRun{false};
    int m_nCyclesLeft; // 0: no limit
};

// What run's arguments ask for.
struct SRunOptions {
    int nCycles = 0; // 0: until a signal
    qlonglong nMinuteMs = 60000;
    std::string strDataPath;
    bool bMetrics = false;
    std::string strMetrics;  // ADDRESS:PORT
    std::string strLocation; // ISO-8859-1, empty: no location label
};

// False when run must end at once with nExit: after --help or a usage error.
bool ParseRunArgs(const QStringList& args, SRunOptions& options, int& nExit) {
    CCliArgs cliArgs(args, "Runs the test engine without a window on the data file until SIGINT, "
                           "SIGTERM or SIGHUP (or --cycles), then saves it. Prints one line per "
                           "test: index, name, status, time tested, uptime and average ping; "
                           "messages go to stderr. Refuses to run beside Vantrel or another run "
                           "on the same data file.");
    QCommandLineOption optCycles(QStringList{"cycles"}, "Stop after N test cycles.", "N");
    QCommandLineOption optMinute(QStringList{"minute-ms"},
                                 "Length of one interval minute in milliseconds (tests).", "MS",
                                 "60000");
    optMinute.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption optMetrics(
        QStringList{"metrics"},
        "Serve the hosts' figures to Prometheus at http://ADDRESS:PORT/metrics. Write the "
        "address out: 127.0.0.1 or [::1] keep them on this machine.",
        "ADDRESS:PORT");
    QCommandLineOption optLocation(QStringList{"location"},
                                   "A location label on every series, telling this vantage point "
                                   "from others.",
                                   "NAME");
    cliArgs.Parser().addOption(optCycles);
    cliArgs.Parser().addOption(optMinute);
    cliArgs.Parser().addOption(optMetrics);
    cliArgs.Parser().addOption(optLocation);
    if (!cliArgs.Parse()) {
        nExit = cliArgs.GetExitCode();
        return false;
    }
    nExit = CLI_USAGE;
    bool bOk = true;
    options.nCycles =
        cliArgs.Parser().isSet(optCycles) ? cliArgs.Parser().value(optCycles).toInt(&bOk) : 0;
    if (!bOk || (cliArgs.Parser().isSet(optCycles) && options.nCycles < 1)) {
        CliError("--cycles needs a whole number of cycles, 1 or more");
        return false;
    }
    options.nMinuteMs = cliArgs.Parser().value(optMinute).toLongLong(&bOk);
    if (!bOk || options.nMinuteMs < 1) {
        CliError("--minute-ms needs a positive number of milliseconds");
        return false;
    }
    if (cliArgs.Parser().isSet(optLocation) && !cliArgs.Parser().isSet(optMetrics)) {
        CliError("--location labels the figures of --metrics; give both");
        return false;
    }
    options.bMetrics = cliArgs.Parser().isSet(optMetrics);
    options.strMetrics = cliArgs.Parser().value(optMetrics).toStdString();
    options.strLocation = cliArgs.Parser().value(optLocation).toLatin1().toStdString();
    options.strDataPath = cliArgs.GetDataPath();
    return true;
}

// Waits for the engine to end, for SIGINT, SIGTERM or SIGHUP (blocked in setStop) or for the
// loss of standard output; true when the run is to stop.
bool WaitForStopSignal(CTestEngine& engine, const sigset_t& setStop, const CPrintingRows& rows,
                       bool bJournal) {
    const timespec tsPoll{0, 200 * 1000 * 1000};
    while (!engine.WaitForEnd(0)) {
        const int nSignal = sigtimedwait(&setStop, nullptr, &tsPoll);
        if (nSignal == SIGINT || nSignal == SIGTERM || nSignal == SIGHUP) {
            RunLog(bJournal, LOG_PRIORITY_INFO, "stopping after the test in progress");
            return true;
        }
        if (rows.OutputLost()) {
            CliError("cannot write to standard output; stopping after the test in progress");
            return true;
        }
    }
    return false;
}

int RunCommand(const QStringList& args) {
    SRunOptions options;
    int nExit = CLI_OK;
    if (!ParseRunArgs(args, options, nExit))
        return nExit;

    const bool bJournal = IsJournalStream();
    CInstanceGuard guard;
    if (!guard.Acquire(options.strDataPath)) {
        RunLog(bJournal, LOG_PRIORITY_ERROR,
               "Vantrel is already running; its test engine would compete with this one.");
        return CLI_BAD_INPUT;
    }
    CAppSettings settings;
    std::string strIgnored;
    // Where no keyring answers (a server without a desktop session) the file keeps the password.
    CPasswordKeyring keyring;
    CSettingsStore settingsStore;
    settingsStore.SetKeyring(&keyring);
    settingsStore.LoadSettings(settings, strIgnored, false);
    const CAppSettings loaded = settings;

    // SIGINT, SIGTERM and SIGHUP (the terminal closed) are taken by sigtimedwait below; every
    // thread started from here on inherits the mask. A closed standard output shows as a write
    // error instead of SIGPIPE, so that the list is still saved.
    sigset_t setStop;
    sigemptyset(&setStop);
    sigaddset(&setStop, SIGINT);
    sigaddset(&setStop, SIGTERM);
    sigaddset(&setStop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &setStop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Before the worker starts, so that a port in use ends the run before any test.
    std::unique_ptr<CMetricsExposition> pMetrics;
    std::unique_ptr<CMetricsServer> pServer;
    if (options.bMetrics) {
        pMetrics = std::make_unique<CMetricsExposition>(VANTREL_VERSION, options.strLocation);
        pServer = std::make_unique<CMetricsServer>(*pMetrics);
        std::string strError;
        if (!pServer->Start(options.strMetrics, strError)) {
            RunLog(bJournal, LOG_PRIORITY_ERROR, QString::fromStdString(strError));
            return CLI_USAGE;
        }
        RunLog(bJournal, pServer->IsLoopback() ? LOG_PRIORITY_INFO : LOG_PRIORITY_WARNING,
               QString("serving metrics at %1%2")
                   .arg(QString::fromStdString(pServer->GetURL()))
                   .arg(pServer->IsLoopback()
                            ? QString()
                            : ", open to the network: put TLS and a login before it (see the "
                              "guide) or reach it through an SSH tunnel"));
    }

    CStderrSink sink(bJournal);
    CSystemProbes probes;
    CPrintingRows rows;
    rows.SetMetrics(pMetrics.get());
    CCycleLimitClock clock(options.nCycles, rows);
    CAlertMailQueue mailQueue([] { return std::make_unique<CSMTPMailSender>(); }, sink);
    CHostDownAlert alerts(mailQueue);
    CStoreRecorder recorder;
    CEngineSeams seams;
    seams.pProbes = &probes;
    seams.pAlerts = &alerts;
    seams.pRowSink = &rows;
    seams.pClock = &clock;
    seams.nMillisecondsPerMinute = options.nMinuteMs;
    seams.pRecorder = &recorder;
    CTestEngine engine(seams, nullptr);
    CVantrelDoc doc(sink, &engine);
    rows.SetDoc(doc);

    if (!doc.OnNewDocument(options.strDataPath, settings))
        return CLI_BAD_INPUT;
    const bool bStopped = WaitForStopSignal(engine, setStop, rows, bJournal);
    // Ended on its own without the cycle limit: the worker could not start (it said why).
    const bool bWorkerFailed = !bStopped && !clock.EndedRun();
    doc.OnCloseDocument(settings);
    // A run that ends by itself sends the alerts of its last cycle first; a stop does not wait.
    if (!bStopped)
        mailQueue.WaitUntilTried(ALERT_MAIL_WAIT_MS);
    mailQueue.Abandon(100);
    // An alert may have switched e-mail alerts off; that is kept, as Vantrel keeps it.
    if (settings.m_bAlertEmail != loaded.m_bAlertEmail)
        settingsStore.SaveSettings(settings);
    // A file found damaged at load was rewritten from what could be read: say so by the status.
    return doc.m_strLastSaveError.empty() && !bWorkerFailed && !rows.OutputLost() &&
                   doc.GetLoadResult() != CHostsFile::LOAD_DAMAGED
               ? CLI_OK
               : CLI_BAD_INPUT;
}
VANTREL_CLI_COMMAND("run", "Run the test engine without a window", RunCommand);

} // namespace
