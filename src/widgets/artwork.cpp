#include "widgets/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVector>

namespace {

const QColor kBlue(38, 98, 166);
const QColor kLightBlue(92, 156, 222);
const QColor kGreen(72, 190, 103);
const QColor kRed(228, 93, 118);
const QColor kInk(44, 52, 64);
const QColor kPaper(250, 250, 246);

QImage MagentaImage(int nWidth, int nHeight) {
    QImage image(nWidth, nHeight, QImage::Format_RGB32);
    image.fill(CArtwork::MAGENTA);
    return image;
}

// Pixels of the painted image at least nAlpha opaque replace the magenta of the target at
// column nLeft; anti-aliased edges are snapped to the shape or to transparent.
void CopyOntoMagenta(const QImage& painted, int nAlpha, QImage& target, int nLeft) {
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x) {
            const QRgb px = painted.pixel(x, y);
            if (qAlpha(px) >= nAlpha)
                target.setPixel(nLeft + x, y, qRgb(qRed(px), qGreen(px), qBlue(px)));
        }
}

// A small server cabinet: the motif of the host commands.
void DrawServer(QPainter& p, const QRectF& r) {
    p.setPen(QPen(kInk, 1.5));
    const qreal h = r.height() / 3.0;
    for (int i = 0; i < 3; ++i) {
        QRectF unit(r.left(), r.top() + i * h, r.width(), h - 2);
        QLinearGradient g(unit.topLeft(), unit.bottomLeft());
        g.setColorAt(0, kLightBlue);
        g.setColorAt(1, kBlue);
        p.setBrush(g);
        p.drawRoundedRect(unit, 2, 2);
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(unit.right() - 5, unit.center().y()), 2, 2);
        p.drawLine(QPointF(unit.left() + 4, unit.center().y()),
                   QPointF(unit.left() + unit.width() / 2, unit.center().y()));
    }
}

// A round badge at the server's lower right with a white mark of two strokes (+ or x).
void DrawBadge(QPainter& p, const QColor& colour, const QLineF& first, const QLineF& second) {
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(colour);
    p.drawEllipse(QPointF(34, 32), 9, 9);
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(first);
    p.drawLine(second);
}

