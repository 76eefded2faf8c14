#include "graph/comparison_chart.h"

#include "core/atomic_file.h"
#include "core/host_check.h"
#include "graph/history_text.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

constexpr int MARGIN = 10;
constexpr int GAP = 8;
constexpr int SWATCH = 12;
constexpr int FONT_PX = 12;
constexpr int SCALE_WIDTH = 48;
constexpr int SCALE_STEPS = 5;
// Views 1, 2 and 3 share the height below the legend in these parts of ten.
constexpr int LINES_PART = 4;
constexpr int SPREAD_PART = 3;
// With a history, the spread and the web response time take 2 each.
constexpr int RESPONSE_PART = 2;

const QColor INK(51, 51, 51);
const QColor GRID(225, 225, 225);

// Distinct colours, none of them red (the down share is red).
const QColor PALETTE[] = {{31, 119, 180}, {255, 127, 14},  {44, 160, 44},   {148, 103, 189},
                          {140, 86, 75},  {227, 119, 194}, {127, 127, 127}, {188, 189, 34},
                          {23, 190, 207}, {0, 0, 128},     {255, 187, 120}, {82, 84, 163}};
constexpr size_t PALETTE_SIZE = sizeof(PALETTE) / sizeof(PALETTE[0]);

QFont ChartFont(int nPixels, bool bBold = false) {
    QFont font;
    font.setFamilies({"DejaVu Sans", "Liberation Sans", "Arial"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, nPixels));
    font.setBold(bBold);
    return font;
}

// A text of the data file as drawn: characters XML cannot hold (a NUL from a damaged file)
// are left out, so that the SVG stays well-formed, and a name longer than any that import
// takes is cut.
QString Latin1(const std::string& str) {
    QString strText;
    for (char c : std::string_view(str).substr(0, CHostCheck::MAX_TEXT_BYTES)) {
        const auto nByte = static_cast<unsigned char>(c);
        if (nByte >= 0x20 || nByte == '\t' || nByte == '\n' || nByte == '\r')
            strText += QChar(nByte);
    }
    return strText;
}

int Scale(double dValue, double dTop, int nFrom, int nLength) {
    const double d = std::clamp(dValue / dTop, -1.0, 2.0); // damaged values stay near the view
    return nFrom + static_cast<int>(std::lround(d * nLength));
}

QString Percent(double dShare) {
    return QString::number(dShare * 100.0, 'f', 1) + '%';
}

// The view's title above rc and its frame.
void DrawFrame(QPainter& dc, const QRect& rc, const QString& strTitle) {
    dc.setFont(ChartFont(FONT_PX, true));
    dc.setPen(INK);
    const int nTitle = QFontMetrics(dc.font()).height();
    dc.drawText(QRect(rc.left(), rc.top() - nTitle - 4, rc.width(), nTitle),
                Qt::AlignLeft | Qt::AlignVCenter, strTitle);
    dc.setBrush(Qt::NoBrush);
    dc.drawRect(rc.adjusted(0, 0, -1, -1));
}

int TitleHeight() {
    return QFontMetrics(ChartFont(FONT_PX, true)).height() + 6;
}

int LabelHeight() {
    return QFontMetrics(ChartFont(FONT_PX)).height() + 2;
}

// Row font: as large as the rows allow, at most the chart's font.
QFont RowFont(int nRowHeight) {
    return ChartFont(std::clamp(nRowHeight * 7 / 10, 6, FONT_PX));
}

// A row's swatch in the host's colour and its name, left of the view that starts at nViewLeft;
// the row's font stays set.
void DrawRowName(QPainter& dc, const QRect& row, int nViewLeft, const QColor& color,
                 const QString& strName) {
    dc.setFont(RowFont(row.height()));
    dc.fillRect(QRect(MARGIN, row.center().y() - SWATCH / 4, SWATCH / 2, SWATCH / 2), color);
    dc.setPen(INK);
    const int nWidth = nViewLeft - MARGIN - SWATCH - 4;
    dc.drawText(QRect(MARGIN + SWATCH, row.top(), nWidth, row.height()),
                Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(ChartFont(FONT_PX)).elidedText(strName, Qt::ElideRight, nWidth));
}

} // namespace

