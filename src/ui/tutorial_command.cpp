#include "ui/tutorial_command.h"

#include "widgets/desktop_opener.h"
#include "widgets/message_box.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QUrl>
#include <QWidget>

const char* const CTutorialCommand::NOT_OPENED =
    "The Vantrel Tutorial could not be opened in a web browser.\n"
    "It is this file, which any web browser can show:\n";
const char* const CTutorialCommand::NOT_INSTALLED =
    "The Vantrel Tutorial is not installed. It belongs in this file:\n";

QString CTutorialCommand::FindGuide(const QString& strProgramDir) {
    const QDir dirProgram(strProgramDir);
    const QString strInstalled =
        QDir::cleanPath(dirProgram.filePath(VANTREL_GUIDE_FROM_PROGRAM "/index.html"));
    if (QFileInfo::exists(strInstalled))
        return strInstalled;
    // Only the program built in this tree reads the guide from its sources; an installed
    // copy of it never does.
    const QString strBuilt =
        QFileInfo(QStringLiteral(VANTREL_BUILD_PROGRAM_DIR)).canonicalFilePath();
    if (!strBuilt.isEmpty() && QFileInfo(strProgramDir).canonicalFilePath() == strBuilt) {
        const QString strSource = QStringLiteral(VANTREL_SOURCE_GUIDE_DIR "/index.html");
        if (QFileInfo::exists(strSource))
            return strSource;
    }
    return strInstalled;
}

void CTutorialCommand::Execute() {
    Execute(FindGuide(QCoreApplication::applicationDirPath()));
}

void CTutorialCommand::Execute(const QString& strGuide) {
    const QString strPath = QDir::toNativeSeparators(strGuide);
    if (!QFileInfo(strGuide).isFile()) {
        CMessageBox::Information(m_pParent, QString::fromLatin1(NOT_INSTALLED) + strPath);
        return;
    }
    // The failure may be learnt after this command has ended and its window has closed.
    OpenUrl(QUrl::fromLocalFile(strGuide), [pParent = QPointer<QWidget>(m_pParent), strPath] {
        CMessageBox::Information(pParent, QString::fromLatin1(NOT_OPENED) + strPath);
    });
}

void CTutorialCommand::OpenUrl(const QUrl& url, const std::function<void()>& fnFailed) {
    CDesktopOpener::Open(url, fnFailed);
}
