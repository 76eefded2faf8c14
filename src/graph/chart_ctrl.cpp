#include "graph/chart_ctrl.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <charconv>

namespace {

QString Latin1(const std::string& str) {
    return QString::fromLatin1(str.data(), static_cast<qsizetype>(str.size()));
}

// "%g" without the user's locale: the scale reads "12.5" everywhere.
QString FormatG(double dValue) {
    char szBuf[32];
    const auto result =
        std::to_chars(szBuf, szBuf + sizeof(szBuf), dValue, std::chars_format::general, 6);
    return QString::fromLatin1(szBuf, result.ptr - szBuf);
}

// The one-pixel lines of the frame and axes, as the layout counts them: from the first point
// up to, not including, the last.
void HLine(QPainter& dc, int x1, int x2, int y) {
    dc.fillRect(QRect(std::min(x1, x2 + 1), y, std::abs(x2 - x1), 1), Qt::black);
}

void VLine(QPainter& dc, int x, int y1, int y2) {
    dc.fillRect(QRect(x, std::min(y1, y2 + 1), 1, std::abs(y2 - y1)), Qt::black);
}

// Texts are placed by Arial's cell, whatever face stands in for it, so they sit where the
// layout puts them: ascent 1854 and descent 434 of 2048 units per em.
constexpr double ARIAL_ASCENT = 1854.0 / 2048;
constexpr double ARIAL_CELL = (1854.0 + 434.0) / 2048;

// One line of text in the painter's font, whose cell is nCell high, aligned in rc like a
// single-line DrawText: left, right or centred; top, bottom or centred. With an opaque
// background its cell is filled first.
void DrawCellText(QPainter& dc, const QRect& rc, Qt::Alignment align, int nCell,
                  const QString& strText, const QColor* pOpaque = nullptr) {
    const int nWidth = dc.fontMetrics().horizontalAdvance(strText);
    int x = rc.left();
    if (align & Qt::AlignRight)
        x = rc.left() + rc.width() - nWidth;
    else if (align & Qt::AlignHCenter)
        x = rc.left() + (rc.width() - nWidth) / 2;
    int y = rc.top();
    if (align & Qt::AlignBottom)
        y = rc.top() + rc.height() - nCell;
    else if (align & Qt::AlignVCenter)
        y = rc.top() + (rc.height() - nCell) / 2;
    if (pOpaque)
        dc.fillRect(QRect(x, y, nWidth, nCell), *pOpaque);
    dc.drawText(QPoint(x, y + qRound(nCell * ARIAL_ASCENT / ARIAL_CELL)), strText);
}

} // namespace

