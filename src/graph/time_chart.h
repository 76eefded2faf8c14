#pragma once

#include "graph/chart_ctrl.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The chart on a real time axis: the range [tFrom, tTo) is cut into equal slots, one per
// column of figures, so that the chart's slots are equal spans of time; the axis is labelled at
// round local times (hours, days, months) and periods the host was down are shaded.
class CTimeChart : public CChartCtrl {
    Q_OBJECT

public:
    static const QColor DOWN_SHADE;

    explicit CTimeChart(QWidget* pParent = nullptr);

    // Clears the series and labels: nSlots slots over [tFrom, tTo).
    void SetRange(int64_t tFrom, int64_t tTo, int nSlots);
    // Periods to shade, [start, end) each.
    void SetDownPeriods(std::vector<std::pair<int64_t, int64_t>> arrPeriods);

    // The x of a time in the plot of the last layout.
    int TimeX(int64_t tWhen) const;

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void DrawUnderSeries(QPainter& dc) override;

private:
    int64_t m_tFrom = 0;
    int64_t m_tTo = 1;
    int m_nSlots = 1;
    std::vector<std::pair<int64_t, int64_t>> m_arrDown;
};
