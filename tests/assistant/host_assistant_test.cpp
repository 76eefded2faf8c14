#include "assistant/host_assistant.h"
#include "assistant/list_ctrl_ex.h"
#include "assistant/my_page1.h"
#include "assistant/wizard_page.h"

#include "assistant/gui_test_app.h"
#include "assistant/sample_host.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

const char* const MISSING = "Please enter all the details concerning the host.";
const char* const CANCEL_QUESTION = "If you chose to cancel the modify web host assistant no "
                                    "changes will be made.\nDo you want to cancel?.";

// Captures the assistant's message boxes instead of showing them.
class CTestAssistant : public CHostAssistant {
public:
    using CHostAssistant::CHostAssistant;

    void ShowMessage(const std::string& strText) override { m_arrMessages.push_back(strText); }
    bool AskQuestion(const std::string& strText) override {
        m_arrQuestions.push_back(strText);
        return m_bAnswerYes;
    }

    std::vector<std::string> m_arrMessages;
    std::vector<std::string> m_arrQuestions;
    bool m_bAnswerYes = false;
};

// Per page, the drop-down names and the record field each one answers.
struct SListField {
    const char* pszName;
    int32_t CHost::*pField;
};
const std::vector<std::vector<SListField>> g_arrPageLists = {
    {},
    {},
    {{"Storage Space", &CHost::m_nStorage},
     {"Website Transfer Amount", &CHost::m_nTransfer},
     {"12 Month Cost", &CHost::m_nCost}},
    {{"E-Mail Accounts", &CHost::m_nEmailAccounts},
     {"Forwarding Accounts", &CHost::m_nForwarding},
     {"Autoresponders", &CHost::m_nAutoresponders},
     {"Web Based Email", &CHost::m_nWebMail},
     {"Mailing Lists", &CHost::m_nMailingLists}},
    {{"Online Documentation", &CHost::m_nOnlineDocs},
     {"Help Desk", &CHost::m_nHelpDesk},
     {"Support Forums", &CHost::m_nForums},
     {"Toll Free Support Number", &CHost::m_nTollFree},
     {"Response Time", &CHost::m_nResponseTime},
     {"Rate the support level", &CHost::m_nSupportRating}},
    {{"Backups", &CHost::m_nBackups},
     {"UPS Power Backup", &CHost::m_nUPS},
     {"Diesel Backup Generator", &CHost::m_nGenerator},
     {"24/7 Network Monitoring", &CHost::m_nMonitoring},
     {"Backup Mail Server", &CHost::m_nBackupMail},
     {"Fail Over Server", &CHost::m_nFailOver},
     {"Uptime Guarantee", &CHost::m_nUptimeGuarantee}},
    {{"Features Rating", &CHost::m_nFeatureRating}},
};

QComboBox* List(CHostAssistant& a, int nPage, const char* pszName) {
    auto* p = a.GetPage(nPage)->findChild<QComboBox*>(QString::fromLatin1(pszName));
    EXPECT_NE(p, nullptr) << pszName;
    return p;
}

QLineEdit* Edit(CHostAssistant& a, const char* pszName) {
    auto* p = a.GetPage(1)->findChild<QLineEdit*>(QString::fromLatin1(pszName));
    EXPECT_NE(p, nullptr) << pszName;
    return p;
}

void SetTexts(CHostAssistant& a, const char* pszName, const char* pszSite, const char* pszURL) {
    Edit(a, "Hosting Company Name")->setText(QString::fromLatin1(pszName));
    Edit(a, "Hosting Company Website")->setText(QString::fromLatin1(pszSite));
    Edit(a, "Hosting Company Test URL*")->setText(QString::fromLatin1(pszURL));
}

// Chooses item (k + 1) % count of every list of the page (k = the list's place on the page).
void ChooseAll(CHostAssistant& a, int nPage) {
    int k = 0;
    for (const SListField& f : g_arrPageLists[nPage]) {
        QComboBox* p = List(a, nPage, f.pszName);
        p->setCurrentIndex((k++ + 1) % p->count());
    }
}

// Shows the assistant and walks it to nPage with valid answers.
void WalkTo(CHostAssistant& a, int nPage) {
    if (!a.isVisible())
        a.show();
    while (a.currentId() < nPage) {
        const int nId = a.currentId();
        if (nId == 1)
            SetTexts(a, "Acme Hosting", "acme.example", "www.acme.example/test.html");
        ChooseAll(a, nId);
        a.next();
        ASSERT_EQ(a.currentId(), nId + 1);
    }
}