const QColor CComparisonChart::DOWN_COLOR(214, 39, 40);

QColor CComparisonChart::HostColor(size_t nIndex) {
    if (nIndex < PALETTE_SIZE)
        return PALETTE[nIndex];
    // Further hosts: hues a golden angle apart, kept away from red.
    const int nHue = 30 + static_cast<int>(std::fmod(nIndex * 137.508, 300.0));
    return QColor::fromHsv(nHue, 200, 170 + static_cast<int>(nIndex % 3) * 30);
}

double CComparisonChart::NiceTop(double dMax) {
    if (!(dMax > 0) || !std::isfinite(dMax))
        return 10;
    const double dPower = std::pow(10.0, std::floor(std::log10(dMax)));
    for (double dStep : {1.0, 2.0, 5.0, 10.0})
        if (dStep * dPower >= dMax)
            return dStep * dPower;
    return 10 * dPower;
}

QSize CComparisonChart::PreferredSize() const {
    const int nHosts = static_cast<int>(m_comparison.GetHosts().size());
    return {900, 480 + 36 * std::max(nHosts, 2)};
}

int CComparisonChart::SLayout::LinesX(int nCyclesAgo) const {
    const int nLast = CHostComparison::RECENT_CYCLES;
    return rcLines.left() + 1 +
           static_cast<int>(std::lround(static_cast<double>(nLast - nCyclesAgo) *
                                        (rcLines.width() - 3) / (nLast - 1)));
}

int CComparisonChart::SLayout::LinesY(double dMs) const {
    return rcLines.bottom() - 1 - Scale(dMs, dLinesTop, 0, rcLines.height() - 3);
}

int CComparisonChart::SLayout::SpreadX(double dMs) const {
    return Scale(dMs, dSpreadTop, rcSpread.left() + 1, rcSpread.width() - 3);
}

QRect CComparisonChart::SLayout::SpreadRow(int nRank) const {
    const int nHeight = rcSpread.height() / std::max(nSpreadRows, 1);
    return {rcSpread.left(), rcSpread.top() + nRank * nHeight, rcSpread.width(), nHeight};
}

int CComparisonChart::SLayout::TimeX(int64_t tWhen) const {
    const double dShare = static_cast<double>(std::clamp(tWhen, tFrom, tTo) - tFrom) /
                          static_cast<double>(tTo - tFrom);
    return rcLines.left() + 1 + static_cast<int>(std::lround(dShare * (rcLines.width() - 3)));
}

int CComparisonChart::SLayout::ResponseX(double dMs) const {
    return Scale(dMs, dResponseTop, rcResponse.left() + 1, rcResponse.width() - 3);
}

QRect CComparisonChart::SLayout::ResponseRow(int nRank) const {
    const int nHeight = rcResponse.height() / std::max(nResponseRows, 1);
    return {rcResponse.left(), rcResponse.top() + nRank * nHeight, rcResponse.width(), nHeight};
}

std::vector<size_t> CComparisonChart::ByResponse() const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    std::vector<size_t> arrOrder;
    for (size_t i = 0; i < arrHosts.size(); ++i)
        if (arrHosts[i].nResponseMedianTenths >= 0)
            arrOrder.push_back(i);
    std::stable_sort(arrOrder.begin(), arrOrder.end(), [&](size_t a, size_t b) {
        return arrHosts[a].nResponseMedianTenths < arrHosts[b].nResponseMedianTenths;
    });
    return arrOrder;
}

QRect CComparisonChart::SLayout::UptimeRow(int nIndex) const {
    const int nHeight = rcUptime.height() / std::max(nUptimeRows, 1);
    return {rcUptime.left(), rcUptime.top() + nIndex * nHeight, rcUptime.width(), nHeight};
}

QRect CComparisonChart::SLayout::UptimeBar(int nIndex) const {
    const QRect row = UptimeRow(nIndex);
    const int nInset = std::max(1, row.height() / 5);
    return {row.left() + 1, row.top() + nInset, row.width() * 11 / 20,
            std::max(1, row.height() - 2 * nInset)};
}

