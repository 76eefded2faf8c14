#include "report/weighting_dialog.h"

#include "assistant/gui_test_app.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char* const CAPTIONS[ATTRIBUTE_COUNT] = {"Storage Space",
                                               "Bandwidth",
                                               "12-month cost",
                                               "E-mail features",
                                               "Support",
                                               "Redundancy Features",
                                               "General Hosting Features",
                                               "Connection Speed",
                                               "Uptime"};
const char* const HINTS[ATTRIBUTE_COUNT] = {"(Space on the server)",
                                            "(Transfer amount)",
                                            "(Total costs including setup)",
                                            "(E-mail addresses etc.)",
                                            "(Getting looked after if you have problems)",
                                            "(Backups etc.)",
                                            "(Extra hosting features)",
                                            "(How fast the server connects)",
                                            "(The amount of time the server is available)"};

QPushButton* Button(CWeightingDialog& dlg, QDialogButtonBox::StandardButton e) {
    return dlg.findChild<QDialogButtonBox*>()->button(e);
}

class WeightingDialogTest : public ::testing::Test {
protected:
    void SetUp() override { GuiTestApp(); }
};

} // namespace

TEST_F(WeightingDialogTest, TextsAndLists) {
    CWeightingDialog dlg(nullptr);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Vantrel");
    std::vector<QString> arrTexts;
    for (QLabel* p : dlg.findChildren<QLabel*>())
        arrTexts.push_back(p->text());
    auto has = [&](const char* psz) {
        return std::count(arrTexts.begin(), arrTexts.end(), QString::fromLatin1(psz)) == 1;
    };
    EXPECT_TRUE(has("Generate Host Comparison"));
    EXPECT_TRUE(has("Weighting of host attributes"));
    EXPECT_TRUE(has(CWeightingDialog::EXPLANATION));
    EXPECT_TRUE(std::string(CWeightingDialog::EXPLANATION)
                    .starts_with("Every person has different views on what is important"));
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a) {
        EXPECT_TRUE(has(CAPTIONS[a])) << CAPTIONS[a];
        EXPECT_TRUE(has(HINTS[a])) << HINTS[a];
        QComboBox* pList = dlg.m_arrLists[a];
        EXPECT_EQ(pList->objectName(), CAPTIONS[a]);
        EXPECT_FALSE(pList->isEditable());
        ASSERT_EQ(pList->count(), 10);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(pList->itemText(i), QString::number(i + 1));
    }
}

TEST_F(WeightingDialogTest, EveryOpeningStartsAtTen) {
    {
        CWeightingDialog dlg(nullptr);
        dlg.show();
        for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
            dlg.m_arrLists[a]->setCurrentIndex(a);
        Button(dlg, QDialogButtonBox::Ok)->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.m_arrWeights[0], "1");
        EXPECT_EQ(dlg.m_arrWeights[8], "9");
        EXPECT_EQ(dlg.GetWeights(), (CReportWeights{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }
    CWeightingDialog dlg(nullptr);
    dlg.show();
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
        EXPECT_EQ(dlg.m_arrLists[a]->currentText(), "10");
    Button(dlg, QDialogButtonBox::Ok)->click();
    for (const std::string& str : dlg.m_arrWeights)
        EXPECT_EQ(str, "10");
    EXPECT_EQ(dlg.GetWeights(), (CReportWeights{10, 10, 10, 10, 10, 10, 10, 10, 10}));
}

TEST_F(WeightingDialogTest, CancelLeavesTheWeightsEmpty) {
    CWeightingDialog dlg(nullptr);
    dlg.show();
    dlg.m_arrLists[4]->setCurrentIndex(2);
    Button(dlg, QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    for (const std::string& str : dlg.m_arrWeights)
        EXPECT_EQ(str, "");
}