CListCtrlEx* Features(CHostAssistant& a) {
    auto* p = a.GetPage(6)->findChild<CListCtrlEx*>();
    EXPECT_NE(p, nullptr);
    return p;
}

// A left click on the row's tick box, as the user does it.
void ClickTick(CListCtrlEx* pList, int nRow) {
    const QModelIndex index = pList->GetModel()->index(nRow, 0);
    pList->scrollTo(index);
    const QRect rect = pList->visualRect(index);
    QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, QPoint(5, rect.center().y()));
}

QAbstractButton* Button(CHostAssistant& a, QWizard::WizardButton e) {
    return a.button(e);
}

class HostAssistantTest : public ::testing::Test {
protected:
    void SetUp() override { GuiTestApp(); }
};

} // namespace

TEST_F(HostAssistantTest, ButtonsAndHeaderOfEveryPlace) {
    CHost host;
    CTestAssistant a(nullptr, host, false);
    a.show();
    EXPECT_EQ(a.windowTitle(), "Add Host Assistant");
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; ++nPage) {
        WalkTo(a, nPage);
        SCOPED_TRACE(nPage);
        const bool bFirst = nPage == 0, bLast = nPage == 6;
        EXPECT_EQ(a.GetPage(nPage)->m_nPosition, bFirst ? 1 : bLast ? 3 : 2);
        EXPECT_EQ(Button(a, QWizard::BackButton)->isEnabled(), !bFirst);
        EXPECT_EQ(Button(a, QWizard::NextButton)->isVisible(), !bLast);
        EXPECT_EQ(Button(a, QWizard::NextButton)->isEnabled(), !bLast);
        EXPECT_EQ(Button(a, QWizard::FinishButton)->isVisible(), bLast);
        EXPECT_TRUE(Button(a, QWizard::CancelButton)->isVisible());

        std::vector<QString> arrTexts;
        for (QLabel* pLabel : a.GetPage(nPage)->findChildren<QLabel*>())
            arrTexts.push_back(pLabel->text());
        auto has = [&](const QString& s) {
            return std::find(arrTexts.begin(), arrTexts.end(), s) != arrTexts.end();
        };
        EXPECT_TRUE(has("Add Host Assistant"));
        EXPECT_TRUE(has(QString("Step %1 of 7").arg(nPage + 1)));
        static const char* const s_arrHeadings[] = {
            "Introduction",    "Hosting Details",    "Hosting Details", "E-Mail Details",
            "Support Details", "Redundancy Details", "Features Details"};
        EXPECT_TRUE(has(s_arrHeadings[nPage]));
    }
    // Back checks nothing and keeps what the user left on each page.
    a.back();
    a.back();
    EXPECT_EQ(a.currentId(), 4);
    EXPECT_EQ(List(a, 4, "Support Forums")->currentIndex(), 1);
    EXPECT_TRUE(a.m_arrMessages.empty());
}

TEST_F(HostAssistantTest, IntroductionOfAddAndModify) {
    CHost host;
    CTestAssistant add(nullptr, host, false);
    CTestAssistant modify(nullptr, host, true);
    add.show();
    modify.show();
    auto intro = [](CHostAssistant& a) {
        for (QLabel* p : a.GetPage(0)->findChildren<QLabel*>())
            if (p->text().startsWith("You can add"))
                return p->text().toStdString();
        return std::string();
    };
    EXPECT_EQ(intro(add), CMyPage1::ADD_INTRO);
    EXPECT_EQ(intro(modify), CMyPage1::MODIFY_INTRO);
    EXPECT_NE(intro(modify).find("\n\nYou can modify a hosting company simply by adjusting the "
                                 "answers to the questions that you have previously completed."
                                 "\n\nPlease click Next to begin."),
              std::string::npos);
    EXPECT_EQ(modify.windowTitle(), "Modify Host Assistant");
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; ++nPage) {
        WalkTo(modify, nPage); // a page shows the title once it has started
        int nTitles = 0;
        for (QLabel* p : modify.GetPage(nPage)->findChildren<QLabel*>())
            nTitles += p->text() == "Modify Host Assistant";
        EXPECT_EQ(nTitles, 1) << nPage;
    }
}

