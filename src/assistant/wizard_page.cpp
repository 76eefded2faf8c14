#include "assistant/wizard_page.h"

#include "assistant/host_assistant.h"
#include "core/host.h"
#include "widgets/artwork.h"
#include "widgets/masked_picture.h"
#include "widgets/styled_label.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

const char* const CWizardPage::MODIFY_TITLE = "Modify Host Assistant";
const char* const CWizardPage::ADD_TITLE = "Add Host Assistant";
const char* const CWizardPage::MISSING_DETAILS =
    "Please enter all the details concerning the host.";

namespace {

const char* const HEADING_FACE = "Verdana";
constexpr int TITLE_HEIGHT = 20;
constexpr int HEADING_HEIGHT = 18;
constexpr int HELP_HEIGHT = 10;

CStyledLabel* MakeStyled(const char* pszText, int nCharHeight) {
    auto* pLabel = new CStyledLabel(QString::fromLatin1(pszText), nullptr);
    pLabel->SetFace(QString::fromLatin1(HEADING_FACE)).SetCharHeight(nCharHeight);
    return pLabel;
}

} // namespace

CWizardPage::CWizardPage(int nPosition, int nStep, const char* pszHeading)
    : m_nPosition(nPosition) {
    auto* pOuter = new QVBoxLayout(this);
    auto* pHeader = new QGridLayout;
    m_pTitleLabel = MakeStyled(ADD_TITLE, TITLE_HEIGHT);
    QLabel* pStep =
        MakeStyled(("Step " + std::to_string(nStep) + " of " + std::to_string(STEP_COUNT)).c_str(),
                   TITLE_HEIGHT);
    pStep->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    pHeader->addWidget(m_pTitleLabel, 0, 0);
    pHeader->addWidget(pStep, 0, 1);
    pHeader->addWidget(MakeStyled(pszHeading, HEADING_HEIGHT), 1, 0, 1, 2);
    // Painted once per program run: every page of every assistant shows the same logo.
    static const QImage s_logo = CArtwork::Logo();
    auto* pLogo = new CMaskedPicture;
    pLogo->SetBitmap(s_logo);
    pLogo->setFixedSize(s_logo.size());
    pHeader->addWidget(pLogo, 0, 2, 2, 1, Qt::AlignTop | Qt::AlignRight);
    pHeader->setColumnStretch(0, 1);
    pOuter->addLayout(pHeader);
    m_pBody = new QVBoxLayout;
    pOuter->addLayout(m_pBody, 1);
}

void CWizardPage::Init(CHost* pHost, const std::string& strTitle) {
    m_pHost = pHost;
    m_arrFeatureMarks.insert(m_arrFeatureMarks.end(), std::begin(pHost->m_arrFeatures),
                             std::end(pHost->m_arrFeatures));
    m_strTitle = strTitle;
}

bool CWizardPage::OnInitDialog() {
    m_pTitleLabel->setText(QString::fromLatin1(m_strTitle.c_str()));
    for (const SAnswerRow& row : m_arrAnswerRows) {
        const int32_t nStored = m_pHost->*row.pField;
        if (nStored >= 0)
            row.pList->setCurrentIndex(nStored);
    }
    return true;
}

bool CWizardPage::OnSetActive() {
    QWizard* pSheet = wizard();
    const bool bBack = m_nPosition == PLACE_MIDDLE || m_nPosition == PLACE_LAST;
    const bool bNext = m_nPosition == PLACE_FIRST || m_nPosition == PLACE_MIDDLE;
    const bool bFinish = m_nPosition == PLACE_ONLY || m_nPosition == PLACE_LAST;
    pSheet->button(QWizard::BackButton)->setEnabled(bBack);
    pSheet->button(QWizard::NextButton)->setVisible(bNext);
    pSheet->button(QWizard::NextButton)->setEnabled(bNext);
    pSheet->button(QWizard::FinishButton)->setVisible(bFinish);
    pSheet->button(QWizard::FinishButton)->setEnabled(bFinish);
    return true;
}

std::string CWizardPage::MissingDetailsText(const std::vector<std::string>& arrNames) {
    std::string strText = std::string(MISSING_DETAILS) + "\nMissing: ";
    for (size_t i = 0; i < arrNames.size(); ++i)
        strText += (i ? ", " : "") + arrNames[i];
    return strText + ".";
}

int CWizardPage::OnWizardNext() {
    std::vector<std::string> arrMissing;
    for (const SAnswerRow& row : m_arrAnswerRows)
        if (row.pList->currentIndex() < 0)
            arrMissing.push_back(row.pList->objectName().toLatin1().toStdString());
    if (!arrMissing.empty()) {
        ShowMessage(MissingDetailsText(arrMissing));
        return -1;
    }
    for (const SAnswerRow& row : m_arrAnswerRows)
        m_pHost->*row.pField = row.pList->currentIndex();
    return 0;
}

bool CWizardPage::OnWizardFinish() {
    return OnKillActive();
}

bool CWizardPage::OnQueryCancel() {
    if (m_strTitle != MODIFY_TITLE)
        return true;
    return AskQuestion("If you chose to cancel the modify web host assistant no changes will be "
                       "made.\nDo you want to cancel?.");
}

void CWizardPage::initializePage() {
    OnInitDialog();
}

bool CWizardPage::validatePage() {
    if (m_nPosition == PLACE_ONLY || m_nPosition == PLACE_LAST)
        return OnWizardFinish();
    return OnWizardNext() == 0;
}

int CWizardPage::nextId() const {
    if (m_nPosition == PLACE_ONLY || m_nPosition == PLACE_LAST)
        return -1;
    return QWizardPage::nextId();
}

QComboBox* CWizardPage::AddAnswerList(const char* pszName, EAnswerList eList,
                                      int32_t CHost::*pField) {
    auto* pList = new QComboBox;
    for (const std::string& strItem : GetAnswerList(eList))
        pList->addItem(QString::fromLatin1(strItem.c_str()));
    pList->setCurrentIndex(-1);
    pList->setMaxVisibleItems(12);
    pList->setObjectName(QString::fromLatin1(pszName));
    m_arrAnswerRows.push_back({pList, pField});
    return pList;
}

QComboBox* CWizardPage::AddAnswerRow(QGridLayout* pGrid, const char* pszLabel, const char* pszHint,
                                     EAnswerList eList, int32_t CHost::*pField) {
    const int nRow = pGrid->rowCount();
    QComboBox* pList = AddAnswerList(pszLabel, eList, pField);
    pGrid->addWidget(new QLabel(QString::fromLatin1(pszLabel)), nRow, 0);
    pGrid->addWidget(pList, nRow, 1);
    if (pszHint)
        pGrid->addWidget(new QLabel(QString::fromLatin1(pszHint)), nRow, 2);
    return pList;
}

QLabel* CWizardPage::MakeText(const char* pszText) {
    auto* pLabel = new QLabel(QString::fromLatin1(pszText));
    pLabel->setWordWrap(true);
    return pLabel;
}

QLabel* CWizardPage::MakeHelp(const char* pszText) {
    QLabel* pLabel = MakeStyled(pszText, HELP_HEIGHT);
    pLabel->setWordWrap(true);
    return pLabel;
}

void CWizardPage::ShowMessage(const std::string& strText) {
    Assistant()->ShowMessage(strText);
}

bool CWizardPage::AskQuestion(const std::string& strText) {
    return Assistant()->AskQuestion(strText);
}

CHostAssistant* CWizardPage::Assistant() const {
    return static_cast<CHostAssistant*>(wizard());
}
