#include "gui_test_support.h"

#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(VantrelAppTest, FirstStartCreatesTheDataFileAndASecondInstanceIsRefused) {
    QTemporaryDir dir; // settings, data and the instance guard of this test alone
    for (const char* pszVar : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        setenv(pszVar, dir.path().toLocal8Bit().constData(), 1);
    const QString strData = dir.path() + "/Vantrel.dat";
    const QString strSettings = QString::fromStdString(CSettingsStore::GetDefaultFileName());
    int argc = 1;
    char szName[] = "vantrel";
    char* argv[] = {szName, nullptr};
    CInstanceGuard other;
    {
        CVantrelApp app(argc, argv);
        CBoxAnswerer answerer;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(QFile::exists(strData));
        EXPECT_TRUE(app.GetMainFrame()->isVisible());
        EXPECT_FALSE(other.Acquire());
        app.GetMainFrame()->close();
        app.ExitInstance();
        EXPECT_TRUE(answerer.m_arrSeen.empty());
    }
    EXPECT_TRUE(QFile::exists(strSettings)); // written at exit
    QFile::remove(strData);
    QFile::remove(strSettings);

    ASSERT_TRUE(other.Acquire()); // released at exit; now another instance holds it
    CVantrelApp app(argc, argv);
    CBoxAnswerer answerer;
    EXPECT_FALSE(app.InitInstance());
    app.ExitInstance();
    ASSERT_EQ(answerer.m_arrSeen.size(), 1u);
    EXPECT_EQ(answerer.m_arrSeen[0].strTitle + '/' + answerer.m_arrSeen[0].strText,
              "Error/Another instance of Vantrel is already running");
    EXPECT_EQ(answerer.m_arrSeen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(app.GetMainFrame(), nullptr);
    EXPECT_FALSE(QFile::exists(strData) || QFile::exists(strSettings)); // nothing written
}

} // namespace
