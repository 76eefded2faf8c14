#include "gui_test_support.h"

#include "core/host.h"
#include "core/hosts_file.h"
#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"
#include "ui/vantrel_view.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int g_argc = 1;
char g_szName[] = "vantrel";
char* g_argv[] = {g_szName, nullptr};

// Settings, data and the instance guard of this test alone; no desktop keyring answers.
void UseOwnFolders(const QTemporaryDir& dir) {
    for (const char* pszVar : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        setenv(pszVar, dir.path().toLocal8Bit().constData(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
}

// Fonts pinned, settings written at exit; refused, with a box, while another holds the file.
TEST(VantrelAppTest, FirstStartCreatesTheDataFileAndASecondInstanceIsRefused) {
    QTemporaryDir dir;
    UseOwnFolders(dir);
    setenv("FONTCONFIG_FILE", VANTREL_OTHER_FONTS, 1); // one that would pick serif faces
    const QString strData = dir.path() + "/Vantrel.dat";
    const QString strSettings = QString::fromStdString(CSettingsStore::GetDefaultFileName());
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
            app.GetMainFrame()->close();
        }
        app.ExitInstance();
        QString strBoxes;
        for (const auto& seen : answerer.m_arrSeen)
            strBoxes += seen.strTitle + '/' + seen.strText;
        EXPECT_EQ(strBoxes, bFirst ? "" : "Error/Another instance of Vantrel is already running");
        EXPECT_EQ(QFile::exists(strData) && QFile::exists(strSettings), bFirst);
        QFile::remove(strData);
        QFile::remove(strSettings);
        ASSERT_TRUE(!bFirst || other.Acquire(strData.toStdString())); // released at exit
    }
}

// The running window comes up; the second process ends 0 with no box. Bad settings named.
TEST(VantrelAppTest, SecondStartShowsTheRunningWindow) {
    QTemporaryDir dir;
    UseOwnFolders(dir);
    const QString strSettings = QString::fromStdString(CSettingsStore::GetDefaultFileName());
    QDir().mkpath(QFileInfo(strSettings).absolutePath());
    QFile file(strSettings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Settings]\nSMTPSecurity=starttls\n");
    file.close();
    CVantrelApp app(g_argc, g_argv);
    CBoxAnswerer answerer;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.m_arrSeen.empty(); }, 2000));
    EXPECT_EQ(answerer.Texts(),
              QStringList{"The settings hold SMTPSecurity=starttls, which is not an allowed value. "
                          "No alert e-mail is sent until the mail server's port, security and "
                          "login method are set in Options."});
    app.GetMainFrame()->hide();
    QProcess second;
    second.start(QStringLiteral(VANTREL_PATH), {});
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 10000));
    EXPECT_TRUE(second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    second.kill();
    second.waitForFinished();
    app.GetMainFrame()->close();
    app.ExitInstance();
}

// A host added, then a stop signal: the program leaves through its normal exit.
TEST(VantrelAppTest, StopSignalsEndTheProgramThroughItsNormalExit) {
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(nSignal);
        QTemporaryDir dir;
        UseOwnFolders(dir);
        const std::string strData = dir.path().toStdString() + "/Vantrel.dat";
        int arrReady[2];
        ASSERT_EQ(::pipe(arrReady), 0);
        const pid_t nChild = ::fork();
        ASSERT_GE(nChild, 0);
        if (nChild == 0) { // what main() does, with a user adding a host
            CVantrelApp app(g_argc, g_argv);
            if (!app.InitInstance())
                ::_exit(3);
            CDialogDriver driver;
            QTimer::singleShot(0, [&] {
                app.GetMainFrame()->GetView()->OnAddHost();
                if (::write(arrReady[1], "1", 1) != 1)
                    ::_exit(4);
            });
            app.exec();
            ::_exit(app.ExitInstance());
        }
        ::close(arrReady[1]);
        pollfd ready{arrReady[0], POLLIN, 0};
        const bool bReady = ::poll(&ready, 1, 30000) == 1;
        ::close(arrReady[0]);
        ::kill(nChild, bReady ? nSignal : SIGKILL); // the child must not outlive the test
        int nStatus = -1;
        pid_t nDone = 0;
        for (int n = 0; n < 3000 && (nDone = ::waitpid(nChild, &nStatus, WNOHANG)) == 0; ++n)
            ::usleep(10000);
        if (nDone == 0) // still running 30 s after the signal
            ::kill(nChild, SIGKILL), ::waitpid(nChild, nullptr, 0), nStatus = -1;
        ASSERT_TRUE(bReady);
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
        std::vector<CHost*> arrHosts;
        int32_t nRun = 0, nInterval = 0;
        EXPECT_EQ(CHostsFile::Load(strData, arrHosts, nRun, nInterval).m_eResult,
                  CHostsFile::LOAD_OK);
        ASSERT_EQ(arrHosts.size(), 1u);
        EXPECT_EQ(arrHosts[0]->m_strName + " " + arrHosts[0]->m_strTestURL,
                  "Acme http://www.acme.example/t.html");
        delete arrHosts[0];
        EXPECT_TRUE(QFile::exists(QString::fromStdString(CSettingsStore::GetDefaultFileName())));
        CInstanceGuard guard; // released by the exit
        EXPECT_TRUE(guard.Acquire(strData) && guard.IsHeld());
    }
}

} // namespace
