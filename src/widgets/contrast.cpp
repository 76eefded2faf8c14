#include "widgets/contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(double dChannel) {
    return dChannel <= 0.04045 ? dChannel / 12.92 : std::pow((dChannel + 0.055) / 1.055, 2.4);
}

QColor Mix(const QColor& from, const QColor& to, double t) {
    return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * t),
                            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * t),
                            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * t));
}

} // namespace

double CContrast::Luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
           0.0722 * Linear(rgb.blueF());
}

double CContrast::Ratio(const QColor& a, const QColor& b) {
    const double dA = Luminance(a), dB = Luminance(b);
    return (std::max(dA, dB) + 0.05) / (std::min(dA, dB) + 0.05);
}

QColor CContrast::Readable(const QColor& wanted, const QColor& background, double dMinRatio) {
    if (Ratio(wanted, background) >= dMinRatio)
        return wanted;
    const QColor target = Ratio(Qt::black, background) >= Ratio(Qt::white, background)
                              ? QColor(Qt::black)
                              : QColor(Qt::white);
    // The ratio grows with t: the least t that reaches it, to a 1/256 step.
    double dLow = 0, dHigh = 1;
    for (int i = 0; i < 8; ++i) {
        const double dMid = (dLow + dHigh) / 2;
        (Ratio(Mix(wanted, target, dMid), background) >= dMinRatio ? dHigh : dLow) = dMid;
    }
    return Mix(wanted, target, dHigh).toRgb();
}
