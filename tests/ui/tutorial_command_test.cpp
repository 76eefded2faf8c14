#include "core/test_files.h"
#include "gui_test_support.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/tutorial_command.h"
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's opener: logs the URL, and fails at once when told to.
class CTestTutorial : public CTutorialCommand {
public:
    CTestTutorial() : CTutorialCommand(nullptr) {}
    void OpenUrl(const QUrl& url, const std::function<void()>& fnFailed) override {
        m_arrOpened << url.toString();
        if (!m_bOpens)
            fnFailed();
    }

    bool m_bOpens = true;
    QStringList m_arrOpened;
};

QString Q(const std::string& str) {
    return QString::fromStdString(str);
}

// Found beside the installed program or in the source tree; a missing guide never reaches the
// browser, and the menu and toolbar name where it belongs.
TEST(TutorialCommandTest, OpensTheGuideOrNamesTheFileWhenNothingOpensIt) {
    EnsureApp();
    CTempDir dir;
    std::filesystem::create_directories(dir / "usr/bin");
    std::filesystem::create_directories(dir / "usr/share/doc/vantrel/guide");
    const std::string strGuide = dir / "usr/share/doc/vantrel/guide/index.html";
    WriteFileBytes(strGuide, "<html></html>");
    std::filesystem::create_symlink(VANTREL_UI_BUILD_DIR, dir / "linked-build");
    const std::string strSourceGuide = VANTREL_SOURCE_DIR "/docs/guide/index.html";
    const std::pair<std::string, std::string> arrFound[] = {
        {dir / "usr/bin", strGuide},
        // Nothing installed: the path where the guide belongs, for the message.
        {dir / "opt/bin", dir / "opt/share/doc/vantrel/guide/index.html"},
        {VANTREL_UI_BUILD_DIR, strSourceGuide},
        {dir / "linked-build", strSourceGuide},
    };
    for (const auto& [strProgramDir, strFound] : arrFound)
        EXPECT_EQ(CTutorialCommand::FindGuide(Q(strProgramDir)), Q(strFound)) << strProgramDir;

    const QString NOT_INSTALLED = "The Vantrel Tutorial is not installed. It belongs in this "
                                  "file:\n",
                  NOT_OPENED = "The Vantrel Tutorial could not be opened in a web browser.\nIt is "
                               "this file, which any web browser can show:\n";
    // The file, whether the opener succeeds, what it was handed, the messages.
    const std::tuple<std::string, bool, QStringList, QStringList> arrCases[] = {
        {strGuide, true, {"file://" + Q(strGuide)}, {}},
        {strGuide, false, {"file://" + Q(strGuide)}, {NOT_OPENED + Q(strGuide)}},
        {dir / "gone.html", true, {}, {NOT_INSTALLED + Q(dir / "gone.html")}},
        {dir / "usr", true, {}, {NOT_INSTALLED + Q(dir / "usr")}},
    };
    for (const auto& [strFile, bOpens, arrOpened, arrMessages] : arrCases) {
        CBoxAnswerer answerer;
        CTestTutorial command;
        command.m_bOpens = bOpens;
        command.Execute(Q(strFile));
        EXPECT_EQ(command.m_arrOpened, arrOpened) << strFile;
        EXPECT_EQ(answerer.Texts(), arrMessages) << strFile;
    }
    CMainFrame frame;
    CBoxAnswerer answerer;
    for (int nId : {ID_HELP_TUTORIAL, ID_TOOLBAR_TUTORIAL})
        frame.GetAction(nId)->trigger();
    EXPECT_EQ(
        answerer.Texts(),
        QStringList(2, NOT_INSTALLED + QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                                       "/../share/doc/vantrel/guide/"
                                                       "index.html")));
}

} // namespace
