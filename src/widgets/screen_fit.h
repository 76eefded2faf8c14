#pragma once

#include <QObject>
#include <QRect>

class QWidget;

// Keeps every window inside the available area of its screen, at any scale: a window that
// opens larger than the screen, or comes back with a place remembered on another screen, is
// moved in and shrunk to fit (down to its minimum size).
class CScreenFit : public QObject {
    Q_OBJECT
public:
    // Watches every window of the application from now on.
    static void Install();
    // rect moved, and shrunk where it is larger, to lie inside available.
    static QRect Clamp(const QRect& rect, const QRect& available);
    // A window of size wanted (shrunk to fit) centred in available.
    static QRect Centred(const QSize& wanted, const QRect& available);
    // Fits the window with its frame into its screen's available area.
    static void Fit(QWidget* pWindow);

protected:
    bool eventFilter(QObject* pObject, QEvent* pEvent) override;

private:
    using QObject::QObject;
};
