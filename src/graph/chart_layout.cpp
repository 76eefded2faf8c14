#include "graph/chart_layout.h"

#include <algorithm>
#include <cmath>

namespace {

// Far enough outside any window, near enough that sums of a few of them stay in range.
constexpr double PIXEL_LIMIT = 1 << 28;

// The first multiple of dStep above dMax. For steps of 1 and more this is the integer rule
// (trunc(max) + trunc(step)) / trunc(step) * step; a finer step would divide by zero there.
double RaiseToStep(double dMax, double dStep) {
    const double dWhole = std::trunc(dStep);
    if (dWhole >= 1)
        return std::trunc((std::trunc(dMax) + dWhole) / dWhole) * dStep;
    return (std::floor(dMax / dStep) + 1) * dStep;
}

} // namespace

int CChartLayout::Trunc(double dValue) {
    if (std::isnan(dValue))
        return 0;
    return static_cast<int>(std::clamp(dValue, -PIXEL_LIMIT, PIXEL_LIMIT));
}

CChartLayout CChartLayout::Compute(int nWidth, int nHeight, bool bHasTitle, double dYStep,
                                   std::span<const CChartSeries> arrSeries) {
    CChartLayout layout;
    layout.m_rcClient = {0, 0, nWidth, nHeight};
    const int nMarginX = nWidth / 80;
    const int nMarginY = nHeight / 80;
    const CChartRect& A =
        layout.m_rcInner = {nMarginX, nMarginY, nWidth - nMarginX, nHeight - nMarginY};

    CChartRect& B = layout.m_rcBody = A;
    if (bHasTitle) {
        layout.m_rcTitle = {A.left, A.top, A.right, A.bottom / 10};
        B.top = layout.m_rcTitle.bottom;
    }

    CChartRect& Y = layout.m_rcYLabels = {B.left, B.top, B.left + (B.Width() * 10) / 100,
                                          B.top + (B.Height() * 85) / 100};
    layout.m_rcXLabels = {Y.right, Y.bottom, B.right, B.bottom};
    layout.m_rcPlot = {Y.right, B.top, B.right, Y.bottom};

    for (const CChartSeries& series : arrSeries)
        layout.m_nSlots = std::max(layout.m_nSlots, series.GetCount());
    if (layout.m_nSlots == 0)
        return layout;

    for (const CChartSeries& series : arrSeries) {
        double dMin = 0;
        double dMax = 0;
        if (!series.GetMinMax(dMin, dMax))
            continue;
        if (!layout.m_bHasScale || dMin < layout.m_dYMin)
            layout.m_dYMin = dMin;
        if (!layout.m_bHasScale || dMax > layout.m_dYMax)
            layout.m_dYMax = dMax;
        layout.m_bHasScale = true;
    }
    if (!layout.m_bHasScale)
        return layout;

    layout.m_dYMax = RaiseToStep(layout.m_dYMax, dYStep);
    layout.m_dYMin = 0;
    // Only negative values: the scale from 0 would be empty or upside down.
    if (!(layout.m_dYMax > layout.m_dYMin))
        layout.m_dYMax = dYStep;
    return layout;
}

int CChartLayout::PointX(int nIndex) const {
    const double dx = static_cast<double>(m_rcPlot.Width()) / m_nSlots;
    return m_rcPlot.left + Trunc(nIndex * dx) + Trunc(dx / 2);
}

int CChartLayout::PointY(double dValue) const {
    return m_rcPlot.bottom - Trunc(m_rcPlot.Height() * (dValue - m_dYMin) / (m_dYMax - m_dYMin));
}

double CChartLayout::BaseValue() const {
    if (m_dYMin > 0)
        return m_dYMin;
    if (m_dYMax < 0)
        return m_dYMax;
    return 0;
}

CChartRect CChartLayout::YLabelRect(int nIndex, int nDivisions) const {
    const double dv = (m_dYMax - m_dYMin) / nDivisions;
    const auto y = [&](int k) {
        return (m_rcYLabels.bottom + YLabelHeight() / 2) -
               (m_rcPlot.Height() * k * dv) / (m_dYMax - m_dYMin);
    };
    return {m_rcYLabels.left, Trunc(y(nIndex + 1)), m_rcYLabels.right, Trunc(y(nIndex))};
}

int CChartLayout::XLabelHeight() const {
    return static_cast<int>(std::trunc(m_rcXLabels.Height() / 3.0)) + 1;
}

int CChartLayout::XTitleHeight() const {
    return 2 * static_cast<int>(std::trunc(m_rcXLabels.Height() / 3.0));
}

int CChartLayout::XLabelLeft(int nIndex, int nLabels) const {
    const double dx = static_cast<double>(m_rcPlot.Width()) / nLabels;
    return m_rcXLabels.left + Trunc(nIndex * dx);
}
