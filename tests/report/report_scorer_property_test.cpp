#include "report/report_scorer.h"
#include "report_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// The ranking written the slow, literal way: sequences built by insertion, tie groups found by
// comparing every pair, row order by insertion and repeated neighbour swaps. The scorer must
// give the same result by its own means.
class COracle {
public:
    struct SValue {
        bool bPresent; // false only for Connection Speed without ping history
        long long nValue;
    };

    COracle(const std::vector<CHost*>& arrHosts, const std::vector<int>& arrSet,
            const CReportWeights& arrWeights) {
        const size_t n = arrSet.size();
        m_arrScores.assign(n, {});
        m_arrTotals.assign(n, 0.0f);
        std::array<std::vector<SValue>, ATTRIBUTE_COUNT> arrValues;
        for (int nIndex : arrSet) {
            const CHost& h = *arrHosts[static_cast<size_t>(nIndex)];
            const size_t nPings = h.m_pPingHistory->size();
            const long long nPing =
                nPings ? static_cast<long long>(static_cast<double>(h.m_nPingTotal) /
                                                static_cast<double>(nPings) * 10.0)
                       : 0;
            const long long nUptime =
                h.m_nTests ? static_cast<long long>(static_cast<double>(h.m_nTestsUp) * 1000.0 /
                                                    static_cast<double>(h.m_nTests))
                           : 0;
            const SValue arrHost[ATTRIBUTE_COUNT] = {
                {true, h.m_nStorage},       {true, h.m_nTransfer},      {true, h.m_nCost},
                {true, EmailPoints(h)},     {true, h.m_nSupportRating}, {true, RedundancyPoints(h)},
                {true, h.m_nFeatureRating}, {nPings > 0, nPing},        {true, nUptime}};
            for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
                arrValues[a].push_back(arrHost[a]);
            m_arrPing.push_back(static_cast<uint32_t>(nPing));
            m_arrUptime.push_back(static_cast<uint32_t>(nUptime));
        }
        for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
            Rank(a, arrValues[a]);
        for (size_t k = 0; k < n; ++k) {
            float fTotal = 0.0f;
            for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
                fTotal += (a == ATTRIBUTE_UPTIME ? 2.0f : 1.0f) *
                          static_cast<float>(arrWeights[a]) * m_arrScores[k][a];
            m_arrTotals[k] = fTotal;
        }
        Order(arrHosts, arrSet);
    }

    std::vector<std::array<float, ATTRIBUTE_COUNT>> m_arrScores;
    std::vector<float> m_arrTotals;
    std::vector<uint32_t> m_arrPing;
    std::vector<uint32_t> m_arrUptime;
    std::vector<size_t> m_arrRows;

private:
    static long long EmailPoints(const CHost& h) {
        long long n = 0;
        for (int32_t v : {h.m_nForwarding, h.m_nAutoresponders, h.m_nWebMail, h.m_nMailingLists})
            n += v == 0 ? 5 : 0;
        return n + std::min(h.m_nEmailAccounts + 1, 20);
    }

    static long long RedundancyPoints(const CHost& h) {
        long long n = (3 - h.m_nBackups) * 5;
        for (int32_t v : {h.m_nUPS, h.m_nGenerator, h.m_nMonitoring})
            n += v == 0 ? 5 : 0;
        for (int32_t v : {h.m_nBackupMail, h.m_nFailOver, h.m_nUptimeGuarantee})
            n += v == 0 ? 15 : 0;
        return n;
    }

    static bool Beats(int nAttribute, const SValue& x, const SValue& y) {
        if (!x.bPresent)
            return false;
        if (!y.bPresent)
            return true;
        const bool bLowerIsBetter = nAttribute == ATTRIBUTE_COST || nAttribute == ATTRIBUTE_SPEED;
        return bLowerIsBetter ? x.nValue < y.nValue : x.nValue > y.nValue;
    }

    static bool Equal(const SValue& x, const SValue& y) {
        return x.bPresent == y.bPresent && (!x.bPresent || x.nValue == y.nValue);
    }

    void Rank(int nAttribute, const std::vector<SValue>& arrValues) {
        const size_t n = arrValues.size();
        std::vector<size_t> arrSeq;
        for (size_t k = 0; k < n; ++k) {
            size_t p = 0;
            while (p < arrSeq.size() && !Beats(nAttribute, arrValues[k], arrValues[arrSeq[p]]))
                ++p;
            arrSeq.insert(arrSeq.begin() + static_cast<std::ptrdiff_t>(p), k);
        }
        for (size_t p = 0; p < n; ++p) {
            float fSum = 0.0f;
            float fCount = 0.0f;
            for (size_t q = 0; q < n; ++q)
                if (Equal(arrValues[arrSeq[p]], arrValues[arrSeq[q]])) {
                    fSum += static_cast<float>(n - q);
                    fCount += 1.0f;
                }
            m_arrScores[arrSeq[p]][nAttribute] = fSum / fCount;
        }
    }