TEST_F(HostAssistantTest, MissingTextsKeepThePageAndStoreNothing) {
    CHost host;
    CTestAssistant a(nullptr, host, false);
    WalkTo(a, 1);
    const char* arrCases[][3] = {{"", "acme.example", "acme.example"},
                                 {"Acme", "", "acme.example"},
                                 {"Acme", "acme.example", ""}};
    for (auto& c : arrCases) {
        SetTexts(a, c[0], c[1], c[2]);
        a.next();
        EXPECT_EQ(a.currentId(), 1);
    }
    EXPECT_EQ(a.m_arrMessages, std::vector<std::string>(3, MISSING));
    EXPECT_EQ(a.GetWorkingCopy().m_strName, "");
    EXPECT_EQ(a.GetWorkingCopy().m_strWebSite, "");
    // The boxes keep what was typed; a name of spaces is a name.
    EXPECT_EQ(Edit(a, "Hosting Company Website")->text(), "acme.example");
    SetTexts(a, "   ", "acme.example", "acme.example");
    a.next();
    EXPECT_EQ(a.currentId(), 2);
    EXPECT_EQ(a.GetWorkingCopy().m_strName, "   ");
}

TEST_F(HostAssistantTest, HttpPrefixRule) {
    struct {
        const char* pszTyped;
        const char* pszStored;
    } arrCases[] = {
        {"www.acme.example", "http://www.acme.example"},
        {"HTTP://Acme.Example/Path", "HTTP://Acme.Example/Path"},
        {"https://secure.acme.example/", "https://secure.acme.example/"},
        {"hTtPs://mixed.example", "hTtPs://mixed.example"},
        {"10.0.0.1", "http://10.0.0.1"},
        {"httpserver.example", "httpserver.example"}, // begins with "http": not prefixed...
    };
    for (auto& c : arrCases) {
        SCOPED_TRACE(c.pszTyped);
        CHost host;
        CTestAssistant a(nullptr, host, false);
        WalkTo(a, 1);
        SetTexts(a, "Acme", c.pszTyped, c.pszTyped);
        a.next();
        if (std::string(c.pszTyped) == "httpserver.example") {
            // ...and so it is no URL at all.
            EXPECT_EQ(a.currentId(), 1);
            EXPECT_EQ(a.m_arrMessages,
                      std::vector<std::string>{"The company website you have entered is not "
                                               "valid. Please check again."});
            EXPECT_EQ(a.GetWorkingCopy().m_strWebSite, "");
            continue;
        }
        EXPECT_EQ(a.currentId(), 2);
        EXPECT_TRUE(a.m_arrMessages.empty());
        EXPECT_EQ(a.GetWorkingCopy().m_strWebSite, c.pszStored);
        EXPECT_EQ(a.GetWorkingCopy().m_strTestURL, c.pszStored);
        // The box keeps the text as typed, without the prefix.
        EXPECT_EQ(Edit(a, "Hosting Company Website")->text(), c.pszTyped);
    }
}

TEST_F(HostAssistantTest, InvalidAddressesAndSchemes) {
    const char* const SITE = "The company website you have entered is not valid. Please check "
                             "again.";
    const char* const TEST = "The test URL you have entered is not valid. Please check again.";
    const char* const SCHEME = "The URL scheme is not supported. Test URL should point to a "
                               "valid web server.";
    struct {
        const char* pszSite;
        const char* pszURL;
        const char* pszMessage;
    } arrCases[] = {
        {"http:/broken", "acme.example", SITE},
        {"acme example", "acme.example", SITE},
        {"acme.example", "http://", TEST},
        {"acme.example", "acme.example:99999", TEST},
        {"acme.example", "file:///etc/hosts", TEST},
        // A test URL that names another protocol is refused as such.
        {"acme.example", "ftp://files.acme.example", SCHEME},
        {"acme.example", "news://news.acme.example/group", SCHEME},
        {"acme.example", "Telnet://acme.example", SCHEME},
    };
    for (auto& c : arrCases) {
        SCOPED_TRACE(c.pszURL);
        CHost host;
        CTestAssistant a(nullptr, host, false);
        WalkTo(a, 1);
        SetTexts(a, "Acme", c.pszSite, c.pszURL);
        a.next();
        EXPECT_EQ(a.currentId(), 1);
        EXPECT_EQ(a.m_arrMessages, std::vector<std::string>{c.pszMessage});
        EXPECT_EQ(a.GetWorkingCopy().m_strName, "");
        EXPECT_EQ(a.GetWorkingCopy().m_strWebSite, "");
        EXPECT_EQ(a.GetWorkingCopy().m_strTestURL, "");
        EXPECT_EQ(Edit(a, "Hosting Company Test URL*")->text(), c.pszURL);
    }
    // A scheme the splitter does not know is taken for a web server; the web site's scheme is
    // not examined at all.
    CHost host;
    CTestAssistant a(nullptr, host, false);
    WalkTo(a, 1);
    SetTexts(a, "Acme", "ftp://acme.example", "webcal://acme.example/");
    a.next();
    EXPECT_EQ(a.currentId(), 2);
    EXPECT_EQ(a.GetWorkingCopy().m_strWebSite, "ftp://acme.example");
    EXPECT_EQ(a.GetWorkingCopy().m_strTestURL, "webcal://acme.example/");
}

