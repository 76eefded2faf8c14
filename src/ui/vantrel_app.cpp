#include "ui/vantrel_app.h"

#include "graph/compare_hosts_dlg.h"
#include "graph/font_faces.h"
#include "graph/history_dlg.h"

#include "core/password_keyring.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "platform/http_client.h"
#include "testing/alert_mail_queue.h"
#include "testing/host_down_alert.h"
#include "testing/smtp_mail_sender.h"
#include "testing/store_recorder.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
#include "testing/test_engine.h"
#include "ui/about_dlg.h"
#include "ui/command_ids.h"
#include "ui/desktop_notifier.h"
#include "ui/instance_activator.h"
#include "ui/main_frame.h"
#include "ui/report_command_ui.h"
#include "ui/vantrel_view.h"
#include "widgets/message_box.h"
#include "widgets/message_box_queue.h"
#include "widgets/screen_fit.h"
#include "widgets/wait_dialog.h"

#include <QAction>
#include <QSessionManager>
#include <QSocketNotifier>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

// How long an exit lets an alert e-mail in flight finish before it is left behind.
constexpr int64_t MAIL_GRACE_MS = 100;

// Read end and write end; the handler may only make async-signal-safe calls.
int s_arrSignalPipe[2] = {-1, -1};
// Seen also while the event loop does not run: during a wait for the worker.
volatile std::sig_atomic_t s_bStopSignalled = 0;

void OnSignal(int nSignal) {
    const int nSavedErrno = errno;
    s_bStopSignalled = 1;
    const char chSignal = static_cast<char>(nSignal);
    if (::write(s_arrSignalPipe[1], &chSignal, 1) < 0) {
        // The pipe is full: a stop is already on its way.
    }
    errno = nSavedErrno;
}

long long EnvMilliseconds(const char* pszName) {
    const char* pszValue = std::getenv(pszName);
    return pszValue ? std::atoll(pszValue) : 0;
}

} // namespace

CVantrelApp::CVantrelApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Vantrel"));
    setOrganizationName(QStringLiteral("Vantrel Software"));
    setApplicationDisplayName(QStringLiteral("Vantrel"));
    setDesktopFileName(QStringLiteral("vantrel"));
    MapFontFaces();
    // The window may sit hidden in the tray; the program ends when the window is closed.
    setQuitOnLastWindowClosed(false);
    // Qt takes the user's locale; figures keep their decimal point ("75.0%", "12.5 ms").
    setlocale(LC_NUMERIC, "C");
    CScreenFit::Install();
}

CVantrelApp::~CVantrelApp() {
    // The store and the engine go before the window the worker reports to.
    m_pDoc.reset();
    m_pEngine.reset();
    m_pFrame.reset();
}

