#pragma once

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <ctime>

struct CHostNotice;

// Hands host notices to the desktop's notification service (org.freedesktop.Notifications on
// the session bus); where none answers, the tray icon shows them as a balloon message. The
// call is asynchronous: a slow service never holds up the window.
class CDesktopNotifier : public QObject {
    Q_OBJECT
public:
    // pTray: the fallback (may be null).
    CDesktopNotifier(QSystemTrayIcon* pTray, QObject* pParent = nullptr);

    void Notify(const CHostNotice& notice);

    // "Host down: NAME" / "Host up again: NAME".
    static QString Summary(const CHostNotice& notice);
    // The URL, then "Found down at 14:05:10" / "Answering again at 14:30:00" (local time).
    static QString Body(const CHostNotice& notice);

private:
    void ShowInTray(const QString& strSummary, const QString& strBody);

    QPointer<QSystemTrayIcon> m_pTray;
};
