#pragma once

#include "core/app_settings.h"
#include "core/instance_guard.h"

#include <QApplication>

#include <memory>
#include <string>

class CAlertRaiser;
class CEngineClock;
class CMailSender;
class CMainFrame;
class CMessageBoxQueue;
class CPasswordKeyring;
class CProbes;
class CSettingsStore;
class CTestEngine;
class CVantrelDoc;
class QSocketNotifier;

// The desktop program: refuses a second instance, reads the settings, decides where the data
// file lives, and creates the store, the test engine and the main window. At exit the worker
// is stopped, the settings are written, then the data file, and the guard is released.
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
    // The session ends or the program is about to leave its loop: put the data on disk now.
    void OnSaveNow();

private:
    // Routes the stop signals into the event loop through a pipe; the handler only writes.
    void CatchStopSignals();

    std::unique_ptr<QSocketNotifier> m_pSignalNotifier;
    std::unique_ptr<CPasswordKeyring> m_pKeyring; // the mail password's home
    std::unique_ptr<CSettingsStore> m_pSettingsStore;
    std::unique_ptr<CMessageBoxQueue> m_pMessages;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CProbes> m_pProbes;
    std::unique_ptr<CMailSender> m_pMailSender;
    std::unique_ptr<CEngineClock> m_pClock;
    std::unique_ptr<CAlertRaiser> m_pAlert;
    std::unique_ptr<CTestEngine> m_pEngine;
    std::unique_ptr<CVantrelDoc> m_pDoc;
};
