#include "gui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPushButton>

QApplication& EnsureApp() {
    static int argc = 1;
    static char arg0[] = "vantrel-gui-test";
    static char* argv[] = {arg0, nullptr};
    static QApplication* pApp = new QApplication(argc, argv);
    return *pApp;
}

CBoxAnswerer::CBoxAnswerer(QMessageBox::StandardButton answer) : m_answer(answer) {
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &CBoxAnswerer::Poll);
    m_timer.start();
}

QStringList CBoxAnswerer::Texts() const {
    QStringList list;
    for (const auto& seen : m_arrSeen)
        list << seen.strText;
    return list;
}

void CBoxAnswerer::Poll() {
    for (QWidget* pWidget : QApplication::topLevelWidgets()) {
        auto* pBox = qobject_cast<QMessageBox*>(pWidget);
        if (!pBox || !pBox->isVisible() || pBox->property("answered").toBool())
            continue;
        if (!pBox->property("seenAt").isValid())
            pBox->setProperty("seenAt", QDateTime::currentMSecsSinceEpoch());
        if (QDateTime::currentMSecsSinceEpoch() - pBox->property("seenAt").toLongLong() <
            m_nDelayMs)
            continue;
        pBox->setProperty("answered", true);
        SSeen seen;
        seen.strTitle = pBox->windowTitle();
        seen.strText = pBox->text();
        seen.buttons = pBox->standardButtons();
        if (pBox->defaultButton())
            seen.defaultButton = pBox->standardButton(pBox->defaultButton());
        seen.icon = pBox->icon();
        seen.bOnTop = pBox->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        seen.bHasOwner = pBox->parentWidget() != nullptr;
        seen.bModal = QApplication::activeModalWidget() == pBox;
        m_arrSeen.push_back(seen);
        if (m_onBox)
            m_onBox(seen);
        QAbstractButton* pButton = pBox->button(m_answer);
        if (!pButton)
            pButton = pBox->buttons().value(0);
        pButton->click();
    }
}

bool SpinUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}
