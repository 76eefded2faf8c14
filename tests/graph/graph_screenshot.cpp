// graph_screenshot [file.png [entries, 300 by default]]: a sample host's graph dialog as a PNG.
#include "gui_test_support.h"
#include "sample_host_graph.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    PinFonts();
    const QString strPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "host_graph.png";
    if (WriteSampleGraphPng(strPath, argc > 2 ? std::atoi(argv[2]) : 300))
        return 0;
    std::fprintf(stderr, "Cannot write %s (12 entries or more needed)\n", qPrintable(strPath));
    return 1;
}
