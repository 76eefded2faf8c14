#include "ui/vantrel_app.h"

#include "graph/compare_hosts_dlg.h"
#include "graph/font_faces.h"

#include "core/password_keyring.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "platform/http_client.h"
#include "testing/host_down_alert.h"
#include "testing/smtp_mail_sender.h"
#include "testing/system_clock.h"
#include "testing/system_probes.h"
#include "testing/test_commands.h"
#include "testing/test_engine.h"
#include "ui/about_dlg.h"
#include "ui/command_ids.h"
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
#include <fcntl.h>
#include <unistd.h>

namespace {

// Read end and write end; the handler may only make async-signal-safe calls.
int s_arrSignalPipe[2] = {-1, -1};

void OnSignal(int nSignal) {
    const int nSavedErrno = errno;
    const char chSignal = static_cast<char>(nSignal);
    if (::write(s_arrSignalPipe[1], &chSignal, 1) < 0) {
        // The pipe is full: a stop is already on its way.
    }
    errno = nSavedErrno;
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
    if (!m_hInstanceMutex.Acquire()) {
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
    connect(m_pFrame->GetAction(ID_APP_ABOUT), &QAction::triggered, this, &CVantrelApp::OnAppAbout);
    connect(m_pFrame.get(), &CMainFrame::Closed, this, &QApplication::quit);

    m_pProbes = std::make_unique<CSystemProbes>();
    m_pMailSender = std::make_unique<CSMTPMailSender>();
    m_pClock = std::make_unique<CSystemClock>();
    m_pAlert = std::make_unique<CHostDownAlert>(*m_pMailSender, *m_pClock);
    CEngineSeams seams;
    seams.pProbes = m_pProbes.get();
    seams.pAlerts = m_pAlert.get();
    seams.pRowSink = m_pFrame->GetView();
    seams.pClock = m_pClock.get();
    m_pEngine = std::make_unique<CTestEngine>(seams, m_pFrame->GetWaitDialog());

    m_pDoc = std::make_unique<CVantrelDoc>(*m_pMessages, m_pEngine.get());
    if (!m_pDoc->OnNewDocument(m_strDataPath, m_settings)) {
        m_pDoc.reset();
        return false;
    }
    m_pFrame->GetView()->OnInitialUpdate(*m_pDoc);
    m_pFrame->SetPlacementStore(m_pSettingsStore.get());
    CCompareHostsDlg::SetPlacementStore(m_pSettingsStore.get());
    CReportCommandUI::SetSettingsStore(m_pSettingsStore.get());
    if (m_pFrame->isMaximized())
        m_pFrame->show();
    else
        m_pFrame->showNormal();
    CatchStopSignals();
    connect(this, &QGuiApplication::commitDataRequest, this, &CVantrelApp::OnSaveNow);
    connect(this, &QCoreApplication::aboutToQuit, this, &CVantrelApp::OnSaveNow);
    return true;
}

int CVantrelApp::ExitInstance() {
    if (m_pDoc) {
        // The worker first (behind the wait dialog while a test finishes), then the settings,
        // then the data file.
        m_pDoc->StopTests();
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
    // Leaves every event loop, open dialogs' included; main() then runs ExitInstance.
    quit();
}

void CVantrelApp::OnSaveNow() {
    if (!m_pDoc)
        return;
    m_pDoc->GetSettings(m_settings);
    SaveSettings();
    SaveHostsNow(*m_pDoc, m_pFrame ? m_pFrame->GetWaitDialog() : nullptr);
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
