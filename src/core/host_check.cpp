#include "core/host_check.h"

#include "core/answer_tables.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace {

struct SAnswer {
    const char* pszKey;
    EAnswerList eList;
};

// File order of the answers, with the table each one indexes.
constexpr SAnswer s_arrAnswers[CHost::ANSWER_COUNT] = {
    {"storage", ANSWERS_STORAGE},
    {"transfer", ANSWERS_TRANSFER},
    {"cost", ANSWERS_COST},
    {"email_accounts", ANSWERS_EMAIL_ACCOUNTS},
    {"forwarding", ANSWERS_YES_NO},
    {"autoresponders", ANSWERS_YES_NO},
    {"web_mail", ANSWERS_YES_NO},
    {"mailing_lists", ANSWERS_YES_NO},
    {"response_time", ANSWERS_RESPONSE_TIME},
    {"online_docs", ANSWERS_YES_NO},
    {"help_desk", ANSWERS_YES_NO},
    {"forums", ANSWERS_YES_NO},
    {"toll_free", ANSWERS_YES_NO},
    {"support_rating", ANSWERS_RATING},
    {"backups", ANSWERS_BACKUPS},
    {"ups", ANSWERS_YES_NO},
    {"generator", ANSWERS_YES_NO},
    {"monitoring", ANSWERS_YES_NO},
    {"backup_mail", ANSWERS_YES_NO},
    {"fail_over", ANSWERS_YES_NO},
    {"uptime_guarantee", ANSWERS_YES_NO},
    {"feature_rating", ANSWERS_RATING},
};

constexpr int32_t INT32_LAST = std::numeric_limits<int32_t>::max();

std::string Range(int64_t nMin, int64_t nMax) {
    return "must be a whole number from " + std::to_string(nMin) + " to " + std::to_string(nMax);
}

void CheckRange(int32_t nValue, int32_t nMin, int32_t nMax, int nHost, const std::string& strKey,
                std::vector<CHostCheck::CProblem>& arrProblems) {
    if (nValue < nMin || nValue > nMax)
        arrProblems.push_back({nHost, strKey, Range(nMin, nMax)});
}

void CheckFlag(int32_t nValue, int nHost, const std::string& strKey,
               std::vector<CHostCheck::CProblem>& arrProblems) {
    if (nValue != 0 && nValue != 1)
        arrProblems.push_back({nHost, strKey, "must be 0 or 1"});
}

void CheckText(const std::string& strText, int nHost, const std::string& strKey,
               std::vector<CHostCheck::CProblem>& arrProblems) {
    if (std::any_of(strText.begin(), strText.end(), [](char ch) {
            const auto nByte = static_cast<unsigned char>(ch);
            return nByte < 0x20 || nByte == 0x7F;
        }))
        arrProblems.push_back({nHost, strKey, "holds a control character"});
}

} // namespace

std::string CHostCheck::CProblem::Describe() const {
    return (m_nHost >= 0 ? "host " + std::to_string(m_nHost) + ": key \"" : std::string("key \"")) +
           m_strKey + "\" " + m_strRule;
}

const char* CHostCheck::GetAnswerKey(int nAnswer) {
    return s_arrAnswers[nAnswer].pszKey;
}

int32_t CHostCheck::GetAnswerLast(int nAnswer) {
    return static_cast<int32_t>(GetAnswerList(s_arrAnswers[nAnswer].eList).size()) - 1;
}

int32_t CHostCheck::GetAnswer(const CHost& host, int32_t CHost::*pField) {
    const int32_t& nField = host.*pField;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        if (&host.Answer(i) == &nField)
            return nField >= -1 && nField <= GetAnswerLast(i) ? nField : -1;
    assert(!"GetAnswer takes answer fields only");
    return -1;
}

void CHostCheck::CheckHost(const CHost& host, int nHost, std::vector<CProblem>& arrProblems) {
    CheckText(host.m_strName, nHost, "name", arrProblems);
    CheckText(host.m_strWebSite, nHost, "website", arrProblems);
    CheckText(host.m_strTestURL, nHost, "test_url", arrProblems);
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        CheckRange(host.Answer(i), -1, GetAnswerLast(i), nHost,
                   std::string("answers.") + GetAnswerKey(i), arrProblems);
    for (int i = 0; i < FEATURE_COUNT; ++i)
        CheckFlag(host.m_arrFeatures[i], nHost, "features[" + std::to_string(i) + "]", arrProblems);
    CheckRange(host.m_nSecondsTested, 0, INT32_LAST, nHost, "seconds_tested", arrProblems);
    CheckRange(host.m_nTests, 0, INT32_LAST, nHost, "tests", arrProblems);
    CheckRange(host.m_nTestsUp, 0, INT32_LAST, nHost, "tests_up", arrProblems);
    if (host.m_nTestsUp > host.m_nTests && host.m_nTests >= 0)
        arrProblems.push_back(
            {nHost, "tests_up",
             "must not be greater than \"tests\" (" + std::to_string(host.m_nTests) + ")"});
    CheckRange(host.m_nPingTotal, 0, INT32_LAST, nHost, "ping_total", arrProblems);
    CheckFlag(host.m_bResolved, nHost, "resolved", arrProblems);
    CheckFlag(host.m_bTesting, nHost, "testing", arrProblems);
}

void CHostCheck::CheckTrailer(int32_t nRunSeconds, int32_t nIntervalMinutes,
                              std::vector<CProblem>& arrProblems) {
    CheckRange(nRunSeconds, 0, INT32_LAST, -1, "run_seconds", arrProblems);
    CheckRange(nIntervalMinutes, MIN_INTERVAL, MAX_INTERVAL, -1, "interval_minutes", arrProblems);
}

int32_t CHostCheck::ClampInterval(int32_t nIntervalMinutes) {
    return std::clamp(nIntervalMinutes, MIN_INTERVAL, MAX_INTERVAL);
}
