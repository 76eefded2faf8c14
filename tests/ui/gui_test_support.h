#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

class QApplication;

// The one application object of a GUI test binary (offscreen platform).
QApplication& EnsureApp();

// Answers the program's message boxes as a user would: every few milliseconds it looks for a
// shown box, notes what the box offers and presses the chosen button.
class CBoxAnswerer : public QObject {
    Q_OBJECT
public:
    struct SSeen {
        QString strTitle;
        QString strText;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool bOnTop = false;
        bool bHasOwner = false;
        bool bModal = false; // other windows take no input while it is open
    };

    explicit CBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    void SetAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }
    // Leaves each box open this long before answering it.
    void SetDelay(int nMs) { m_nDelayMs = nMs; }
    // Called with each box before it is answered (for checks of the state at that moment).
    void SetOnBox(std::function<void(const SSeen&)> onBox) { m_onBox = std::move(onBox); }

    QStringList Texts() const;
    std::vector<SSeen> m_arrSeen;

private:
    void Poll();

    QTimer m_timer;
    QMessageBox::StandardButton m_answer;
    int m_nDelayMs = 0;
    std::function<void(const SSeen&)> m_onBox;
};

// Runs the event loop until pred() holds or ms have passed; returns pred().
bool SpinUntil(const std::function<bool()>& pred, int ms);
