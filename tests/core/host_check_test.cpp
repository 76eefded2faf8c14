// Figures and points of records holding any stored value; the sanitizer build runs these too.
#include "core/host_check.h"
#include "core/hosts_file.h"
#include "core/test_files.h"
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
            EXPECT_EQ(CHostCheck::GetAnswer(host, host.*pField),
                      nValue >= 0 && nValue <= nLast ? nValue : -1)
                << nLast << " " << nValue;
        }
}

// Such a file loads as it is and is saved byte for byte: values are never changed behind the
// user's back.
TEST(HostFigures, ExtremeValuesLoadAndSaveUnchanged) {
    CTempDir dir;
    CHost host;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = i % 2 ? INT_MAX : INT_MIN;
    host.m_arrFeatures[0] = 7;
    host.m_nSecondsTested = INT_MIN, host.m_nTests = -3, host.m_nTestsUp = INT_MAX;
    *host.m_pPingHistory = {0xFFFFFFFFu};
    host.m_nPingTotal = INT_MIN, host.m_bResolved = -1, host.m_bTesting = 9;
    host.m_strName = std::string("tab\there\x7F");
    std::string strError;
    ASSERT_TRUE(CHostsFile::Save(dir / "a.dat", {&host}, INT_MIN, 160000000, false, strError));
    const std::string strBytes = ReadFileBytes(dir / "a.dat");
    std::vector<CHost*> arrHosts;
    int32_t nRun = 0, nInterval = 5;
    EXPECT_EQ(CHostsFile::Load(dir / "a.dat", arrHosts, nRun, nInterval).m_eResult,
              CHostsFile::LOAD_OK);
    ASSERT_EQ(arrHosts.size(), 1u);
    EXPECT_EQ(arrHosts[0]->GetUptimeText() + "|" + arrHosts[0]->GetAvgPingText(), "100.0%|0.0 ms");
    ASSERT_TRUE(CHostsFile::Save(dir / "b.dat", arrHosts, nRun, nInterval, false, strError));
    EXPECT_EQ(ReadFileBytes(dir / "b.dat"), strBytes);
    EXPECT_EQ(CHostCheck::ClampInterval(nInterval), 60);
    // What check says about it: every field out of bounds, in file order.
    std::vector<CHostCheck::CProblem> arrProblems;
    CHostCheck::CheckHost(*arrHosts[0], 3, arrProblems);
    CHostCheck::CheckTrailer(nRun, nInterval, arrProblems);
    std::string strProblems;
    for (const CHostCheck::CProblem& problem : arrProblems)
        if (!problem.m_strKey.starts_with("answers.") || problem.m_strKey == "answers.cost")
            strProblems += problem.Describe() + "\n";
    EXPECT_EQ(arrProblems.size(), 31u);
    EXPECT_EQ(strProblems, "host 3: key \"name\" holds a control character\n"
                           "host 3: key \"answers.cost\" must be a whole number from -1 to 51\n"
                           "host 3: key \"features[0]\" must be 0 or 1\n"
                           "host 3: key \"seconds_tested\" must be a whole number from 0 to "
                           "2147483647\n"
                           "host 3: key \"tests\" must be a whole number from 0 to 2147483647\n"
                           "host 3: key \"ping_total\" must be a whole number from 0 to "
                           "2147483647\n"
                           "host 3: key \"resolved\" must be 0 or 1\n"
                           "host 3: key \"testing\" must be 0 or 1\n"
                           "key \"run_seconds\" must be a whole number from 0 to 2147483647\n"
                           "key \"interval_minutes\" must be a whole number from 1 to 60\n");
    for (CHost* p : arrHosts)
        delete p;
}

} // namespace
