#include "core/host.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "mail/scripted_smtp_server.h"
#include "testing/engine_fakes.h"
#include "testing/gui_thread_fakes.h"
#include "testing/test_engine.h"
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "widgets/artwork.h"
#include "widgets/message_box_queue.h"
#include "widgets/wait_dialog.h"
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// "text|id|prompt" for each command, a menu's title before its entries, "-" for a separator.
void Describe(const QList<QAction*>& actions, QStringList& out) {
    for (const QAction* p : actions) {
        if (p->isSeparator())
            out << "-";
        else if (p->menu())
            Describe(p->menu()->actions(), out << p->text());
        else
            out << p->text() + '|' + QString::number(p->data().toInt()) + '|' + p->statusTip() +
                       (p->shortcut().isEmpty() ? "" : '|' + p->shortcut().toString());
    }
}

TEST(MainFrameTest, MenusToolbarPromptsAndWindowFollowTheTables) {
    EnsureApp();
    // Centred in the available area, never larger than it.
    for (auto [available, expected] : {std::pair(QRect(0, 0, 640, 480), QRect(0, 0, 640, 480)),
                                       {QRect(0, 0, 1025, 769), QRect(112, 104, 800, 560)},
                                       {QRect(0, 30, 1600, 500), QRect(400, 30, 800, 500)},
                                       {QRect(-1024, 0, 1024, 768), QRect(-912, 104, 800, 560)}})
        EXPECT_EQ(CMainFrame::GetInitialGeometry(available), expected);
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.windowTitle(), "Vantrel");
    EXPECT_EQ(frame.size(), QSize(800, 560));
    EXPECT_EQ(frame.pos(),
              CMainFrame::GetInitialGeometry(QGuiApplication::primaryScreen()->availableGeometry())
                  .topLeft());
    EXPECT_EQ(frame.GetTrayIcon()->toolTip(), "Vantrel");
    EXPECT_EQ(QKeySequence::listToString(frame.GetAction(ID_HOST_EDIT)->shortcuts()).toStdString(),
              "F2; Return; Enter");
    QStringList tray;
    Describe(frame.GetTrayIcon()->contextMenu()->actions(), tray);
    EXPECT_EQ(tray, (QStringList{"&Show|0|",
                                 "&Start tests|32774|Start the tests on the selected hosts|F5",
                                 "Sto&p tests|32775|Stop the tests on the selected hosts|Shift+F5",
                                 "-", "&Quit|0|"}));

    QStringList menus;
    Describe(frame.menuBar()->actions(), menus);
    EXPECT_EQ(menus.join("\n").toStdString(),
              (QStringList{"&File", "&Add host|32771|Add new host to the list|Ctrl+N",
                           "&Edit host|32776|Modify existing host|F2",
                           "&Remove host|32772|Remove the host from the list|Del", "-",
                           "E&xit|57665|Quit the application; prompts to save documents", "&Test",
                           "&Start tests|32774|Start the tests on the selected hosts|F5",
                           "Sto&p tests|32775|Stop the tests on the selected hosts|Shift+F5", "-",
                           "&Build graph|32777|Build the graph for the selected host|Ctrl+G",
                           "&History|32780|Show the test history of the selected host|Ctrl+H",
                           "&Compare Hosts|32779|Compare the selected hosts side by side|Ctrl+K",
                           "&Generate report|32778|Generate the report for the selected hosts|"
                           "Ctrl+R",
                           "&Options|32773|Change the program options|Ctrl+,", "&Help",
                           "Vantrel &Tutorial|32787|Launch the Tutorial|F1",
                           "&About Vantrel...|57664|Display program information, version number "
                           "and copyright"})
                  .join("\n")
                  .toStdString());
    QList<int> tools; // separators are 0; a button's tip is its command's prompt
    for (const QAction* p : frame.GetToolBar()->actions()) {
        tools << p->data().toInt();
        EXPECT_EQ(p->toolTip(), p->statusTip()) << tools.last();
    }
    EXPECT_EQ(tools, (QList<int>{32771, 32776, 32772, 0, 32774, 32775, 0, 32777, 32780, 32779,
                                 32778, 0, 1080}));
    // The list's context menu: the commands on one host.
    QList<int> context;
    for (const QAction* p : frame.GetView()->actions())
        context << (p->isSeparator() ? 0 : p->data().toInt());
    EXPECT_EQ(frame.GetView()->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(context, (QList<int>{32776, 32772, 0, 32777, 32780}));
    // Each button shows its own image of the strip: compare is the ninth, after tutorial,
    // history the tenth.
    const QImage strip = CArtwork::MaskMagenta(CArtwork::ToolbarStrip(false));
    for (auto [nId, nImage] : {std::pair(ID_GRAPH_BUILD, 5), std::pair(ID_HOST_COMPARE, 8),
                               std::pair(ID_REPORT_GENERATE, 6), std::pair(ID_TOOLBAR_TUTORIAL, 7),
                               std::pair(ID_HOST_HISTORY, 9)})
        EXPECT_EQ(frame.GetAction(nId)->icon().pixmap(48, 47).toImage().convertToFormat(
                      QImage::Format_ARGB32),
                  strip.copy(nImage * 48, 0, 48, 47))
            << nId;
    EXPECT_EQ(frame.GetToolBar()->iconSize(), QSize(48, 47));

    frame.GetAction(ID_TEST_START)->showStatusText(frame.menuBar()); // covers the idle text
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Start the tests on the selected hosts");
    EXPECT_EQ(frame.statusBar()->findChild<QLabel*>("idleText")->text(), "Vantrel");
}

