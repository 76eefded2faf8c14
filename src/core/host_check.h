#pragma once

#include "core/host.h"

#include <cstdint>
#include <string>
#include <vector>

// The bounds of every stored value. The data file takes any 32-bit number in every field, so
// values are checked where they enter (import) and reported by check; a file holding such
// values still loads, and the figures and scores read its answers through GetAnswer.
class CHostCheck {
public:
    static constexpr int32_t MIN_INTERVAL = 1;
    static constexpr int32_t MAX_INTERVAL = 60;

    // One value out of bounds: host index (-1 for the file's own values), key and the rule.
    struct CProblem {
        int m_nHost = -1;
        std::string m_strKey;
        std::string m_strRule;
        // "host 1: key \"answers.cost\" must be a whole number from -1 to 51"
        std::string Describe() const;
    };

    // The exchange names of the 22 answers, in file order ("storage", ..., "feature_rating").
    static const char* GetAnswerKey(int nAnswer);
    // The last position of the answer's table.
    static int32_t GetAnswerLast(int nAnswer);
    // The stored answer, or -1 (unanswered) when it is no position of its table. pField names
    // one of the answer fields (&CHost::m_nCost).
    static int32_t GetAnswer(const CHost& host, int32_t CHost::*pField);

    // Appends every problem of the record; nHost is its index in the list.
    static void CheckHost(const CHost& host, int nHost, std::vector<CProblem>& arrProblems);
    // The file's trailer: run seconds and test interval.
    static void CheckTrailer(int32_t nRunSeconds, int32_t nIntervalMinutes,
                             std::vector<CProblem>& arrProblems);
    // The interval the worker waits: a stored value outside the bounds is brought within them.
    static int32_t ClampInterval(int32_t nIntervalMinutes);
};
