#pragma once

#include "core/host_check.h"

#include <QDialog>

class CVantrelDoc;
class CWaitObserver;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// "Vantrel Options": how host-down alerts are delivered, the mail details, the minutes
// between test cycles and how ping times are measured. It edits the store's settings copy in place,
// under the settings lock. Control names are their ids ("ctl1003" is the system alert tick box, and
// so on).
class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    // The bounds the worker and the data tools hold the stored interval to.
    static constexpr int MIN_INTERVAL = CHostCheck::MIN_INTERVAL;
    static constexpr int MAX_INTERVAL = CHostCheck::MAX_INTERVAL;

    // pWait shows the wait while the worker holds the settings lock (may be null).
    COptionsDlg(QWidget* pParent, CWaitObserver* pWait);

    // Fills the controls from m_pDoc; exec() calls it.
    void OnInitDialog();
    int exec() override;

    CVantrelDoc* m_pDoc = nullptr;

public slots:
    void accept() override;

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    QLineEdit* AddEdit(const char* pszName);

    CWaitObserver* m_pWait;
    QCheckBox* m_pAlertSystem;
    QCheckBox* m_pAlertEmail;
    QLabel* m_pAlertEmailText;
    QLineEdit* m_pEmailTo;
    QLineEdit* m_pSMTP;
    QLineEdit* m_pEmailFrom;
    QLineEdit* m_pLogin;
    QLineEdit* m_pPass;
    QSpinBox* m_pInterval;
    QComboBox* m_pPingMethod;
};
