#include "core/outages.h"

#include <algorithm>

bool COutageBuilder::IsBreak(int64_t tFrom, int64_t tTo) const {
    if (tTo < tFrom)
        return true;
    const int64_t nGap = tTo - tFrom;
    return nGap > MIN_BREAK_SECONDS && (m_nShortestSpacing < 0 || nGap > 3 * m_nShortestSpacing);
}

void COutageBuilder::EndAtLastDown() {
    if (!m_bOpen)
        return;
    m_arrOutages.back().tEnd = m_tLastDown;
    m_arrOutages.back().bEndUnknown = true;
    m_bOpen = false;
}

void COutageBuilder::Add(const CTestRecord& test) {
    if (m_bAny) {
        if (IsBreak(m_tPrevious, test.tWhen)) {
            EndAtLastDown();
            // Times before a clock set back say nothing about the ones after it.
            if (test.tWhen < m_tPrevious)
                m_tLastUp = 0;
        } else if (const int64_t nSpacing = test.tWhen - m_tPrevious;
                   nSpacing > 0 && (m_nShortestSpacing < 0 || nSpacing < m_nShortestSpacing))
            m_nShortestSpacing = nSpacing;
    }
    m_bAny = true;
    m_tPrevious = test.tWhen;
    if (test.bUp) {
        if (m_bOpen) {
            m_arrOutages.back().tEnd = test.tWhen;
            m_bOpen = false;
        }
        m_tLastUp = test.tWhen;
        return;
    }
    m_tLastDown = test.tWhen;
    if (m_bOpen) {
        ++m_arrOutages.back().nTests;
        return;
    }
    COutage outage;
    outage.tStart = test.tWhen;
    outage.tLastSeenUp = m_tLastUp;
    outage.strReason = test.strReason;
    outage.nTests = 1;
    m_arrOutages.push_back(std::move(outage));
    m_bOpen = true;
}

std::vector<COutage> COutageBuilder::Finish(int64_t tNow) {
    if (m_bOpen && IsBreak(m_tLastDown, std::max(tNow, m_tLastDown)))
        EndAtLastDown();
    std::vector<COutage> arrOutages = std::move(m_arrOutages);
    *this = COutageBuilder();
    return arrOutages;
}

std::vector<COutage> COutageBuilder::Build(const std::vector<CTestRecord>& arrTests, int64_t tNow) {
    COutageBuilder builder;
    for (const CTestRecord& test : arrTests)
        builder.Add(test);
    return builder.Finish(tNow);
}