void DrawToolbarImage(QPainter& p, int nIndex) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF server(8, 6, 24, 33);
    switch (nIndex) {
    case 0: // add host
        DrawServer(p, server);
        DrawBadge(p, kGreen, QLineF(29, 32, 39, 32), QLineF(34, 27, 34, 37));
        break;
    case 1: { // edit host
        DrawServer(p, server);
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(242, 190, 60));
        QPolygonF pencil;
        pencil << QPointF(40, 18) << QPointF(44, 22) << QPointF(30, 38) << QPointF(25, 40)
               << QPointF(26, 34);
        p.drawPolygon(pencil);
        break;
    }
    case 2: // remove host
        DrawServer(p, server);
        DrawBadge(p, kRed, QLineF(30, 28, 38, 36), QLineF(38, 28, 30, 36));
        break;
    case 3: { // start tests
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kGreen);
        QPolygonF play;
        play << QPointF(14, 8) << QPointF(38, 23.5) << QPointF(14, 39);
        p.drawPolygon(play);
        break;
    }
    case 4: // stop tests
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(11, 10, 26, 26), 3, 3);
        break;
    case 5: { // build graph
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kPaper);
        p.drawRect(QRectF(6, 6, 36, 34));
        p.setPen(QPen(kBlue, 2.5));
        QPolygonF line;
        line << QPointF(9, 33) << QPointF(16, 22) << QPointF(22, 27) << QPointF(30, 13)
             << QPointF(39, 18);
        p.drawPolyline(line);
        break;
    }
    case 6: // generate report
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kPaper);
        p.drawRect(QRectF(11, 4, 26, 38));
        p.setPen(QPen(kBlue, 2));
        for (int y = 12; y <= 34; y += 6)
            p.drawLine(QPointF(15, y), QPointF(y == 34 ? 26 : 33, y));
        break;
    case 8: // compare hosts: a short and a tall bar in two colours, each with its own cap
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kPaper);
        p.drawRect(QRectF(6, 6, 36, 34));
        p.setBrush(kGreen);
        p.drawRect(QRectF(11, 22, 10, 15));
        p.setBrush(kLightBlue);
        p.drawRect(QRectF(27, 12, 10, 25));
        p.setPen(QPen(kRed, 2));
        p.drawLine(QPointF(9, 17), QPointF(23, 17));
        p.drawLine(QPointF(25, 9), QPointF(39, 9));
        break;
    case 9: { // history: a line over time with a down period shaded red
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kPaper);
        p.drawRect(QRectF(6, 6, 36, 34));
        p.fillRect(QRectF(22, 7, 8, 32), kRed.lighter(130));
        p.setPen(QPen(kGreen.darker(115), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(
            QPolygonF({QPointF(9, 28), QPointF(14, 22), QPointF(19, 25), QPointF(21, 20)}));
        p.drawPolyline(QPolygonF({QPointF(31, 18), QPointF(35, 24), QPointF(39, 15)}));
        break;
    }
    default: { // tutorial
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(kLightBlue);
        p.drawEllipse(QPointF(24, 23.5), 17, 17);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(24);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(7, 6, 34, 35), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
}

// The 16 colours of a basic display, for screens of 8 bits per pixel or less.
QVector<QRgb> BasicPalette() {
    return {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
            0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
            0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
}

} // namespace

QImage CArtwork::ToolbarStrip(bool bLowColour) {
    QImage strip = MagentaImage(TOOLBAR_WIDTH * TOOLBAR_IMAGES, TOOLBAR_HEIGHT);
    for (int i = 0; i < TOOLBAR_IMAGES; ++i) {
        // Each image is painted on its own so that anti-aliased edges blend into magenta only
        // where the shape is; the edge pixels are then snapped to the shape or to magenta.
        QImage cell(TOOLBAR_WIDTH, TOOLBAR_HEIGHT, QImage::Format_ARGB32);
        cell.fill(Qt::transparent);
        {
            QPainter p(&cell);
            DrawToolbarImage(p, i);
        }
        CopyOntoMagenta(cell, 128, strip, i * TOOLBAR_WIDTH);
    }
    if (bLowColour)
        return strip.convertToFormat(QImage::Format_Indexed8, BasicPalette(), Qt::ThresholdDither)
            .convertToFormat(QImage::Format_RGB32);
    return strip;
}

QImage CArtwork::CheckBoxStrip() {
    QImage strip = MagentaImage(2 * CHECK_WIDTH, CHECK_HEIGHT);
    QPainter p(&strip);
    for (int i = 0; i < 2; ++i) {
        const QRect box(i * CHECK_WIDTH + 6, 1, 13, 13);
        p.setPen(QColor(122, 138, 153));
        p.setBrush(Qt::white);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        if (i == 1) {
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(kGreen.darker(120), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPolygonF tick;
            tick << QPointF(box.left() + 2.5, box.top() + 6.5)
                 << QPointF(box.left() + 5.5, box.top() + 9.5)
                 << QPointF(box.left() + 10.5, box.top() + 3);
            p.drawPolyline(tick);
            p.setRenderHint(QPainter::Antialiasing, false);
        }
    }
    return strip;
}

QImage CArtwork::Logo() {
    const int nWidth = 150, nHeight = 44;
    QImage logo(nWidth, nHeight, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    {
        QPainter p(&logo);
        p.drawImage(0, 2, ProgramIcon(40));
        p.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("Verdana"));
        font.setPixelSize(22);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kBlue);
        p.drawText(QRect(46, 0, nWidth - 46, nHeight), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("Vantrel"));
    }
    // Back onto magenta, the way the dialogs expect their logo.
    QImage result = MagentaImage(nWidth, nHeight);
    CopyOntoMagenta(logo, 96, result, 0);
    return result;
}

QImage CArtwork::ProgramIcon(int nSize) {
    QImage icon(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(nSize / 64.0, nSize / 64.0);
    PaintProgramIcon(p);
    return icon;
}

void CArtwork::PaintProgramIcon(QPainter& p) {
    QLinearGradient back(0, 0, 0, 64);
    back.setColorAt(0, kLightBlue);
    back.setColorAt(1, kBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Two hosts side by side, the taller one chosen: the program compares hosts.
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(12, 24, 16, 28), 3, 3);
    p.drawRoundedRect(QRectF(36, 14, 16, 38), 3, 3);
    p.setBrush(kBlue);
    for (int y : {30, 38, 46})
        p.drawRect(QRectF(15, y, 10, 3));
    for (int y : {20, 28, 36, 44})
        p.drawRect(QRectF(39, y, 10, 3));
    // The pulse of a ping across both.
    p.setPen(QPen(kGreen, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPolygonF pulse;
    pulse << QPointF(6, 40) << QPointF(20, 40) << QPointF(26, 26) << QPointF(32, 50)
          << QPointF(38, 34) << QPointF(58, 34);
    p.drawPolyline(pulse);
}

QImage CArtwork::MaskMagenta(const QImage& image) {
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* pLine = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            if ((pLine[x] & 0x00FFFFFF) == (MAGENTA & 0x00FFFFFF))
                pLine[x] = 0;
    }
    return result;
}
