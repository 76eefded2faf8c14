#include "gui_test_support.h"

#include "core/product.h"
#include "ui/about_dlg.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/vantrel_view.h"
#include "ui/wait_dialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

// "text|id" for every entry of a menu, "-" for a separator.
QStringList MenuEntries(const QMenu* pMenu) {
    QStringList entries;
    for (const QAction* pAction : pMenu->actions())
        entries << (pAction->isSeparator()
                        ? QStringLiteral("-")
                        : pAction->text() + '|' + QString::number(pAction->data().toInt()));
    return entries;
}

TEST(MainFrameTest, MenusHaveTheirTextsMnemonicsAndIds) {
    CMainFrame frame;
    const QList<QAction*> top = frame.menuBar()->actions();
    ASSERT_EQ(top.size(), 4);
    EXPECT_EQ(top[0]->text(), "&File");
    EXPECT_EQ(top[1]->text(), "&Test");
    EXPECT_EQ(top[2]->text(), "&Options");
    EXPECT_EQ(top[2]->menu(), nullptr);
    EXPECT_EQ(top[2]->data().toInt(), 32773);
    EXPECT_EQ(top[3]->text(), "&Help");
    EXPECT_EQ(MenuEntries(top[0]->menu()), (QStringList{"&Add host|32771", "&Edit host|32776",
                                                        "&Remove host|32772", "-", "E&xit|57665"}));
    EXPECT_EQ(MenuEntries(top[1]->menu()),
              (QStringList{"&Start tests|32774", "Sto&p tests|32775", "-", "&Build graph|32777",
                           "&Generate report|32778"}));
    EXPECT_EQ(MenuEntries(top[3]->menu()),
              (QStringList{"Vantrel &Tutorial|32787", "&About Vantrel...|57664"}));
}

TEST(MainFrameTest, PromptsAndTipsFollowTheStringTable) {
    CMainFrame frame;
    const struct {
        int nId;
        const char* pszPrompt;
        const char* pszTip;
    } rows[] = {
        {32771, "Add new host to the list", "Add new host to the list"},
        {32776, "Modify existing host", "Modify existing host"},
        {32772, "Remove the host from the list", "Remove the host from the list"},
        {32774, "Start the tests on the selected hosts", "Start the tests on the selected hosts"},
        {32775, "Stop the tests on the selected hosts", "Stop the tests on the selected hosts"},
        {32777, "Build the graph for the selected host", "Build the graph for the selected host"},
        {32778, "Generate the report for the selected hosts",
         "Generate the report for the selected hosts"},
        {32773, "Change the program options", ""},
        {32787, "Launch the Tutorial", ""},
        {57664, "Display program information, version number and copyright", "About"},
        {57665, "Quit the application; prompts to save documents", "Exit"},
        {1080, "", ""},
    };
    for (const auto& row : rows) {
        QAction* pAction = frame.GetAction(row.nId);
        ASSERT_NE(pAction, nullptr) << row.nId;
        EXPECT_EQ(pAction->statusTip(), row.pszPrompt) << row.nId;
        // Commands without a tip are not on the toolbar, where tips are shown.
        if (*row.pszTip || row.nId == ID_TOOLBAR_TUTORIAL) {
            EXPECT_EQ(pAction->toolTip(), row.pszTip) << row.nId;
        }
    }
}

