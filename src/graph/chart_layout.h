#pragma once

#include "graph/chart_rect.h"
#include "graph/chart_series.h"

#include <span>

// Where the chart draws what, recomputed from the control's size and data at every paint. Kept
// apart from the painting so that the geometry can be checked number by number.
class CChartLayout {
public:
    // nWidth x nHeight is the client area. bHasTitle reserves the title band.
    static CChartLayout Compute(int nWidth, int nHeight, bool bHasTitle, double dYStep,
                                std::span<const CChartSeries> arrSeries);

    // Truncation toward zero that never overflows: huge or undefined values (a damaged file
    // can hold pings of four billion ms) land far outside the control instead of in
    // undefined behaviour.
    static int Trunc(double dValue);

    // Centre of slot nIndex, and the height of value dValue on the scale.
    int PointX(int nIndex) const;
    int PointY(double dValue) const;
    // 0 clamped into the scale: the foot of areas and bars.
    double BaseValue() const;

    // Vertical-axis labels: font height, and the box of label nIndex of nDivisions + 1.
    int YLabelHeight() const { return m_rcYLabels.Width() / 4; }
    CChartRect YLabelRect(int nIndex, int nDivisions) const;
    // Horizontal-axis labels: font heights, and the left edge of label nIndex of nLabels.
    int XLabelHeight() const;
    int XTitleHeight() const;
    int XLabelLeft(int nIndex, int nLabels) const;

    CChartRect m_rcInner;
    CChartRect m_rcPlot;
    CChartRect m_rcBody;
    CChartRect m_rcXLabels;
    CChartRect m_rcYLabels;
    CChartRect m_rcTitle;
    CChartRect m_rcClient;
    int m_nSlots = 0;
    double m_dYMin = 0;
    double m_dYMax = 0;
    // False while no series holds a point that can be placed: there is no scale to draw.
    bool m_bHasScale = false;
};
