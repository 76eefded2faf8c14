#include "gui_test_support.h"

#include "core/host.h"
#include "core/hosts_file.h"
#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"
#include "ui/vantrel_view.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QProcess>
#include <QTemporaryDir>
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

TEST(VantrelAppTest, FirstStartCreatesTheDataFileAndASecondInstanceIsRefused) {
    QTemporaryDir dir;
    UseOwnFolders(dir);
    setenv("FONTCONFIG_FILE", VANTREL_OTHER_FONTS, 1); // one that would pick serif faces
    const QString strData = dir.path() + "/Vantrel.dat";
    const QString strSettings = QString::fromStdString(CSettingsStore::GetDefaultFileName());
    CInstanceGuard other;
    {
        CVantrelApp app(g_argc, g_argv);
        CBoxAnswerer answerer;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(QFile::exists(strData));
        EXPECT_TRUE(app.GetMainFrame()->isVisible());
        for (const char* pszFace : {"Verdana", "MS Sans Serif", "Arial"}) // not fontconfig's pick
            EXPECT_EQ(QFontInfo(QFont(pszFace)).family().toStdString(), "DejaVu Sans") << pszFace;
        EXPECT_FALSE(other.Acquire(strData.toStdString()));
        app.GetMainFrame()->close();
        app.ExitInstance();
        EXPECT_TRUE(answerer.m_arrSeen.empty());
    }
    EXPECT_TRUE(QFile::exists(strSettings)); // written at exit
    QFile::remove(strData);
    QFile::remove(strSettings);

    ASSERT_TRUE(
        other.Acquire(strData.toStdString())); // released at exit; now another instance holds it
    CVantrelApp app(g_argc, g_argv);
    CBoxAnswerer answerer;
    EXPECT_FALSE(app.InitInstance());
    app.ExitInstance();
    ASSERT_EQ(answerer.m_arrSeen.size(), 1u);
    EXPECT_EQ(answerer.m_arrSeen[0].strTitle + '/' + answerer.m_arrSeen[0].strText,
              "Error/Another instance of Vantrel is already running");
    EXPECT_EQ(app.GetMainFrame(), nullptr);
    EXPECT_FALSE(QFile::exists(strData) || QFile::exists(strSettings)); // nothing written
}

// A hand-edited mail security the program cannot read is named at start-up, not taken as none.
TEST(VantrelAppTest, UnreadableMailSettingsAreNamedAtStartUp) {
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
    for (int i = 0; i < 200 && answerer.m_arrSeen.empty(); ++i)
        QCoreApplication::processEvents(), ::usleep(10000);
    EXPECT_EQ(answerer.Texts(),
              QStringList{"The settings hold SMTPSecurity=starttls, which is not an allowed value. "
                          "No alert e-mail is sent until the mail server's port, security and "
                          "login method are set in Options."});
    app.GetMainFrame()->close();
    app.ExitInstance();
}

// Started again while it runs in the tray: the running window comes up, and the second process
// ends with status 0 and no box (a box would wait for ever here).
TEST(VantrelAppTest, SecondStartShowsTheRunningWindow) {
    QTemporaryDir dir;
    UseOwnFolders(dir);
    CVantrelApp app(g_argc, g_argv);
    ASSERT_TRUE(app.InitInstance());
    app.GetMainFrame()->hide();
    QProcess second;
    second.start(QStringLiteral(VANTREL_PATH), {});
    QElapsedTimer timer;
    timer.start();
    while (second.state() != QProcess::NotRunning && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        second.waitForFinished(10);
    }
    EXPECT_TRUE(second.state() == QProcess::NotRunning &&
                second.exitStatus() == QProcess::NormalExit && second.exitCode() == 0);
    EXPECT_TRUE(app.GetMainFrame()->isVisible());
    second.kill();
    second.waitForFinished();
    app.GetMainFrame()->close();
    app.ExitInstance();
}

// The program in a process of its own: a host is added, then a stop signal arrives; it leaves
// as through its window's close.
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
            ::close(arrReady[0]);
            CVantrelApp app(g_argc, g_argv);
            if (!app.InitInstance())
                ::_exit(3);
            CDialogDriver driver;
            QTimer::singleShot(0, [&] {
                app.GetMainFrame()->GetView()->OnAddHost();
                const char chReady = 1;
                if (::write(arrReady[1], &chReady, 1) != 1)
                    ::_exit(4);
            });
            app.exec();
            ::_exit(app.ExitInstance());
        }
        // A failed assertion returns at once: the child must not outlive the test (it would
        // hold the test's folders and instance lock).
        struct SReaper {
            pid_t nPid;
            ~SReaper() {
                if (nPid > 0 && ::kill(nPid, SIGKILL) == 0)
                    ::waitpid(nPid, nullptr, 0);
            }
        } child{nChild};
        ::close(arrReady[1]);
        pollfd ready{arrReady[0], POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 30000), 1);
        ::close(arrReady[0]);
        EXPECT_EQ(::kill(nChild, nSignal), 0);
        int nStatus = -1;
        for (int nWaited = 0; nWaited < 30000 && child.nPid > 0; nWaited += 10)
            if (::waitpid(nChild, &nStatus, WNOHANG) == nChild)
                child.nPid = 0;
            else
                ::usleep(10000);
        ASSERT_EQ(child.nPid, 0) << "still running 30 s after the signal";
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
        std::vector<CHost*> arrHosts;
        int32_t nRun = 0, nInterval = 0;
        EXPECT_EQ(CHostsFile::Load(strData, arrHosts, nRun, nInterval).m_eResult,
                  CHostsFile::LOAD_OK);
        ASSERT_EQ(arrHosts.size(), 1u);
        EXPECT_EQ(arrHosts[0]->m_strName + " " + arrHosts[0]->m_strTestURL,
                  "Acme http://www.acme.example/t.html");
        for (CHost* pHost : arrHosts)
            delete pHost;
        EXPECT_TRUE(QFile::exists(QString::fromStdString(CSettingsStore::GetDefaultFileName())));
        CInstanceGuard guard; // released by the exit
        EXPECT_TRUE(guard.Acquire(strData) && guard.IsHeld());
    }
}

} // namespace