CChartCtrl::CChartCtrl(QWidget* pParent) : QWidget(pParent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QFont CChartCtrl::MakeFont(int nHeight) {
    QFont font(QStringLiteral("Arial")); // mapped at start-up (graph/font_faces.h)
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setPixelSize(std::max(1, qRound(nHeight / ARIAL_CELL)));
    return font;
}

bool CChartCtrl::SetXLabelStep(int nStep) {
    m_nXLabelStep = nStep < 2 ? 1 : nStep;
    return true;
}

bool CChartCtrl::SetXLabel(int nSlot, const std::string& strLabel) {
    if (nSlot < 0)
        return false;
    if (static_cast<size_t>(nSlot) >= m_arrXLabels.size())
        m_arrXLabels.resize(static_cast<size_t>(nSlot) + 1);
    m_arrXLabels[static_cast<size_t>(nSlot)] = strLabel;
    return true;
}

bool CChartCtrl::GetXLabel(int nSlot, std::string& strLabel) const {
    if (nSlot < 0 || static_cast<size_t>(nSlot) >= m_arrXLabels.size())
        return false;
    strLabel = m_arrXLabels[static_cast<size_t>(nSlot)];
    return true;
}

bool CChartCtrl::SetXAxisTitle(const std::string& strTitle) {
    m_strXAxisTitle = strTitle;
    return Refresh();
}

bool CChartCtrl::SetYAxisTitle(const std::string& strTitle) {
    m_strYAxisTitle = strTitle;
    return Refresh();
}

bool CChartCtrl::SetYStep(double dStep) {
    if (!(dStep > 0))
        return false;
    m_dYStep = dStep;
    return true;
}

bool CChartCtrl::ShowYLabels(bool bShow) {
    m_bShowYLabels = bShow;
    return true;
}

bool CChartCtrl::SetYDivisions(int nDivisions) {
    m_nYDivisions = std::clamp(nDivisions, 0, 100);
    return true;
}

bool CChartCtrl::SetTitle(const std::string& strTitle) {
    m_strTitle = strTitle;
    return Refresh();
}

bool CChartCtrl::SetBackgroundColor(const QColor& color) {
    m_backgroundColor = color;
    return Refresh();
}

bool CChartCtrl::SetSeriesColor(int nSeries, const QColor& color) {
    if (!IsSeries(nSeries))
        return false;
    Series(nSeries).SetColor(color);
    return true;
}

bool CChartCtrl::GetSeriesColor(int nSeries, QColor& color) const {
    if (!IsSeries(nSeries))
        return false;
    color = Series(nSeries).GetColor();
    return true;
}

bool CChartCtrl::SetSeriesSize(int nSeries, int nSize) {
    if (!IsSeries(nSeries))
        return false;
    Series(nSeries).SetSize(nSize);
    return true;
}

bool CChartCtrl::GetSeriesSize(int nSeries, int& nSize) const {
    if (!IsSeries(nSeries))
        return false;
    nSize = Series(nSeries).GetSize();
    return true;
}

bool CChartCtrl::SetSeriesType(int nSeries, int nType) {
    if (!IsSeries(nSeries))
        return false;
    Series(nSeries).SetType(nType);
    return true;
}

bool CChartCtrl::GetSeriesType(int nSeries, int& nType) const {
    if (!IsSeries(nSeries))
        return false;
    nType = Series(nSeries).GetType();
    return true;
}

bool CChartCtrl::SetSeriesMarker(int nSeries, int nMarker) {
    if (!IsSeries(nSeries))
        return false;
    Series(nSeries).SetMarker(nMarker);
    return true;
}

bool CChartCtrl::GetSeriesMarker(int nSeries, int& nMarker) const {
    if (!IsSeries(nSeries))
        return false;
    nMarker = Series(nSeries).GetMarker();
    return true;
}

bool CChartCtrl::SetPoint(int nSeries, int nIndex, double dValue) {
    return IsSeries(nSeries) && Series(nSeries).SetPoint(nIndex, dValue);
}

bool CChartCtrl::AddPoint(int nSeries, double dValue) {
    if (!IsSeries(nSeries))
        return false;
    Series(nSeries).AddPoint(dValue);
    return true;
}

bool CChartCtrl::ClearPoints(int nSeries) {
    if (!IsSeries(nSeries))
        return false;
    Series(nSeries).ClearPoints();
    return true;
}

bool CChartCtrl::GetPoint(int nSeries, int nIndex, double& dValue) const {
    return IsSeries(nSeries) && Series(nSeries).GetPoint(nIndex, dValue);
}

bool CChartCtrl::CalcLayout() {
    m_layout = CChartLayout::Compute(width(), height(), !m_strTitle.empty(), m_dYStep, m_arrSeries);
    return m_layout.m_bHasScale;
}

bool CChartCtrl::Refresh() {
    update();
    return true;
}

void CChartCtrl::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    Paint(dc);
}

void CChartCtrl::Paint(QPainter& dc) {
    CalcLayout();
    DrawBackground(dc);
    DrawTitle(dc);
    DrawUnderSeries(dc);
    DrawZeroLine(dc);
    DrawAxes(dc);
    DrawYLabels(dc);
    DrawXLabels(dc);
    DrawAllSeries(dc);
}