bool CVantrelApp::InitInstance() {
    m_pSettingsStore = std::make_unique<CSettingsStore>();
    // The guard belongs to the data file: only one writer of it at a time. Nothing is written
    // before it is held.
    m_pSettingsStore->LoadSettings(m_settings, m_strDataPath, false);
    if (!m_hInstanceMutex.Acquire(m_strDataPath)) {
        // The running instance shows its window instead; only one that does not answer is
        // refused.
        if (CInstanceActivator::ActivateRunning(m_strDataPath)) {
            m_bHandedOver = true;
            return false;
        }
        CMessageBox::Error(QStringLiteral("Another instance of Vantrel is already running"),
                           QStringLiteral("Error"));
        return false;
    }
    m_pKeyring = std::make_unique<CPasswordKeyring>();
    m_pSettingsStore = std::make_unique<CSettingsStore>();
    m_pSettingsStore->SetKeyring(m_pKeyring.get());
    m_pSettingsStore->LoadSettings(m_settings, m_strDataPath);
    // The HTTP library must be set up before any thread starts. Should that fail, the worker
    // says so when it cannot open its session.
    CHttpClient::InitLibrary();

    m_pMessages = std::make_unique<CMessageBoxQueue>();
    m_pFrame = std::make_unique<CMainFrame>(m_pMessages.get());
    m_pMessages->SetOwner(m_pFrame.get());
    m_pNotifier = std::make_unique<CDesktopNotifier>(m_pFrame->GetTrayIcon());
    m_pMessages->SetNotifier(
        [pNotifier = m_pNotifier.get()](const CHostNotice& notice) { pNotifier->Notify(notice); });
    connect(m_pFrame->GetAction(ID_APP_ABOUT), &QAction::triggered, this, &CVantrelApp::OnAppAbout);
    connect(m_pFrame.get(), &CMainFrame::Closed, this, &QApplication::quit);

    m_pProbes = std::make_unique<CSystemProbes>();
    m_pClock = std::make_unique<CSystemClock>();
    m_pMailQueue = std::make_unique<CAlertMailQueue>(
        [] { return std::make_unique<CSMTPMailSender>(); }, *m_pMessages);
    m_pAlert = std::make_unique<CHostDownAlert>(*m_pMailQueue);
    m_pRecorder = std::make_unique<CStoreRecorder>();
    CEngineSeams seams;
    seams.pProbes = m_pProbes.get();
    seams.pAlerts = m_pAlert.get();
    seams.pRowSink = m_pFrame->GetView();
    seams.pClock = m_pClock.get();
    seams.pRecorder = m_pRecorder.get();
    // End-to-end tests shorten the interval's minute and the alert e-mails' retry delays.
    if (const long long nMs = EnvMilliseconds("VANTREL_TEST_MINUTE_MS"); nMs > 0)
        seams.nMillisecondsPerMinute = nMs;
    if (const long long nMs = EnvMilliseconds("VANTREL_TEST_MAIL_RETRY_MS"); nMs > 0)
        m_pMailQueue->SetRetryDelays(std::vector(3, std::chrono::milliseconds(nMs)));
    m_pEngine = std::make_unique<CTestEngine>(seams, m_pFrame->GetWaitDialog());

    // Caught before anything may wait: a signal then ends the program once its loop runs. A
    // stop signal during a wait for a host's lock stops the worker, whose test then ends at
    // once; the wait ends with it and the event loop takes the signal.
    CatchStopSignals();
    m_pFrame->GetWaitDialog()->SetServeHook([this] {
        if (s_bStopSignalled && m_pDoc)
            m_pDoc->m_hStopEvent.Set();
    });
    m_pDoc = std::make_unique<CVantrelDoc>(*m_pMessages, m_pEngine.get());
    if (!m_pDoc->OnNewDocument(m_strDataPath, m_settings)) {
        m_pDoc.reset();
        return false;
    }
    // The rows are filled with the worker stopped: its first test may hold a host's lock for
    // as long as a black-holed host's echoes take.
    m_pDoc->PauseTests();
    m_pFrame->GetView()->OnInitialUpdate(*m_pDoc);
    m_pDoc->StartTests();
    for (const std::string& strValue : m_pSettingsStore->GetUnreadable())
        m_pMessages->ShowMessage("The settings hold " + strValue +
                                 ", which is not an allowed value. No alert e-mail is sent until "
                                 "the mail server's port, security and login method are set in "
                                 "Options.");
    m_pFrame->SetPlacementStore(m_pSettingsStore.get());
    CCompareHostsDlg::SetPlacementStore(m_pSettingsStore.get());
    CHistoryDlg::SetPlacementStore(m_pSettingsStore.get());
    CReportCommandUI::SetSettingsStore(m_pSettingsStore.get());
    if (m_pFrame->isMaximized())
        m_pFrame->show();
    else
        m_pFrame->showNormal();
    m_pActivator = std::make_unique<CInstanceActivator>(m_pFrame.get());
    m_pActivator->Listen(m_strDataPath);
    connect(this, &QGuiApplication::commitDataRequest, this, &CVantrelApp::OnSaveNow);
    connect(m_pFrame->GetView(), &CVantrelView::SettingsChanged, this,
            &CVantrelApp::OnSettingsChanged);
    return true;
}

int CVantrelApp::ExitInstance() {
    m_pActivator.reset();
    if (m_pFrame)
        m_pFrame->hide();
    if (m_pDoc) {
        // The worker first, so that no host's lock is waited for; an alert e-mail still on its
        // way is left behind; then the settings, then the data file.
        m_pDoc->StopTests();
        if (m_pMailQueue)
            m_pMailQueue->Abandon(MAIL_GRACE_MS);
        m_pDoc->GetSettings(m_settings);
        SaveSettings();
        m_pDoc->OnCloseDocument(m_settings);
        m_pDoc.reset();
    }
    m_hInstanceMutex.Release();
    return 0;
}

void CVantrelApp::CatchStopSignals() {
    if (s_arrSignalPipe[0] < 0 && ::pipe2(s_arrSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe: the signals keep their default action
    m_pSignalNotifier =
        std::make_unique<QSocketNotifier>(s_arrSignalPipe[0], QSocketNotifier::Read);
    connect(m_pSignalNotifier.get(), &QSocketNotifier::activated, this, &CVantrelApp::OnStopSignal);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(nSignal, &action, nullptr);
}

void CVantrelApp::OnStopSignal() {
    char arrBuffer[16];
    while (::read(s_arrSignalPipe[0], arrBuffer, sizeof(arrBuffer)) > 0) {
    }
    s_bStopSignalled = 0;
    // Leaves every event loop, open dialogs' included, without asking the windows first (a
    // dialog that declines to close would keep the program); main() then runs ExitInstance.
    exit(0);
}

void CVantrelApp::OnSaveNow() {
    if (!m_pDoc)
        return;
    m_pDoc->StopTests();
    m_pDoc->GetSettings(m_settings);
    SaveSettings();
    m_pDoc->SaveHosts();
    m_pDoc->StartTests();
}

void CVantrelApp::OnSettingsChanged() {
    if (!m_pDoc)
        return;
    m_pDoc->GetSettings(m_settings);
    SaveSettings();
}

void CVantrelApp::SaveSettings() {
    if (m_pSettingsStore && !m_pSettingsStore->SaveSettings(m_settings))
        CMessageBox::Information(nullptr,
                                 QStringLiteral("The settings could not be written to ") +
                                     QString::fromLocal8Bit(m_pSettingsStore->GetFileName()) + '.');
}

void CVantrelApp::OnAppAbout() {
    CAboutDlg dlg(m_pFrame.get());
    dlg.exec();
}
