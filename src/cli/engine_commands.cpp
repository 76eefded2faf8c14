// The test engine's verbs: ping, probe, alert-test, run.
#include "cli/cli_args.h"
#include "cli/cli_command.h"
#include "core/instance_guard.h"
#include "core/message_sink.h"
#include "core/password_keyring.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "platform/event.h"
#include "platform/last_error.h"
#include "platform/ping.h"
#include "platform/resolver.h"
#include "testing/alert_mail_queue.h"
#include "testing/alert_mail_trial.h"
#include "testing/host_down_alert.h"
#include "testing/host_probe.h"
#include "testing/row_update_sink.h"
#include "testing/smtp_mail_sender.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
#include "testing/test_engine.h"
#include "testing/test_worker.h"

#include <QFile>

#include <atomic>
#include <csignal>
#include <ctime>
#include <pthread.h>

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
        return CSettingsStore(QFile::encodeName(parser.value(optSettings)).toStdString());
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
    CHostProbe test;
    test.m_strServer = cliArgs.GetPositional().at(0).toLatin1().toStdString();
    // "[2001:db8::1]" as in a URL is the same address as without the brackets.
    if (test.m_strServer.size() > 2 && test.m_strServer.front() == '[' &&
        test.m_strServer.back() == ']')
        test.m_strServer = test.m_strServer.substr(1, test.m_strServer.size() - 2);
    CEvent evNever;
    CPingResult reply;
    if (test.Echo(probes, evNever, reply, PING_METHOD_ICMP, PrintEcho) ==
        CHostProbe::EEcho::ANSWERED)
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
        CliError(CliFromLatin1(CHostProbe::BadURLText(strURL)));
        return PROBE_BAD_URL;
    }
    if (!probes.Resolve(test.m_strServer)) {
        CliError(CliFromLatin1(CHostProbe::UnresolvedText(strURL)));
        return PROBE_BAD_URL;
    }
    if (!test.IsSupportedService()) {
        CliError(CliFromLatin1(CHostProbe::UnknownServiceText(strURL)));
        return PROBE_BAD_URL;
    }
    CAppSettings settings;
    std::string strIgnored;
    LoadSettingsFrom(cliArgs.Parser(), optSettings).LoadSettings(settings, strIgnored, false);
    int nMethod = settings.m_nPingMethod;
    if (nMethod == PING_METHOD_ICMP && !probes.IsEchoPermitted()) {
        CliError(ICMP_NOT_PERMITTED_TEXT);
        nMethod = PING_METHOD_TCP;
    }
    const QString strMethod = nMethod == PING_METHOD_TCP
                                  ? QString("TCP connect to port %1").arg(test.GetRequestPort())
                                  : QString("ICMP echo");
    CEvent evNever;
    CPingResult reply;
    if (test.Echo(probes, evNever, reply, nMethod,
                  nMethod == PING_METHOD_TCP ? PrintConnect : PrintEcho) !=
        CHostProbe::EEcho::ANSWERED) {
        CliPrint(nMethod == PING_METHOD_TCP ? "Down: no connect answered\n"
                                            : "Down: no echo answered\n");
        return PROBE_DOWN;
    }
    std::unique_ptr<CInternetSession> pSession = probes.InternetOpen(VANTREL_INTERNET_AGENT);
    if (!pSession) {
        CliError("Cannot initialize internet functions. InternetOpen failed");
        return CLI_BAD_INPUT;
    }
    if (!test.RequestObject(*pSession, evNever)) {
        CliPrint(QString("Down: ping %1 ms by %2, no answer to the web request: %3\n")
                     .arg(reply.RTT)
                     .arg(strMethod)
                     .arg(CliFromLatin1(pSession->GetLastErrorText())));
        return PROBE_DOWN;
    }
    CliPrint(QString("Up: ping %1 ms by %2\n").arg(reply.RTT).arg(strMethod));
    return CLI_OK;
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
        CliPrint(QString::fromUtf8(test.GetOutcomeText()) + "\n");
        return CLI_OK;
    case CAlertMailTrial::EOutcome::BAD_SETTINGS:
        CliError(QString::fromUtf8(test.GetOutcomeText()) +
                 " (settings: " + QFile::decodeName(store.GetFileName().c_str()) + ")");
        return CLI_BAD_INPUT;
    case CAlertMailTrial::EOutcome::NOT_SENT:
        break;
    }
    CliError(QString::fromUtf8(test.GetOutcomeText()));
    return CLI_BAD_INPUT;
}
VANTREL_CLI_COMMAND("alert-test", "Send the host-down e-mail with the saved mail settings",
                    AlertTestCommand);

// Messages of the store and the worker go to stderr; nobody has to close them.
class CStderrSink : public CMessageSink {
public:
    void ShowMessage(const std::string& strText) override { CliError(CliFromLatin1(strText)); }
};

