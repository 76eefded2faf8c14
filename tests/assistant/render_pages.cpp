// render_pages <folder>: every page of the host assistant and the weighting dialog as PNG files.
#include "assistant/host_assistant.h"
#include "assistant/sample_host.h"
#include "gui_test_support.h"
#include "report/weighting_dialog.h"
#include <QApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PinFonts();
    const QString strDir = argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString();
    bool bOk = !strDir.isEmpty() && QDir().mkpath(strDir);
    auto save = [&](QWidget& widget, const QString& strName) {
        widget.show();
        QApplication::processEvents();
        bOk = bOk && widget.grab().save(strDir + "/" + strName);
        std::printf("%s %s\n", qPrintable(strName), bOk ? "written" : "FAILED");
    };
    CHost blank, host;
    FillSampleHost(host);
    CHostAssistant add(nullptr, blank, false), modify(nullptr, host, true);
    save(add, "assistant-add-page1.png");
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; nPage++, modify.next())
        save(modify, QString("assistant-page%1.png").arg(nPage + 1));
    CWeightingDialog weights(nullptr);
    save(weights, "weighting-dialog.png");
    return bOk && modify.currentId() == 6 ? 0 : 1;
}
