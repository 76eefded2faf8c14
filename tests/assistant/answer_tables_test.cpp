#include "assistant/answer_tables.h"

#include <gtest/gtest.h>

TEST(AnswerTables, LengthsAndBoundaries) {
    EXPECT_EQ(GetAnswerList(ANSWERS_YES_NO).size(), 2u);
    EXPECT_EQ(GetAnswerList(ANSWERS_EMAIL_ACCOUNTS).size(), 21u);
    EXPECT_EQ(GetAnswerList(ANSWERS_EMAIL_ACCOUNTS)[20], "20+");
    EXPECT_EQ(GetAnswerList(ANSWERS_RESPONSE_TIME)[0], "Didn't Respond");
    EXPECT_EQ(GetAnswerList(ANSWERS_RATING).size(), 10u);
    EXPECT_EQ(GetAnswerList(ANSWERS_BACKUPS)[3], "None");

    ASSERT_EQ(g_arrStorage.size(), 22u);
    EXPECT_EQ(g_arrStorage[0], "> 1 meg");
    EXPECT_EQ(g_arrStorage[21], "1000+ meg");

    ASSERT_EQ(g_arrTransfer.size(), 51u);
    EXPECT_EQ(g_arrTransfer[0], ">500 meg");
    EXPECT_EQ(g_arrTransfer[2], "1 gb");
    EXPECT_EQ(g_arrTransfer[41], "40 gb");
    EXPECT_EQ(g_arrTransfer[42], "40 - 44 gb");
    EXPECT_EQ(g_arrTransfer[50], "100+ gb");

    ASSERT_EQ(g_arrCost.size(), 52u);
    EXPECT_EQ(g_arrCost[0], "> $5");
    EXPECT_EQ(g_arrCost[1], "$5 - $9");
    EXPECT_EQ(g_arrCost[23], "$115 - $119");
    EXPECT_EQ(g_arrCost[24], "$120 - $129");
    EXPECT_EQ(g_arrCost[36], "$240 - $249");
    EXPECT_EQ(g_arrCost[37], "$250 - $274");
    EXPECT_EQ(g_arrCost[50], "$575 - $599");
    EXPECT_EQ(g_arrCost[51], "$600+");

    ASSERT_EQ(g_arrFeatures.size(), 37u);
    EXPECT_EQ(g_arrFeatures[0], "Unix Operating System");
    EXPECT_EQ(g_arrFeatures[16], "Database Support (eg. MySQL)");
    EXPECT_EQ(g_arrFeatures[36], "Other");
}

TEST(AnswerTables, OutOfRangePositionsHaveNoText) {
    EXPECT_EQ(GetAnswerText(ANSWERS_COST, -1), "");
    EXPECT_EQ(GetAnswerText(ANSWERS_COST, 52), "");
    EXPECT_EQ(GetAnswerText(ANSWERS_COST, 51), "$600+");
}
