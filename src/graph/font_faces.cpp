#include "graph/font_faces.h"

#include <QFont>
#include <QFontDatabase>
#include <QStandardPaths>

namespace {

const char* const ASKED_FACES[] = {"Verdana", "MS Sans Serif", "Arial"};
// Regular and bold: all the windows draw with.
const char* const DEJAVU_FILES[] = {"fonts/truetype/dejavu/DejaVuSans.ttf",
                                    "fonts/truetype/dejavu/DejaVuSans-Bold.ttf"};

} // namespace

bool MapFontFaces() {
    bool bLoaded = true;
    for (const char* pszFile : DEJAVU_FILES) {
        const QString strPath =
            QStandardPaths::locate(QStandardPaths::GenericDataLocation, QLatin1String(pszFile));
        bLoaded = !strPath.isEmpty() && QFontDatabase::addApplicationFont(strPath) >= 0 && bLoaded;
    }
    for (const char* pszFace : ASKED_FACES)
        QFont::insertSubstitution(QLatin1String(pszFace), QStringLiteral("DejaVu Sans"));
    return bLoaded;
}
