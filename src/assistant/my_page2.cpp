#include "assistant/my_page2.h"

#include "core/host.h"
#include "platform/url_splitter.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>

#include <strings.h>

const char* const CMyPage2::HELP_TEXT =
    "* The hosting company test URL is any website that is on the same or similar server to what "
    "you are likely to be on. It is not always accurate to just use the web host's website URL "
    "as they are likely to be on a special server with no other sites sharing. You can ask the "
    "company if they can give you a test URL or IP address or else use tools like those found at "
    "Netcraft's web server survey, which find out who else shares the same IP address or IP "
    "block.";

namespace {

QLineEdit* AddEditRow(QGridLayout* pGrid, const char* pszLabel) {
    const int nRow = pGrid->rowCount();
    auto* pEdit = new QLineEdit;
    pEdit->setObjectName(QString::fromLatin1(pszLabel));
    pGrid->addWidget(new QLabel(QString::fromLatin1(pszLabel)), nRow, 0);
    pGrid->addWidget(pEdit, nRow, 1);
    return pEdit;
}

std::string Text(const QLineEdit* pEdit) {
    return pEdit->text().toLatin1().toStdString();
}

// "scheme://" at the start: the user named the protocol, and it is checked as named.
bool HasScheme(const std::string& strURL) {
    const size_t nEnd = strURL.find("://");
    if (nEnd == std::string::npos || nEnd == 0 ||
        !std::isalpha(static_cast<unsigned char>(strURL[0])))
        return false;
    return std::all_of(strURL.begin(), strURL.begin() + nEnd, [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

// Addresses typed without a scheme are taken as web addresses. One that names another scheme
// is left alone, so that "ftp://host" is refused as such instead of becoming a web address
// of a server called "ftp".
std::string WithPrefix(const std::string& strURL) {
    if (strURL.size() >= 4 && strncasecmp(strURL.c_str(), "http", 4) == 0)
        return strURL;
    if (HasScheme(strURL))
        return strURL;
    return "http://" + strURL;
}

} // namespace

CMyPage2::CMyPage2() : CWizardPage(PLACE_MIDDLE, 2, "Hosting Details") {
    Body()->addWidget(MakeText(
        "Please fill out the information below about the web hosting plan you want to add."));
    auto* pGrid = new QGridLayout;
    m_pName = AddEditRow(pGrid, "Hosting Company Name");
    m_pWebSite = AddEditRow(pGrid, "Hosting Company Website");
    m_pTestURL = AddEditRow(pGrid, "Hosting Company Test URL*");
    Body()->addLayout(pGrid);
    Body()->addWidget(MakeHelp(HELP_TEXT));
    Body()->addStretch(1);
}

bool CMyPage2::OnInitDialog() {
    CWizardPage::OnInitDialog();
    if (!m_pHost->m_strName.empty())
        m_pName->setText(QString::fromLatin1(m_pHost->m_strName.c_str()));
    if (!m_pHost->m_strWebSite.empty())
        m_pWebSite->setText(QString::fromLatin1(m_pHost->m_strWebSite.c_str()));
    if (!m_pHost->m_strTestURL.empty())
        m_pTestURL->setText(QString::fromLatin1(m_pHost->m_strTestURL.c_str()));
    return true;
}

int CMyPage2::OnWizardNext() {
    const std::string strName = Text(m_pName);
    std::string strWebSite = Text(m_pWebSite);
    std::string strTestURL = Text(m_pTestURL);
    std::vector<std::string> arrMissing;
    if (strName.empty())
        arrMissing.push_back("Hosting Company Name");
    if (strWebSite.empty())
        arrMissing.push_back("Hosting Company Website");
    if (strTestURL.empty())
        arrMissing.push_back("Hosting Company Test URL");
    if (!arrMissing.empty()) {
        ShowMessage(MissingDetailsText(arrMissing));
        return -1;
    }
    strWebSite = WithPrefix(strWebSite);
    CURLParts url;
    if (!ParseURLEx(strWebSite, url)) {
        ShowMessage("The company website you have entered is not valid. Please check again.");
        return -1;
    }
    strTestURL = WithPrefix(strTestURL);
    if (!ParseURLEx(strTestURL, url)) {
        ShowMessage("The test URL you have entered is not valid. Please check again.");
        return -1;
    }
    if (url.m_dwServiceType != INET_SERVICE_HTTP && url.m_dwServiceType != INET_SERVICE_HTTPS &&
        url.m_dwServiceType != INET_SERVICE_UNK) {
        ShowMessage(
            "The URL scheme is not supported. Test URL should point to a valid web server.");
        return -1;
    }
    m_pHost->m_strName = strName;
    m_pHost->m_strWebSite = strWebSite;
    m_pHost->m_strTestURL = strTestURL;
    return 0;
}
