#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>

#include <cstdlib>
#include <ostream>

// One application object for the whole test binary, headless unless told otherwise.
inline QApplication& GuiApp() {
    static int s_argc = 1;
    static char s_szName[] = "tests_graph";
    static char* s_argv[] = {s_szName, nullptr};
    static QApplication* s_pApp = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(s_argc, s_argv);
    }();
    return *s_pApp;
}

// Readable colours in failure messages.
inline void PrintTo(const QColor& color, std::ostream* pOut) {
    *pOut << "rgb(" << color.red() << ", " << color.green() << ", " << color.blue() << ")";
}

inline QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

// Text is antialiased: any clearly dark pixel in the box counts as ink.
inline bool HasInk(const QImage& image, int nLeft, int nTop, int nRight, int nBottom) {
    for (int y = nTop; y < nBottom; ++y)
        for (int x = nLeft; x < nRight; ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}
