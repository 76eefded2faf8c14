#include "gui_test_support.h"

#include "core/vantrel_doc.h"
#include "ui/message_box_queue.h"
#include "ui/options_dlg.h"
#include "ui/styled_label.h"
#include "ui/wait_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <thread>

namespace {

class OptionsDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pDoc = std::make_unique<CVantrelDoc>(m_queue, nullptr);
        m_pDoc->m_strEmailTo = "me@example.com";
        m_pDoc->m_strEmailFrom = "vantrel@example.com";
        m_pDoc->m_strSMTP = "mail.example.com";
        m_pDoc->m_strLogin = "caf\xE9";
        m_pDoc->m_strPass = "s3cret pass";
        m_pDoc->m_bAlertEmail = 1;
        m_pDoc->m_bAlertSystem = 0;
        m_pDoc->m_nIntervalMinutes = 5;
    }

    template <typename T> T* Control(COptionsDlg& dlg, const char* pszName) {
        T* pControl = dlg.findChild<T*>(QString::fromLatin1(pszName));
        EXPECT_NE(pControl, nullptr) << pszName;
        return pControl;
    }

    CMessageBoxQueue m_queue;
    std::unique_ptr<CVantrelDoc> m_pDoc;
};

TEST_F(OptionsDlgTest, ShowsEveryControlLabelAndHeading) {
    COptionsDlg dlg(nullptr, nullptr);
    dlg.m_pDoc = m_pDoc.get();
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.windowTitle(), "Vantrel Options");
    EXPECT_EQ(dlg.font().family(), "MS Sans Serif");
    EXPECT_EQ(dlg.font().pointSize(), 8);

    QStringList labels;
    for (const QLabel* pLabel : dlg.findChildren<QLabel*>())
        labels << pLabel->text();
    for (const char* pszText :
         {"Options", "Send error messages", "Alert Email Address", "SMTP Server", "<From> Address",
          "Login Username", "Login Password", "Test Hosts Every", "min",
          "Email alert message (This will send an email to you. You must fill out the details "
          "below if you want to enable this)"})
        EXPECT_TRUE(labels.contains(QString::fromLatin1(pszText))) << pszText;
    EXPECT_EQ(Control<QCheckBox>(dlg, "ctl1003")->text(), "System alert message");

    auto* pTitle = Control<CStyledLabel>(dlg, "ctl1066");
    EXPECT_EQ(pTitle->font().family(), "Verdana");
    EXPECT_EQ(pTitle->font().pixelSize(), 20);
    auto* pHeading = Control<CStyledLabel>(dlg, "ctl1067");
    EXPECT_EQ(pHeading->font().family(), "Verdana");
    EXPECT_EQ(pHeading->font().pixelSize(), 18);
    EXPECT_NE(Control<QLabel>(dlg, "ctl1060"), nullptr);

    std::vector<QString> buttons;
    for (const QPushButton* pButton : dlg.findChildren<QPushButton*>())
        if (pButton->isDefault())
            buttons.push_back(pButton->text().remove('&'));
    EXPECT_EQ(buttons, std::vector<QString>{"OK"});
}

