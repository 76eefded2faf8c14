#include "ui/desktop_notifier.h"

#include "core/message_sink.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDateTime>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace {

const char* const SERVICE = "org.freedesktop.Notifications";

} // namespace

CDesktopNotifier::CDesktopNotifier(QSystemTrayIcon* pTray, QObject* pParent)
    : QObject(pParent), m_pTray(pTray) {}

QString CDesktopNotifier::Summary(const CHostNotice& notice) {
    if (notice.m_eKind == CHostNotice::CERT_EXPIRING)
        return QStringLiteral("Certificate expires soon: ") + QString::fromLatin1(notice.m_strName);
    return (notice.m_eKind == CHostNotice::HOST_DOWN ? QStringLiteral("Host down: ")
                                                     : QStringLiteral("Host up again: ")) +
           QString::fromLatin1(notice.m_strName);
}

QString CDesktopNotifier::Body(const CHostNotice& notice) {
    if (notice.m_eKind == CHostNotice::CERT_EXPIRING)
        return QString::fromLatin1(notice.m_strText);
    const QString strTime = QDateTime::fromSecsSinceEpoch(notice.m_tWhen).toString("HH:mm:ss");
    return QString::fromLatin1(notice.m_strURL) + '\n' +
           (notice.m_eKind == CHostNotice::HOST_DOWN ? QStringLiteral("Found down at ")
                                                     : QStringLiteral("Answering again at ")) +
           strTime;
}

void CDesktopNotifier::Notify(const CHostNotice& notice) {
    const QString strSummary = Summary(notice), strBody = Body(notice);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        ShowInTray(strSummary, strBody);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(SERVICE, QStringLiteral("/org/freedesktop/Notifications"),
                                       SERVICE, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default)
    call << QStringLiteral("Vantrel") << 0u << QStringLiteral("vantrel") << strSummary << strBody
         << QStringList()
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("vantrel")}} << -1;
    auto* pWatcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(pWatcher, &QDBusPendingCallWatcher::finished, this,
            [this, strSummary, strBody](QDBusPendingCallWatcher* pCall) {
                if (pCall->isError())
                    ShowInTray(strSummary, strBody);
                pCall->deleteLater();
            });
}

void CDesktopNotifier::ShowInTray(const QString& strSummary, const QString& strBody) {
    if (m_pTray && m_pTray->isVisible())
        m_pTray->showMessage(strSummary, strBody, QSystemTrayIcon::Warning);
}
