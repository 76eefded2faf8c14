#pragma once

#include "graph/chart_layout.h"
#include "graph/chart_series.h"

#include <QColor>
#include <QFont>
#include <QWidget>
#include <QtMath>

#include <array>
#include <string>
#include <vector>

class QPainter;

// A chart of up to 64 series of values against one vertical scale that starts at 0, with a
// title, axis titles, slot labels below and numeric labels left. It keeps its data and paints
// everything from it at every repaint. Texts are ISO-8859-1.
class CChartCtrl : public QWidget {
    Q_OBJECT

public:
    static constexpr int MAX_SERIES = 64;

    explicit CChartCtrl(QWidget* pParent = nullptr);

    bool SetXLabelStep(int nStep); // below 2 means every label
    int GetXLabelStep() const { return m_nXLabelStep; }
    bool SetXLabel(int nSlot, const std::string& strLabel);
    bool GetXLabel(int nSlot, std::string& strLabel) const;
    bool SetXAxisTitle(const std::string& strTitle);
    std::string GetXAxisTitle() const { return m_strXAxisTitle; }
    bool SetYAxisTitle(const std::string& strTitle);
    std::string GetYAxisTitle() const { return m_strYAxisTitle; }
    bool SetYStep(double dStep);                 // refuses steps that are not above 0
    double GetYStep() const { return m_dYStep; } // the setter's pair, for callers that adjust it
    bool ShowYLabels(bool bShow);
    bool SetYDivisions(int nDivisions); // clamped to 0..100
    int GetYDivisions() const { return m_nYDivisions; }
    bool SetTitle(const std::string& strTitle);
    std::string GetTitle() const { return m_strTitle; }
    bool SetBackgroundColor(const QColor& color);
    QColor GetBackgroundColor() const { return m_backgroundColor; }

    // Series operations: false, and nothing done, for an index outside 0..63.
    bool SetSeriesColor(int nSeries, const QColor& color);
    bool GetSeriesColor(int nSeries, QColor& color) const;
    bool SetSeriesSize(int nSeries, int nSize);
    bool GetSeriesSize(int nSeries, int& nSize) const;
    bool SetSeriesType(int nSeries, int nType);
    bool GetSeriesType(int nSeries, int& nType) const;
    bool SetSeriesMarker(int nSeries, int nMarker);
    bool GetSeriesMarker(int nSeries, int& nMarker) const;
    bool SetPoint(int nSeries, int nIndex, double dValue);
    bool AddPoint(int nSeries, double dValue);
    bool ClearPoints(int nSeries);
    bool GetPoint(int nSeries, int nIndex, double& dValue) const;

    // Recomputes the layout for the current size and data; false while no series holds a
    // point to scale.
    bool CalcLayout();
    const CChartLayout& GetLayout() const { return m_layout; }
    // Repaints the whole control.
    bool Refresh();

    // The whole picture, in the order of the steps below; used by the paint handler.
    void Paint(QPainter& dc);
    void DrawBackground(QPainter& dc);
    void DrawTitle(QPainter& dc);
    void DrawZeroLine(QPainter& dc);
    void DrawAxes(QPainter& dc);
    void DrawYLabels(QPainter& dc);
    void DrawXLabels(QPainter& dc);
    void DrawSeries(QPainter& dc, const CChartSeries& series);
    void DrawAllSeries(QPainter& dc);

    // Axis labels and titles are drawn no smaller than a font of this pixel size (0: as the
    // layout gives them, which on a small control is too small to read).
    void SetMinTextSize(int nPixels) { m_nMinCell = qCeil(nPixels * 1.117); }

    // "Arial" with a cell (ascent + descent) of nHeight pixels, that is an em of nHeight /
    // 1.117; a metric-compatible face stands in where Arial is not installed.
    static QFont MakeFont(int nHeight);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    // Drawn over the background and under the axes and series (nothing here).
    virtual void DrawUnderSeries(QPainter&) {}

private:
    bool IsSeries(int nSeries) const { return nSeries >= 0 && nSeries < MAX_SERIES; }
    CChartSeries& Series(int nSeries) { return m_arrSeries[static_cast<size_t>(nSeries)]; }
    const CChartSeries& Series(int nSeries) const {
        return m_arrSeries[static_cast<size_t>(nSeries)];
    }

    std::vector<std::string> m_arrXLabels;
    int m_nXLabelStep = 1;
    double m_dYStep = 10.0;
    bool m_bShowYLabels = true;
    int m_nYDivisions = 0;
    std::array<CChartSeries, MAX_SERIES> m_arrSeries;
    std::string m_strTitle;
    std::string m_strYAxisTitle;
    std::string m_strXAxisTitle;
    CChartLayout m_layout;
    QColor m_backgroundColor{200, 255, 255};
    int m_nMinCell = 0;
};
