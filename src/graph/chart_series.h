#pragma once

#include <QColor>

#include <limits>
#include <vector>

// One data series of the chart: its points and how they are drawn.
class CChartSeries {
public:
    // A point with this value holds its slot but is neither scaled nor drawn.
    static constexpr double EMPTY_POINT = std::numeric_limits<double>::max();
    // Empty slots, and values that cannot be placed on a scale (infinities, NaN).
    static bool IsSkipped(double dValue);

    static constexpr int TYPE_LINE = 1;
    static constexpr int TYPE_BARS = 2;
    static constexpr int TYPE_AREA = 4;

    static constexpr int MARKER_NONE = 0;
    static constexpr int MARKER_TRIANGLE = 1;
    static constexpr int MARKER_SQUARE = 2;
    static constexpr int MARKER_CIRCLE = 4;
    static constexpr int MARKER_DIAMOND = 8;

    virtual ~CChartSeries() = default;

    virtual void SetType(int nType) { m_nType = nType; }
    virtual int GetType() const { return m_nType; }
    virtual void SetColor(const QColor& color) { m_color = color; }
    virtual QColor GetColor() const { return m_color; }
    virtual void SetSize(int nSize); // clamped to 1..10
    virtual int GetSize() const { return m_nSize; }
    virtual void SetMarker(int nMarker) { m_nMarker = nMarker; }
    virtual int GetMarker() const { return m_nMarker; }
    // False when nIndex is not an existing point.
    virtual bool SetPoint(int nIndex, double dValue);
    virtual void AddPoint(double dValue) { m_arrPoints.push_back(dValue); }
    virtual void ClearPoints() { m_arrPoints.clear(); }
    virtual bool GetPoint(int nIndex, double& dValue) const;
    virtual int GetCount() const { return static_cast<int>(m_arrPoints.size()); }
    // Smallest and largest non-empty values; false when there are none.
    virtual bool GetMinMax(double& dMin, double& dMax) const;

private:
    std::vector<double> m_arrPoints;
    QColor m_color{0, 0, 0};
    int m_nMarker = MARKER_NONE;
    int m_nSize = 2;
    int m_nType = TYPE_LINE;
};
