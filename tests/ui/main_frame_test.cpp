#include "core/host.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "mail/scripted_smtp_server.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "widgets/message_box_queue.h"
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <sstream>

namespace {

// "text|id|prompt|shortcut" per command, a menu title before its entries, "-" a separator.
void Describe(const QList<QAction*>& actions, QStringList& out) {
    for (const QAction* p : actions) {
        if (p->isSeparator())
            out << "-";
        else if (p->menu())
            Describe(p->menu()->actions(), out << p->text());
        else
            out << p->text() + '|' + QString::number(p->data().toInt()) + '|' + p->statusTip() +
                       (p->shortcut().isEmpty() ? ""
                                                : '|' + QKeySequence::listToString(p->shortcuts()));
    }
}

TEST(MainFrameTest, MenusToolbarTrayAndPlace) {
    EnsureApp();
    // Centred in the available area, never larger than it.
    for (auto [available, expected] : {std::pair(QRect(0, 0, 640, 480), QRect(0, 0, 640, 480)),
                                       {QRect(0, 30, 1600, 500), QRect(400, 30, 800, 500)},
                                       {QRect(-1024, 0, 1024, 768), QRect(-912, 104, 800, 560)}})
        EXPECT_EQ(CMainFrame::GetInitialGeometry(available), expected);
    CMainFrame frame;
    QStringList texts{frame.windowTitle(), frame.GetTrayIcon()->toolTip()};
    Describe(frame.GetTrayIcon()->contextMenu()->actions(), texts);
    Describe(frame.menuBar()->actions(), texts);
    EXPECT_EQ(texts.join("\n").toStdString(),
              R"(Vantrel
Vantrel
&Show|0|
&Start tests|32774|Start the tests on the selected hosts|F5
Sto&p tests|32775|Stop the tests on the selected hosts|Shift+F5
-
&Quit|0|
&File
&Add host|32771|Add new host to the list|Ctrl+N
&Edit host|32776|Modify existing host|F2; Return; Enter
&Remove host|32772|Remove the host from the list|Del
-
E&xit|57665|Quit the application; prompts to save documents
&Test
&Start tests|32774|Start the tests on the selected hosts|F5
Sto&p tests|32775|Stop the tests on the selected hosts|Shift+F5
-
&Build graph|32777|Build the graph for the selected host|Ctrl+G
&History|32780|Show the test history of the selected host|Ctrl+H
&Compare Hosts|32779|Compare the selected hosts side by side|Ctrl+K
&Generate report|32778|Generate the report for the selected hosts|Ctrl+R
&Options|32773|Change the program options|Ctrl+,
&Help
Vantrel &Tutorial|32787|Launch the Tutorial|F1
&About Vantrel...|57664|Display program information, version number and copyright)");
    QStringList ids; // the toolbar's, then the commands on one host; separators are 0
    for (const QAction* p : frame.GetToolBar()->actions() + frame.GetView()->actions())
        ids << QString::number(p->data().toInt());
    EXPECT_EQ(ids.join(','), "32771,32776,32772,0,32774,32775,0,32777,32780,32779,32778,0,1080,"
                             "32776,32772,0,32777,32780");
}

// The first start keeps the centred 800 x 560; later starts take what the last close left.
TEST(MainFrameTest, RemembersSizePositionAndColumnsAcrossRuns) {
    EnsureApp();
    QTemporaryDir dir;
    CSettingsStore store(dir.filePath("Vantrel.conf").toStdString());
    for (QRect expected :
         {CMainFrame::GetInitialGeometry(QGuiApplication::primaryScreen()->availableGeometry()),
          QRect(30, 40, 700, 480)}) {
        CMainFrame frame;
        frame.SetPlacementStore(&store);
        frame.show();
        EXPECT_EQ(QRect(frame.pos(), frame.size()), expected);
        EXPECT_EQ(frame.GetView()->header()->sectionSize(4) == 150, expected.x() == 30);
        frame.resize(700, 480);
        frame.move(30, 40);
        frame.GetView()->header()->resizeSection(4, 150); // widened by the user
        frame.close();
    }
}

// Minimised, it hides only where a tray can bring it back; the tray marks a host down.
TEST(MainFrameTest, TrayBringsTheWindowBackAndShowsWhenAHostIsDown) {
    EnsureApp();
    CMessageBoxQueue queue;
    CVantrelDoc doc{queue, nullptr};
    auto* pHost = new CHost;
    pHost->m_bTesting = 1;
    pHost->m_nState = HOST_DOWN;
    doc.AddHost(pHost);
    CMainFrame frame(&queue);
    frame.GetTrayIcon()->show();
    for (bool bTray : {false, true}) {
        frame.SetTrayAvailable(bTray);
        frame.showNormal();
        frame.showMinimized();
        EXPECT_EQ(QTest::qWaitFor([&] { return !frame.isVisible(); }, bTray ? 1000 : 50), bTray);
    }
    emit frame.GetTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame.isVisible() && !frame.isMinimized());
    frame.GetView()->OnInitialUpdate(doc);
    EXPECT_EQ(QColor(frame.GetTrayIcon()->icon().pixmap(32).toImage().pixel(24, 24)),
              QColor(200, 30, 40));
}