TEST_F(HostAssistantTest, ListPagesNeedEveryAnswer) {
    for (int nPage = 2; nPage <= 5; ++nPage) {
        const auto& arrLists = g_arrPageLists[nPage];
        for (size_t nLeftOut = 0; nLeftOut < arrLists.size(); ++nLeftOut) {
            SCOPED_TRACE(std::to_string(nPage) + " " + arrLists[nLeftOut].pszName);
            CHost host;
            CTestAssistant a(nullptr, host, false);
            WalkTo(a, nPage);
            ChooseAll(a, nPage);
            List(a, nPage, arrLists[nLeftOut].pszName)->setCurrentIndex(-1);
            a.next();
            EXPECT_EQ(a.currentId(), nPage);
            EXPECT_EQ(a.m_arrMessages, std::vector<std::string>{MISSING});
            for (const SListField& f : arrLists)
                EXPECT_EQ(a.GetWorkingCopy().*f.pField, -1) << f.pszName;
        }
    }
}

TEST_F(HostAssistantTest, ListsHoldTheAnswerTables) {
    CHost host;
    CTestAssistant a(nullptr, host, false);
    a.show();
    struct {
        int nPage;
        const char* pszName;
        EAnswerList eList;
    } arrCases[] = {{2, "Storage Space", ANSWERS_STORAGE},
                    {2, "Website Transfer Amount", ANSWERS_TRANSFER},
                    {2, "12 Month Cost", ANSWERS_COST},
                    {3, "E-Mail Accounts", ANSWERS_EMAIL_ACCOUNTS},
                    {3, "Mailing Lists", ANSWERS_YES_NO},
                    {4, "Response Time", ANSWERS_RESPONSE_TIME},
                    {4, "Rate the support level", ANSWERS_RATING},
                    {5, "Backups", ANSWERS_BACKUPS},
                    {6, "Features Rating", ANSWERS_RATING}};
    for (auto& c : arrCases) {
        QComboBox* p = List(a, c.nPage, c.pszName);
        const std::vector<std::string>& arrItems = GetAnswerList(c.eList);
        ASSERT_EQ(p->count(), int(arrItems.size())) << c.pszName;
        for (int i = 0; i < p->count(); ++i)
            EXPECT_EQ(p->itemText(i).toStdString(), arrItems[i]);
        EXPECT_FALSE(p->isEditable());
    }
    CListCtrlEx* pFeatures = Features(a);
    ASSERT_EQ(pFeatures->GetModel()->rowCount(), FEATURE_COUNT);
    for (int i = 0; i < FEATURE_COUNT; ++i) {
        EXPECT_EQ(pFeatures->GetItemText(i, 0).toStdString(), g_arrFeatures[i]);
        EXPECT_EQ(pFeatures->GetStateImage(i), CListCtrlEx::IMAGE_EMPTY);
    }
}

