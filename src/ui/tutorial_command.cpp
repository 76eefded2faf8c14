#include "ui/tutorial_command.h"

#include "widgets/message_box.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

const char* const CTutorialCommand::NOT_OPENED =
    "The Vantrel Tutorial could not be opened: no web browser took it.\n"
    "Open this file in a web browser:\n";
const char* const CTutorialCommand::NOT_INSTALLED =
    "The Vantrel Tutorial is not installed. It belongs in this file:\n";

QString CTutorialCommand::FindGuide(const QString& strProgramDir) {
    const QDir dirProgram(strProgramDir);
    const QString strInstalled =
        QDir::cleanPath(dirProgram.filePath("../share/doc/vantrel/guide/index.html"));
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

bool CTutorialCommand::Execute() {
    return Execute(FindGuide(QCoreApplication::applicationDirPath()));
}

bool CTutorialCommand::Execute(const QString& strGuide) {
    const QString strPath = QDir::toNativeSeparators(strGuide);
    if (!QFileInfo(strGuide).isFile()) {
        ShowMessage(QString::fromLatin1(NOT_INSTALLED) + strPath);
        return false;
    }
    if (!OpenUrl(QUrl::fromLocalFile(strGuide))) {
        ShowMessage(QString::fromLatin1(NOT_OPENED) + strPath);
        return false;
    }
    return true;
}

bool CTutorialCommand::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void CTutorialCommand::ShowMessage(const QString& strText) {
    CMessageBox::Information(m_pParent, strText);
}
