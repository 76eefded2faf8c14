#include "gui_test_support.h"

#include "ui/command_ids.h"
#include "ui/main_frame.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

// "text|id|prompt" for each command, a menu's title before its entries, "-" for a separator.
void Describe(const QList<QAction*>& actions, QStringList& out) {
    for (const QAction* p : actions) {
        if (p->isSeparator())
            out << "-";
        else if (p->menu())
            Describe(p->menu()->actions(), out << p->text());
        else
            out << p->text() + '|' + QString::number(p->data().toInt()) + '|' + p->statusTip();
    }
}

TEST(MainFrameTest, MenusToolbarPromptsAndWindowFollowTheTables) {
    EXPECT_EQ(CMainFrame::GetInitialGeometry({640, 480}), QRect(-80, -40, 800, 560));
    EXPECT_EQ(CMainFrame::GetInitialGeometry({1025, 769}), QRect(112, 104, 800, 560));
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.windowTitle(), "Vantrel");
    EXPECT_EQ(frame.size(), QSize(800, 560));
    EXPECT_EQ(frame.pos(),
              CMainFrame::GetInitialGeometry(QGuiApplication::primaryScreen()->size()).topLeft());
    EXPECT_EQ(frame.GetTrayIcon()->toolTip(), "Vantrel");

    QStringList menus;
    Describe(frame.menuBar()->actions(), menus);
    EXPECT_EQ(menus,
              (QStringList{"&File", "&Add host|32771|Add new host to the list",
                           "&Edit host|32776|Modify existing host",
                           "&Remove host|32772|Remove the host from the list", "-",
                           "E&xit|57665|Quit the application; prompts to save documents", "&Test",
                           "&Start tests|32774|Start the tests on the selected hosts",
                           "Sto&p tests|32775|Stop the tests on the selected hosts", "-",
                           "&Build graph|32777|Build the graph for the selected host",
                           "&Generate report|32778|Generate the report for the selected hosts",
                           "&Options|32773|Change the program options", "&Help",
                           "Vantrel &Tutorial|32787|Launch the Tutorial",
                           "&About Vantrel...|57664|Display program information, version number "
                           "and copyright"}));
    QList<int> tools; // separators are 0; a button's tip is its command's prompt
    for (const QAction* p : frame.GetToolBar()->actions()) {
        tools << p->data().toInt();
        EXPECT_EQ(p->toolTip(), p->statusTip()) << tools.last();
    }
    EXPECT_EQ(tools, (QList<int>{32771, 32776, 32772, 0, 32774, 32775, 0, 32777, 32778, 0, 1080}));
    EXPECT_EQ(frame.GetToolBar()->iconSize(), QSize(48, 47));

    // A menu prompt covers the idle text.
    auto* pIdle = frame.statusBar()->findChild<QLabel*>("idleText");
    EXPECT_EQ(pIdle->text(), "Vantrel");
    frame.GetAction(ID_TEST_START)->showStatusText(frame.menuBar());
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Start the tests on the selected hosts");
    EXPECT_FALSE(pIdle->isVisible());
}

// Without a tray the hidden window could not be brought back.
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
    emit frame.GetTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame.isVisible() && !frame.isMinimized());
}

} // namespace
