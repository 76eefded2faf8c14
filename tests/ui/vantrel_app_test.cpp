#include "gui_test_support.h"

#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"
#include <QTest>
#include <QtWidgets>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

int g_argc = 1;
char g_szName[] = "vantrel";
char* g_argv[] = {g_szName, nullptr};

// Fonts pinned; settings it cannot read named; a second process shows the running window and
// ends; a stop signal leaves through the normal exit, which writes data and settings. Refused,
// with a box, while another holds the data file.
TEST(VantrelAppTest, StartsOnceShowsTheRunningWindowAgainAndStopsCleanly) {
    QTemporaryDir dir; // settings, data and the instance guard of this test; no keyring answers
    for (const char* pszVar : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        setenv(pszVar, dir.path().toLocal8Bit().constData(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    setenv("FONTCONFIG_FILE", VANTREL_OTHER_FONTS, 1); // one that would pick serif faces
    const QString strData = dir.path() + "/Vantrel.dat";
    const QString strSettings = QString::fromStdString(CSettingsStore::GetDefaultFileName());
    QDir().mkpath(QFileInfo(strSettings).absolutePath());
    QFile file(strSettings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nSMTPSecurity=starttls\n");
    file.close();
    CInstanceGuard other;
    for (bool bFirst : {true, false}) {
        CVantrelApp app(g_argc, g_argv);
        CBoxAnswerer answerer;
        ASSERT_EQ(app.InitInstance(), bFirst);
        ASSERT_EQ(app.GetMainFrame() != nullptr, bFirst);
        if (bFirst) {
            EXPECT_TRUE(QFile::exists(strData) && app.GetMainFrame()->isVisible());
            for (const char* pszFace : {"Verdana", "MS Sans Serif", "Arial"})
                EXPECT_EQ(QFontInfo(QFont(pszFace)).family(), "DejaVu Sans") << pszFace;
            EXPECT_FALSE(other.Acquire(strData.toStdString()));
            EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.m_arrSeen.empty(); }, 2000));
            app.GetMainFrame()->hide();
            QProcess second;
            second.start(QStringLiteral(VANTREL_PATH), {});
            EXPECT_TRUE(
                QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 10000));
            EXPECT_TRUE(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
            EXPECT_TRUE(app.GetMainFrame()->isVisible());
            QTimer::singleShot(0, [] { ::raise(SIGHUP); });
            EXPECT_EQ(app.exec(), 0);
        }
        app.ExitInstance();
        QString strBoxes;
        for (const auto& seen : answerer.m_arrSeen)
            strBoxes += seen.strTitle + '/' + seen.strText;
        EXPECT_EQ(strBoxes, bFirst
                                ? "Vantrel/The settings hold SMTPSecurity=starttls, which is not "
                                  "an allowed value. No alert e-mail is sent until the mail "
                                  "server's port, security and login method are set in Options."
                                : "Error/Another instance of Vantrel is already running");
        EXPECT_EQ(QFile::exists(strData) && QFile::exists(strSettings), bFirst);
        QFile::remove(strData);
        QFile::remove(strSettings);
        ASSERT_TRUE(!bFirst || other.Acquire(strData.toStdString())); // released at exit
    }
}

} // namespace
