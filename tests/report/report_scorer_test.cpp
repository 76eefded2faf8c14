#include "report/report_scorer.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include "testing/wait_observer.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

using Scores = std::array<float, ATTRIBUTE_COUNT>;

const CReportWeights s_arrTens = {10, 10, 10, 10, 10, 10, 10, 10, 10};

float SumOfTotals(const CReportScorer& scorer) {
    float f = 0;
    for (float fTotal : scorer.m_arrTotals)
        f += fTotal;
    return f;
}

// n(n + 1) / 2 points per attribute, weighted; uptime's weight counts twice.
double ExpectedSum(size_t n, const CReportWeights& arrWeights) {
    double dWeights = 0;
    for (int a = 0; a < ATTRIBUTE_UPTIME; ++a)
        dWeights += arrWeights[a];
    dWeights += 2.0 * arrWeights[ATTRIBUTE_UPTIME];
    return static_cast<double>(n) * static_cast<double>(n + 1) / 2.0 * dWeights;
}

// The three hosts of the reference comparison: H1, H2, H3 in list order.
void MakeReferenceHosts(CReportHosts& hosts) {
    CHost& h1 = hosts.Add();
    CHost& h2 = hosts.Add();
    CHost& h3 = hosts.Add();
    for (CHost* p : hosts.Hosts()) {
        AnswerNeutrally(*p);
        p->m_nSupportRating = 4;
    }
    h1.m_nStorage = 5, h2.m_nStorage = 5, h3.m_nStorage = 2;
    h1.m_nTransfer = 10, h2.m_nTransfer = 3, h3.m_nTransfer = 7;
    h1.m_nCost = 20, h2.m_nCost = 10, h3.m_nCost = 10;
    // E-mail points 40, 20, 30.
    h1.m_nEmailAccounts = 20, h2.m_nEmailAccounts = 19, h3.m_nEmailAccounts = 19;
    h1.m_nForwarding = h1.m_nAutoresponders = h1.m_nWebMail = h1.m_nMailingLists = 0;
    h3.m_nForwarding = h3.m_nWebMail = 0;
    // Redundancy points 75, 0, 30.
    h1.m_nBackups = 0;
    h1.m_nUPS = h1.m_nGenerator = h1.m_nMonitoring = 0;
    h1.m_nBackupMail = h1.m_nFailOver = h1.m_nUptimeGuarantee = 0;
    h3.m_nBackups = 1;
    h3.m_nUPS = 0;
    h3.m_nFailOver = 0;
    h1.m_nFeatureRating = 4, h2.m_nFeatureRating = 8, h3.m_nFeatureRating = 6;
    SetPings(h1, {40, 60});
    SetPings(h3, {80});
    SetTests(h1, 7, 7);
    SetTests(h3, 100, 99);
}

TEST(ReportScorer, ReferenceComparison) {
    CReportHosts hosts;
    MakeReferenceHosts(hosts);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {0, 1, 2}, s_arrTens);

    EXPECT_EQ(scorer.m_arrEmailPoints, (std::vector<int>{40, 20, 30}));
    EXPECT_EQ(scorer.m_arrRedundancyPoints, (std::vector<int>{75, 0, 30}));
    EXPECT_EQ(scorer.m_arrAvgPing, (std::vector<uint32_t>{500, 0, 800}));
    EXPECT_EQ(scorer.m_arrHasPing, (std::vector<uint8_t>{1, 0, 1}));
    EXPECT_EQ(scorer.m_arrUptime, (std::vector<uint32_t>{1000, 0, 990}));
    EXPECT_EQ(scorer.m_arrRankScores[0], (Scores{2.5f, 3, 1, 3, 2, 3, 1, 3, 3}));
    EXPECT_EQ(scorer.m_arrRankScores[1], (Scores{2.5f, 1, 2.5f, 1, 2, 1, 3, 1, 1}));
    EXPECT_EQ(scorer.m_arrRankScores[2], (Scores{1, 2, 2.5f, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{245.0f, 160.0f, 195.0f}));
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{0, 2, 1}));
    EXPECT_EQ(SumOfTotals(scorer), 600.0f);
}

