#include "widgets/desktop_opener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

void CDesktopOpener::Open(const QUrl& url, const std::function<void()>& fnFailed) {
    const QString strOpener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (strOpener.isEmpty()) {
        if (!QDesktopServices::openUrl(url))
            fnFailed();
        return;
    }
    auto* pProcess = new QProcess(QCoreApplication::instance());
    pProcess->setProgram(strOpener);
    pProcess->setArguments({url.toString(QUrl::FullyEncoded)});
    pProcess->setStandardOutputFile(QProcess::nullDevice());
    pProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    QObject::connect(pProcess, &QProcess::finished, pProcess,
                     [pProcess, fnFailed, timer](int nCode, QProcess::ExitStatus status) {
                         if ((status != QProcess::NormalExit || nCode != 0) &&
                             timer.elapsed() < VERDICT_MS)
                             fnFailed();
                         pProcess->deleteLater();
                     });
    QObject::connect(pProcess, &QProcess::errorOccurred, pProcess,
                     [pProcess, fnFailed](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         fnFailed();
                         pProcess->deleteLater();
                     });
    pProcess->start();
}
