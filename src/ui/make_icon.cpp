// Writes the program icon as a PNG file: make_icon FILE SIZE.
#include "widgets/artwork.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr, "usage: vantrel_make_icon FILE SIZE\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    if (!CArtwork::ProgramIcon(std::atoi(argv[2])).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "vantrel_make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