TEST(ReportScorer, SetIsTakenInListOrderWithoutRepeats) {
    CReportHosts hosts;
    MakeReferenceHosts(hosts);
    hosts.Add(); // not compared
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {2, 0, 2, 1}, s_arrTens);
    EXPECT_EQ(scorer.m_arrSet, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{245.0f, 160.0f, 195.0f}));

    // A subset ranks only among itself: H1 and H3 on their own.
    scorer.Score(hosts.Hosts(), {2, 0}, s_arrTens);
    EXPECT_EQ(scorer.m_arrSet, (std::vector<int>{0, 2}));
    EXPECT_EQ(scorer.m_arrRankScores[0], (Scores{2, 2, 1, 2, 1.5f, 2, 1, 2, 2}));
    EXPECT_EQ(scorer.m_arrRankScores[1], (Scores{1, 1, 2, 1, 1.5f, 1, 2, 1, 1}));
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{175.0f, 125.0f}));
}

TEST(ReportScorer, OneAndTwoHosts) {
    CReportHosts hosts;
    CHost& a = hosts.Add();
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), {0}, s_arrTens);
    EXPECT_EQ(scorer.m_arrRankScores[0], (Scores{1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(scorer.m_arrTotals[0], 100.0f);
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{0}));

    // The second host (later in the list) is better on every attribute.
    AnswerNeutrally(a);
    SetPings(a, {90});
    SetTests(a, 2, 1);
    CHost& b = hosts.Add();
    AnswerNeutrally(b);
    b.m_nStorage = b.m_nTransfer = b.m_nSupportRating = b.m_nFeatureRating = 1;
    a.m_nCost = 1;
    b.m_nForwarding = 0;
    b.m_nUPS = 0;
    SetPings(b, {10});
    SetTests(b, 2, 2);
    scorer.Score(hosts.Hosts(), {0, 1}, s_arrTens);
    EXPECT_EQ(scorer.m_arrRankScores[0], (Scores{1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(scorer.m_arrRankScores[1], (Scores{2, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{100.0f, 200.0f}));
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{1, 0}));
}

TEST(ReportScorer, EqualValuesShareTheMeanOfTheirPlaces) {
    CReportHosts hosts;
    for (int i = 0; i < 5; ++i)
        AnswerNeutrally(hosts.Add());
    CReportScorer scorer;
    // All equal: (n + 1) / 2 for every attribute.
    scorer.Score(hosts.Hosts(), {0, 1}, s_arrTens);
    EXPECT_EQ(scorer.m_arrRankScores[0],
              (Scores{1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f, 1.5f}));
    scorer.Score(hosts.Hosts(), {0, 1, 2}, s_arrTens);
    for (const Scores& scores : scorer.m_arrRankScores)
        EXPECT_EQ(scores, (Scores{2, 2, 2, 2, 2, 2, 2, 2, 2}));

    // Storage 3, 7, 7, 7, 1 over five hosts: the three 7s share places 1 to 3 (5 + 4 + 3) / 3.
    // Cost 2, 2, 0, 0, 2 (lower is better): 4.5, 4.5 for the zeros, then 2 for the three twos.
    const int arrStorage[] = {3, 7, 7, 7, 1};
    const int arrCost[] = {2, 2, 0, 0, 2};
    for (int i = 0; i < 5; ++i) {
        hosts[i].m_nStorage = arrStorage[i];
        hosts[i].m_nCost = arrCost[i];
    }
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens);
    const float arrStorageScores[] = {2, 4, 4, 4, 1};
    const float arrCostScores[] = {2, 2, 4.5f, 4.5f, 2};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(scorer.m_arrRankScores[i][ATTRIBUTE_STORAGE], arrStorageScores[i]) << i;
        EXPECT_EQ(scorer.m_arrRankScores[i][ATTRIBUTE_COST], arrCostScores[i]) << i;
    }
}

