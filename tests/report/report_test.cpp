#include "report/report_history.h"
#include "report/report_scorer.h"
#include "report/report_writer.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Scores = std::array<float, ATTRIBUTE_COUNT>;

TEST(ReportScorer, WorkedExample) {
    CReportHosts hosts;
    // E-mail points 40, 20, 30; redundancy points 75, 0, 30; the second host never tested.
    SetAnswers(hosts.Add(), {5, 10, 20, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 4});
    SetAnswers(hosts.Add(), {5, 3, 10, 19, 1, 1, 1, 1, 0, 0, 0, 0, 0, 4, 3, 1, 1, 1, 1, 1, 1, 8});
    SetAnswers(hosts.Add(), {2, 7, 10, 19, 0, 1, 0, 1, 0, 0, 0, 0, 0, 4, 1, 0, 1, 1, 1, 0, 1, 6});
    SetStats(hosts[0], {40, 60}, 7, 7);
    SetStats(hosts[2], {80}, 100, 99);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {0, 1, 2}, {10, 10, 10, 10, 10, 10, 10, 10, 10});
    EXPECT_EQ(scorer.m_arrEmailPoints, (std::vector<int>{40, 20, 30}));
    EXPECT_EQ(scorer.m_arrRedundancyPoints, (std::vector<int>{75, 0, 30}));
    EXPECT_EQ(scorer.m_arrAvgPing, (std::vector<uint32_t>{500, 0, 800}));
    EXPECT_EQ(scorer.m_arrUptime, (std::vector<uint32_t>{1000, 0, 990}));
    EXPECT_EQ(scorer.m_arrRankScores, (std::vector<Scores>{{2.5f, 3, 1, 3, 2, 3, 1, 3, 3},
                                                           {2.5f, 1, 2.5f, 1, 2, 1, 3, 1, 1},
                                                           {1, 2, 2.5f, 2, 2, 2, 2, 2, 2}}));
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{245, 160, 195}));
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{0, 2, 1}));
}

// The document byte for byte; with the history, the test period goes under the title and the
// figures after the score table, the rest as without them (the two files differ only there).
TEST(ReportWriter, DocumentMatchesTheExpectedBytesWithAndWithoutHistory) {
    CTempDir dir;
    CReportHosts hosts;
    MakeThreeHosts(hosts);
    const int64_t tNow = 1796731200; // 2026-12-08 12:00 UTC
    FillHistory(dir.Path() + "/v.dat.history", hosts.Hosts(), tNow);
    CHistoryStore store;
    ASSERT_EQ(store.OpenExisting(dir.Path() + "/v.dat.history"), CHistoryStore::EOpen::OK);
    std::vector<CReportHistory> arrHistory(4);
    for (size_t i : {0, 2, 3})
        arrHistory[i] =
            CReportHistory::Measure(store, store.Find({{hosts[i].m_strName, ""}})[0], tNow);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {3, 0, 2}, {10, 5, 7, 2, 3, 6, 8, 9, 1});
    EXPECT_EQ(CReportWriter::BuildReport(hosts.Hosts(), scorer),
              ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts.html"));
    EXPECT_EQ(CReportWriter::BuildReport(hosts.Hosts(), scorer, {}, &arrHistory),
              ReadFile(VANTREL_REPORT_TEST_DATA "/data/three_hosts_history.html"));

    // Hosts without any test: the period says so.
    const std::vector<CReportHistory> arrNone(4);
    const std::string strNone = CReportWriter::BuildReport(hosts.Hosts(), scorer, {}, &arrNone);
    EXPECT_NE(strNone.find("</h2><font size=-1>Test period: no tests recorded.</font><hr"),
              std::string::npos);
}