// The first start keeps the centred 800 x 560; later starts take what the last close left.
TEST(MainFrameTest, RemembersSizeAndPositionAcrossRuns) {
    EnsureApp();
    QTemporaryDir dir;
    CSettingsStore store(dir.filePath("Vantrel.conf").toStdString());
    const QRect centred =
        CMainFrame::GetInitialGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    {
        CMainFrame frame;
        frame.SetPlacementStore(&store);
        frame.show();
        EXPECT_EQ(frame.geometry().size(), centred.size());
        EXPECT_EQ(frame.pos(), centred.topLeft());
        frame.resize(700, 480);
        frame.move(30, 40);
        frame.GetView()->header()->resizeSection(4, 150); // widened by the user
        frame.close();
    }
    EXPECT_FALSE(store.LoadWindowGeometry(CMainFrame::PLACEMENT_NAME).empty());
    CMainFrame frame;
    frame.SetPlacementStore(&store);
    frame.show();
    EXPECT_EQ(frame.size(), QSize(700, 480));
    EXPECT_EQ(frame.pos(), QPoint(30, 40));
    EXPECT_EQ(frame.GetView()->header()->sectionSize(4), 150);
    CMainFrame other; // no store: as on a first start
    other.SetPlacementStore(nullptr);
    EXPECT_EQ(other.size(), QSize(800, 560));
}

// Without a tray the hidden window could not be brought back.
TEST(MainFrameTest, MinimisingHidesOnlyWhenATrayCanBringItBack) {
    EnsureApp();
    CMainFrame frame;
    frame.GetTrayIcon()->show();
    for (bool bTray : {false, true}) {
        frame.SetTrayAvailable(bTray);
        frame.showNormal();
        frame.showMinimized();
        EXPECT_EQ(QTest::qWaitFor([&] { return !frame.isVisible(); }, bTray ? 1000 : 50), bTray);
    }
    emit frame.GetTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(frame.isVisible() && !frame.isMinimized());
}

// The tray tells at a glance whether any host is down.
TEST(MainFrameTest, TrayShowsASecondIconWhileAHostIsDown) {
    EnsureApp();
    CMessageBoxQueue queue;
    CVantrelDoc doc{queue, nullptr};
    for (int nState : {HOST_UP, HOST_DOWN}) {
        auto* pHost = new CHost;
        pHost->m_bTesting = 1;
        pHost->m_nState = nState;
        doc.AddHost(pHost);
    }
    CMainFrame frame(&queue);
    auto Image = [](const QIcon& icon) { return icon.pixmap(32).toImage(); };
    EXPECT_EQ(Image(frame.GetTrayIcon()->icon()), Image(frame.windowIcon()));
    frame.GetView()->OnInitialUpdate(doc);
    const QImage down = Image(frame.GetTrayIcon()->icon());
    EXPECT_NE(down, Image(frame.windowIcon()));
    EXPECT_EQ(QColor(down.pixel(24, 24)), QColor(200, 30, 40)); // the red mark
    doc.m_arrHosts[1]->m_nState = HOST_UP;
    frame.GetView()->UpdateHostRow(1, *doc.m_arrHosts[1]);
    EXPECT_EQ(Image(frame.GetTrayIcon()->icon()), Image(frame.windowIcon()));
}

