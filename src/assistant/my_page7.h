#pragma once

#include "assistant/wizard_page.h"

class QComboBox;
class CListCtrlEx;

// Page 7: the features list with its tick boxes and the features rating. Finish needs the
// rating; ticks are optional.
class CMyPage7 : public CWizardPage {
    Q_OBJECT
public:
    CMyPage7();

    bool OnInitDialog() override;
    bool OnWizardFinish() override;

    static const char* const HELP_TEXT;

private:
    CListCtrlEx* m_pFeatures;
    QComboBox* m_pRating;
};
