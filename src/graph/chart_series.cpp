#include "graph/chart_series.h"

#include <algorithm>
#include <cmath>

bool CChartSeries::IsSkipped(double dValue) {
    return dValue == EMPTY_POINT || !std::isfinite(dValue);
}

void CChartSeries::SetSize(int nSize) {
    m_nSize = std::clamp(nSize, 1, 10);
}

bool CChartSeries::SetPoint(int nIndex, double dValue) {
    if (nIndex < 0 || nIndex >= GetCount())
        return false;
    m_arrPoints[static_cast<size_t>(nIndex)] = dValue;
    return true;
}

bool CChartSeries::GetPoint(int nIndex, double& dValue) const {
    if (nIndex < 0 || nIndex >= GetCount())
        return false;
    dValue = m_arrPoints[static_cast<size_t>(nIndex)];
    return true;
}

bool CChartSeries::GetMinMax(double& dMin, double& dMax) const {
    bool bAny = false;
    for (double dValue : m_arrPoints) {
        if (IsSkipped(dValue))
            continue;
        if (!bAny || dValue < dMin)
            dMin = dValue;
        if (!bAny || dValue > dMax)
            dMax = dValue;
        bAny = true;
    }
    return bAny;
}