TEST(ReportScorer, HostsWithoutPingHistoryComeLastForSpeed) {
    CReportHosts hosts;
    for (int i = 0; i < 4; ++i)
        AnswerNeutrally(hosts.Add());
    // List order: none, 300 ms, none, 0 ms. An average of 0 still beats having no history.
    SetPings(hosts[1], {300});
    SetPings(hosts[3], {0, 0});
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens);
    const float arrSpeed[] = {1.5f, 3, 1.5f, 4};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(scorer.m_arrRankScores[i][ATTRIBUTE_SPEED], arrSpeed[i]) << i;
    EXPECT_EQ(scorer.m_arrAvgPing, (std::vector<uint32_t>{0, 3000, 0, 0}));
    EXPECT_EQ(scorer.m_arrHasPing, (std::vector<uint8_t>{0, 1, 0, 1}));
}

TEST(ReportScorer, FiguresAreTruncatedTenths) {
    CReportHosts hosts;
    CHost& a = hosts.Add();
    CHost& b = hosts.Add();
    CHost& c = hosts.Add();
    SetPings(a, {100, 100, 100, 100, 100, 100, 100, 100, 100, 105}); // 1005 / 10
    SetPings(b, {1, 0, 0});                                          // 1 / 3
    SetPings(c, {7, 0, 0, 0, 0, 0, 0, 0, 0, 0});                     // 7 / 10
    SetTests(a, 3, 2);
    SetTests(b, 3, 3);
    SetTests(c, 1000, 999);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens);
    EXPECT_EQ(scorer.m_arrAvgPing, (std::vector<uint32_t>{1005, 3, 7}));
    EXPECT_EQ(scorer.m_arrUptime, (std::vector<uint32_t>{666, 1000, 999}));
}

TEST(ReportScorer, NeverTestedHostsTieWithHostsNeverUp) {
    CReportHosts hosts;
    for (int i = 0; i < 3; ++i)
        AnswerNeutrally(hosts.Add());
    SetTests(hosts[0], 0, 0);
    SetTests(hosts[1], 5, 1);
    SetTests(hosts[2], 4, 0);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens);
    EXPECT_EQ(scorer.m_arrUptime, (std::vector<uint32_t>{0, 200, 0}));
    EXPECT_EQ(scorer.m_arrRankScores[0][ATTRIBUTE_UPTIME], 1.5f);
    EXPECT_EQ(scorer.m_arrRankScores[1][ATTRIBUTE_UPTIME], 3.0f);
    EXPECT_EQ(scorer.m_arrRankScores[2][ATTRIBUTE_UPTIME], 1.5f);
    // The uptime weight counts twice: 8 x 10 x 2 + 2 x 10 x 3 for the best.
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{190.0f, 220.0f, 190.0f}));
}

TEST(ReportScorer, EqualTotalsPutTheCheaperPlanFirstThenListOrder) {
    CReportHosts hosts;
    for (int i = 0; i < 5; ++i)
        AnswerNeutrally(hosts.Add());
    // Hosts 0 and 1: the dearer one has more storage, so their totals match; host 0 comes
    // after host 1. Hosts 2, 3 and 4 are identical and keep list order behind them.
    hosts[0].m_nCost = 9;
    hosts[0].m_nStorage = 3;
    hosts[1].m_nCost = 4;
    hosts[1].m_nStorage = 2;
    for (int i = 2; i < 5; ++i) {
        hosts[i].m_nCost = 9;
        hosts[i].m_nStorage = 2;
        hosts[i].m_nTransfer = 0;
    }
    hosts[0].m_nTransfer = hosts[1].m_nTransfer = 1;
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens);
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{330.0f, 330.0f, 280.0f, 280.0f, 280.0f}));
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{1, 0, 2, 3, 4}));

    // Two equal plans ahead of a cheaper one in the list: the cheaper one moves to the front
    // of the run, the equal costs keep their list order.
    CReportHosts tie;
    for (int i = 0; i < 3; ++i)
        AnswerNeutrally(tie.Add());
    tie[0].m_nCost = tie[1].m_nCost = 9;
    tie[0].m_nStorage = tie[1].m_nStorage = 3;
    tie[2].m_nCost = 4;
    tie[2].m_nStorage = 2;
    scorer.Score(tie.Hosts(), tie.All(), s_arrTens);
    EXPECT_EQ(scorer.m_arrTotals, (std::vector<float>{200.0f, 200.0f, 200.0f}));
    EXPECT_EQ(scorer.m_arrRowOrder, (std::vector<size_t>{2, 0, 1}));
}

