#pragma once

#include "assistant/wizard_page.h"

// Page 5: the support answers.
class CMyPage5 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage5();
};