TEST_F(HostAssistantTest, AddStoresPageByPageAndFinishNeedsTheRating) {
    CHost host;
    CTestAssistant a(nullptr, host, false);
    WalkTo(a, 3);
    // Pages already passed have written into the working copy, never into the host.
    EXPECT_EQ(a.GetWorkingCopy().m_strName, "Acme Hosting");
    EXPECT_EQ(a.GetWorkingCopy().m_nStorage, 1);
    EXPECT_EQ(a.GetWorkingCopy().m_nCost, 3);
    EXPECT_EQ(a.GetWorkingCopy().m_nEmailAccounts, -1);
    EXPECT_EQ(host.m_strName, "");
    WalkTo(a, 6);
    // A click on a tick box ticks it and leaves the selection; Space ticks the selected row.
    CListCtrlEx* pFeatures = Features(a);
    pFeatures->setCurrentIndex(pFeatures->GetModel()->index(36, 0));
    ClickTick(pFeatures, 3);
    ClickTick(pFeatures, 5);
    ClickTick(pFeatures, 5);
    EXPECT_EQ(pFeatures->GetSelectedRow(), 36);
    QTest::keyClick(pFeatures, Qt::Key_Space);
    EXPECT_EQ(pFeatures->GetStateImage(3), CListCtrlEx::IMAGE_TICKED);
    EXPECT_EQ(pFeatures->GetStateImage(5), CListCtrlEx::IMAGE_EMPTY);
    EXPECT_EQ(pFeatures->GetStateImage(36), CListCtrlEx::IMAGE_TICKED);
    Button(a, QWizard::FinishButton)->click();
    EXPECT_EQ(a.m_arrMessages, std::vector<std::string>{
                                   "Please enter your rating of the features of this web host."});
    EXPECT_TRUE(a.isVisible());
    EXPECT_EQ(a.GetWorkingCopy().m_arrFeatures[3], 0);
    EXPECT_EQ(a.GetWorkingCopy().m_nFeatureRating, -1);

    List(a, 6, "Features Rating")->setCurrentIndex(9);
    Button(a, QWizard::FinishButton)->click();
    EXPECT_EQ(a.result(), QDialog::Accepted);
    a.Commit(host);
    EXPECT_EQ(host.m_strName, "Acme Hosting");
    EXPECT_EQ(host.m_strWebSite, "http://acme.example");
    EXPECT_EQ(host.m_strTestURL, "http://www.acme.example/test.html");
    EXPECT_EQ(host.m_nFeatureRating, 9);
    EXPECT_EQ(host.m_nUptimeGuarantee, 1); // the 7th list of its page: (6 + 1) % 2
    for (int i = 0; i < FEATURE_COUNT; ++i)
        EXPECT_EQ(host.m_arrFeatures[i], i == 3 || i == 36 ? 1 : 0) << i;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        EXPECT_GE(host.Answer(i), 0) << i;
    EXPECT_EQ(host.m_bResolved, 0);
}

TEST_F(HostAssistantTest, ModifyShowsStoredAnswers) {
    CHost host;
    FillSampleHost(host);
    host.m_nBackups = -1; // never answered: an empty list that must be chosen
    CTestAssistant a(nullptr, host, true);
    a.show();
    EXPECT_EQ(a.GetPage(3)->m_arrFeatureMarks.size(), size_t(FEATURE_COUNT));
    a.next();
    EXPECT_EQ(Edit(a, "Hosting Company Name")->text(), "Acme Hosting");
    EXPECT_EQ(Edit(a, "Hosting Company Website")->text(), "http://www.acme.example");
    EXPECT_EQ(Edit(a, "Hosting Company Test URL*")->text(),
              "https://shared7.acme.example/index.html");
    for (int nPage = 1; nPage < 5; ++nPage) {
        a.next();
        ASSERT_EQ(a.currentId(), nPage + 1);
        for (const SListField& f : g_arrPageLists[nPage + 1])
            EXPECT_EQ(List(a, nPage + 1, f.pszName)->currentIndex(), host.*f.pField) << f.pszName;
    }
    a.next();
    EXPECT_EQ(a.currentId(), 5);
    EXPECT_EQ(a.m_arrMessages, std::vector<std::string>{MISSING});
    List(a, 5, "Backups")->setCurrentIndex(2);
    a.next();
    ASSERT_EQ(a.currentId(), 6);
    EXPECT_EQ(List(a, 6, "Features Rating")->currentIndex(), 4);
    CListCtrlEx* pFeatures = Features(a);
    // The page's marks start as the host's (any value but 0 is a tick).
    EXPECT_EQ(a.GetPage(6)->m_arrFeatureMarks[36], 7u);
    for (int i = 0; i < FEATURE_COUNT; ++i)
        EXPECT_EQ(pFeatures->GetStateImage(i),
                  i == 0 || i == 36 ? CListCtrlEx::IMAGE_TICKED : CListCtrlEx::IMAGE_EMPTY);
    // Nothing ticked is valid: 37 zero flags.
    ClickTick(pFeatures, 0);
    ClickTick(pFeatures, 36);
    EXPECT_EQ(pFeatures->GetStateImage(36), CListCtrlEx::IMAGE_EMPTY);
    Button(a, QWizard::FinishButton)->click();
    EXPECT_EQ(a.result(), QDialog::Accepted);
    host.m_bResolved = 1;
    host.m_nTests = 12; // the worker's figures are not the assistant's to change
    a.Commit(host);
    EXPECT_EQ(std::count(std::begin(host.m_arrFeatures), std::end(host.m_arrFeatures), 0),
              FEATURE_COUNT);
    EXPECT_EQ(host.m_nBackups, 2);
    EXPECT_EQ(host.m_nStorage, 21);
    EXPECT_EQ(host.m_strTestURL, "https://shared7.acme.example/index.html");
    EXPECT_EQ(host.m_bResolved, 0);
    EXPECT_EQ(host.m_nTests, 12);
}

