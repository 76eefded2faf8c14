#include "widgets/message_box.h"

#include <QMessageBox>

namespace {

// Texts from peers and files (a mail server's reply, a damaged name) may hold control
// characters: shown as "\r" or "\x1b", they cannot pose as a line of their own.
QString Visible(const QString& strText) {
    QString str;
    for (QChar c : strText) {
        const char16_t n = c.unicode();
        if (n == '\n' || (n >= 0x20 && n != 0x7F && (n < 0x80 || n > 0x9F)))
            str += c;
        else if (n == '\r')
            str += QStringLiteral("\\r");
        else if (n == '\t')
            str += QStringLiteral("\\t");
        else
            str += QStringLiteral("\\x%1").arg(static_cast<int>(n), 2, 16, QChar('0'));
    }
    return str;
}

int Run(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    box.setText(Visible(box.text()));
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