// The options dialog on the test's store, as the view opens it.
class OptionsDlgTest : public ::testing::Test {
protected:
    std::unique_ptr<COptionsDlg> Open() {
        auto pDlg = std::make_unique<COptionsDlg>(nullptr, nullptr);
        pDlg->m_pDoc = &doc;
        pDlg->OnInitDialog();
        return pDlg;
    }
    QApplication& m_app = EnsureApp();
    CMessageBoxQueue queue;
    CVantrelDoc doc{queue, nullptr};
};

TEST_F(OptionsDlgTest, ShowsTheSettingsWrapsStoresWhatWasTypedAndCancelChangesNothing) {
    doc.m_settings.m_strEmailTo = "me@example.com";
    doc.m_settings.m_strSMTP = "mail.example.com";
    doc.m_settings.m_strEmailFrom = "vantrel@example.com";
    doc.m_settings.m_strLogin = "caf\xc3\xa9"; // UTF-8
    doc.m_settings.m_strPass = "s3cret pass";
    doc.m_settings.m_bAlertEmail = 1;
    doc.m_nIntervalMinutes = 0x10000 + 5; // only the low 16 bits count
    auto Stored = [&] {
        return doc.m_settings.m_strEmailTo + '|' + doc.m_settings.m_strSMTP + '|' +
               doc.m_settings.m_strEmailFrom + '|' + doc.m_settings.m_strLogin + '|' +
               doc.m_settings.m_strPass + '|' + std::to_string(doc.m_settings.m_bAlertEmail) +
               std::to_string(doc.m_settings.m_bAlertSystem) +
               std::to_string(doc.m_settings.m_bAlertBackUp) + '|' +
               std::to_string(doc.m_nIntervalMinutes) + '|' +
               std::to_string(doc.m_settings.m_nSMTPAuth) +
               std::to_string(doc.m_settings.m_bAllowClearPassword) + doc.m_settings.m_strHeloName +
               '|' + std::to_string(doc.m_settings.m_bServerErrorsDown) + '|' +
               std::to_string(doc.m_settings.m_nCertWarningDays) + '|' +
               std::to_string(doc.m_settings.m_nHistoryDays);
    };
    const std::string strBefore = Stored();
    for (bool bAccept : {false, true}) {
        const auto pDlg = Open();
        COptionsDlg& dlg = *pDlg;
        const auto edits = dlg.findChildren<QLineEdit*>(QRegularExpression("^ctl"));
        auto* pSpin = dlg.findChild<QSpinBox*>("ctl1085");
        auto* pEmail = dlg.findChild<QCheckBox*>("ctl1068");
        auto* pSystem = dlg.findChild<QCheckBox*>("ctl1003");
        QStringList shown; // the edits in id order, the tick boxes, the interval and its range
        for (const QLineEdit* pEdit : edits)
            shown << pEdit->objectName() + '=' + pEdit->text();
        shown << QString::number(pEmail->isChecked() * 10 + pSystem->isChecked()) + ' ' +
                     pSpin->text();
        EXPECT_EQ(shown, (QStringList{"ctl1015=me@example.com", "ctl1016=mail.example.com",
                                      "ctl1017=vantrel@example.com",
                                      QString::fromUtf8("ctl1069=caf\xc3\xa9"),
                                      "ctl1070=s3cret pass", "10 5"}));
        EXPECT_EQ(edits[4]->echoMode(), QLineEdit::Password); // the password masked
        pSpin->setValue(1);                                   // wraps from 1 to 60 and back
        pSpin->stepBy(-1);
        EXPECT_EQ(pSpin->value(), 60);
        pSpin->stepBy(1);
        EXPECT_EQ(pSpin->value(), 1);
        pSpin->setValue(17);
        for (int i = 0; const char* pszText :
                        {"  a@example.org, b@example.org ", "", "\xFC@example.net", "user", "pw"})
            edits[i++]->setText(QString::fromLatin1(pszText));
        pEmail->setChecked(false);
        pSystem->setChecked(true);
        dlg.findChild<QComboBox*>("SMTPAuth")->setCurrentIndex(3);
        dlg.findChild<QCheckBox*>("AllowPlainPassword")->setChecked(true);
        dlg.findChild<QLineEdit*>("HeloName")->setText("mx.example.org");
        auto* pBackUp = dlg.findChild<QCheckBox*>("AlertBackUp");
        EXPECT_TRUE(pBackUp->isChecked()) << "on unless turned off";
        pBackUp->setChecked(false);
        auto* pServerErrors = dlg.findChild<QCheckBox*>("ServerErrorsDown");
        auto* pCertDays = dlg.findChild<QSpinBox*>("CertWarningDays");
        auto* pHistoryDays = dlg.findChild<QSpinBox*>("HistoryDays");
        EXPECT_EQ(pServerErrors->text(), "Count server errors (HTTP 5xx) as down");
        EXPECT_EQ(QString::number(pServerErrors->isChecked()) + ' ' + pCertDays->text() + ' ' +
                      pHistoryDays->text(),
                  "1 14 400");
        pServerErrors->setChecked(false);
        pCertDays->setValue(0);
        EXPECT_EQ(pCertDays->text(), "never");
        pHistoryDays->setValue(30);
        bAccept ? dlg.accept() : dlg.reject();
        EXPECT_EQ(Stored(), bAccept
                                ? "  a@example.org, b@example.org ||\xc3\xbc@example.net|user|pw|"
                                  "010|17|31mx.example.org|0|0|30"
                                : strBefore);
    }
}

