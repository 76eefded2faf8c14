#include "gui_test_support.h"

#include "core/vantrel_doc.h"
#include "ui/message_box_queue.h"
#include "ui/options_dlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

TEST(OptionsDlgTest, ShowsTheSettingsWrapsStoresWhatWasTypedAndCancelChangesNothing) {
    CMessageBoxQueue queue;
    CVantrelDoc doc(queue, nullptr);
    doc.m_strEmailTo = "me@example.com";
    doc.m_strSMTP = "mail.example.com";
    doc.m_strEmailFrom = "vantrel@example.com";
    doc.m_strLogin = "caf\xE9";
    doc.m_strPass = "s3cret pass";
    doc.m_bAlertEmail = 1;
    doc.m_nIntervalMinutes = 0x10000 + 5; // only the low 16 bits count
    auto Stored = [&] {
        return doc.m_strEmailTo + '|' + doc.m_strSMTP + '|' + doc.m_strEmailFrom + '|' +
               doc.m_strLogin + '|' + doc.m_strPass + '|' + std::to_string(doc.m_bAlertEmail) +
               std::to_string(doc.m_bAlertSystem) + '|' + std::to_string(doc.m_nIntervalMinutes);
    };
    const std::string strBefore = Stored();
    for (bool bAccept : {false, true}) {
        COptionsDlg dlg(nullptr, nullptr);
        dlg.m_pDoc = &doc;
        dlg.OnInitDialog();
        QStringList shown; // the edits, the tick boxes and the interval in id order
        for (auto* pEdit : dlg.findChildren<QLineEdit*>(QRegularExpression("^ctl")))
            shown << pEdit->objectName() + '=' + pEdit->text();
        auto* pSpin = dlg.findChild<QSpinBox*>("ctl1085");
        shown << pSpin->text() + QString::number(pSpin->minimum()) + '-' +
                     QString::number(pSpin->maximum());
        EXPECT_EQ(shown, (QStringList{"ctl1015=me@example.com", "ctl1016=mail.example.com",
                                      "ctl1017=vantrel@example.com",
                                      QString::fromLatin1("ctl1069=caf\xE9"), "ctl1070=s3cret pass",
                                      "51-60"}));
        EXPECT_TRUE(dlg.findChild<QCheckBox*>("ctl1068")->isChecked());
        EXPECT_FALSE(dlg.findChild<QCheckBox*>("ctl1003")->isChecked());
        EXPECT_EQ(dlg.findChild<QLineEdit*>("ctl1070")->echoMode(), QLineEdit::Normal); // in clear
        pSpin->setValue(60);
        pSpin->stepBy(1);
        EXPECT_EQ(pSpin->value(), 1);
        pSpin->stepBy(-1);
        EXPECT_EQ(pSpin->value(), 60);
        pSpin->setValue(17);
        const char* arrTexts[] = {"  a@example.org, b@example.org ", "", "\xFC@example.net", "user",
                                  "pw"};
        for (int i = 0; int nId : {1015, 1016, 1017, 1069, 1070})
            dlg.findChild<QLineEdit*>("ctl" + QString::number(nId))
                ->setText(QString::fromLatin1(arrTexts[i++]));
        dlg.findChild<QCheckBox*>("ctl1068")->setChecked(false);
        dlg.findChild<QCheckBox*>("ctl1003")->setChecked(true);
        if (bAccept) {
            dlg.accept();
            EXPECT_EQ(Stored(), "  a@example.org, b@example.org ||\xFC@example.net|user|pw|01|17");
        } else {
            dlg.reject();
            EXPECT_EQ(Stored(), strBefore);
        }
    }
    EXPECT_TRUE(doc.m_mtxSettings.try_lock()); // released again
    doc.m_mtxSettings.unlock();
}

} // namespace
