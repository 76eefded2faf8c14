#pragma once

#include <string>
#include <vector>

// The fixed lists behind every stored answer. A stored value is a 0-based position in one of
// them (-1 = not answered, which has no text). Positions are part of the data file's meaning:
// these lists are never reordered or shortened.
enum EAnswerList {
    ANSWERS_YES_NO,
    ANSWERS_EMAIL_ACCOUNTS,
    ANSWERS_RESPONSE_TIME,
    ANSWERS_RATING,
    ANSWERS_BACKUPS,
    ANSWERS_STORAGE,
    ANSWERS_TRANSFER,
    ANSWERS_COST,
    ANSWERS_FEATURES,
    ANSWER_LIST_COUNT
};

// The items of a list in position order; the drop-down lists and the arrays below share it.
const std::vector<std::string>& GetAnswerList(EAnswerList eList);

// The item at nPosition, or an empty text when nPosition is not a position of the list.
const std::string& GetAnswerText(EAnswerList eList, int nPosition);

extern const std::vector<std::string>& g_arrStorage;
extern const std::vector<std::string>& g_arrTransfer;
extern const std::vector<std::string>& g_arrCost;
extern const std::vector<std::string>& g_arrFeatures;