// The worker's box holds up neither the worker nor the host: the next host is tested before
// anybody shows the box, and stopping the host needs no wait.
TEST(WaitConcurrencyTest, AWorkerBoxHoldsNothing) {
    EnsureApp();
    CMessageBoxQueue queue;
    CMainFrame frame(&queue);
    queue.SetOwner(&frame);
    CFakeWorld world; // probes, clock and alerts; the clock waits on the real stop event
    world.m_onWait = [](const CEvent& evStop, int64_t nMs) { return evStop.Wait(nMs); };
    world.SetServer("lost.example.com", {.bResolves = false});
    CTestEngine engine({&world, &world, frame.GetView(), &world}, frame.GetWaitDialog());
    CVantrelDoc doc(queue, &engine);
    for (const char* pszServer : {"lost.example.com", "ok.example.com"}) {
        auto* pHost = new CHost;
        pHost->m_strName = pszServer;
        pHost->m_strTestURL = "http://" + std::string(pszServer) + "/";
        pHost->m_bTesting = 1;
        doc.AddHost(pHost);
    }
    frame.show();
    CVantrelView& view = *frame.GetView();
    view.OnInitialUpdate(doc);
    {
        CWatchdog watchdog(std::chrono::seconds(30), "the worker behind an unshown box");
        doc.StartTests();
        while (world.Get("request http ok.example.com").empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(queue.GetPendingCount(), 1u); // not shown yet

    CBoxAnswerer answerer;
    view.ToggleCheck(0);
    view.OnStopTests();
    EXPECT_EQ(frame.GetWaitDialog()->GetWaitsShown(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.m_arrSeen.empty(); }, 5000));
    EXPECT_EQ(answerer.Texts(),
              QStringList{"Test URL http://lost.example.com/ could not be resolved.\nThe host "
                          "counts as down and is looked up again at its next test."});
    EXPECT_TRUE(answerer.m_arrSeen[0].bHasOwner && !answerer.m_arrSeen[0].bModal);
    EXPECT_EQ(QString::number(doc.m_arrHosts[0]->m_bTesting) + view.GetItemText(0, 3),
              "0Not Testing");
    doc.StopTests(); // before the store goes
}

// OK wakes the worker's wait so that a shorter interval applies; Cancel neither stores nor wakes.
TEST_F(OptionsDlgTest, PingMethodIsStoredAndOkWakesTheWorker) {
    const std::tuple<int, int, bool, int, bool> cases[] = {
        // stored before, index chosen, OK, stored after, woken
        {PING_METHOD_ICMP, 1, true, PING_METHOD_TCP, true},
        {PING_METHOD_TCP, 0, true, PING_METHOD_ICMP, true},
        {PING_METHOD_TCP, 0, false, PING_METHOD_TCP, false},
    };
    for (const auto& [nBefore, nIndex, bAccept, nAfter, bWoken] : cases) {
        doc.m_nPingMethod = nBefore;
        doc.m_hWakeEvent.Reset();
        const auto pDlg = Open();
        auto* pMethod = pDlg->findChild<QComboBox*>("PingMethod");
        ASSERT_NE(pMethod, nullptr);
        EXPECT_EQ(pMethod->count(), 2);
        EXPECT_EQ(pMethod->currentText(),
                  nBefore == PING_METHOD_TCP ? "TCP connect to the test URL" : "ICMP echo");
        pMethod->setCurrentIndex(nIndex);
        bAccept ? pDlg->accept() : pDlg->reject();
        EXPECT_EQ(std::pair(doc.m_nPingMethod.load(), doc.m_hWakeEvent.IsSet()),
                  std::pair(nAfter, bWoken));
    }
}

// The result window of the test button, once it is there (up to 10 s).
QDialog* AwaitTestResult(const COptionsDlg& dlg) {
    QDialog* pResult = nullptr;
    for (int i = 0; i < 1000 && !(pResult = dlg.findChild<QDialog*>("testMailResult")); ++i)
        QTest::qWait(10);
    return pResult;
}

TEST_F(OptionsDlgTest, SecurityProposesItsPortAndOkStoresBoth) {
    const auto pDlg = Open();
    auto* pSecurity = pDlg->findChild<QComboBox*>("ctl1201");
    auto* pPort = pDlg->findChild<QSpinBox*>("ctl1202");
    ASSERT_TRUE(pSecurity && pPort);
    QStringList items;
    for (int i = 0; i < pSecurity->count(); ++i)
        items << pSecurity->itemText(i);
    EXPECT_EQ(items, (QStringList{"None", "STARTTLS", "SSL/TLS"}));
    EXPECT_EQ(
        std::tuple(pSecurity->currentIndex(), pPort->value(), pPort->minimum(), pPort->maximum()),
        std::tuple(0, 25, 1, 65535));
    // {port typed first (0: none), security chosen, port shown}
    const int steps[][3] = {{0, 2, 465},     {0, 1, 587},  {0, 0, 25},
                            {2525, 2, 2525}, {0, 1, 2525}, {465, 0, 25}};
    for (const auto& step : steps) {
        if (step[0] != 0)
            pPort->setValue(step[0]);
        pSecurity->setCurrentIndex(step[1]);
        EXPECT_EQ(pPort->value(), step[2]) << step[0] << " " << step[1];
    }
    pSecurity->setCurrentIndex(2);
    pPort->setValue(2465);
    pDlg->accept();
    EXPECT_EQ(std::pair(doc.m_settings.m_nSMTPSecurity, doc.m_settings.m_nSMTPPort),
              std::pair(2, 2465));
    // Shown again as saved: the saved port is not replaced by the usual one.
    const auto pAgain = Open();
    EXPECT_EQ(pAgain->findChild<QComboBox*>("ctl1201")->currentText() + ' ' +
                  QString::number(pAgain->findChild<QSpinBox*>("ctl1202")->value()),
              "SSL/TLS 2465");
}

// Sent on another thread while the dialog answers; nothing is saved.
TEST_F(OptionsDlgTest, TestButtonSendsWithTypedValuesAndShowsTheExchange) {
    uint16_t nClosedPort;
    close(LoopbackSocket(nClosedPort));
    CScriptedSmtpServer server({Pause(400), Reply("220 mx.test\r\n"), "250 mx.test", "250 ok",
                                "250 ok", "354 go", DataEnd("250 queued"), "221 bye"});
    doc.m_settings.m_strSMTP = "saved.example.com";
    doc.m_settings.m_bAlertEmail = 1;
    const struct {
        uint16_t m_nPort;
        QString m_strOutcome;
        std::vector<QString> m_arrShown;
    } cases[] = {
        {server.GetPort(),
         "The test e-mail was sent to ops@example.com.",
         {"Connecting to 127.0.0.1 port " + QString::number(server.GetPort()) +
              " (no TLS) with the strongest login the server offers\nS: 220 mx.test\nC: EHLO ",
          "\nC: MAIL FROM:<a@example.com>\nS: 250 ok\nC: RCPT TO:<ops@example.com>\n",
          "\nC: (message header and body)\nS: 250 queued\nC: QUIT\nS: 221 bye\n"}},
        {nClosedPort,
         "Vantrel couldn't connect to the SMTP server (last error 111, connection refused): Could "
         "not connect to "
         "the SMTP server 127.0.0.1 on port " +
             QString::number(nClosedPort) + ".",
         {" (no TLS) with the strongest login the server offers\n-- CSMTPConnection::Connect, "
          "Could not connect"}}};
    for (const auto& c : cases) {
        const auto pDlg = Open();
        COptionsDlg& dlg = *pDlg;
        for (auto [pszName, pszText] : {std::pair("ctl1016", "127.0.0.1"),
                                        {"ctl1015", "ops@example.com"},
                                        {"ctl1017", "a@example.com"},
                                        {"ctl1069", "someone"},
                                        {"ctl1070", "pa55word"}})
            dlg.findChild<QLineEdit*>(pszName)->setText(pszText);
        dlg.findChild<QSpinBox*>("ctl1202")->setValue(c.m_nPort);
        auto* pButton = dlg.findChild<QPushButton*>("ctl1203");
        ASSERT_NE(pButton, nullptr);
        EXPECT_EQ(pButton->text(), "Send test e-mail");
        pButton->click();
        // Back at once: the server has not even greeted yet.
        EXPECT_TRUE(pButton->text() == "Cancel test e-mail" &&
                    !dlg.findChild<QDialog*>("testMailResult"));
        QDialog* pResult = AwaitTestResult(dlg);
        ASSERT_NE(pResult, nullptr);
        EXPECT_EQ(pResult->findChild<QLabel*>("outcome")->text(), c.m_strOutcome);
        const QString strExchange = pResult->findChild<QPlainTextEdit*>("exchange")->toPlainText();
        for (const QString& strShown : c.m_arrShown)
            EXPECT_TRUE(strExchange.contains(strShown)) << strShown.toStdString() << "\n"
                                                        << strExchange.toStdString();
        EXPECT_FALSE(strExchange.contains("pa55word"));
        EXPECT_TRUE(pButton->isEnabled() && pButton->text() == "Send test e-mail");
        EXPECT_EQ(doc.m_settings.m_strSMTP + std::to_string(doc.m_settings.m_bAlertEmail),
                  "saved.example.com1");
    }
    EXPECT_TRUE(server.Transcript().starts_with("EHLO "));
}

// A test e-mail to a server that never greets: the button cancels it at once, and closing the
// dialog while another one runs does not wait for it either.
TEST_F(OptionsDlgTest, TestMailIsCancelledAndNeverHoldsTheDialog) {
    CScriptedSmtpServer first({}), second({});
    for (const CScriptedSmtpServer* pServer : {&first, &second}) {
        auto pDlg = Open();
        pDlg->findChild<QLineEdit*>("ctl1016")->setText("127.0.0.1");
        pDlg->findChild<QLineEdit*>("ctl1015")->setText("ops@example.com");
        pDlg->findChild<QLineEdit*>("ctl1017")->setText("a@example.com");
        pDlg->findChild<QSpinBox*>("ctl1202")->setValue(pServer->GetPort());
        auto* pButton = pDlg->findChild<QPushButton*>("ctl1203");
        pButton->click();
        QTest::qWait(200);
        const auto tStart = std::chrono::steady_clock::now();
        if (pServer == &first) {
            pButton->click();
            EXPECT_EQ(pButton->text(), "Send test e-mail");
            QTest::qWait(300);
            EXPECT_EQ(pDlg->findChild<QDialog*>("testMailResult"), nullptr);
        }
        pDlg.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(1));
    }
}

} // namespace
