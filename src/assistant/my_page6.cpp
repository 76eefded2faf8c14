#include "assistant/my_page6.h"

#include "core/host.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

CMyPage6::CMyPage6() : CWizardPage(PLACE_MIDDLE, 6, "Redundancy Details") {
    Body()->addWidget(MakeText(
        "Please fill out the information concerning the redundancy details for the host below."));
    auto* pGrid = new QGridLayout;
    AddAnswerRow(pGrid, "Backups", nullptr, ANSWERS_BACKUPS, &CHost::m_nBackups);
    AddAnswerRow(pGrid, "UPS Power Backup", nullptr, ANSWERS_YES_NO, &CHost::m_nUPS);
    AddAnswerRow(pGrid, "Diesel Backup Generator", nullptr, ANSWERS_YES_NO, &CHost::m_nGenerator);
    AddAnswerRow(pGrid, "24/7 Network Monitoring", nullptr, ANSWERS_YES_NO, &CHost::m_nMonitoring);
    AddAnswerRow(pGrid, "Backup Mail Server", "(backup mail server if one should go down)",
                 ANSWERS_YES_NO, &CHost::m_nBackupMail);
    AddAnswerRow(pGrid, "Fail Over Server", "(backup web server if one should go down)",
                 ANSWERS_YES_NO, &CHost::m_nFailOver);
    AddAnswerRow(pGrid, "Uptime Guarantee", "(money back if not up for a certain time)",
                 ANSWERS_YES_NO, &CHost::m_nUptimeGuarantee);
    Body()->addLayout(pGrid);
    Body()->addStretch(1);
}
