#pragma once

#include "assistant/wizard_page.h"

// Page 3: storage, transfer amount and yearly cost of the plan.
class CMyPage3 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage3();
};
