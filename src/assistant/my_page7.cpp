#include "assistant/my_page7.h"

#include "core/host.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

const char* const CMyPage7::HELP_TEXT =
    "Rate the features of this webhost between 1 and 10 with 10 as the highest score possible. "
    "Note: the above list does not actually impact the comparison report. Only your ranking "
    "score that you outline here.";

CMyPage7::CMyPage7() : CWizardPage(PLACE_LAST, 7, "Features Details") {
    Body()->addWidget(
        MakeText("Please fill out the information concerning features of the web host."));
    m_pFeatures = new QListWidget;
    m_pFeatures->setObjectName(QStringLiteral("Features"));
    m_pFeatures->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const std::string& strFeature : GetAnswerList(ANSWERS_FEATURES)) {
        auto* pItem = new QListWidgetItem(QString::fromLatin1(strFeature.c_str()), m_pFeatures);
        pItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        pItem->setCheckState(Qt::Unchecked);
    }
    // The page's marks follow the ticks; Finish copies them into the record.
    connect(m_pFeatures, &QListWidget::itemChanged, this, [this](QListWidgetItem* pItem) {
        const int nRow = m_pFeatures->row(pItem);
        if (nRow < 0 || static_cast<size_t>(nRow) >= m_arrFeatureMarks.size())
            return;
        uint32_t& nMark = m_arrFeatureMarks[nRow];
        if (pItem->checkState() != Qt::Checked)
            nMark = 0;
        else if (nMark == 0)
            nMark = 1;
    });
    Body()->addWidget(m_pFeatures, 1);
    auto* pRatingRow = new QHBoxLayout;
    pRatingRow->addWidget(MakeHelp(HELP_TEXT), 1);
    m_pRating = AddAnswerList("Features Rating", ANSWERS_RATING, &CHost::m_nFeatureRating);
    pRatingRow->addWidget(m_pRating, 0, Qt::AlignTop);
    Body()->addLayout(pRatingRow);
}

bool CMyPage7::OnInitDialog() {
    CWizardPage::OnInitDialog();
    for (size_t i = 0; i < m_arrFeatureMarks.size() && i < size_t(m_pFeatures->count()); ++i)
        m_pFeatures->item(int(i))->setCheckState(m_arrFeatureMarks[i] != 0 ? Qt::Checked
                                                                           : Qt::Unchecked);
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
