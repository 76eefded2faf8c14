#include "widgets/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void CScreenFit::Install() {
    static CScreenFit* s_pFilter = nullptr;
    if (!s_pFilter) {
        s_pFilter = new CScreenFit(qApp);
        qApp->installEventFilter(s_pFilter);
    }
}

QRect CScreenFit::Clamp(const QRect& rect, const QRect& available) {
    const int nWidth = std::min(rect.width(), available.width());
    const int nHeight = std::min(rect.height(), available.height());
    const int nX =
        std::clamp(rect.x(), available.left(), available.left() + available.width() - nWidth);
    const int nY =
        std::clamp(rect.y(), available.top(), available.top() + available.height() - nHeight);
    return QRect(nX, nY, nWidth, nHeight);
}

QRect CScreenFit::Centred(const QSize& wanted, const QRect& available) {
    const QSize size = wanted.boundedTo(available.size());
    return QRect(available.left() + (available.width() - size.width()) / 2,
                 available.top() + (available.height() - size.height()) / 2, size.width(),
                 size.height());
}

void CScreenFit::Fit(QWidget* pWindow) {
    const QScreen* pScreen = pWindow->screen();
    if (!pScreen)
        return;
    // The frame is known once the window was shown; before that the title bar may need room.
    const QRect frame = pWindow->frameGeometry();
    const QRect client = pWindow->geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    const QRect available = pScreen->availableGeometry().marginsRemoved(margins);
    const QRect fitted = Clamp(client, available);
    if (fitted != client)
        pWindow->setGeometry(fitted);
}

bool CScreenFit::eventFilter(QObject* pObject, QEvent* pEvent) {
    // Before the window appears: the event comes ahead of the window system's show.
    if (pEvent->type() == QEvent::Show && pObject->isWidgetType()) {
        auto* pWidget = static_cast<QWidget*>(pObject);
        const Qt::WindowType eType = pWidget->windowType();
        if (pWidget->isWindow() && (eType == Qt::Window || eType == Qt::Dialog))
            Fit(pWidget);
    }
    return QObject::eventFilter(pObject, pEvent);
}
