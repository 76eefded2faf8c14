#pragma once

#include "core/host.h"

#include <QWizard>

#include <string>

class CWizardPage;

// The seven-page assistant that adds or modifies a host. The pages work on a copy of the host;
// the host itself changes only when the user presses Finish.
class CHostAssistant : public QWizard {
    Q_OBJECT
public:
    static constexpr int PAGE_COUNT = 7;

    // Runs the assistant modally on host. Add: host is a new record. Modify: the caller holds
    // the host's lock for the whole call. True on Finish, when host has taken the answers
    // (and, in Modify, m_bResolved = 0 so its test URL is looked up again); false on Cancel,
    // with host untouched.
    static bool Run(QWidget* pParent, CHost& host, bool bModify);

    CHostAssistant(QWidget* pParent, const CHost& host, bool bModify);
    ~CHostAssistant() override;

    // Copies the answers into host after Finish (what Run does).
    void Commit(CHost& host) const;

    CWizardPage* GetPage(int nIndex) const;
    const CHost& GetWorkingCopy() const { return m_host; }

    // Every message box of the assistant goes through these.
    virtual void ShowMessage(const std::string& strText);
    virtual bool AskQuestion(const std::string& strText); // true for Yes

    // Cancel, Escape and closing the window: the current page may refuse.
    void reject() override;

protected:
    // QWizard sizes its window by the first page only, before that page is laid out; the
    // window then grows on page 2 and page 1 is cut off. The first show sizes it to the
    // widest page instead.
    void showEvent(QShowEvent* pEvent) override;

private:
    CHost m_host;
    bool m_bModify;
    bool m_bSized = false;
};