CComparisonChart::SLayout CComparisonChart::Layout(QSize size) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    SLayout layout;
    const int nWidth = std::max(size.width(), 4 * MARGIN + SCALE_WIDTH);

    // The legend flows left to right and wraps.
    const QFontMetrics metrics(ChartFont(FONT_PX));
    const int nLine = metrics.height() + 4;
    int x = 0, nLines = arrHosts.empty() ? 0 : 1;
    for (const CHostComparison::SHost& host : arrHosts) {
        const int nEntry = SWATCH + 4 + metrics.horizontalAdvance(Latin1(host.strName)) + 16;
        if (x > 0 && x + nEntry > nWidth - 2 * MARGIN)
            x = 0, ++nLines;
        x += nEntry;
    }
    layout.rcLegend = QRect(MARGIN, MARGIN, nWidth - 2 * MARGIN, nLines * nLine);

    // The views: title, plot, and for view 1 and 2 a row of scale labels below.
    const int nTop = layout.rcLegend.bottom() + 1 + GAP;
    // With a history a fourth view, the web response time, takes a part of the spread's.
    const bool bHistory = m_comparison.HasHistory();
    const int nViews = bHistory ? 4 : 3;
    const int nTitle = TitleHeight(), nLabels = LabelHeight();
    const int nFree = std::max(size.height() - nTop - MARGIN - nViews * nTitle -
                                   (nViews - 1) * nLabels - (nViews - 1) * GAP,
                               nViews * 10);
    const int nLinesHeight = nFree * LINES_PART / 10;
    const int nSpreadHeight = nFree * (bHistory ? RESPONSE_PART : SPREAD_PART) / 10;
    const int nResponseHeight = bHistory ? nFree * RESPONSE_PART / 10 : 0;
    const int nUptimeHeight = nFree - nLinesHeight - nSpreadHeight - nResponseHeight;

    int nNames = 0;
    for (const CHostComparison::SHost& host : arrHosts)
        nNames = std::max(nNames, metrics.horizontalAdvance(Latin1(host.strName)));
    nNames = std::min(nNames + SWATCH + 12, (nWidth - 2 * MARGIN) * 3 / 10);

    const int nLeft = MARGIN + SCALE_WIDTH;
    const int nRight = nWidth - MARGIN;
    int y = nTop + nTitle;
    layout.rcLines = QRect(QPoint(nLeft, y), QPoint(nRight - 1, y + nLinesHeight - 1));
    y += nLinesHeight + nLabels + GAP + nTitle;
    layout.rcSpread = QRect(QPoint(MARGIN + nNames, y), QPoint(nRight - 1, y + nSpreadHeight - 1));
    y += nSpreadHeight + nLabels + GAP + nTitle;
    if (bHistory) {
        layout.rcResponse =
            QRect(QPoint(MARGIN + nNames, y), QPoint(nRight - 1, y + nResponseHeight - 1));
        y += nResponseHeight + nLabels + GAP + nTitle;
    }
    layout.rcUptime = QRect(QPoint(MARGIN + nNames, y), QPoint(nRight - 1, y + nUptimeHeight - 1));

    double dLinesMax = 0, dSpreadMax = 0, dResponseMax = 0;
    for (const CHostComparison::SHost& host : arrHosts) {
        if (bHistory)
            for (int32_t nTenths : host.arrTimedPingTenths)
                dLinesMax = std::max(dLinesMax, nTenths / 10.0);
        else
            for (uint32_t nPing : host.arrRecent)
                dLinesMax = std::max(dLinesMax, static_cast<double>(nPing));
        if (host.bHasPings)
            dSpreadMax = std::max(dSpreadMax, static_cast<double>(host.nMax));
        dResponseMax = std::max(dResponseMax, host.nResponseP90Tenths / 10.0);
    }
    layout.tFrom = m_comparison.GetHistoryFrom();
    layout.tTo = std::max(m_comparison.GetHistoryTo(), layout.tFrom + 1);
    layout.dResponseTop = NiceTop(dResponseMax);
    layout.nResponseRows = static_cast<int>(ByResponse().size());
    layout.dLinesTop = NiceTop(dLinesMax);
    layout.dSpreadTop = NiceTop(dSpreadMax);
    layout.nSpreadRows = static_cast<int>(m_comparison.ByMedian().size());
    layout.nUptimeRows = static_cast<int>(arrHosts.size());
    return layout;
}

