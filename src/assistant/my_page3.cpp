#include "assistant/my_page3.h"

#include "core/host.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

CMyPage3::CMyPage3() : CWizardPage(PLACE_MIDDLE, 3, "Hosting Details") {
    Body()->addWidget(MakeText("Please fill out the information below concerning the basic plan "
                               "details for the host below."));
    auto* pGrid = new QGridLayout;
    AddAnswerRow(pGrid, "Storage Space", "(sometimes referred to as disk space)", ANSWERS_STORAGE,
                 &CHost::m_nStorage);
    AddAnswerRow(pGrid, "Website Transfer Amount", "(sometimes referred to as bandwidth)",
                 ANSWERS_TRANSFER, &CHost::m_nTransfer);
    AddAnswerRow(pGrid, "12 Month Cost", "(monthly fee plus set-up fee)", ANSWERS_COST,
                 &CHost::m_nCost);
    Body()->addLayout(pGrid);
    Body()->addStretch(1);
}
