// compare_screenshot [file.png [hosts, 8 by default]]: the Compare Hosts window of sample hosts
// as a PNG.
#include "gui_test_support.h"
#include "sample_host_graph.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    PinFonts();
    const QString strPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "compare-hosts.png";
    if (WriteSampleComparisonPng(strPath, argc > 2 ? std::atoi(argv[2]) : 8, 900, 700))
        return 0;
    std::fprintf(stderr, "Cannot write %s\n", qPrintable(strPath));
    return 1;
}