void CComparisonChart::Paint(QPainter& dc, QSize size) const {
    const SLayout layout = Layout(size);
    dc.save();
    // Crisp shapes in the exact host colours; only text is smoothed.
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setRenderHint(QPainter::TextAntialiasing, true);
    dc.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    PaintLegend(dc, layout);
    if (m_comparison.HasHistory())
        PaintTimedLines(dc, layout);
    else
        PaintLines(dc, layout);
    PaintSpread(dc, layout);
    if (m_comparison.HasHistory())
        PaintResponse(dc, layout);
    PaintUptime(dc, layout);
    dc.restore();
}

void CComparisonChart::PaintLegend(QPainter& dc, const SLayout& layout) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    const QFont font = ChartFont(FONT_PX);
    const QFontMetrics metrics(font);
    const int nLine = metrics.height() + 4;
    dc.setFont(font);
    int x = 0, y = layout.rcLegend.top();
    for (size_t i = 0; i < arrHosts.size(); ++i) {
        const QString strName = Latin1(arrHosts[i].strName);
        const int nText = metrics.horizontalAdvance(strName);
        const int nEntry = SWATCH + 4 + nText + 16;
        if (x > 0 && x + nEntry > layout.rcLegend.width())
            x = 0, y += nLine;
        const int nLeft = layout.rcLegend.left() + x;
        dc.fillRect(QRect(nLeft, y + (nLine - SWATCH) / 2, SWATCH, SWATCH), HostColor(i));
        dc.setPen(INK);
        dc.drawText(QRect(nLeft + SWATCH + 4, y, nText + 2, nLine),
                    Qt::AlignLeft | Qt::AlignVCenter, strName);
        x += nEntry;
    }
}

// A millisecond scale below rc from 0 to dTop, with its grid lines; fnX places a value.
void CComparisonChart::PaintBottomScale(QPainter& dc, const QRect& rc, double dTop,
                                        const std::function<int(double)>& fnX) const {
    const int nLabel = LabelHeight();
    for (int k = 0; k <= SCALE_STEPS; ++k) {
        const double dValue = dTop * k / SCALE_STEPS;
        const int xAt = fnX(dValue);
        dc.setPen(GRID);
        if (k > 0 && k < SCALE_STEPS)
            dc.drawLine(xAt, rc.top() + 1, xAt, rc.bottom() - 1);
        dc.setPen(INK);
        // The last label ends at the frame: centred it would run off the picture.
        const QRect label = k < SCALE_STEPS ? QRect(xAt - 40, rc.bottom() + 2, 80, nLabel)
                                            : QRect(xAt - 80, rc.bottom() + 2, 80, nLabel);
        dc.drawText(label, k < SCALE_STEPS ? Qt::AlignCenter : Qt::AlignRight | Qt::AlignVCenter,
                    QString::number(dValue, 'g', 6));
    }
}

// The millisecond scale of view 1, left of it, with its grid lines.
void CComparisonChart::PaintLinesScale(QPainter& dc, const SLayout& layout) const {
    const int nLabel = LabelHeight();
    const QRect& L = layout.rcLines;
    for (int k = 0; k <= SCALE_STEPS; ++k) {
        const double dValue = layout.dLinesTop * k / SCALE_STEPS;
        const int yAt = layout.LinesY(dValue);
        if (k > 0 && k < SCALE_STEPS) {
            dc.setPen(GRID);
            dc.drawLine(L.left() + 1, yAt, L.right() - 1, yAt);
        }
        dc.setPen(INK);
        dc.drawText(QRect(MARGIN, yAt - nLabel / 2, SCALE_WIDTH - 4, nLabel),
                    Qt::AlignRight | Qt::AlignVCenter, QString::number(dValue, 'g', 6));
    }
}

