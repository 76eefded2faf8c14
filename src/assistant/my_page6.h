#pragma once

#include "assistant/wizard_page.h"

// Page 6: the redundancy answers.
class CMyPage6 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage6();
};
