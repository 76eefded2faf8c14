#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// The program's message boxes: information boxes have an OK button and no icon, questions
// Yes and No with No as the default, and every box stays on top and is brought to the front.
class CMessageBox {
public:
    static void Information(QWidget* pOwner, const QString& strText);
    // The same box without waiting for it: not modal, deleted when closed.
    static QMessageBox* Modeless(QWidget* pOwner, const QString& strText);
    // True when the user answered Yes.
    static bool Question(QWidget* pOwner, const QString& strText);
    // A stop-icon box without an owner window, for failures before the main window exists.
    static void Error(const QString& strText, const QString& strCaption);

    // Every box is captioned with the program's title.
    static constexpr const char* CAPTION = "Vantrel";
};
