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
        const auto edits = dlg.findChildren<QLineEdit*>(QRegularExpression("^ctl"));
        auto* pSpin = dlg.findChild<QSpinBox*>("ctl1085");
        auto* pEmail = dlg.findChild<QCheckBox*>("ctl1068");
        auto* pSystem = dlg.findChild<QCheckBox*>("ctl1003");
        QStringList shown; // the edits in id order, the tick boxes, the interval and its range
        for (const QLineEdit* pEdit : edits)
            shown << pEdit->objectName() + '=' + pEdit->text();
        shown << QString("%1%2 %3 %4-%5")
                     .arg(pEmail->isChecked())
                     .arg(pSystem->isChecked())
                     .arg(pSpin->text())
                     .arg(pSpin->minimum())
                     .arg(pSpin->maximum());
        EXPECT_EQ(shown, (QStringList{"ctl1015=me@example.com", "ctl1016=mail.example.com",
                                      "ctl1017=vantrel@example.com",
                                      QString::fromLatin1("ctl1069=caf\xE9"), "ctl1070=s3cret pass",
                                      "10 5 1-60"}));
        EXPECT_EQ(edits[4]->echoMode(), QLineEdit::Normal); // the password in clear
        pSpin->setValue(60);
        pSpin->stepBy(1);
        EXPECT_EQ(pSpin->value(), 1);
        pSpin->stepBy(-1);
        EXPECT_EQ(pSpin->value(), 60);
        pSpin->setValue(17);
        for (int i = 0; const char* pszText :
                        {"  a@example.org, b@example.org ", "", "\xFC@example.net", "user", "pw"})
            edits[i++]->setText(QString::fromLatin1(pszText));
        pEmail->setChecked(false);
        pSystem->setChecked(true);
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
