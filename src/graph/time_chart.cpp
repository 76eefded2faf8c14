#include "graph/time_chart.h"

#include "graph/comparison_chart.h"

#include <QPainter>

#include <algorithm>
#include <ctime>

namespace {

// English month names whatever the locale: the chart's texts are Latin-1.
const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

enum EUnit { HOURS, DAYS, MONTHS_UNIT };

struct CStep {
    EUnit eUnit;
    int nCount;
    int64_t nApproxSeconds;
};

const CStep STEPS[] = {{HOURS, 1, 3600},
                       {HOURS, 2, 7200},
                       {HOURS, 3, 10800},
                       {HOURS, 6, 21600},
                       {HOURS, 12, 43200},
                       {DAYS, 1, 86400},
                       {DAYS, 2, 2 * 86400},
                       {DAYS, 7, 7 * 86400},
                       {DAYS, 14, 14 * 86400},
                       {MONTHS_UNIT, 1, 30 * 86400},
                       {MONTHS_UNIT, 3, 91 * 86400},
                       {MONTHS_UNIT, 6, 182 * 86400},
                       {MONTHS_UNIT, 12, 365 * 86400}};

std::string Label(const CStep& step, const struct tm& tmAt) {
    char szText[32];
    if (step.eUnit == HOURS)
        std::snprintf(szText, sizeof(szText), "%02d:%02d", tmAt.tm_hour, tmAt.tm_min);
    else if (step.eUnit == DAYS)
        std::snprintf(szText, sizeof(szText), "%s %02d", MONTHS[tmAt.tm_mon], tmAt.tm_mday);
    else if (step.nCount < 12)
        std::snprintf(szText, sizeof(szText), "%s %d", MONTHS[tmAt.tm_mon], tmAt.tm_year + 1900);
    else
        std::snprintf(szText, sizeof(szText), "%d", tmAt.tm_year + 1900);
    return szText;
}

} // namespace

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

std::vector<std::pair<int64_t, std::string>> CTimeChart::Ticks(int64_t tFrom, int64_t tTo,
                                                               int nMax) {
    std::vector<std::pair<int64_t, std::string>> arrTicks;
    if (tTo <= tFrom)
        return arrTicks;
    const CStep* pStep = std::end(STEPS) - 1;
    for (const CStep& step : STEPS)
        if ((tTo - tFrom) / step.nApproxSeconds <= std::max(nMax, 1)) {
            pStep = &step;
            break;
        }
    const time_t tStart = static_cast<time_t>(tFrom);
    struct tm tmAt = {};
    if (!localtime_r(&tStart, &tmAt))
        return arrTicks;
    // The round time at or before the start, then forward in steps of the calendar.
    tmAt.tm_sec = tmAt.tm_min = 0;
    if (pStep->eUnit == HOURS)
        tmAt.tm_hour -= tmAt.tm_hour % pStep->nCount;
    else
        tmAt.tm_hour = 0;
    if (pStep->eUnit == MONTHS_UNIT) {
        tmAt.tm_mday = 1;
        tmAt.tm_mon -= tmAt.tm_mon % pStep->nCount;
    }
    for (int nGuard = 0; nGuard < 1000; ++nGuard) {
        tmAt.tm_isdst = -1;
        struct tm tmNormal = tmAt;
        const int64_t t = mktime(&tmNormal);
        if (t >= tTo || t == -1)
            break;
        if (t >= tFrom)
            arrTicks.emplace_back(t, Label(*pStep, tmNormal));
        tmAt = tmNormal;
        (pStep->eUnit == HOURS  ? tmAt.tm_hour
         : pStep->eUnit == DAYS ? tmAt.tm_mday
                                : tmAt.tm_mon) += pStep->nCount;
    }
    return arrTicks;
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
    for (const auto& [t, strLabel] : Ticks(m_tFrom, m_tTo, std::max(2, nPlotWidth / 110)))
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