TEST_F(OptionsDlgTest, FillsFromTheStoreAndStoresExactlyWhatWasTyped) {
    COptionsDlg dlg(nullptr, nullptr);
    dlg.m_pDoc = m_pDoc.get();
    dlg.OnInitDialog();
    EXPECT_EQ(Control<QLineEdit>(dlg, "ctl1015")->text(), "me@example.com");
    EXPECT_EQ(Control<QLineEdit>(dlg, "ctl1016")->text(), "mail.example.com");
    EXPECT_EQ(Control<QLineEdit>(dlg, "ctl1017")->text(), "vantrel@example.com");
    EXPECT_EQ(Control<QLineEdit>(dlg, "ctl1069")->text(), QString::fromLatin1("caf\xE9"));
    auto* pPass = Control<QLineEdit>(dlg, "ctl1070");
    EXPECT_EQ(pPass->text(), "s3cret pass");
    EXPECT_EQ(pPass->echoMode(), QLineEdit::Normal); // shown in clear
    EXPECT_TRUE(Control<QCheckBox>(dlg, "ctl1068")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(dlg, "ctl1003")->isChecked());
    auto* pSpin = Control<QSpinBox>(dlg, "ctl1085");
    EXPECT_EQ(pSpin->text(), "5");

    Control<QLineEdit>(dlg, "ctl1015")->setText(QStringLiteral("  a@example.org, b@example.org "));
    Control<QLineEdit>(dlg, "ctl1016")->setText(QString());
    Control<QLineEdit>(dlg, "ctl1017")->setText(QString::fromLatin1("\xFC@example.net"));
    Control<QLineEdit>(dlg, "ctl1069")->setText(QStringLiteral("user"));
    pPass->setText(QStringLiteral("pw"));
    Control<QCheckBox>(dlg, "ctl1068")->setChecked(false);
    Control<QCheckBox>(dlg, "ctl1003")->setChecked(true);
    pSpin->setValue(17);
    dlg.accept();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(m_pDoc->m_strEmailTo, "  a@example.org, b@example.org ");
    EXPECT_EQ(m_pDoc->m_strSMTP, "");
    EXPECT_EQ(m_pDoc->m_strEmailFrom, "\xFC@example.net");
    EXPECT_EQ(m_pDoc->m_strLogin, "user");
    EXPECT_EQ(m_pDoc->m_strPass, "pw");
    EXPECT_EQ(m_pDoc->m_bAlertEmail, 0);
    EXPECT_EQ(m_pDoc->m_bAlertSystem, 1);
    EXPECT_EQ(m_pDoc->m_nIntervalMinutes, 17);
    // The lock was released.
    EXPECT_TRUE(m_pDoc->m_mtxSettings.try_lock());
    m_pDoc->m_mtxSettings.unlock();
}

TEST_F(OptionsDlgTest, SpinBoxWrapsBetweenOneAndSixty) {
    COptionsDlg dlg(nullptr, nullptr);
    dlg.m_pDoc = m_pDoc.get();
    m_pDoc->m_nIntervalMinutes = 60;
    dlg.OnInitDialog();
    auto* pSpin = Control<QSpinBox>(dlg, "ctl1085");
    EXPECT_EQ(pSpin->minimum(), 1);
    EXPECT_EQ(pSpin->maximum(), 60);
    pSpin->stepBy(1);
    EXPECT_EQ(pSpin->value(), 1);
    pSpin->stepBy(-1);
    EXPECT_EQ(pSpin->value(), 60);
    // The low 16 bits of the stored interval.
    m_pDoc->m_nIntervalMinutes = 0x10000 + 7;
    dlg.OnInitDialog();
    EXPECT_EQ(pSpin->value(), 7);
}

TEST_F(OptionsDlgTest, CancelChangesNothing) {
    COptionsDlg dlg(nullptr, nullptr);
    dlg.m_pDoc = m_pDoc.get();
    dlg.OnInitDialog();
    Control<QLineEdit>(dlg, "ctl1015")->setText(QStringLiteral("other@example.com"));
    Control<QCheckBox>(dlg, "ctl1003")->setChecked(true);
    Control<QSpinBox>(dlg, "ctl1085")->setValue(30);
    dlg.reject();
    EXPECT_EQ(m_pDoc->m_strEmailTo, "me@example.com");
    EXPECT_EQ(m_pDoc->m_bAlertSystem, 0);
    EXPECT_EQ(m_pDoc->m_nIntervalMinutes, 5);
}

TEST_F(OptionsDlgTest, OkWaitsBehindTheDialogWhileTheWorkerHoldsTheSettings) {
    CWaitDialog wait(nullptr, &m_queue);
    COptionsDlg dlg(nullptr, &wait);
    dlg.m_pDoc = m_pDoc.get();
    dlg.OnInitDialog();
    Control<QSpinBox>(dlg, "ctl1085")->setValue(9);

    std::atomic<bool> bHeld{false};
    std::atomic<bool> bReadDuringHold{false};
    std::thread worker([&] {
        std::lock_guard lock(m_pDoc->m_mtxSettings);
        bHeld = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        bReadDuringHold = m_pDoc->m_nIntervalMinutes == 5;
    });
    while (!bHeld)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dlg.accept();
    worker.join();
    EXPECT_TRUE(bReadDuringHold);
    EXPECT_EQ(wait.GetWaitsShown(), 1);
    EXPECT_FALSE(wait.isVisible());
    EXPECT_EQ(m_pDoc->m_nIntervalMinutes, 9);
}

} // namespace
