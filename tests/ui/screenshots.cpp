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
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel_screenshots DATA-FILE OUTPUT-DIR\n");
        return 2;
    }
    CMessageBoxQueue messages;
    CVantrelDoc doc(messages, nullptr);
    if (doc.LoadHosts(argv[1]).m_eResult != CHostsFile::LOAD_OK) {
        std::fprintf(stderr, "vantrel_screenshots: cannot load %s\n", argv[1]);
        return 1;
    }
    const QDir dir(QString::fromLocal8Bit(argv[2]));
    dir.mkpath(QStringLiteral("."));
    bool bOK = true;
    auto Save = [&](QWidget& widget, const char* pszName) {
        widget.show();
        QCoreApplication::processEvents();
        const QString strPath = dir.filePath(QString::fromLatin1(pszName));
        const bool bSaved = widget.grab().save(strPath, "PNG");
        std::fprintf(bSaved ? stdout : stderr, "%s%s\n", bSaved ? "" : "cannot write ",
                     qPrintable(strPath));
        bOK = bOK && bSaved;
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
    CWaitDialog& wait = *frame.GetWaitDialog();
    wait.BeginWait();
    for (int i = 0; i < 3; ++i)
        wait.StepWait();
    Save(wait, "wait.png");
    wait.EndWait();
    return bOK ? 0 : 1;
}