// View 1: lines over the last cycles, newest on the right.
void CComparisonChart::PaintLines(QPainter& dc, const SLayout& layout) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    const QFont font = ChartFont(FONT_PX);
    const int nLabel = LabelHeight();
    const QRect& L = layout.rcLines;
    DrawFrame(dc, L,
              QStringLiteral("Ping time (ms) over the last %1 test cycles, by cycles ago")
                  .arg(CHostComparison::RECENT_CYCLES));
    dc.setFont(font);
    PaintLinesScale(dc, layout);
    for (int nAgo : {288, 240, 192, 144, 96, 48, 1}) {
        const int xAt = layout.LinesX(nAgo);
        dc.drawText(QRect(xAt - 40, L.bottom() + 2, 80, nLabel), Qt::AlignCenter,
                    QString::number(nAgo));
    }
    // Lower positions end on top: the legend's first host is the most visible.
    for (size_t i = arrHosts.size(); i-- > 0;) {
        const std::vector<uint32_t>& arrRecent = arrHosts[i].arrRecent;
        const int n = static_cast<int>(arrRecent.size());
        QPolygon points;
        for (int k = 0; k < n; ++k)
            points << QPoint(layout.LinesX(n - k),
                             layout.LinesY(arrRecent[static_cast<size_t>(k)]));
        dc.setPen(QPen(HostColor(i), 2));
        if (n == 1)
            dc.drawPoint(points.first());
        else
            dc.drawPolyline(points);
    }
}

// View 1 from the history: each host's average ping per span of time, on the time axis.
void CComparisonChart::PaintTimedLines(QPainter& dc, const SLayout& layout) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    const int nLabel = LabelHeight();
    const QRect& L = layout.rcLines;
    DrawFrame(dc, L,
              QStringLiteral("Ping time (ms) from %1 to %2")
                  .arg(QString::fromStdString(CHistoryText::LocalTime(layout.tFrom)),
                       QString::fromStdString(CHistoryText::LocalTime(layout.tTo - 1))));
    dc.setFont(ChartFont(FONT_PX));
    PaintLinesScale(dc, layout);
    const QFontMetrics metrics(dc.font());
    for (const auto& [t, strLabel] :
         CHistoryText::TimeTicks(layout.tFrom, layout.tTo, std::max(2, L.width() / 110))) {
        const int xAt = layout.TimeX(t);
        const QString strText = QString::fromStdString(strLabel);
        if (xAt + metrics.horizontalAdvance(strText) > L.right())
            continue; // cut by the picture's edge
        dc.setPen(GRID);
        dc.drawLine(xAt, L.top() + 1, xAt, L.bottom() - 1);
        dc.setPen(INK);
        dc.drawText(QRect(xAt, L.bottom() + 2, 120, nLabel), Qt::AlignLeft | Qt::AlignVCenter,
                    strText);
    }
    const int nColumns = CHostComparison::HISTORY_COLUMNS;
    const int64_t nSpan = layout.tTo - layout.tFrom;
    for (size_t i = arrHosts.size(); i-- > 0;) {
        QPolygon points;
        const std::vector<int32_t>& arrColumns = arrHosts[i].arrTimedPingTenths;
        for (size_t k = 0; k < arrColumns.size(); ++k)
            if (arrColumns[k] >= 0)
                points << QPoint(layout.TimeX(layout.tFrom + (2 * static_cast<int64_t>(k) + 1) *
                                                                 nSpan / (2 * nColumns)),
                                 layout.LinesY(arrColumns[k] / 10.0));
        dc.setPen(QPen(HostColor(i), 2));
        if (points.size() == 1)
            dc.drawPoint(points.first());
        else if (points.size() > 1)
            dc.drawPolyline(points);
    }
}

