#pragma once

#include "assistant/wizard_page.h"

// Page 1: the introduction. Modify replaces m_strIntro before the assistant opens.
class CMyPage1 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage1();

    bool OnInitDialog() override;
    bool OnQueryCancel() override { return true; }

    std::string m_strIntro;

    static const char* const ADD_INTRO;
    static const char* const MODIFY_INTRO;

private:
    QLabel* m_pIntro;
};
