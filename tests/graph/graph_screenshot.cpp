// Writes the host graph dialog of a sample host to a PNG:
// graph_screenshot [file.png [history entries, 300 by default]]
#include "sample_host_graph.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QString strPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "host_graph.png";
    if (WriteSampleGraphPng(strPath, argc > 2 ? std::atoi(argv[2]) : 300))
        return 0;
    std::fprintf(stderr, "Cannot write %s\n", qPrintable(strPath));
    return 1;
}
