#pragma once

// A rectangle of the chart's layout: right and bottom are outside it, so the width is
// right - left, as the layout's arithmetic expects.
struct CChartRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CChartRect&) const = default;
};