// View 4: web response time of each host's up tests, fastest median first.
void CComparisonChart::PaintResponse(QPainter& dc, const SLayout& layout) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    const QRect& R = layout.rcResponse;
    DrawFrame(dc, R, QStringLiteral("Web response time (ms): median and 10th-90th percentile"));
    dc.setFont(ChartFont(FONT_PX));
    PaintBottomScale(dc, R, layout.dResponseTop, [&](double dMs) { return layout.ResponseX(dMs); });
    const std::vector<size_t> arrOrder = ByResponse();
    for (int nRank = 0; nRank < static_cast<int>(arrOrder.size()); ++nRank) {
        const size_t i = arrOrder[static_cast<size_t>(nRank)];
        const CHostComparison::SHost& host = arrHosts[i];
        const QRect row = layout.ResponseRow(nRank);
        DrawRowName(dc, row, R.left(), HostColor(i), Latin1(host.strName));
        const int yMid = row.center().y();
        const int nBand = std::max(2, row.height() * 3 / 5);
        const int x10 = layout.ResponseX(host.nResponseP10Tenths / 10.0);
        const int x90 = layout.ResponseX(host.nResponseP90Tenths / 10.0);
        dc.fillRect(QRect(x10, yMid - nBand / 2, std::max(1, x90 - x10 + 1), nBand), HostColor(i));
        dc.fillRect(QRect(layout.ResponseX(host.nResponseMedianTenths / 10.0) - 1,
                          yMid - nBand / 2 - 2, 3, nBand + 4),
                    INK);
    }
}

// View 2: spread of the ping times, fastest median first.
void CComparisonChart::PaintSpread(QPainter& dc, const SLayout& layout) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    const QFont font = ChartFont(FONT_PX);
    const QRect& S = layout.rcSpread;
    DrawFrame(dc, S,
              QStringLiteral("Ping times (ms): median, 10th-90th percentile, minimum and maximum"));
    dc.setFont(font);
    PaintBottomScale(dc, S, layout.dSpreadTop, [&](double dMs) { return layout.SpreadX(dMs); });
    const std::vector<size_t> arrOrder = m_comparison.ByMedian();
    for (int nRank = 0; nRank < static_cast<int>(arrOrder.size()); ++nRank) {
        const size_t i = arrOrder[static_cast<size_t>(nRank)];
        const CHostComparison::SHost& host = arrHosts[i];
        const QRect row = layout.SpreadRow(nRank);
        const QColor color = HostColor(i);
        DrawRowName(dc, row, S.left(), color, Latin1(host.strName));
        const int yMid = row.center().y();
        const int nBand = std::max(2, row.height() * 3 / 5);
        const int xMin = layout.SpreadX(host.nMin), xMax = layout.SpreadX(host.nMax);
        const int x10 = layout.SpreadX(host.nP10), x90 = layout.SpreadX(host.nP90);
        dc.fillRect(QRect(xMin, yMid, std::max(1, xMax - xMin + 1), 1), color);
        dc.fillRect(QRect(xMin, yMid - nBand / 4, 1, std::max(1, nBand / 2)), color);
        dc.fillRect(QRect(xMax, yMid - nBand / 4, 1, std::max(1, nBand / 2)), color);
        dc.fillRect(QRect(x10, yMid - nBand / 2, std::max(1, x90 - x10 + 1), nBand), color);
        dc.fillRect(QRect(layout.SpreadX(host.nMedian) - 1, yMid - nBand / 2 - 2, 3, nBand + 4),
                    INK);
    }
}

