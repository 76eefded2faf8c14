#pragma once

#include "core/host_check.h"
#include <QDialog>

#include <memory>

class CVantrelDoc;
class CWaitObserver;
class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

// "Vantrel Options": how host-down alerts are delivered, the mail details, the minutes
// between test cycles, how ping times are measured, whether server errors count as down, the
// certificate warning and how long the test history is kept. It edits the store's settings copy in
// place, under the settings lock. Control names are their ids ("ctl1003" is the system alert tick
// box, and so on).
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    // The bounds the worker and the data tools hold the stored interval to.
    static constexpr int MIN_INTERVAL = CHostCheck::MIN_INTERVAL;
    static constexpr int MAX_INTERVAL = CHostCheck::MAX_INTERVAL;

    // pWait shows the wait while the worker holds the settings lock (may be null).
    COptionsDlg(QWidget* pParent, CWaitObserver* pWait);
    // Cancels a test e-mail still being sent, without waiting for it.
    ~COptionsDlg() override;

    // Fills the controls from m_pDoc; exec() calls it.
    void OnInitDialog();
    int exec() override;

    CVantrelDoc* m_pDoc = nullptr;

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    // The parts of the dialog, top to bottom.
    void AddHeading(QVBoxLayout& layout);
    void AddAlertChoices(QVBoxLayout& layout);
    void AddSettingsGrid(QVBoxLayout& layout);
    void AddButtons(QVBoxLayout& layout);
    QLineEdit* AddEdit(const char* pszName);
    // A count of days at the end of row: its label, the box and "days".
    QSpinBox* AddDays(QHBoxLayout& row, const char* pszName, const char* pszLabel, int nMin,
                      int nMax);
    // Sends the host-down e-mail with the values as typed, on a thread of its own; while it
    // runs the same button cancels it.
    void OnSendTestMail();
    // Lets the test e-mail's thread go: it stops soon and reports to nobody.
    void CancelTestMail();
    // Back on the GUI thread: the exchange and the outcome of run pRun in a window of their own.
    void ShowTestResult(const void* pRun, const QString& strExchange, const QString& strOutcome);
    // SSL/TLS, STARTTLS and None propose 465, 587 and 25 in place of one of these.
    void OnSecurityChanged(int nSecurity);

    CWaitObserver* m_pWait;
    QLabel* m_pUnreadable; // names the settings that could not be read
    QCheckBox* m_pAlertSystem;
    QCheckBox* m_pAlertEmail;
    QCheckBox* m_pAlertBackUp;
    QLabel* m_pAlertEmailText;
    QLineEdit* m_pEmailTo;
    QLineEdit* m_pSMTP;
    QLineEdit* m_pEmailFrom;
    QLineEdit* m_pLogin;
    QLineEdit* m_pPass;
    QComboBox* m_pLoginMethod;
    QCheckBox* m_pAllowClearPassword;
    QLineEdit* m_pHeloName;
    QComboBox* m_pSecurity;
    QSpinBox* m_pPort;
    QPushButton* m_pSendTest;
    QSpinBox* m_pInterval;
    QComboBox* m_pPingMethod;
    QCheckBox* m_pServerErrorsDown;
    QSpinBox* m_pCertWarningDays;
    QSpinBox* m_pHistoryDays;
    // The test e-mail in progress, shared with its thread; null when none runs.
    struct STestMailRun;
    std::shared_ptr<STestMailRun> m_pTestRun;
};
