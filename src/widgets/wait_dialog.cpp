#include "widgets/wait_dialog.h"

#include "widgets/message_box_queue.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

CWaitDialog::CWaitDialog(QWidget* pParent, CMessageBoxQueue* pQueue)
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_pProgress(new QProgressBar(this)), m_pQueue(pQueue) {
    setWindowTitle(QStringLiteral("Vantrel"));
    setModal(false);
    auto* pLayout = new QVBoxLayout(this);
    auto* pText = new QLabel(QStringLiteral("Waiting for pings to finish."), this);
    pText->setObjectName(QStringLiteral("waitText"));
    pLayout->addWidget(pText);
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pProgress->setMinimumWidth(220);
    pLayout->addWidget(m_pProgress);
    setFixedSize(sizeHint());
}

void CWaitDialog::BeginWait() {
    ++m_nWaits;
    ++m_nWaitsShown;
    m_pProgress->setValue(0);
    show();
    raise();
    Paint();
}

void CWaitDialog::StepWait() {
    const int nNext = m_pProgress->value() + STEP;
    m_pProgress->setValue(nNext > m_pProgress->maximum() ? m_pProgress->minimum() : nNext);
    Paint();
}

void CWaitDialog::EndWait() {
    if (m_nWaits > 0)
        --m_nWaits;
    hide();
}

void CWaitDialog::Serve() {
    if (m_fnServeHook)
        m_fnServeHook();
    // Boxes the worker asks for during the first short try wait until the dialog is up, so
    // the user sees why the program waits while the box is open.
    if (!isVisible())
        return;
    if (m_pQueue)
        m_pQueue->Serve();
    Paint();
}

int CWaitDialog::GetPosition() const {
    return m_pProgress->value();
}

void CWaitDialog::Paint() {
    // Lets the dialog appear and repaint; input stays queued until the wait is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers);
}

void CWaitDialog::closeEvent(QCloseEvent* pEvent) {
    // The wait has no cancel.
    pEvent->ignore();
}

void CWaitDialog::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(pEvent);
}