// View 3: uptime and down share, with the time tested; every host, in list order.
void CComparisonChart::PaintUptime(QPainter& dc, const SLayout& layout) const {
    const std::vector<CHostComparison::SHost>& arrHosts = m_comparison.GetHosts();
    const QRect& U = layout.rcUptime;
    DrawFrame(dc, U, QStringLiteral("Uptime (tests up / tests); tests down in red"));
    for (int k = 0; k < layout.nUptimeRows; ++k) {
        const CHostComparison::SHost& host = arrHosts[static_cast<size_t>(k)];
        const QRect row = layout.UptimeRow(k);
        const QRect bar = layout.UptimeBar(k);
        const QFont rowFont = RowFont(row.height());
        DrawRowName(dc, row, U.left(), HostColor(static_cast<size_t>(k)), Latin1(host.strName));
        QString strText;
        if (host.nTests > 0) {
            const int nUp =
                static_cast<int>(std::lround(CHostComparison::UpShare(host) * bar.width()));
            dc.fillRect(QRect(bar.left(), bar.top(), nUp, bar.height()),
                        HostColor(static_cast<size_t>(k)));
            dc.fillRect(QRect(bar.left() + nUp, bar.top(), bar.width() - nUp, bar.height()),
                        DOWN_COLOR);
            strText = Percent(CHostComparison::UpShare(host)) + " up, " +
                      Percent(CHostComparison::DownShare(host)) + " down, tested " +
                      Latin1(host.strTimeTested);
        } else {
            dc.setPen(GRID);
            dc.drawRect(bar.adjusted(0, 0, -1, -1));
            strText = QStringLiteral("not tested yet");
        }
        if (!host.bHasPings)
            strText += QStringLiteral(" - no ping times yet");
        dc.setPen(INK);
        dc.drawText(QRect(bar.right() + 8, row.top(), U.right() - bar.right() - 10, row.height()),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetrics(rowFont).elidedText(strText, Qt::ElideRight,
                                                     U.right() - bar.right() - 10));
    }
}

QByteArray CComparisonChart::RenderSvg(QSize size) const {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(QStringLiteral("Vantrel host comparison"));
    QPainter dc(&svg);
    Paint(dc, size);
    dc.end();
    // The generator states the size in millimetres at 72 dpi, a third larger than the picture
    // on a web page. In CSS pixels, and shrunk to the page's width, it fits any page and prints
    // on A4 and Letter without being cut.
    QByteArray bytes = buffer.data();
    const qsizetype nStart = bytes.indexOf("<svg width=\"");
    const qsizetype nEnd = nStart < 0 ? -1 : bytes.indexOf('\n', nStart);
    if (nEnd > nStart)
        bytes.replace(nStart, nEnd - nStart,
                      QStringLiteral("<svg width=\"%1\" height=\"%2\" style=\"max-width: 100%; "
                                     "height: auto\"")
                          .arg(size.width())
                          .arg(size.height())
                          .toLatin1());
    return bytes;
}

bool CComparisonChart::Save(const std::string& strPath, QSize size, QString& strError) const {
    const QString strName = QFile::decodeName(strPath.c_str());
    const QString strSuffix = QFileInfo(strName).suffix().toLower();
    if (strSuffix != "png" && strSuffix != "svg") {
        strError = QStringLiteral("%1 does not end in .png or .svg").arg(strName);
        return false;
    }
    if (size.width() < 1 || size.height() < 1 || size.width() > 20000 || size.height() > 20000) {
        strError = QStringLiteral("%1 x %2 is not an image size from 1 to 20000 pixels")
                       .arg(size.width())
                       .arg(size.height());
        return false;
    }
    QByteArray bytes;
    if (strSuffix == "svg") {
        bytes = RenderSvg(size);
    } else {
        QImage image(size, QImage::Format_RGB32);
        {
            QPainter dc(&image);
            Paint(dc, size);
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    // Written beside the target and renamed over it when complete; pictures are for sharing,
    // so a new one gets the permissions of the user's umask.
    CAtomicFile file;
    if (!file.Open(strPath, CAtomicFile::NEW_UMASK) ||
        !file.Write(bytes.constData(), static_cast<size_t>(bytes.size())) || !file.Commit()) {
        strError = QFile::decodeName(file.GetError().c_str());
        return false;
    }
    return true;
}

std::string CComparisonChart::InlineSvg(QSize size) const {
    const QString strSvg = QString::fromUtf8(RenderSvg(size)).trimmed();
    std::string str;
    for (QChar c : strSvg.mid(std::max<qsizetype>(0, strSvg.indexOf(QStringLiteral("<svg"))))) {
        if (c.unicode() < 128)
            str += static_cast<char>(c.unicode());
        else
            str += "&#" + std::to_string(c.unicode()) + ';';
    }
    return str;
}
