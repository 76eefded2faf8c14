// vantrel_screenshots DATA-FILE OUTPUT-DIR: the main window, its dialogs and every page of the
// host assistant as PNG files.
#include "assistant/host_assistant.h"
#include "assistant/sample_host.h"
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "report/weighting_dialog.h"
#include "ui/about_dlg.h"
#include "ui/main_frame.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "widgets/message_box_queue.h"
#include "widgets/wait_dialog.h"
#include <QtWidgets>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    PinFonts();
    CMessageBoxQueue messages;
    CVantrelDoc doc(messages, nullptr);
    if (argc != 3 || doc.LoadHosts(argv[1]).m_eResult != CHostsFile::LOAD_OK) {
        std::fprintf(stderr, "usage: vantrel_screenshots DATA-FILE OUTPUT-DIR (a readable one)\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[2]));
    bool bOK = dir.mkpath(QStringLiteral("."));
    CHost blank, host;
    FillSampleHost(host);
    CHostAssistant add(nullptr, blank, false), modify(nullptr, host, true);
    auto Save = [&](QWidget& widget,
                    const QString& strName) { // the assistant stays up between pages
        widget.show();
        QCoreApplication::processEvents();
        const QString strPath = dir.filePath(strName);
        bOK = widget.grab().save(strPath, "PNG") && bOK;
        std::printf("%s\n", qPrintable(strPath));
        if (&widget != &add && &widget != &modify)
            widget.hide();
    };
    CMainFrame frame(&messages);
    frame.GetView()->OnInitialUpdate(doc);
    COptionsDlg options(&frame, nullptr);
    options.m_pDoc = &doc;
    options.OnInitDialog();
    CAboutDlg about(&frame);
    frame.GetWaitDialog()->BeginWait();
    frame.GetWaitDialog()->StepWait();
    Save(frame, "main-window.png");
    Save(options, "options.png");
    Save(about, "about.png");
    Save(*frame.GetWaitDialog(), "wait.png");
    Save(add, "assistant-add-page1.png");
    for (int nPage = 0; nPage < CHostAssistant::PAGE_COUNT; nPage++, modify.next())
        Save(modify, QString("assistant-page%1.png").arg(nPage + 1));
    CWeightingDialog weights(nullptr);
    Save(weights, "weighting-dialog.png");
    return bOK && modify.currentId() == 6 ? 0 : 1;
}