template <class... T> std::string Join(const T&... values) {
    std::ostringstream out;
    ((out << values << '|'), ...);
    return out.str();
}

// The options dialog on the test's store, as the view opens it.
class OptionsDlgTest : public ::testing::Test {
protected:
    COptionsDlg& Open() {
        m_pDlg = std::make_unique<COptionsDlg>(nullptr, nullptr);
        m_pDlg->m_pDoc = &doc;
        m_pDlg->OnInitDialog();
        return *m_pDlg;
    }
    template <class T = QLineEdit> T* Get(const char* pszName) {
        return m_pDlg->findChild<T*>(pszName);
    }
    std::string Stored() const {
        const CAppSettings& s = doc.m_settings;
        return Join(s.m_strEmailTo, s.m_strSMTP, s.m_strEmailFrom, s.m_strLogin, s.m_strPass,
                    s.m_bAlertEmail, s.m_bAlertSystem, s.m_bAlertBackUp,
                    doc.m_nIntervalMinutes.load(), s.m_nSMTPAuth, s.m_bAllowClearPassword,
                    s.m_strHeloName, s.m_nSMTPSecurity, s.m_nSMTPPort, doc.m_nPingMethod.load(),
                    doc.m_hWakeEvent.IsSet(), s.m_bServerErrorsDown, s.m_nCertWarningDays,
                    s.m_nHistoryDays);
    }
    QApplication& m_app = EnsureApp();
    CMessageBoxQueue queue;
    CVantrelDoc doc{queue, nullptr};
    std::unique_ptr<COptionsDlg> m_pDlg;
};

// OK stores what was typed and wakes the worker; Cancel neither stores nor wakes.
TEST_F(OptionsDlgTest, ShowsTheSettingsOkStoresWhatWasTypedCancelNothing) {
    CAppSettings& s = doc.m_settings;
    s.m_strEmailTo = "me@example.com", s.m_strSMTP = "mail.example.com";
    s.m_strEmailFrom = "vantrel@example.com", s.m_strLogin = "caf\xc3\xa9"; // UTF-8
    s.m_strPass = "s3cret pass", s.m_bAlertEmail = 1;
    doc.m_nIntervalMinutes = 0x10000 + 5; // only the low 16 bits count
    const std::string strBefore = Stored();
    // Per field: what it shows at opening, what the user then types or chooses.
    const std::tuple<const char*, QVariant, QVariant> arrFields[] = {
        {"ctl1015", "me@example.com", "  a@example.org, b@example.org "},
        {"ctl1016", "mail.example.com", ""},
        {"ctl1017", "vantrel@example.com", QString::fromLatin1("\xFC@example.net")},
        {"ctl1069", QString::fromUtf8("caf\xc3\xa9"), "user"},
        {"ctl1070", "s3cret pass", "pw"},
        {"HeloName", "", "mx.example.org"},
        {"ctl1068", true, false},
        {"ctl1003", false, true},
        {"SMTPAuth", "Automatic", "CRAM-MD5"},
        {"AllowPlainPassword", false, true},
        {"PingMethod", "ICMP echo", "TCP connect to the test URL"},
        {"AlertBackUp", true, false},
        {"ServerErrorsDown", true, false},
        {"CertWarningDays", 14, 0},
        {"HistoryDays", 400, 30},
        {"ctl1085", 5, 1},
    };
    for (bool bAccept : {false, true}) {
        Open();
        for (const auto& [pszName, shown, typed] : arrFields) {
            QWidget* pWidget = Get<QWidget>(pszName);
            const QMetaProperty property = pWidget->metaObject()->userProperty();
            EXPECT_EQ(property.read(pWidget), shown) << pszName;
            property.write(pWidget, typed);
        }
        EXPECT_EQ(Get<QSpinBox>("CertWarningDays")->text(), "never");
        Get<QSpinBox>("ctl1085")->setValue(17);
        // The security proposes its port; a typed port stays. {typed, security, shown}
        auto* pSecurity = Get<QComboBox>("ctl1201");
        auto* pPort = Get<QSpinBox>("ctl1202");
        for (auto [nTyped, nSecurity, nShown] : {std::tuple{0, 2, 465},
                                                 {0, 1, 587},
                                                 {0, 0, 25},
                                                 {2525, 2, 2525},
                                                 {0, 1, 2525},
                                                 {465, 0, 25}}) {
            if (nTyped != 0)
                pPort->setValue(nTyped);
            pSecurity->setCurrentIndex(nSecurity);
            EXPECT_EQ(pPort->value(), nShown) << nTyped << " " << nSecurity;
        }
        pSecurity->setCurrentIndex(2);
        pPort->setValue(2465);
        bAccept ? m_pDlg->accept() : m_pDlg->reject();
        EXPECT_EQ(Stored(), bAccept ? "  a@example.org, b@example.org ||\xc3\xbc@example.net|"
                                      "user|pw|0|1|0|17|3|1|mx.example.org|2|2465|" +
                                          std::to_string(PING_METHOD_TCP) + "|1|0|0|30|"
                                    : strBefore);
    }
    Open(); // shown again as saved: the saved port is not replaced by the usual one
    EXPECT_EQ(Get<QComboBox>("ctl1201")->currentText() + ' ' + Get<QSpinBox>("ctl1202")->text(),
              "SSL/TLS 2465");
}