// Two hosts alike but for one value: an unanswered answer, or one outside its table (as a
// hand-made data file may hold), ranks as the worst answer of its attribute and gives no points;
// an uptime from more tests up than tests stops at 100.0.
TEST(ReportScorer, UnansweredAnswersRankWorst) {
    // {case, attribute, value, its value in host 0 and host 1, their rank scores}
    using CRow = std::tuple<const char*, int, int32_t CHost::*, int32_t, int32_t, float, float>;
    const CRow arrRows[] = {
        {"storage unanswered", ATTRIBUTE_STORAGE, &CHost::m_nStorage, -1, 0, 1, 2},
        {"storage past the table", ATTRIBUTE_STORAGE, &CHost::m_nStorage, 999, 0, 1, 2},
        {"storage last item", ATTRIBUTE_STORAGE, &CHost::m_nStorage, 21, 0, 2, 1},
        {"cost unanswered is dearest", ATTRIBUTE_COST, &CHost::m_nCost, -1, 51, 1, 2},
        {"cost below the table", ATTRIBUTE_COST, &CHost::m_nCost, INT32_MIN, 51, 1, 2},
        {"cost both unanswered", ATTRIBUTE_COST, &CHost::m_nCost, -1, -7, 1.5f, 1.5f},
        {"support past the table", ATTRIBUTE_SUPPORT, &CHost::m_nSupportRating, INT32_MAX, 0, 1, 2},
        {"features unanswered", ATTRIBUTE_FEATURES, &CHost::m_nFeatureRating, -1, 0, 1, 2},
        {"accounts INT_MAX", ATTRIBUTE_EMAIL, &CHost::m_nEmailAccounts, INT32_MAX, 0, 1, 2},
        {"backups unanswered as None", ATTRIBUTE_REDUNDANCY, &CHost::m_nBackups, -1, 3, 1.5f, 1.5f},
        {"yes/no 7", ATTRIBUTE_REDUNDANCY, &CHost::m_nUPS, 7, 0, 1, 2},
        {"uptime past 100.0", ATTRIBUTE_UPTIME, &CHost::m_nTestsUp, 12, 10, 1.5f, 1.5f},
        {"uptime below 0", ATTRIBUTE_UPTIME, &CHost::m_nTestsUp, -1, 0, 1.5f, 1.5f},
    };
    for (const auto& [pszCase, nAttribute, pField, nA, nB, fA, fB] : arrRows) {
        CReportHosts hosts;
        for (int i = 0; i < 2; ++i) {
            SetAnswers(hosts.Add(),
                       {5, 5, 5, 5, 1, 1, 1, 1, 2, 0, 0, 0, 0, 5, 3, 1, 1, 1, 1, 1, 1, 5});
            hosts[i].m_nTests = 10, hosts[i].*pField = i ? nB : nA;
        }
        CReportScorer scorer;
        scorer.Score(hosts.Hosts(), {0, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1});
        EXPECT_EQ(scorer.m_arrRankScores[1][nAttribute], fB) << pszCase;
        for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
            EXPECT_EQ(scorer.m_arrRankScores[0][a], a == nAttribute ? fA : 1.5f) << pszCase << a;
    }
}

TEST(ReportScorer, UnansweredPointsAndTheCostTieBreak) {
    CReportHosts hosts;
    CHost& a = hosts.Add(); // better storage, unanswered cost: the same total as b
    SetAnswers(a, {6, 5, -1, -1, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0, 0, 0, -1});
    CHost& b = hosts.Add();
    SetAnswers(b, {5, 5, 51, -1, 0, 0, 0, 0, 2, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0, 0, 0, -1});
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {0, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{15, 15}));
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{1, 0})); // the answered cost is cheaper
    // Unanswered ratings print as 0, a cost without an answer as nothing; four "Yes" e-mail answers
    // and no accounts give 20 points, six "Yes" redundancy answers and no backups 60.
    const std::string strReport = CReportWriter::BuildReport(hosts.Hosts(), scorer);
    const std::string strRow = "width=14%>4 gb</td><td bgcolor=#ededed align=center width=14%></td>"
                               "<td bgcolor=#ededed align=center width=4%>20</td><td "
                               "bgcolor=#ededed align=center width=4%>0</td><td bgcolor=#ededed "
                               "align=center width=4%>60</td><td bgcolor=#ededed align=center "
                               "width=4%>0</td>";
    EXPECT_NE(strReport.find(strRow), std::string::npos) << strReport;
}

// Only web addresses become links; anything else is the escaped name alone.
TEST(ReportWriter, NameIsALinkOnlyForHttpAndHttpsAddresses) {
    const std::string N = "R & D <b>";
    // Characters XML cannot hold are left out; a name longer than import takes is cut.
    const std::tuple<std::string, std::string, std::string> arrCases[] = {
        {"HTTPS://A.example", N, "<a href=\"HTTPS://A.example\">R &amp; D &lt;b></a>"},
        {"javascript:alert(1)", N, "R &amp; D &lt;b>"},
        {"http:/a.example", N, "R &amp; D &lt;b>"},
        {std::string("http://a\0\x01.example", 18), std::string("R\0 \x1b&\x7f", 6),
         "<a href=\"http://a.example\">R &amp;\x7f</a>"},
        {"", std::string(3000, 'n'), std::string(2048, 'n')},
    };
    for (const auto& [strSite, strName, strCell] : arrCases) {
        CReportHosts hosts;
        hosts.Add().m_strName = strName;
        hosts[0].m_strWebSite = strSite;
        CReportScorer scorer;
        scorer.Score(hosts.Hosts(), {0}, {1, 1, 1, 1, 1, 1, 1, 1, 1});
        const std::string strReport = CReportWriter::BuildReport(hosts.Hosts(), scorer);
        EXPECT_NE(strReport.find("<tr><td width=30% bgcolor=#f5f5f5>&nbsp;&nbsp;" + strCell +
                                 "</td><td bgcolor=#ededed"),
                  std::string::npos)
            << strSite;
    }
}

} // namespace
