#pragma once

#include <QMessageBox>
#include <QTimer>

class QApplication;

// The one application object of a GUI test binary (offscreen platform), with pinned fonts.
QApplication& EnsureApp();

// Pictures alike on every machine: the program's face mapping, DejaVu Sans, one hinting.
void PinFonts();

// Answers the program's message boxes as a user would, noting what each box offered.
class CBoxAnswerer : public QObject {
public:
    struct SSeen {
        QString strTitle, strText;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::Icon icon;
        bool bOnTop, bHasOwner, bModal;
    };
    explicit CBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    QStringList Texts() const;

    QMessageBox::StandardButton m_answer;
    std::vector<SSeen> m_arrSeen;
    QTimer m_timer;
};

// Answers the host assistant with valid details and the options dialog with an interval.
class CDialogDriver : public QObject {
public:
    CDialogDriver();

    QString m_strName = QStringLiteral("Acme");
    int m_nInterval = 5;
    QTimer m_timer;
};