    void Order(const std::vector<CHost*>& arrHosts, const std::vector<int>& arrSet) {
        const size_t n = arrSet.size();
        std::vector<unsigned> arrKeys(n);
        for (size_t k = 0; k < n; ++k)
            arrKeys[k] = static_cast<unsigned>(m_arrTotals[k] * 100.0f);
        for (size_t k = 0; k < n; ++k) {
            size_t p = 0;
            while (p < m_arrRows.size() && arrKeys[m_arrRows[p]] >= arrKeys[k])
                ++p;
            m_arrRows.insert(m_arrRows.begin() + static_cast<std::ptrdiff_t>(p), k);
        }
        auto cost = [&](size_t k) { return arrHosts[static_cast<size_t>(arrSet[k])]->m_nCost; };
        for (bool bSwapped = true; bSwapped;) {
            bSwapped = false;
            for (size_t p = 0; p + 1 < n; ++p)
                if (arrKeys[m_arrRows[p]] == arrKeys[m_arrRows[p + 1]] &&
                    cost(m_arrRows[p]) > cost(m_arrRows[p + 1])) {
                    std::swap(m_arrRows[p], m_arrRows[p + 1]);
                    bSwapped = true;
                }
        }
    }
};

// Small value ranges so that ties are common; now and then unanswered questions, hosts
// without history and hosts never tested.
void RandomHost(std::mt19937& rng, CHost& host) {
    auto pick = [&rng](int nLow, int nHigh) {
        return std::uniform_int_distribution<int>(nLow, nHigh)(rng);
    };
    const bool bBlanks = pick(0, 9) == 0;
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = bBlanks && pick(0, 2) == 0 ? -1 : pick(0, 3);
    host.m_nEmailAccounts = pick(-1, 20);
    host.m_nBackups = pick(0, 3);
    for (int32_t* p : {&host.m_nForwarding, &host.m_nAutoresponders, &host.m_nWebMail,
                       &host.m_nMailingLists, &host.m_nUPS, &host.m_nGenerator, &host.m_nMonitoring,
                       &host.m_nBackupMail, &host.m_nFailOver, &host.m_nUptimeGuarantee})
        *p = pick(0, 1);
    std::vector<uint32_t> arrPings(static_cast<size_t>(pick(0, 2) == 0 ? 0 : pick(1, 6)));
    for (uint32_t& nPing : arrPings)
        nPing = static_cast<uint32_t>(pick(0, 40));
    SetPings(host, arrPings);
    const int nTests = pick(0, 3) == 0 ? 0 : pick(1, 9);
    SetTests(host, nTests, pick(0, nTests));
}

TEST(ReportScorerProperty, AgreesWithTheLiteralProcedureOnRandomComparisons) {
    std::mt19937 rng(20261206);
    for (int nRound = 0; nRound < 600; ++nRound) {
        CReportHosts hosts;
        const int nHosts = std::uniform_int_distribution<int>(1, nRound < 500 ? 12 : 150)(rng);
        for (int i = 0; i < nHosts; ++i)
            RandomHost(rng, hosts.Add());
        std::vector<int> arrSet;
        for (int i = 0; i < nHosts; ++i)
            if (rng() % 4 != 0)
                arrSet.push_back(i);
        if (arrSet.empty())
            arrSet.push_back(nHosts - 1);
        CReportWeights arrWeights;
        for (int& nWeight : arrWeights)
            nWeight = std::uniform_int_distribution<int>(1, 10)(rng);

        CReportScorer scorer;
        scorer.Score(hosts.Hosts(), arrSet, arrWeights);
        const COracle oracle(hosts.Hosts(), arrSet, arrWeights);
        SCOPED_TRACE("round " + std::to_string(nRound));
        const size_t n = arrSet.size();
        ASSERT_EQ(scorer.GetCount(), n);
        ASSERT_EQ(scorer.m_arrRankScores, oracle.m_arrScores);
        ASSERT_EQ(scorer.m_arrTotals, oracle.m_arrTotals);
        ASSERT_EQ(scorer.m_arrRowOrder, oracle.m_arrRows);
        ASSERT_EQ(scorer.m_arrAvgPing, oracle.m_arrPing);
        ASSERT_EQ(scorer.m_arrUptime, oracle.m_arrUptime);

        double dSum = 0;
        for (size_t k = 0; k < n; ++k) {
            for (float fScore : scorer.m_arrRankScores[k]) {
                ASSERT_GE(fScore, 1.0f);
                ASSERT_LE(fScore, static_cast<float>(n));
                ASSERT_EQ(fScore * 2.0f, std::floor(fScore * 2.0f)) << fScore;
            }
            dSum += scorer.m_arrTotals[k];
        }
        double dWeights = 2.0 * arrWeights[ATTRIBUTE_UPTIME];
        for (int a = 0; a < ATTRIBUTE_UPTIME; ++a)
            dWeights += arrWeights[a];
        ASSERT_EQ(dSum, static_cast<double>(n * (n + 1)) / 2.0 * dWeights);
    }
}

} // namespace
