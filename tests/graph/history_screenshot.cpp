// history_screenshot history.png compare-history.png: the History window of a sample host and
// the Compare Hosts window of eight sample hosts with their test history, as PNG files.
#include "gui_test_support.h"
#include "sample_host_graph.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TZ", "UTC", 1); // the same time axis on every machine
    tzset();
    QApplication app(argc, argv);
    PinFonts();
    if (argc < 3) {
        std::fprintf(stderr, "usage: history_screenshot history.png compare-history.png\n");
        return 2;
    }
    if (!WriteSampleHistoryPng(QString::fromLocal8Bit(argv[1]), 900, 720) ||
        !WriteSampleComparisonHistoryPng(QString::fromLocal8Bit(argv[2]), 8, 900, 820)) {
        std::fprintf(stderr, "Cannot write the pictures\n");
        return 1;
    }
    return 0;
}
