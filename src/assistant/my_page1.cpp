#include "assistant/my_page1.h"

#include <QLabel>
#include <QVBoxLayout>

#define INTRO_COMMON                                                                               \
    "You can add a hosting company simply by answering a number of questions about the web "       \
    "host. This information will allow you to outline the details of the host as well as the "     \
    "hosting plan you are analysing.\n\nOnce you have finished you will have added the web host "  \
    "to the main control screen. Once this web host is added, you can then test the host for "     \
    "performance.\n\n"

const char* const CMyPage1::ADD_INTRO = INTRO_COMMON "Please click Next to begin.";
const char* const CMyPage1::MODIFY_INTRO =
    INTRO_COMMON "You can modify a hosting company simply by adjusting the answers to the "
                 "questions that you have previously completed.\n\nPlease click Next to begin.";

CMyPage1::CMyPage1() : CWizardPage(PLACE_FIRST, 1, "Introduction"), m_strIntro(ADD_INTRO) {
    m_pIntro = MakeText("");
    m_pIntro->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Body()->addWidget(m_pIntro, 1);
}

bool CMyPage1::OnInitDialog() {
    CWizardPage::OnInitDialog();
    m_pIntro->setText(QString::fromLatin1(m_strIntro.c_str()));
    return true;
}
