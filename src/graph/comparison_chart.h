#pragma once

#include "graph/host_comparison.h"

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QPainter;

// The comparison of hosts as one picture: a legend, then the ping times of the last test
// cycles as one line per host (with a test history: on a real time axis), the spread of each host's
// ping times (minimum to maximum, the 10th to 90th percentile as a band, the median as a bar)
// fastest first, and each host's uptime and down share with its time tested; with a test history
// also each host's web response time (median, 10th to 90th percentile) between the spread and the
// uptime. One colour per host throughout. The same painting serves the window, saved PNG and SVG
// images, the command-line companion and the report.
class CComparisonChart {
public:
    explicit CComparisonChart(const CHostComparison& comparison) : m_comparison(comparison) {}

    // Where the views are at a given size.
    struct SLayout {
        QRect rcLegend;
        // Each view's plot area, below its title; names take the left of views 2 and 3.
        QRect rcLines, rcSpread, rcResponse, rcUptime; // rcResponse: empty without history
        // Top of the millisecond scales of views 1 and 2.
        double dLinesTop = 0;
        double dSpreadTop = 0;
        double dResponseTop = 0;
        int nSpreadRows = 0;
        int nResponseRows = 0;
        int nUptimeRows = 0;

        int LinesX(int nCyclesAgo) const; // 1 .. RECENT_CYCLES
        int LinesY(double dMs) const;
        int SpreadX(double dMs) const;
        QRect SpreadRow(int nRank) const; // by median, fastest first
        // With a history: the x of a time in view 1, and view 4's scale and rows.
        int64_t tFrom = 0, tTo = 1;
        int TimeX(int64_t tWhen) const;
        int ResponseX(double dMs) const;
        QRect ResponseRow(int nRank) const; // by median response, fastest first
        QRect UptimeRow(int nIndex) const;
        // The uptime bar of a row: the up share from the left, the down share after it.
        QRect UptimeBar(int nIndex) const;
    };

    SLayout Layout(QSize size) const;
    void Paint(QPainter& dc, QSize size) const;

    // The colour of the host at this position of the comparison.
    static QColor HostColor(size_t nIndex);
    // The colour of the down share of the uptime bars.
    static const QColor DOWN_COLOR;
    // A size that gives every host a readable row.
    QSize PreferredSize() const;
    // The least multiple of 1, 2 or 5 times a power of ten at or above dMax (10 for nothing).
    static double NiceTop(double dMax);
    // Indices of the hosts with web response times, by median, fastest first.
    std::vector<size_t> ByResponse() const;

    // Writes a PNG or SVG file, chosen by the file's suffix; strPath is the file name's bytes.
    // False with the reason in plain words; an existing file is then left as it was.
    bool Save(const std::string& strPath, QSize size, QString& strError) const;
    // The picture as an <svg> element for an HTML page: no XML declaration, and every
    // character outside ASCII written as a character reference.
    std::string InlineSvg(QSize size) const;

private:
    // The parts of Paint, in painting order.
    void PaintLegend(QPainter& dc, const SLayout& layout) const;
    void PaintLines(QPainter& dc, const SLayout& layout) const;
    void PaintSpread(QPainter& dc, const SLayout& layout) const;
    void PaintLinesScale(QPainter& dc, const SLayout& layout) const;
    void PaintBottomScale(QPainter& dc, const QRect& rc, double dTop,
                          const std::function<int(double)>& fnX) const;
    void PaintTimedLines(QPainter& dc, const SLayout& layout) const;
    void PaintResponse(QPainter& dc, const SLayout& layout) const;
    void PaintUptime(QPainter& dc, const SLayout& layout) const;
    QByteArray RenderSvg(QSize size) const;

    const CHostComparison& m_comparison;
};
