#pragma once

#include "core/app_settings.h"
#include "core/instance_guard.h"

#include <QApplication>

#include <memory>
#include <string>

class CAlertMailQueue;
class CAlertRaiser;
class CHistoryRecorder;
class CDesktopNotifier;
class CInstanceActivator;
class CEngineClock;
class CMainFrame;
class CMessageBoxQueue;
class CPasswordKeyring;
class CProbes;
class CSettingsStore;
class CTestEngine;
class CVantrelDoc;
class QSocketNotifier;

// The desktop program: refuses a second instance, reads the settings, decides where the data
// file lives, and creates the store, the test engine and the main window. At exit the window
// goes first, then the worker is stopped and the alert e-mails abandoned, then the settings and
// the data file are written, and the guard is released.
class CVantrelApp : public QApplication {
    Q_OBJECT
public:
    CVantrelApp(int& argc, char** argv);
    ~CVantrelApp() override;

    // False: the program ends at once (ExitInstance still runs).
    bool InitInstance();
    int ExitInstance();
    // Writes the seven alert and mail values from m_settings.
    void SaveSettings();

    // InitInstance ended because the running instance has shown its window: not a failure.
    bool IsHandedOver() const { return m_bHandedOver; }

    CMainFrame* GetMainFrame() const { return m_pFrame.get(); }
    CVantrelDoc* GetDocument() const { return m_pDoc.get(); }

    // The settings between start-up and the store's initialisation, and again after it closed.
    CAppSettings m_settings;
    std::string m_strDataPath;
    CInstanceGuard m_hInstanceMutex;

public slots:
    void OnAppAbout();

private slots:
    // SIGTERM, SIGINT or SIGHUP arrived: leave through the normal exit.
    void OnStopSignal();
    // The session ends: put the settings and the data on disk now, with the worker stopped so
    // that no host's lock is waited for, then let it go on.
    void OnSaveNow();
    // Options were confirmed: the settings file is written at once.
    void OnSettingsChanged();

private:
    // Routes the stop signals into the event loop through a pipe; the handler only writes.
    void CatchStopSignals();

    std::unique_ptr<QSocketNotifier> m_pSignalNotifier;
    std::unique_ptr<CPasswordKeyring> m_pKeyring; // the mail password's home
    std::unique_ptr<CSettingsStore> m_pSettingsStore;
    std::unique_ptr<CMessageBoxQueue> m_pMessages;
    std::unique_ptr<CDesktopNotifier> m_pNotifier;
    std::unique_ptr<CInstanceActivator> m_pActivator;
    bool m_bHandedOver = false;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CProbes> m_pProbes;
    std::unique_ptr<CEngineClock> m_pClock;
    std::unique_ptr<CAlertMailQueue> m_pMailQueue;
    std::unique_ptr<CAlertRaiser> m_pAlert;
    std::unique_ptr<CHistoryRecorder> m_pRecorder;
    std::unique_ptr<CTestEngine> m_pEngine;
    std::unique_ptr<CVantrelDoc> m_pDoc;
};
