#include "assistant/my_page5.h"

#include "core/host.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

CMyPage5::CMyPage5() : CWizardPage(PLACE_MIDDLE, 5, "Support Details") {
    Body()->addWidget(MakeText(
        "Please fill out the information concerning the support details for the web host. Try "
        "and test the support out by submitting a request for assistance to the support staff "
        "and gauge their responce time and helpfulness."));
    auto* pGrid = new QGridLayout;
    AddAnswerRow(pGrid, "Online Documentation", nullptr, ANSWERS_YES_NO, &CHost::m_nOnlineDocs);
    AddAnswerRow(pGrid, "Help Desk", "(including live help)", ANSWERS_YES_NO, &CHost::m_nHelpDesk);
    AddAnswerRow(pGrid, "Support Forums", nullptr, ANSWERS_YES_NO, &CHost::m_nForums);
    AddAnswerRow(pGrid, "Toll Free Support Number", nullptr, ANSWERS_YES_NO, &CHost::m_nTollFree);
    AddAnswerRow(pGrid, "Response Time", nullptr, ANSWERS_RESPONSE_TIME, &CHost::m_nResponseTime);
    AddAnswerRow(pGrid, "Rate the support level", "(10 is best and 1 is worst)", ANSWERS_RATING,
                 &CHost::m_nSupportRating);
    Body()->addLayout(pGrid);
    Body()->addStretch(1);
}
