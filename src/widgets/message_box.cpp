#include "widgets/message_box.h"

#include <QMessageBox>

namespace {

int Run(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    // Modal from the moment it is shown; setting the modality resets the window flags, so it
    // comes first.
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.show();
    box.raise();
    box.activateWindow();
    return box.exec();
}

} // namespace

void CMessageBox::Information(QWidget* pOwner, const QString& strText) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(CAPTION), strText, QMessageBox::Ok,
                    pOwner);
    Run(box);
}

QMessageBox* CMessageBox::Modeless(QWidget* pOwner, const QString& strText) {
    auto* pBox = new QMessageBox(QMessageBox::NoIcon, QString::fromLatin1(CAPTION), strText,
                                 QMessageBox::Ok, pOwner);
    pBox->setTextFormat(Qt::PlainText);
    pBox->setAttribute(Qt::WA_DeleteOnClose);
    pBox->setWindowModality(Qt::NonModal);
    pBox->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    pBox->show();
    pBox->raise();
    pBox->activateWindow();
    return pBox;
}

bool CMessageBox::Question(QWidget* pOwner, const QString& strText) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(CAPTION), strText,
                    QMessageBox::Yes | QMessageBox::No, pOwner);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return Run(box) == QMessageBox::Yes;
}

void CMessageBox::Error(const QString& strText, const QString& strCaption) {
    QMessageBox box(QMessageBox::Critical, strCaption, strText, QMessageBox::Ok);
    Run(box);
}
