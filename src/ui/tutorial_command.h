#pragma once

#include <QString>

class QUrl;
class QWidget;

// Vantrel Tutorial (menu and toolbar): opens the user guide that ships with the program in the
// desktop's browser. The opener and the message box are virtual so that tests can stand in.
class CTutorialCommand {
public:
    explicit CTutorialCommand(QWidget* pParent) : m_pParent(pParent) {}
    virtual ~CTutorialCommand() = default;

    // The guide's front page for a program in strProgramDir: the installed guide beside it
    // (<dir>/../share/doc/vantrel/guide), or the source tree's when the program runs from
    // its build folder. When neither exists, the installed path, which the message names.
    static QString FindGuide(const QString& strProgramDir);

    // Opens the guide of the running program; false when it is missing or nothing opened it,
    // after the message naming the file.
    bool Execute();
    bool Execute(const QString& strGuide);

    virtual bool OpenUrl(const QUrl& url);
    virtual void ShowMessage(const QString& strText);

    static const char* const NOT_OPENED;
    static const char* const NOT_INSTALLED;

private:
    QWidget* m_pParent;
};
