#include "gui_test_support.h"

#include "assistant/host_assistant.h"
#include "assistant/list_ctrl_ex.h"
#include "assistant/sample_host.h"
#include "assistant/wizard_page.h"
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;
const char* const MISSING = "Please enter all the details concerning the host.";

class CTestAssistant : public CHostAssistant { // records message boxes instead of showing them
public:
    CTestAssistant(const CHost& host, bool bModify) // the application comes first
        : CHostAssistant((EnsureApp(), nullptr), host, bModify) {}
    void ShowMessage(const std::string& str) override { m_arrMessages.push_back(str); }
    bool AskQuestion(const std::string& str) override {
        m_arrQuestions.push_back(str);
        return false;
    }
    Texts m_arrMessages, m_arrQuestions;
};

// Per page, the fields that its drop-down lists answer, in the lists' order.
const std::vector<int32_t CHost::*> g_arrFields[CHostAssistant::PAGE_COUNT] = {
    {},
    {},
    {&CHost::m_nStorage, &CHost::m_nTransfer, &CHost::m_nCost},
    {&CHost::m_nEmailAccounts, &CHost::m_nForwarding, &CHost::m_nAutoresponders, &CHost::m_nWebMail,
     &CHost::m_nMailingLists},
    {&CHost::m_nOnlineDocs, &CHost::m_nHelpDesk, &CHost::m_nForums, &CHost::m_nTollFree,
     &CHost::m_nResponseTime, &CHost::m_nSupportRating},
    {&CHost::m_nBackups, &CHost::m_nUPS, &CHost::m_nGenerator, &CHost::m_nMonitoring,
     &CHost::m_nBackupMail, &CHost::m_nFailOver, &CHost::m_nUptimeGuarantee},
    {&CHost::m_nFeatureRating}};

QList<QComboBox*> Lists(CHostAssistant& a, int nPage) {
    return a.GetPage(nPage)->findChildren<QComboBox*>();
}
QLineEdit* Edit(CHostAssistant& a, int nBox) { // name, web site, test URL
    return a.GetPage(1)->findChildren<QLineEdit*>().at(nBox);
}
// The k-th list of a page gets item (k + 1) % count, so that neighbouring fields differ.
void ChooseAll(CHostAssistant& a, int nPage) {
    ASSERT_EQ(size_t(Lists(a, nPage).size()), g_arrFields[nPage].size());
    for (int k = 0; k < Lists(a, nPage).size(); ++k)
        Lists(a, nPage)[k]->setCurrentIndex((k + 1) % Lists(a, nPage)[k]->count());
}
// Shows the assistant and walks it to nPage with valid answers; stops where a page refuses.
void WalkTo(CHostAssistant& a, int nPage, const char* pszName = "Acme Hosting",
            const char* pszSite = "acme.example",
            const char* pszURL = "www.acme.example/test.html") {
    a.show();
    for (int nId = a.currentId(); nId < nPage && nId == a.currentId(); ++nId) {
        if (nId == 1)
            Edit(a, 0)->setText(pszName), Edit(a, 1)->setText(pszSite), Edit(a, 2)->setText(pszURL);
        ChooseAll(a, nId);
        a.next();
    }
}
void ClickTick(CHostAssistant& a, int nRow) { // on a features row's box, as the user does it
    auto* pList = a.GetPage(6)->findChild<CListCtrlEx*>();
    const QModelIndex index = pList->GetModel()->index(nRow, 0);
    pList->scrollTo(index);
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                      QPoint(5, pList->visualRect(index).center().y()));
}

} // namespace

