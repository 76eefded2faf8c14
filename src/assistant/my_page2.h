#pragma once

#include "assistant/wizard_page.h"

class QLineEdit;

// Page 2: company name, web site and test URL. Both addresses get "http://" in front unless
// they begin with "http", and must parse as URLs; the test URL must be a web address.
class CMyPage2 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage2();

    bool OnInitDialog() override;
    int OnWizardNext() override;

    static const char* const HELP_TEXT;

private:
    QLineEdit* m_pName;
    QLineEdit* m_pWebSite;
    QLineEdit* m_pTestURL;
};
