// Renders every page of the host assistant and the weighting dialog to PNG files, headless,
// so that they can be looked at without a display: render_pages <folder>.
#include "assistant/host_assistant.h"
#include "assistant/sample_host.h"
#include "report/weighting_dialog.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

bool Save(QWidget& widget, const QString& strPath) {
    QApplication::processEvents();
    if (!widget.grab().save(strPath)) {
        std::fprintf(stderr, "render_pages: cannot write %s\n", qPrintable(strPath));
        return false;
    }
    std::printf("%s\n", qPrintable(strPath));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_pages <folder>\n");
        return 2;
    }
    const QString strDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(strDir);

    CHost host;
    FillSampleHost(host);

    bool bOk = true;
    {
        CHost blank;
        CHostAssistant add(nullptr, blank, false);
        add.show();
        bOk &= Save(add, strDir + "/assistant-add-page1.png");
    }
    CHostAssistant assistant(nullptr, host, true);
    assistant.show();
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; ++nPage) {
        if (nPage > 0)
            assistant.next();
        if (assistant.currentId() != nPage) {
            std::fprintf(stderr, "render_pages: page %d refused to open\n", nPage + 1);
            return 1;
        }
        bOk &= Save(assistant, strDir + QString("/assistant-page%1.png").arg(nPage + 1));
    }
    CWeightingDialog weights(nullptr);
    weights.show();
    bOk &= Save(weights, strDir + "/weighting-dialog.png");
    return bOk ? 0 : 1;
}
