#include "core/test_files.h"
#include "gui_test_support.h"

#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/tutorial_command.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's opener and the message box, and logs their calls.
class CTestTutorial : public CTutorialCommand {
public:
    CTestTutorial() : CTutorialCommand(nullptr) {}
    bool OpenUrl(const QUrl& url) override {
        m_arrLog << "open " + url.toString();
        return m_bOpens;
    }
    void ShowMessage(const QString& strText) override { m_arrLog << strText; }

    bool m_bOpens = true;
    QStringList m_arrLog;
};

QString Q(const std::string& str) {
    return QString::fromStdString(str);
}

} // namespace

TEST(TutorialCommandTest, GuideIsFoundBesideTheInstalledProgramOrInTheSourceTree) {
    CTempDir dir;
    std::filesystem::create_directories(dir / "usr/bin");
    std::filesystem::create_directories(dir / "usr/share/doc/vantrel/guide");
    WriteFileBytes(dir / "usr/share/doc/vantrel/guide/index.html", "<html></html>");
    std::filesystem::create_directories(dir / "opt/bin");
    std::filesystem::create_symlink(VANTREL_UI_BUILD_DIR, dir / "linked-build");
    const std::string strSourceGuide = VANTREL_SOURCE_DIR "/docs/guide/index.html";

    const std::pair<std::string, std::string> arrCases[] = {
        {dir / "usr/bin", dir / "usr/share/doc/vantrel/guide/index.html"},
        {dir / "usr/bin/", dir / "usr/share/doc/vantrel/guide/index.html"},
        // Nothing installed: the path where the guide belongs, for the message.
        {dir / "opt/bin", dir / "opt/share/doc/vantrel/guide/index.html"},
        {VANTREL_UI_BUILD_DIR, strSourceGuide},
        {dir / "linked-build", strSourceGuide},
    };
    for (const auto& [strProgramDir, strGuide] : arrCases)
        EXPECT_EQ(CTutorialCommand::FindGuide(Q(strProgramDir)), Q(strGuide)) << strProgramDir;
}

TEST(TutorialCommandTest, OpensTheGuideOrNamesTheFileWhenNothingOpensIt) {
    CTempDir dir;
    const std::string strGuide = dir / "guide/index.html";
    std::filesystem::create_directories(dir / "guide");
    WriteFileBytes(strGuide, "<html></html>");
    const QString strUrl = "open file://" + Q(strGuide);

    struct SCase {
        std::string strFile;
        bool bOpens, bResult;
        QStringList arrLog;
    };
    const SCase arrCases[] = {
        {strGuide, true, true, {strUrl}},
        {strGuide,
         false,
         false,
         {strUrl, "The Vantrel Tutorial could not be opened: no web browser took it.\n"
                  "Open this file in a web browser:\n" +
                      Q(strGuide)}},
        // A missing guide is never handed to the browser.
        {dir / "gone/index.html",
         true,
         false,
         {"The Vantrel Tutorial is not installed. It belongs in this file:\n" +
          Q(dir / "gone/index.html")}},
        {dir / "guide",
         true,
         false,
         {"The Vantrel Tutorial is not installed. It belongs in this file:\n" + Q(dir / "guide")}},
    };
    for (const SCase& c : arrCases) {
        CTestTutorial command;
        command.m_bOpens = c.bOpens;
        EXPECT_EQ(command.Execute(Q(c.strFile)), c.bResult) << c.strFile;
        EXPECT_EQ(command.m_arrLog, c.arrLog) << c.strFile;
    }
}

TEST(TutorialCommandTest, MenuAndToolbarOpenTheRunningProgramsGuide) {
    EnsureApp();
    CMainFrame frame;
    // This test program has no guide beside it, so both commands name where it belongs.
    const QString strExpected = QString::fromLatin1(CTutorialCommand::NOT_INSTALLED) +
                                QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                "/../share/doc/vantrel/guide/index.html");
    for (int nId : {ID_HELP_TUTORIAL, ID_TOOLBAR_TUTORIAL}) {
        CBoxAnswerer answerer;
        frame.GetAction(nId)->trigger();
        ASSERT_EQ(answerer.Texts(), QStringList{strExpected}) << nId;
        EXPECT_EQ(answerer.m_arrSeen[0].icon, QMessageBox::NoIcon);
        EXPECT_TRUE(answerer.m_arrSeen[0].bHasOwner);
    }
}
