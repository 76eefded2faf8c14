#pragma once

#include "testing/wait_observer.h"

#include <QDialog>

#include <functional>

class CMessageBoxQueue;
class QProgressBar;

// "Waiting for pings to finish.": the modeless dialog shown while the user-interface thread
// waits for the worker. No buttons; the bar steps by 10 from 0 to 100 and starts again.
// Once it is shown it serves the worker's queued message boxes and paints itself, and nothing
// that reacts to the user's input runs meanwhile.
class CWaitDialog : public QDialog, public CWaitObserver {
    Q_OBJECT
public:
    explicit CWaitDialog(QWidget* pParent, CMessageBoxQueue* pQueue = nullptr);

    void BeginWait() override;
    void StepWait() override;
    void EndWait() override;
    void Serve() override;

    // Called at every Serve(), also before the dialog is up: the program acts there on what
    // must not wait for the end of the wait (a stop signal).
    void SetServeHook(std::function<void()> fnHook) { m_fnServeHook = std::move(fnHook); }

    int GetPosition() const;
    // True while the dialog is up for a wait.
    bool IsWaiting() const { return m_nWaits > 0; }
    int GetWaitsShown() const { return m_nWaitsShown; }

    static constexpr int STEP = 10;

protected:
    void closeEvent(QCloseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void Paint();

    QProgressBar* m_pProgress;
    CMessageBoxQueue* m_pQueue;
    std::function<void()> m_fnServeHook;
    int m_nWaits = 0;
    int m_nWaitsShown = 0;
};
