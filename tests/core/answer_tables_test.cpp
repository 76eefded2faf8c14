#include "core/answer_tables.h"

#include <gtest/gtest.h>

using Texts = std::vector<std::string>;

// The entries of arrList at the given positions.
static Texts At(const Texts& arrList, std::vector<size_t> arrPositions) {
    Texts arrTexts;
    for (size_t n : arrPositions)
        arrTexts.push_back(arrList.at(n));
    return arrTexts;
}

TEST(AnswerTables, LengthsBoundariesAndOutOfRangePositions) {
    EXPECT_EQ(std::vector({GetAnswerList(ANSWERS_YES_NO).size(),
                           GetAnswerList(ANSWERS_EMAIL_ACCOUNTS).size(),
                           GetAnswerList(ANSWERS_RATING).size(), g_arrStorage.size(),
                           g_arrTransfer.size(), g_arrCost.size(), g_arrFeatures.size()}),
              std::vector<size_t>({2, 21, 10, 22, 51, 52, 37}));
    EXPECT_EQ(GetAnswerList(ANSWERS_EMAIL_ACCOUNTS).at(20) + "|" +
                  GetAnswerList(ANSWERS_RESPONSE_TIME).at(0) + "|" +
                  GetAnswerList(ANSWERS_BACKUPS).at(3),
              "20+|Didn't Respond|None");
    EXPECT_EQ(At(g_arrStorage, {0, 21}), (Texts{"> 1 meg", "1000+ meg"}));
    EXPECT_EQ(At(g_arrTransfer, {0, 2, 41, 42, 50}),
              (Texts{">500 meg", "1 gb", "40 gb", "40 - 44 gb", "100+ gb"}));
    EXPECT_EQ(At(g_arrCost, {0, 1, 23, 24, 36, 37, 50, 51}),
              (Texts{"> $5", "$5 - $9", "$115 - $119", "$120 - $129", "$240 - $249", "$250 - $274",
                     "$575 - $599", "$600+"}));
    EXPECT_EQ(At(g_arrFeatures, {0, 16, 36}),
              (Texts{"Unix Operating System", "Database Support (eg. MySQL)", "Other"}));
    EXPECT_EQ(GetAnswerText(ANSWERS_COST, -1) + "|" + GetAnswerText(ANSWERS_COST, 52) + "|" +
                  GetAnswerText(ANSWERS_COST, 51),
              "||$600+");
}