TEST(MainFrameTest, ToolbarButtonsComeInOrderWithoutPrompts) {
    CMainFrame frame;
    frame.show();
    QToolBar* pToolBar = frame.GetToolBar();
    QList<int> ids;
    for (const QAction* pAction : pToolBar->actions())
        ids << (pAction->isSeparator() ? 0 : pAction->data().toInt());
    EXPECT_EQ(ids, (QList<int>{32771, 32776, 32772, 0, 32774, 32775, 0, 32777, 32778, 0, 1080}));
    EXPECT_EQ(pToolBar->iconSize(), QSize(48, 47));
    EXPECT_FALSE(pToolBar->isMovable());
    EXPECT_FALSE(pToolBar->isFloatable());
    for (const QAction* pAction : pToolBar->actions()) {
        if (!pAction->isSeparator()) {
            EXPECT_FALSE(pAction->icon().isNull()) << pAction->data().toInt();
        }
    }

    // The idle text; a menu prompt covers it; a toolbar button shows none.
    auto* pIdle = frame.statusBar()->findChild<QLabel*>(QStringLiteral("idleText"));
    ASSERT_NE(pIdle, nullptr);
    EXPECT_EQ(pIdle->text(), "Vantrel");
    EXPECT_TRUE(pIdle->isVisible());
    QWidget* pButton = pToolBar->widgetForAction(frame.GetAction(ID_TEST_START));
    QStatusTipEvent buttonTip(frame.GetAction(ID_TEST_START)->statusTip());
    QApplication::sendEvent(pButton, &buttonTip);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "");
    frame.GetAction(ID_TEST_START)->showStatusText(frame.menuBar());
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Start the tests on the selected hosts");
    EXPECT_FALSE(pIdle->isVisible());
    QStatusTipEvent noTip{QString()};
    QApplication::sendEvent(frame.menuBar(), &noTip);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "");
    EXPECT_TRUE(pIdle->isVisible());
}

TEST(MainFrameTest, WindowIsCentredAndTitledVantrel) {
    EXPECT_EQ(CMainFrame::GetInitialGeometry(QSize(640, 480)), QRect(-80, -40, 800, 560));
    EXPECT_EQ(CMainFrame::GetInitialGeometry(QSize(1920, 1080)), QRect(560, 260, 800, 560));
    EXPECT_EQ(CMainFrame::GetInitialGeometry(QSize(1025, 769)), QRect(112, 104, 800, 560));

    CMainFrame frame;
    EXPECT_EQ(frame.windowTitle(), "Vantrel");
    EXPECT_EQ(frame.size(), QSize(800, 560));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(frame.pos(), CMainFrame::GetInitialGeometry(screen).topLeft());
    EXPECT_EQ(frame.centralWidget(), frame.GetView());
    EXPECT_EQ(frame.GetTrayIcon()->toolTip(), "Vantrel");
}

TEST(MainFrameTest, MinimisingHidesOnlyWhenATrayCanBringItBack) {
    CMainFrame frame;
    frame.SetTrayAvailable(false);
    frame.show();
    frame.showMinimized();
    SpinUntil([] { return false; }, 50);
    EXPECT_TRUE(frame.isVisible());

    frame.showNormal();
    frame.SetTrayAvailable(true);
    frame.GetTrayIcon()->show();
    frame.showMinimized();
    EXPECT_TRUE(SpinUntil([&] { return !frame.isVisible(); }, 1000));

    // A single click does nothing; a double-click brings the window back.
    emit frame.GetTrayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(frame.isVisible());
    emit frame.GetTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.isMinimized());
}

TEST(MainFrameTest, ClosingRemovesTheTrayIconUnlessAWaitIsInProgress) {
    CMainFrame frame;
    QSignalSpy closed(&frame, &CMainFrame::Closed);
    frame.show();
    frame.GetTrayIcon()->show();

    frame.GetWaitDialog()->BeginWait();
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(closed.count(), 0);
    frame.GetWaitDialog()->EndWait();

    frame.GetAction(ID_APP_EXIT)->trigger();
    EXPECT_FALSE(frame.isVisible());
    EXPECT_FALSE(frame.GetTrayIcon()->isVisible());
    EXPECT_EQ(closed.count(), 1);
}

// Takes the URLs the program asks the desktop to open.
class CUrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> m_urls;
public slots:
    void Open(const QUrl& url) { m_urls << url; }
};

TEST(MainFrameTest, TutorialOpensTheProductPageAndAboutNamesTheProgram) {
    CUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
    CMainFrame frame;
    frame.GetAction(ID_HELP_TUTORIAL)->trigger();
    frame.GetAction(ID_TOOLBAR_TUTORIAL)->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.m_urls, (QList<QUrl>{QUrl(QStringLiteral(VANTREL_TUTORIAL_PAGE)),
                                           QUrl(QStringLiteral(VANTREL_TUTORIAL_PAGE))}));

    CAboutDlg about(&frame);
    EXPECT_EQ(about.windowTitle(), "About Vantrel");
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("aboutVersion"))->text(), "Vantrel v1.0");
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("aboutMaker"))->text(), VANTREL_MAKER_LINE);
}

} // namespace

#include "main_frame_test.moc"
