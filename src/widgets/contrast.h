#pragma once

#include <QColor>

// Colours the program picks itself, kept readable on whatever background the palette gives:
// WCAG 2 contrast ratios, and a colour moved toward black or white until it reaches one.
class CContrast {
public:
    // The ratio that text needs against its background (WCAG AA, normal text).
    static constexpr double AA = 4.5;

    // WCAG 2 relative luminance, 0 (black) to 1 (white).
    static double Luminance(const QColor& colour);
    // 1 (the same) to 21 (black on white), whichever way round.
    static double Ratio(const QColor& a, const QColor& b);
    // wanted when it reaches dMinRatio against background; else wanted mixed toward black or
    // white (whichever ends further from the background) just as far as that takes, so it
    // keeps its hue as well as it can.
    static QColor Readable(const QColor& wanted, const QColor& background, double dMinRatio = AA);
};
