#include "assistant/my_page7.h"

#include "assistant/list_ctrl_ex.h"

#include "core/host.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

const char* const CMyPage7::HELP_TEXT =
    "Rate the features of this webhost between 1 and 10 with 10 as the highest score possible. "
    "Note: the above list does not actually impact the comparison report. Only your ranking "
    "score that you outline here.";

CMyPage7::CMyPage7() : CWizardPage(PLACE_LAST, 7, "Features Details") {
    Body()->addWidget(
        MakeText("Please fill out the information concerning features of the web host."));
    m_pFeatures = new CListCtrlEx;
    m_pFeatures->setObjectName(QStringLiteral("Features"));
    for (const std::string& strFeature : GetAnswerList(ANSWERS_FEATURES))
        m_pFeatures->AddRow(QString::fromLatin1(strFeature.c_str()));
    Body()->addWidget(m_pFeatures, 1);
    auto* pRatingRow = new QHBoxLayout;
    pRatingRow->addWidget(MakeHelp(HELP_TEXT), 1);
    m_pRating = AddAnswerList("Features Rating", ANSWERS_RATING, &CHost::m_nFeatureRating);
    pRatingRow->addWidget(m_pRating, 0, Qt::AlignTop);
    Body()->addLayout(pRatingRow);
}

bool CMyPage7::OnInitDialog() {
    CWizardPage::OnInitDialog();
    m_pFeatures->AttachChecks(&m_arrFeatureMarks);
    return true;
}

bool CMyPage7::OnWizardFinish() {
    if (m_pRating->currentIndex() < 0) {
        ShowMessage("Please enter your rating of the features of this web host.");
        return false;
    }
    m_pHost->m_nFeatureRating = m_pRating->currentIndex();
    for (size_t i = 0; i < m_arrFeatureMarks.size() && i < size_t(FEATURE_COUNT); ++i)
        m_pHost->m_arrFeatures[i] = static_cast<int32_t>(m_arrFeatureMarks[i]);
    return true;
}