// Per page of Add and of Modify: buttons and header; Modify shows the stored answers, and its
// Cancel asks (answered No) once a page is past the first; Add refuses every list left unanswered,
// naming it. Finish stores only what the pages edit; a modified host is to be looked up again.
TEST(HostAssistantTest, EveryPageOfAddAndModify) {
    CHost sample, host;
    FillSampleHost(sample);
    sample.m_bResolved = 1, sample.m_nTests = 12;
    for (bool bModify : {false, true}) {
        CTestAssistant a(bModify ? sample : host, bModify);
        WalkTo(a, 0);
        for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; ++nPage) {
            SCOPED_TRACE(std::to_string(bModify) + " " + std::to_string(nPage));
            ASSERT_TRUE(a.currentId() == nPage && a.isVisible()) << a.currentId();
            QString strTexts = QString::number(a.button(QWizard::BackButton)->isEnabled()) +
                               QString::number(a.button(QWizard::NextButton)->isVisible()) +
                               QString::number(a.button(QWizard::FinishButton)->isVisible()) + "|";
            for (QLabel* p : a.GetPage(nPage)->findChildren<QLabel*>())
                strTexts += p->text() + "|";
            EXPECT_TRUE(strTexts.startsWith(QString("%1%2%3|%4 Host Assistant|Step %5 of 7|")
                                                .arg(nPage > 0)
                                                .arg(nPage < 6)
                                                .arg(nPage == 6)
                                                .arg(bModify ? "Modify" : "Add")
                                                .arg(nPage + 1)))
                << strTexts.toStdString();
            auto next = [&] { nPage < 6 ? a.next() : a.button(QWizard::FinishButton)->click(); };
            for (int k = 0; bModify && k < Lists(a, nPage).size(); ++k)
                EXPECT_EQ(Lists(a, nPage)[k]->currentIndex(),
                          sample.*g_arrFields[nPage][size_t(k)]);
            if (bModify && nPage > 0)
                a.button(QWizard::CancelButton)->click();
            if (bModify && nPage == 1) // into the assistant's copy with the next page
                Edit(a, 0)->setText("Renamed");
            for (int i = 0; bModify && nPage == 6 && i < FEATURE_COUNT; ++i) // any flag is a tick
                EXPECT_EQ(a.GetPage(6)->findChild<CListCtrlEx*>()->GetStateImage(i),
                          i % 36 ? CListCtrlEx::IMAGE_EMPTY : CListCtrlEx::IMAGE_TICKED);
            if (bModify && nPage == 6) // nothing ticked is valid
                ClickTick(a, 0), ClickTick(a, 36);
            if (nPage == 6 && !bModify)
                ClickTick(a, 3), ClickTick(a, 5), ClickTick(a, 5), ClickTick(a, 36);
            for (int k = 0; !bModify && k < Lists(a, nPage).size(); ++k) { // each one unanswered
                ChooseAll(a, nPage);
                Lists(a, nPage)[k]->setCurrentIndex(-1);
                next();
                EXPECT_EQ(a.currentId(), nPage);
                EXPECT_EQ(a.m_arrMessages.back(),
                          nPage < 6 ? MISSING + std::string("\nMissing: ") +
                                          Lists(a, nPage)[k]->objectName().toStdString() + "."
                                    : "Please enter your rating of the features of this web host.");
                for (auto pField : g_arrFields[nPage])
                    EXPECT_EQ(a.GetWorkingCopy().*pField, -1) << k;
            }
            if (!bModify)
                WalkTo(a, nPage + 1); // answers this page; on the last, Finish follows
            if (bModify || nPage == 6)
                next();
        }
        EXPECT_EQ(a.result(), QDialog::Accepted);
        EXPECT_EQ(a.m_arrQuestions,
                  Texts(bModify ? 6 : 0, "If you chose to cancel the modify web host assistant no "
                                         "changes will be made.\nDo you want to cancel?."));
        CHost& target = bModify ? sample : host;
        a.Commit(target);
        if (bModify) {
            EXPECT_EQ(std::count(sample.m_arrFeatures, sample.m_arrFeatures + FEATURE_COUNT, 0),
                      FEATURE_COUNT);
            EXPECT_EQ(sample.m_strName + " " + std::to_string(sample.m_nStorage) + " " +
                          std::to_string(sample.m_bResolved) + " " +
                          std::to_string(sample.m_nTests),
                      "Renamed 21 0 12");
            continue;
        }
        for (int nPage = 2; nPage < CHostAssistant::PAGE_COUNT; ++nPage)
            for (int k = 0; k < Lists(a, nPage).size(); ++k)
                EXPECT_EQ(host.*g_arrFields[nPage][size_t(k)],
                          (k + 1) % Lists(a, nPage)[k]->count())
                    << nPage << " " << k;
        for (int i = 0; i < FEATURE_COUNT; ++i)
            EXPECT_EQ(host.m_arrFeatures[i], int(i == 3 || i == 36)) << i;
    }
}

TEST(HostAssistantTest, DetailsPageChecksAndHttpPrefix) {
    // An incomplete page names the fields left empty after its usual text. "http://" makes a
    // test URL as long as the field takes too long.
    const std::string M = std::string(MISSING) + "\nMissing: Hosting Company ",
                      NO_TWO = M + "Name, Hosting Company Website.", NO_URL = M + "Test URL.",
                      strLong(2048, 'a');
    // Name, site, URL typed; the message, or "=" and what both are stored as.
    const char* arrCases[][4] = {
        {"Acme", "www.acme.example", "www.acme.example", "=http://www.acme.example"},
        {"Acme", "HTTP://Acme.Example/P", "HTTP://Acme.Example/P", "=HTTP://Acme.Example/P"},
        {"", "", "acme.example", NO_TWO.c_str()},
        {"Acme", "acme.example", "", NO_URL.c_str()},
        {"Acme", "httpserver.example", "acme.example", // "http..." gets no prefix
         "The company website you have entered is not valid. Please check again."},
        {"Acme", "acme.example", "acme.example:99999",
         "The test URL you have entered is not valid. Please check again."},
        {"Acme", "acme.example", "ftp://files.acme.example",
         "The URL scheme is not supported. Test URL should point to a valid web server."},
        {"Acme", "acme.example", strLong.c_str(),
         "The website or the test URL is longer than 2048 characters. Please shorten it."},
    };
    for (auto& c : arrCases) {
        CTestAssistant a(CHost(), false);
        WalkTo(a, 2, c[0], c[1], c[2]);
        const bool bStored = c[3][0] == '=';
        const CHost& copy = a.GetWorkingCopy();
        EXPECT_EQ(a.currentId(), bStored ? 2 : 1) << c[1] << " " << c[2];
        EXPECT_EQ(a.m_arrMessages, bStored ? Texts{} : Texts{c[3]}) << c[1] << " " << c[2];
        EXPECT_EQ(copy.m_strName + "|" + copy.m_strWebSite + "|" + copy.m_strTestURL,
                  bStored ? std::string("Acme|") + (c[3] + 1) + "|" + (c[3] + 1) : "||");
        EXPECT_EQ(Edit(a, 1)->text() + Edit(a, 2)->text(), QString(c[1]) + c[2]); // as typed
    }
}
