#include "assistant/host_assistant.h"

#include "assistant/my_page1.h"
#include "assistant/my_page2.h"
#include "assistant/my_page3.h"
#include "assistant/my_page4.h"
#include "assistant/my_page5.h"
#include "assistant/my_page6.h"
#include "assistant/my_page7.h"
#include "widgets/message_box.h"

#include <algorithm>

namespace {

// Room for the header (title, step and logo on one line) in the fonts of a Linux desktop.
constexpr int PAGE_WIDTH = 560;
constexpr int PAGE_HEIGHT = 340;

} // namespace

bool CHostAssistant::Run(QWidget* pParent, CHost& host, bool bModify) {
    CHostAssistant assistant(pParent, host, bModify);
    if (assistant.exec() != QDialog::Accepted)
        return false;
    assistant.Commit(host);
    return true;
}

CHostAssistant::CHostAssistant(QWidget* pParent, const CHost& host, bool bModify)
    : QWizard(pParent), m_bModify(bModify) {
    m_host.CopyFrom(host);
    const char* pszTitle = bModify ? CWizardPage::MODIFY_TITLE : CWizardPage::ADD_TITLE;
    setWindowTitle(QString::fromLatin1(pszTitle) + QStringLiteral(" - Vantrel"));
    setWizardStyle(QWizard::ClassicStyle);
    // A page starts once per run and keeps what the user left on it when they go Back.
    setOption(QWizard::IndependentPages, true);
    setOption(QWizard::NoDefaultButton, false);

    auto* pPage1 = new CMyPage1;
    if (bModify)
        pPage1->m_strIntro = CMyPage1::MODIFY_INTRO;
    CWizardPage* arrPages[PAGE_COUNT] = {pPage1,       new CMyPage2, new CMyPage3, new CMyPage4,
                                         new CMyPage5, new CMyPage6, new CMyPage7};
    for (int i = 0; i < PAGE_COUNT; ++i) {
        arrPages[i]->Init(&m_host, pszTitle);
        setPage(i, arrPages[i]);
    }
    setStartId(0);
    // Every page as wide and high as the largest one needs.
    QSize pageSize(PAGE_WIDTH, PAGE_HEIGHT);
    for (CWizardPage* pPage : arrPages)
        pageSize = pageSize.expandedTo(pPage->sizeHint());
    for (CWizardPage* pPage : arrPages)
        pPage->setMinimumSize(pageSize);
    connect(this, &QWizard::currentIdChanged, this, [this](int nId) {
        if (CWizardPage* pPage = GetPage(nId))
            pPage->OnSetActive();
    });
}

CHostAssistant::~CHostAssistant() = default;

void CHostAssistant::Commit(CHost& host) const {
    // Only what the pages edit: the statistics belong to the test worker.
    host.m_strName = m_host.m_strName;
    host.m_strWebSite = m_host.m_strWebSite;
    host.m_strTestURL = m_host.m_strTestURL;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = m_host.Answer(i);
    std::copy(std::begin(m_host.m_arrFeatures), std::end(m_host.m_arrFeatures),
              std::begin(host.m_arrFeatures));
    if (m_bModify)
        host.m_bResolved = 0;
}

void CHostAssistant::showEvent(QShowEvent* pEvent) {
    QWizard::showEvent(pEvent);
    if (m_bSized)
        return;
    m_bSized = true;
    resize(size().expandedTo(sizeHint()));
}

CWizardPage* CHostAssistant::GetPage(int nIndex) const {
    return static_cast<CWizardPage*>(page(nIndex));
}

void CHostAssistant::ShowMessage(const std::string& strText) {
    CMessageBox::Information(this, QString::fromLatin1(strText.c_str()));
}

bool CHostAssistant::AskQuestion(const std::string& strText) {
    return CMessageBox::Question(this, QString::fromLatin1(strText.c_str()));
}

void CHostAssistant::reject() {
    CWizardPage* pPage = GetPage(currentId());
    if (pPage && !pPage->OnQueryCancel())
        return;
    QWizard::reject();
}