TEST_F(HostAssistantTest, CancelQuestionOnlyInModifyAfterTheFirstPage) {
    // Add: Cancel closes at once on every page.
    for (int nPage = 0; nPage < 7; ++nPage) {
        CHost host;
        CTestAssistant a(nullptr, host, false);
        WalkTo(a, nPage);
        Button(a, QWizard::CancelButton)->click();
        EXPECT_FALSE(a.isVisible());
        EXPECT_EQ(a.result(), QDialog::Rejected);
        EXPECT_TRUE(a.m_arrQuestions.empty());
    }
    // Modify: page 1 closes at once; pages 2 to 7 ask, and No keeps everything as it was.
    for (int nPage = 0; nPage < 7; ++nPage) {
        SCOPED_TRACE(nPage);
        CHost host;
        FillSampleHost(host);
        CTestAssistant a(nullptr, host, true);
        WalkTo(a, nPage);
        if (nPage == 0) {
            Button(a, QWizard::CancelButton)->click();
            EXPECT_FALSE(a.isVisible());
            EXPECT_TRUE(a.m_arrQuestions.empty());
            continue;
        }
        Edit(a, "Hosting Company Name")->setText("Changed");
        a.m_bAnswerYes = false;
        Button(a, QWizard::CancelButton)->click();
        EXPECT_TRUE(a.isVisible());
        EXPECT_EQ(a.currentId(), nPage);
        EXPECT_EQ(Edit(a, "Hosting Company Name")->text(), "Changed");
        a.m_bAnswerYes = true;
        a.reject(); // Escape and the window's close box come here as well
        EXPECT_FALSE(a.isVisible());
        EXPECT_EQ(a.m_arrQuestions, std::vector<std::string>(2, CANCEL_QUESTION));
    }
}

TEST_F(HostAssistantTest, RunChangesTheHostOnlyOnFinish) {
    // Add, cancelled after three pages were answered: the new record stays blank.
    CHost blank;
    QTimer::singleShot(0, [] {
        auto* p = qobject_cast<CHostAssistant*>(QApplication::activeModalWidget());
        ASSERT_NE(p, nullptr);
        WalkTo(*p, 4);
        p->button(QWizard::CancelButton)->click();
    });
    EXPECT_FALSE(CHostAssistant::Run(nullptr, blank, false));
    EXPECT_EQ(blank.m_strName, "");
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        EXPECT_EQ(blank.Answer(i), -1) << i;

    CHost host;
    FillSampleHost(host);
    host.m_bResolved = 1;
    // Cancel on the first page: no question, nothing changes.
    QTimer::singleShot(0, [] {
        auto* p = qobject_cast<QWizard*>(QApplication::activeModalWidget());
        ASSERT_NE(p, nullptr);
        p->button(QWizard::CancelButton)->click();
    });
    EXPECT_FALSE(CHostAssistant::Run(nullptr, host, true));
    EXPECT_EQ(host.m_strName, "Acme Hosting");
    EXPECT_EQ(host.m_bResolved, 1);

    // Finish after changing the name: the host takes it and will be resolved again.
    QTimer::singleShot(0, [] {
        auto* p = qobject_cast<CHostAssistant*>(QApplication::activeModalWidget());
        ASSERT_NE(p, nullptr);
        p->next();
        Edit(*p, "Hosting Company Name")->setText("Renamed");
        while (p->currentId() < 6)
            p->next();
        p->button(QWizard::FinishButton)->click();
    });
    EXPECT_TRUE(CHostAssistant::Run(nullptr, host, true));
    EXPECT_EQ(host.m_strName, "Renamed");
    EXPECT_EQ(host.m_nStorage, 21);
    EXPECT_EQ(host.m_arrFeatures[36], 7);
    EXPECT_EQ(host.m_bResolved, 0);
}
