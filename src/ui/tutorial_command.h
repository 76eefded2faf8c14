#pragma once

#include <QString>

#include <functional>

class QUrl;
class QWidget;

// Vantrel Tutorial (menu and toolbar): opens the user guide that ships with the program in the
// desktop's browser. The opener is virtual so that tests can stand in for it.
class CTutorialCommand {
public:
    explicit CTutorialCommand(QWidget* pParent) : m_pParent(pParent) {}
    virtual ~CTutorialCommand() = default;

    // The guide's front page for a program in strProgramDir: the installed guide beside it
    // (<dir>/../share/doc/vantrel/guide), or the source tree's when the program runs from
    // its build folder. When neither exists, the installed path, which the message names.
    static QString FindGuide(const QString& strProgramDir);

    // Opens the guide of the running program. A missing guide, or one that nothing opens,
    // is reported in a message box that names the file.
    void Execute();
    void Execute(const QString& strGuide);

    // Hands the URL to the desktop; fnFailed runs, at once or later, when nothing opened it.
    virtual void OpenUrl(const QUrl& url, const std::function<void()>& fnFailed);

    static const char* const NOT_OPENED;
    static const char* const NOT_INSTALLED;

private:
    QWidget* m_pParent;
};
