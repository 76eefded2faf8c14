#include "assistant/my_page4.h"

#include "core/host.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

CMyPage4::CMyPage4() : CWizardPage(PLACE_MIDDLE, 4, "E-Mail Details") {
    Body()->addWidget(MakeText(
        "Please fill out the information concerning the e-mail details for the host below."));
    auto* pGrid = new QGridLayout;
    AddAnswerRow(pGrid, "E-Mail Accounts", "(sometimes referred to as pop accounts)",
                 ANSWERS_EMAIL_ACCOUNTS, &CHost::m_nEmailAccounts);
    AddAnswerRow(pGrid, "Forwarding Accounts", nullptr, ANSWERS_YES_NO, &CHost::m_nForwarding);
    AddAnswerRow(pGrid, "Autoresponders", nullptr, ANSWERS_YES_NO, &CHost::m_nAutoresponders);
    AddAnswerRow(pGrid, "Web Based Email", nullptr, ANSWERS_YES_NO, &CHost::m_nWebMail);
    AddAnswerRow(pGrid, "Mailing Lists", nullptr, ANSWERS_YES_NO, &CHost::m_nMailingLists);
    Body()->addLayout(pGrid);
    Body()->addStretch(1);
}
