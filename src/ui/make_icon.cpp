// Writes the program icon: make_icon FILE.png SIZE, or make_icon FILE.svg (scalable).
#include "widgets/artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool IsSvg(const char* pszFile) {
    const size_t nLength = std::strlen(pszFile);
    return nLength > 4 && std::strcmp(pszFile + nLength - 4, ".svg") == 0;
}

bool WriteSvg(const QString& strFile) {
    QSvgGenerator svg;
    svg.setFileName(strFile);
    svg.setSize(QSize(64, 64));
    svg.setViewBox(QRect(0, 0, 64, 64));
    svg.setTitle(QStringLiteral("Vantrel"));
    QPainter p;
    if (!p.begin(&svg))
        return false;
    p.setRenderHint(QPainter::Antialiasing);
    CArtwork::PaintProgramIcon(p);
    return p.end();
}

} // namespace

int main(int argc, char** argv) {
    const bool bSvg = argc == 2 && IsSvg(argv[1]);
    if (!bSvg && (argc != 3 || std::atoi(argv[2]) <= 0)) {
        std::fprintf(stderr, "usage: vantrel_make_icon FILE.png SIZE | FILE.svg\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString strFile = QString::fromLocal8Bit(argv[1]);
    if (!(bSvg ? WriteSvg(strFile)
               : CArtwork::ProgramIcon(std::atoi(argv[2])).save(strFile, "PNG"))) {
        std::fprintf(stderr, "vantrel_make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
