// vantrel_screenshots DATA-FILE OUTPUT-DIR: renders the main window, the options dialog, the
// about box and the wait dialog to PNG files without a display. The data file is only read.
#include "core/vantrel_doc.h"
#include "ui/about_dlg.h"
#include "ui/main_frame.h"
#include "ui/message_box_queue.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "ui/wait_dialog.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CMessageBoxQueue messages;
    CVantrelDoc doc(messages, nullptr);
    if (argc != 3 || doc.LoadHosts(argv[1]).m_eResult != CHostsFile::LOAD_OK) {
        std::fprintf(stderr, "usage: vantrel_screenshots DATA-FILE OUTPUT-DIR (a readable one)\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[2]));
    bool bOK = dir.mkpath(QStringLiteral("."));
    auto Save = [&](QWidget& widget, const char* pszName) {
        widget.show();
        QCoreApplication::processEvents();
        const QString strPath = dir.filePath(QString::fromLatin1(pszName));
        bOK = widget.grab().save(strPath, "PNG") && bOK;
        std::printf("%s\n", qPrintable(strPath));
        widget.hide();
    };
    CMainFrame frame(&messages);
    frame.GetView()->OnInitialUpdate(doc);
    frame.GetView()->ToggleCheck(0);
    Save(frame, "main-window.png");
    COptionsDlg options(&frame, nullptr);
    options.m_pDoc = &doc;
    options.OnInitDialog();
    Save(options, "options.png");
    CAboutDlg about(&frame);
    Save(about, "about.png");
    frame.GetWaitDialog()->BeginWait();
    for (int i = 0; i < 3; ++i)
        frame.GetWaitDialog()->StepWait();
    Save(*frame.GetWaitDialog(), "wait.png");
    return bOK ? 0 : 1;
}
