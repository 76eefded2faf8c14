#include "graph/time_chart.h"

#include "graph/comparison_chart.h"
#include "graph/history_text.h"

#include <QPainter>

#include <algorithm>

const QColor CTimeChart::DOWN_SHADE(255, 205, 205);

CTimeChart::CTimeChart(QWidget* pParent) : CChartCtrl(pParent) {}

void CTimeChart::SetRange(int64_t tFrom, int64_t tTo, int nSlots) {
    m_tFrom = tFrom;
    m_tTo = std::max(tTo, tFrom + 1);
    m_nSlots = std::max(nSlots, 1);
    for (int i = 0; i < MAX_SERIES; ++i)
        ClearPoints(i);
    Refresh();
}

void CTimeChart::SetDownPeriods(std::vector<std::pair<int64_t, int64_t>> arrPeriods) {
    m_arrDown = std::move(arrPeriods);
    Refresh();
}

int CTimeChart::TimeX(int64_t tWhen) const {
    const CChartRect& P = GetLayout().m_rcPlot;
    const double dShare = static_cast<double>(std::clamp(tWhen, m_tFrom, m_tTo) - m_tFrom) /
                          static_cast<double>(m_tTo - m_tFrom);
    return P.left + CChartLayout::Trunc(dShare * P.Width());
}

void CTimeChart::paintEvent(QPaintEvent* pEvent) {
    // A scale of round numbers: 5 or 6 steps of 1, 2 or 5 times a power of ten.
    double dMax = 0;
    for (int nSeries = 0; nSeries < MAX_SERIES; ++nSeries) {
        double dValue = 0;
        for (int i = 0; GetPoint(nSeries, i, dValue); ++i)
            if (!CChartSeries::IsSkipped(dValue))
                dMax = std::max(dMax, dValue);
    }
    const double dStep = CComparisonChart::NiceTop(dMax) / 5;
    SetYStep(dStep);
    // Labels at the slots holding round times, none so near the right end that it would be cut.
    const int nPlotWidth = width() * 9 / 10;
    for (int i = 0; i < m_nSlots; ++i)
        SetXLabel(i, std::string());
    const int64_t nSpan = m_tTo - m_tFrom;
    for (const auto& [t, strLabel] :
         CHistoryText::TimeTicks(m_tFrom, m_tTo, std::max(2, nPlotWidth / 110)))
        if ((t - m_tFrom) * 100 / nSpan < 92)
            SetXLabel(static_cast<int>((t - m_tFrom) * m_nSlots / nSpan), strLabel);
    CalcLayout();
    if (GetLayout().m_bHasScale)
        SetYDivisions(static_cast<int>(GetLayout().m_dYMax / dStep + 0.5));
    CChartCtrl::paintEvent(pEvent);
}

void CTimeChart::DrawUnderSeries(QPainter& dc) {
    const CChartRect& P = GetLayout().m_rcPlot;
    for (const auto& [tStart, tEnd] : m_arrDown) {
        if (tEnd <= m_tFrom || tStart >= m_tTo)
            continue;
        const int x1 = TimeX(tStart);
        const int x2 = std::max(TimeX(tEnd), x1 + 1); // a short outage stays visible
        dc.fillRect(QRect(x1, P.top + 1, x2 - x1, P.Height() - 1), DOWN_SHADE);
    }
}
