#include "gui_test_support.h"

#include "core/host.h"
#include "core/instance_guard.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"
#include "ui/vantrel_view.h"

#include <QAction>
#include <QFile>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace {

// Every start in a folder of its own: settings, data and the instance guard.
class VantrelAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        const QByteArray root = m_dir.path().toLocal8Bit();
        setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
        setenv("XDG_RUNTIME_DIR", root.constData(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        m_pApp = std::make_unique<CVantrelApp>(m_argc, m_argv);
        m_strDataPath = m_dir.path() + "/data/Vantrel.dat";
    }

    static timespec ModifiedAt(const QString& strPath) {
        struct stat st = {};
        stat(strPath.toLocal8Bit().constData(), &st);
        return st.st_mtim;
    }

    QTemporaryDir m_dir;
    int m_argc = 1;
    char m_szName[8] = "vantrel";
    char* m_argv[2] = {m_szName, nullptr};
    std::unique_ptr<CVantrelApp> m_pApp;
    QString m_strDataPath;
};

TEST_F(VantrelAppTest, ASecondInstanceIsRefusedBeforeAnythingElse) {
    CInstanceGuard first;
    ASSERT_TRUE(first.Acquire());
    CBoxAnswerer answerer;
    EXPECT_FALSE(m_pApp->InitInstance());
    m_pApp->ExitInstance();
    ASSERT_EQ(answerer.m_arrSeen.size(), 1u);
    EXPECT_EQ(answerer.m_arrSeen[0].strText, "Another instance of Vantrel is already running");
    EXPECT_EQ(answerer.m_arrSeen[0].strTitle, "Error");
    EXPECT_EQ(answerer.m_arrSeen[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(answerer.m_arrSeen[0].bHasOwner);
    EXPECT_EQ(m_pApp->GetMainFrame(), nullptr);
    EXPECT_FALSE(QFile::exists(m_strDataPath));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(CSettingsStore::GetDefaultFileName())));
}

TEST_F(VantrelAppTest, StartsWithTheStoreAndExitsWritingSettingsThenData) {
    CBoxAnswerer answerer;
    ASSERT_TRUE(m_pApp->InitInstance());
    // First start: an empty data file in the data folder, and its path kept in "IniPath".
    EXPECT_TRUE(QFile::exists(m_strDataPath));
    const QString strSettings = QString::fromStdString(CSettingsStore::GetDefaultFileName());
    {
        QSettings settings(strSettings, QSettings::IniFormat);
        EXPECT_EQ(settings.value("Settings/IniPath").toString(), m_strDataPath);
    }
    CMainFrame& frame = *m_pApp->GetMainFrame();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_FALSE(frame.isMaximized());
    EXPECT_EQ(frame.GetView()->GetDocument(), m_pApp->GetDocument());
    EXPECT_EQ(frame.GetView()->GetModel()->rowCount(), 0);
    // Another start now is refused.
    CInstanceGuard second;
    EXPECT_FALSE(second.Acquire());

    CVantrelDoc& doc = *m_pApp->GetDocument();
    {
        std::lock_guard lock(doc.m_mtxSettings);
        doc.m_strSMTP = "smtp.example.com";
        doc.m_bAlertSystem = 1;
    }
    doc.StopTests();
    auto* pHost = new CHost;
    pHost->m_strName = "Kept Hosting";
    doc.AddHost(pHost);
    doc.StartTests();

    frame.GetAction(ID_APP_EXIT)->trigger();
    EXPECT_FALSE(frame.isVisible());
    m_pApp->ExitInstance();

    QSettings settings(strSettings, QSettings::IniFormat);
    EXPECT_EQ(settings.value("Settings/SMTP").toString(), "smtp.example.com");
    EXPECT_EQ(settings.value("Settings/AlertSystem").toInt(), 1);
    QFile data(m_strDataPath);
    ASSERT_TRUE(data.open(QIODevice::ReadOnly));
    EXPECT_TRUE(data.readAll().contains("Kept Hosting"));
    // Settings first, then the data file.
    const timespec tSettings = ModifiedAt(strSettings);
    const timespec tData = ModifiedAt(m_strDataPath);
    EXPECT_TRUE(tSettings.tv_sec < tData.tv_sec ||
                (tSettings.tv_sec == tData.tv_sec && tSettings.tv_nsec <= tData.tv_nsec));
    EXPECT_TRUE(second.Acquire()); // the guard was released
    EXPECT_TRUE(answerer.m_arrSeen.empty());
}

} // namespace