// Unreadable mail settings are named and stay unset on OK; a choice mends them.
TEST_F(OptionsDlgTest, UnreadableMailSettingsAreNamedAndNeverSavedAsAWeakerChoice) {
    // Security, port and login method stored, the security chosen (-1: none), the names, OK's.
    const std::tuple<int, int, int, int, const char*, const char*> arrCases[] = {
        {-1, 25, 0, -1, "SMTPSecurity", "-1|25|0|"},
        {-1, 0, -1, 1, "SMTPPort, SMTPSecurity and SMTPAuth", "1|587|-1|"},
        {0, 0, 1, -1, "SMTPPort", "0|0|1|"},
        {2, 465, 3, -1, "", "2|465|3|"},
    };
    CAppSettings& s = doc.m_settings;
    for (const auto& [nSecurity, nPort, nAuth, nChosen, pszLabel, pszStored] : arrCases) {
        SCOPED_TRACE(pszStored);
        s.m_nSMTPSecurity = nSecurity;
        s.m_nSMTPPort = nPort;
        s.m_nSMTPAuth = nAuth;
        Open();
        auto* pLabel = Get<QLabel>("unreadableSettings");
        EXPECT_EQ(pLabel->isVisibleTo(m_pDlg.get()) ? pLabel->text().toStdString() : "",
                  *pszLabel ? "The settings file holds a value that is not allowed for " +
                                  std::string(pszLabel) +
                                  ". No alert e-mail is sent until it is chosen here."
                            : "");
        if (nChosen >= 0)
            Get<QComboBox>("ctl1201")->setCurrentIndex(nChosen);
        m_pDlg->accept();
        EXPECT_EQ(Join(s.m_nSMTPSecurity, s.m_nSMTPPort, s.m_nSMTPAuth), pszStored);
    }
}

// The test e-mail goes out on another thread: neither its button nor closing the dialog waits for
// a silent server.
TEST_F(OptionsDlgTest, TestButtonSendsOnAnotherThreadAndNeverHoldsTheDialog) {
    CScriptedSmtpServer silent({});
    Open();
    Get("ctl1016")->setText("127.0.0.1");
    Get("ctl1015")->setText("ops@example.com");
    Get("ctl1017")->setText("a@b.example");
    Get<QSpinBox>("ctl1202")->setValue(silent.GetPort());
    QStringList texts;
    const auto tStart = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        Get<QPushButton>("ctl1203")->click();
        texts << Get<QPushButton>("ctl1203")->text();
    }
    EXPECT_EQ(texts, (QStringList{"Cancel test e-mail", "Send test e-mail", "Cancel test e-mail"}));
    m_pDlg.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(2));
}

} // namespace