TEST(ReportScorer, UnansweredQuestionsScoreByTheSameArithmetic) {
    CReportHosts hosts;
    hosts.Add(); // every answer -1, as in an old or imported file
    CHost& low = hosts.Add();
    AnswerNeutrally(low);
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens);
    // E-mail: min(-1 + 1, 20) = 0 and no "Yes"; redundancy: (3 - -1) x 5 = 20.
    EXPECT_EQ(scorer.m_arrEmailPoints, (std::vector<int>{0, 1}));
    EXPECT_EQ(scorer.m_arrRedundancyPoints, (std::vector<int>{20, 0}));
    // -1 is below every position for "higher is better", and the cheapest for cost.
    EXPECT_EQ(scorer.m_arrRankScores[0], (Scores{1, 1, 2, 1, 1, 2, 1, 1.5f, 1.5f}));
    EXPECT_EQ(SumOfTotals(scorer), ExpectedSum(2, s_arrTens));
}

TEST(ReportScorer, WeightsMultiplyInAttributeOrder) {
    CReportHosts hosts;
    MakeReferenceHosts(hosts);
    const CReportWeights arrWeights = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), arrWeights);
    // H1: 2.5 + 6 + 3 + 12 + 10 + 18 + 7 + 24 + 2 x 9 x 3
    EXPECT_EQ(scorer.m_arrTotals[0], 136.5f);
    // H2: 2.5 + 2 + 7.5 + 4 + 10 + 6 + 21 + 8 + 2 x 9 x 1
    EXPECT_EQ(scorer.m_arrTotals[1], 79.0f);
    // H3: 1 + 4 + 7.5 + 8 + 10 + 12 + 14 + 16 + 2 x 9 x 2
    EXPECT_EQ(scorer.m_arrTotals[2], 108.5f);
    EXPECT_EQ(SumOfTotals(scorer), ExpectedSum(3, arrWeights));
}

// Stands in for the wait dialog: counts its calls and shows the worker's message box when the
// worker has asked for one.
class CBoxServingObserver : public CWaitObserver {
public:
    void BeginWait() override { ++m_nBegin; }
    void StepWait() override {}
    void EndWait() override { ++m_nEnd; }
    void Serve() override {
        if (m_bBoxRequested.load())
            m_bBoxShown = true;
    }
    std::atomic<bool> m_bBoxRequested{false};
    std::atomic<bool> m_bBoxShown{false};
    int m_nBegin = 0;
    int m_nEnd = 0;
};

TEST(ReportScorer, ServesTheWorkersMessageBoxWhileWaitingForItsHostLock) {
    CReportHosts hosts;
    MakeReferenceHosts(hosts);
    CBoxServingObserver observer;
    std::promise<void> locked;
    std::thread worker([&] {
        // The worker shows some messages under the host's lock and waits for the user.
        std::lock_guard<std::recursive_timed_mutex> lock(*hosts[1].m_pMutex);
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        observer.m_bBoxRequested = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!observer.m_bBoxShown && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // A ping recorded before the lock is released is part of the figures.
        SetPings(hosts[1], {25});
    });
    locked.get_future().wait();
    CReportScorer scorer;
    scorer.Score(hosts.Hosts(), hosts.All(), s_arrTens, &observer);
    worker.join();
    EXPECT_TRUE(observer.m_bBoxShown);
    EXPECT_EQ(observer.m_nBegin, 1); // the wait dialog after the first 100 ms
    EXPECT_EQ(observer.m_nEnd, 1);
    EXPECT_EQ(scorer.m_arrAvgPing[1], 250u);
    EXPECT_EQ(scorer.m_arrRankScores[1][ATTRIBUTE_SPEED], 3.0f);
    // No lock stays taken.
    for (CHost* pHost : hosts.Hosts()) {
        EXPECT_TRUE(pHost->m_pMutex->try_lock());
        pHost->m_pMutex->unlock();
    }
}

} // namespace
