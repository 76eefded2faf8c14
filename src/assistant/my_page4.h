#pragma once

#include "assistant/wizard_page.h"

// Page 4: the e-mail answers.
class CMyPage4 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage4();
};
