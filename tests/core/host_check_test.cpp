// Figures and points of records holding any stored value; the sanitizer build runs these too.
#include "core/host_check.h"
#include "core/vantrel_doc.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(HostFigures, AnyStoredValueGivesADefinedFigure) {
    // {every answer (0: "Yes" or the first item), e-mail accounts, backups, e-mail points,
    // redundancy points}; the figures of a host never tested are "100.0%" and "- ms".
    const std::tuple<int32_t, int32_t, int32_t, int, int> arrAnswers[] = {
        {0, 0, 0, 21, 75},
        {0, 20, 3, 40, 60},
        {0, -1, -1, 20, 60},
        {-1, -1, -1, 0, 0},
        {0, 21, 4, 20, 60},
        {INT_MAX, INT_MAX, INT_MAX, 0, 0},
        {INT_MIN, INT_MIN, INT_MIN, 0, 0},
    };
    for (const auto& [nAll, nAccounts, nBackups, nEmail, nRedundancy] : arrAnswers) {
        CHost host;
        for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
            host.Answer(i) = nAll;
        host.m_nEmailAccounts = nAccounts, host.m_nBackups = nBackups;
        EXPECT_EQ(host.GetUptimeText() + "|" + host.GetAvgPingText(), "100.0%|- ms");
        EXPECT_EQ(CVantrelDoc::GetEmailPoints(host), nEmail) << nAll << " " << nAccounts;
        EXPECT_EQ(CVantrelDoc::GetRedundancyPoints(host), nRedundancy) << nAll << " " << nBackups;
    }
    // {tests, up, pings, ping total, uptime | average ping}; the points of these are 0.
    const std::tuple<int32_t, int32_t, std::vector<uint32_t>, int32_t, const char*> arrStats[] = {
        {0, 0, {}, 0, "100.0%|- ms"},
        {4, 5, {}, 0, "100.0%|- ms"},
        {4, -1, {}, 0, "0.0%|- ms"},
        {4, 3, {}, 0, "75.0%|- ms"},
        {INT_MIN, INT_MAX, {}, 0, "100.0%|- ms"},
        {INT_MAX, INT_MAX, {}, 0, "100.0%|- ms"},
        {0, 0, {1, 2}, -1000, "100.0%|0.0 ms"},
        {0, 0, {7}, INT_MAX, "100.0%|2147483647.0 ms"},
        {0, 0, {2, 3}, 5, "100.0%|2.5 ms"},
    };
    for (const auto& [nTests, nUp, arrPings, nTotal, pszFigures] : arrStats) {
        CHost host;
        host.m_nTests = nTests, host.m_nTestsUp = nUp, host.m_nPingTotal = nTotal;
        *host.m_pPingHistory = arrPings;
        EXPECT_EQ(host.GetUptimeText() + "|" + host.GetAvgPingText(), pszFigures) << pszFigures;
        EXPECT_EQ(CVantrelDoc::GetEmailPoints(host) + CVantrelDoc::GetRedundancyPoints(host), 0);
    }
}

// Answers outside their table read as unanswered; the table bounds come from the tables.
TEST(HostFigures, AnswersOutsideTheirTableReadAsUnanswered) {
    // {field, last position}
    const std::pair<int32_t CHost::*, int32_t> arrFields[] = {
        {&CHost::m_nStorage, 21},      {&CHost::m_nTransfer, 50},
        {&CHost::m_nCost, 51},         {&CHost::m_nEmailAccounts, 20},
        {&CHost::m_nResponseTime, 4},  {&CHost::m_nSupportRating, 9},
        {&CHost::m_nBackups, 3},       {&CHost::m_nUPS, 1},
        {&CHost::m_nFeatureRating, 9}, {&CHost::m_nUptimeGuarantee, 1},
    };
    for (const auto& [pField, nLast] : arrFields)
        for (int32_t nValue : {INT_MIN, -2, -1, 0, nLast, nLast + 1, INT_MAX}) {
            CHost host;
            host.*pField = nValue;
            EXPECT_EQ(CHostCheck::GetAnswer(host, pField),
                      nValue >= 0 && nValue <= nLast ? nValue : -1)
                << nLast << " " << nValue;
        }
}

} // namespace