// One line per finished test of a host.
class CPrintingRows : public CRowUpdateSink {
public:
    // The store is made after the engine that holds this sink.
    void SetDoc(CVantrelDoc& doc) { m_pDoc = &doc; }
    void PostHostUpdated(int nIndex) override {
        const CHost& host = *m_pDoc->m_arrHosts[static_cast<size_t>(nIndex)];
        std::lock_guard lock(*host.m_pMutex);
        CliPrint(QString::number(nIndex) + "\t" + CliFromLatin1(host.m_strName) + "\t" +
                 CliFromLatin1(host.GetStatusText()) + "\t" +
                 CliFromLatin1(host.GetTimeTestedText()) + "\t" +
                 CliFromLatin1(host.GetUptimeText()) + "\t" + CliFromLatin1(host.GetAvgPingText()) +
                 "\n");
        std::fflush(stdout);
    }

private:
    CVantrelDoc* m_pDoc = nullptr;
};

// The real clock, ending the run at the wait after its last cycle (a wait for the connection
// counts as a cycle).
class CCycleLimitClock : public CSystemClock {
public:
    explicit CCycleLimitClock(int nCycles) : m_nCyclesLeft(nCycles) {}
    EWaitEnd WaitForStopOrWake(const CEvent& evStop, const CEvent& evWake,
                               int64_t nMilliseconds) override {
        if (m_nCyclesLeft > 0 && --m_nCyclesLeft == 0) {
            m_bEndedRun = true;
            return EWaitEnd::STOPPED;
        }
        return CSystemClock::WaitForStopOrWake(evStop, evWake, nMilliseconds);
    }
    bool EndedRun() const { return m_bEndedRun; }

private:
    std::atomic<bool> m_bEndedRun{false};
    int m_nCyclesLeft; // 0: no limit
};

// What run's arguments ask for.
struct SRunOptions {
    int nCycles = 0; // 0: until a signal
    qlonglong nMinuteMs = 60000;
    std::string strDataPath;
};

// False when run must end at once with nExit: after --help or a usage error.
bool ParseRunArgs(const QStringList& args, SRunOptions& options, int& nExit) {
    CCliArgs cliArgs(args, "Runs the test engine without a window on the data file until SIGINT or "
                           "SIGTERM (or --cycles), then saves it. Prints one line per test: index, "
                           "name, status, time tested, uptime and average ping; messages go to "
                           "stderr. Refuses to run beside Vantrel.");
    QCommandLineOption optCycles(QStringList{"cycles"}, "Stop after N test cycles.", "N");
    QCommandLineOption optMinute(QStringList{"minute-ms"},
                                 "Length of one interval minute in milliseconds (tests).", "MS",
                                 "60000");
    optMinute.setFlags(QCommandLineOption::HiddenFromHelp);
    cliArgs.Parser().addOption(optCycles);
    cliArgs.Parser().addOption(optMinute);
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
    options.strDataPath = cliArgs.GetDataPath();
    return true;
}

// Waits for the engine to end or for SIGINT or SIGTERM (blocked in setStop); true for a signal.
bool WaitForStopSignal(CTestEngine& engine, const sigset_t& setStop) {
    const timespec tsPoll{0, 200 * 1000 * 1000};
    while (!engine.WaitForEnd(0)) {
        const int nSignal = sigtimedwait(&setStop, nullptr, &tsPoll);
        if (nSignal == SIGINT || nSignal == SIGTERM) {
            CliError("stopping after the test in progress");
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

    CInstanceGuard guard;
    if (!guard.Acquire()) {
        CliError("Vantrel is already running; its test engine would compete with this one.");
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

    // SIGINT and SIGTERM are taken by sigtimedwait below; every thread started from here on
    // inherits the mask.
    sigset_t setStop;
    sigemptyset(&setStop);
    sigaddset(&setStop, SIGINT);
    sigaddset(&setStop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &setStop, nullptr);

    CStderrSink sink;
    CSystemProbes probes;
    CCycleLimitClock clock(options.nCycles);
    CAlertMailQueue mailQueue([] { return std::make_unique<CSMTPMailSender>(); }, sink);
    CHostDownAlert alerts(mailQueue);
    CPrintingRows rows;
    CEngineSeams seams;
    seams.pProbes = &probes;
    seams.pAlerts = &alerts;
    seams.pRowSink = &rows;
    seams.pClock = &clock;
    seams.nMillisecondsPerMinute = options.nMinuteMs;
    CTestEngine engine(seams, nullptr);
    CVantrelDoc doc(sink, &engine);
    rows.SetDoc(doc);

    if (!doc.OnNewDocument(options.strDataPath, settings))
        return CLI_BAD_INPUT;
    const bool bStopped = WaitForStopSignal(engine, setStop);
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
    return doc.m_strLastSaveError.empty() && !bWorkerFailed &&
                   doc.GetLoadResult() != CHostsFile::LOAD_DAMAGED
               ? CLI_OK
               : CLI_BAD_INPUT;
}
VANTREL_CLI_COMMAND("run", "Run the test engine without a window", RunCommand);

} // namespace