void CChartCtrl::DrawBackground(QPainter& dc) {
    const CChartRect& rc = m_layout.m_rcClient;
    dc.fillRect(QRect(rc.left, rc.top, rc.Width(), rc.Height()), m_backgroundColor);
    HLine(dc, rc.left, rc.right, rc.top);
    HLine(dc, rc.left, rc.right, rc.bottom - 1);
    VLine(dc, rc.left, rc.bottom, rc.top);
    VLine(dc, rc.right - 1, rc.bottom, rc.top);
}

void CChartCtrl::DrawTitle(QPainter& dc) {
    if (m_strTitle.empty())
        return;
    const CChartRect& rc = m_layout.m_rcTitle;
    dc.save();
    // As high as its rectangle, unless that makes it wider than the control.
    const QString strTitle = Latin1(m_strTitle);
    int nCell = rc.Height();
    const int nWidth = QFontMetrics(MakeFont(nCell)).horizontalAdvance(strTitle);
    if (nWidth > rc.Width())
        nCell = std::max(1, nCell * rc.Width() / nWidth);
    dc.setFont(MakeFont(nCell));
    dc.setPen(Qt::black);
    DrawCellText(dc, QRect(rc.left, rc.top, rc.Width(), rc.Height()), Qt::AlignCenter, nCell,
                 strTitle, &m_backgroundColor);
    dc.restore();
}

void CChartCtrl::DrawZeroLine(QPainter& dc) {
    if (!m_layout.m_bHasScale || m_layout.m_dYMin > 0)
        return;
    const CChartRect& P = m_layout.m_rcPlot;
    HLine(dc, P.left, P.right, m_layout.PointY(0));
}

void CChartCtrl::DrawAxes(QPainter& dc) {
    const CChartRect& Y = m_layout.m_rcYLabels;
    const CChartRect& X = m_layout.m_rcXLabels;
    VLine(dc, Y.right, Y.bottom, Y.top);
    HLine(dc, X.left, X.right, X.top);
}

void CChartCtrl::DrawYLabels(QPainter& dc) {
    const CChartRect& Y = m_layout.m_rcYLabels;
    const int h = std::max(m_layout.YLabelHeight(), m_nMinCell);
    dc.save();
    dc.setPen(Qt::black);
    if (m_bShowYLabels && m_nYDivisions > 0 && m_layout.m_bHasScale) {
        dc.setFont(MakeFont(h));
        const double dv = (m_layout.m_dYMax - m_layout.m_dYMin) / m_nYDivisions;
        for (int i = 0; i <= m_nYDivisions; ++i) {
            const CChartRect rc = m_layout.YLabelRect(i, m_nYDivisions);
            DrawCellText(dc, QRect(rc.left, rc.top, rc.Width(), rc.Height()),
                         Qt::AlignRight | Qt::AlignBottom, h, FormatG(m_layout.m_dYMin + i * dv));
        }
    }
    if (!m_strYAxisTitle.empty()) {
        // Reads upwards from the bottom of the label area, along its left edge.
        const int nTitle = std::max(2 * m_layout.YLabelHeight(), m_nMinCell);
        dc.setFont(MakeFont(nTitle));
        dc.translate(Y.left, Y.bottom);
        dc.rotate(-90);
        DrawCellText(dc, QRect(0, 0, Y.Height(), nTitle), Qt::AlignLeft | Qt::AlignTop, nTitle,
                     Latin1(m_strYAxisTitle));
    }
    dc.restore();
}

void CChartCtrl::DrawXLabels(QPainter& dc) {
    const CChartRect& X = m_layout.m_rcXLabels;
    dc.save();
    dc.setPen(Qt::black);
    if (!m_arrXLabels.empty()) {
        const int nCell = std::max(m_layout.XLabelHeight(), m_nMinCell);
        dc.setFont(MakeFont(nCell));
        const int n = static_cast<int>(m_arrXLabels.size());
        for (int i = 0; i < n; i += m_nXLabelStep)
            DrawCellText(dc, QRect(m_layout.XLabelLeft(i, n), X.top, X.Width(), X.Height()),
                         Qt::AlignLeft | Qt::AlignTop, nCell,
                         Latin1(m_arrXLabels[static_cast<size_t>(i)]));
    }
    if (!m_strXAxisTitle.empty()) {
        const int nTitle = std::max(m_layout.XTitleHeight(), m_nMinCell);
        dc.setFont(MakeFont(nTitle));
        DrawCellText(dc, QRect(X.left, X.top, X.Width(), X.Height()),
                     Qt::AlignHCenter | Qt::AlignBottom, nTitle, Latin1(m_strXAxisTitle));
    }
    dc.restore();
}

void CChartCtrl::DrawSeries(QPainter& dc, const CChartSeries& series) {
    QPolygon points;
    for (int i = 0; i < series.GetCount(); ++i) {
        double dValue = 0;
        series.GetPoint(i, dValue);
        if (!CChartSeries::IsSkipped(dValue))
            points << QPoint(m_layout.PointX(i), m_layout.PointY(dValue));
    }
    if (points.isEmpty())
        return;

    const QColor color = series.GetColor();
    const int nSize = series.GetSize();
    const int yBase = m_layout.PointY(m_layout.BaseValue());
    dc.save();
    switch (series.GetType()) {
    case CChartSeries::TYPE_AREA:
        dc.setPen(QPen(color, 1));
        dc.setBrush(color);
        points.prepend(QPoint(points.first().x(), yBase));
        points.append(QPoint(points.last().x(), yBase));
        dc.drawPolygon(points);
        break;
    case CChartSeries::TYPE_LINE: {
        dc.setPen(QPen(color, nSize, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        dc.drawPolyline(points);
        // Markers are filled shapes exactly 4 * size across, without an outline around them.
        const int r = 2 * nSize;
        dc.setPen(Qt::NoPen);
        dc.setBrush(color);
        for (const QPoint& pt : points) {
            const int x = pt.x();
            const int y = pt.y();
            switch (series.GetMarker()) {
            case CChartSeries::MARKER_TRIANGLE:
                dc.drawPolygon(
                    QPolygon({QPoint(x, y - r), QPoint(x + r, y + r), QPoint(x - r, y + r)}));
                break;
            case CChartSeries::MARKER_SQUARE:
                dc.drawRect(QRect(x - r, y - r, 2 * r, 2 * r));
                break;
            case CChartSeries::MARKER_CIRCLE:
                dc.drawEllipse(QRect(x - r, y - r, 2 * r, 2 * r));
                break;
            case CChartSeries::MARKER_DIAMOND:
                dc.drawPolygon(QPolygon(
                    {QPoint(x, y - r), QPoint(x + r, y), QPoint(x, y + r), QPoint(x - r, y)}));
                break;
            default:
                break;
            }
        }
        break;
    }
    case CChartSeries::TYPE_BARS: {
        const double dx = static_cast<double>(m_layout.m_rcPlot.Width()) / m_layout.m_nSlots;
        const int nWidth = std::max(1, CChartLayout::Trunc(nSize * dx / 10));
        for (const QPoint& pt : points) {
            const int nTop = std::min(pt.y(), yBase);
            const int nBottom = std::max(pt.y(), yBase);
            dc.fillRect(QRect(pt.x() - nWidth / 2, nTop, nWidth, nBottom - nTop), color);
        }
        break;
    }
    default:
        break;
    }
    dc.restore();
}

void CChartCtrl::DrawAllSeries(QPainter& dc) {
    if (!m_layout.m_bHasScale)
        return;
    // Lower indices end up on top.
    for (int i = MAX_SERIES - 1; i >= 0; --i)
        DrawSeries(dc, Series(i));
}
