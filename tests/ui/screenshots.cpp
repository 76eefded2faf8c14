// vantrel_screenshots DATA-FILE OUTPUT-DIR: the main window and its dialogs as PNG files.
#include "core/vantrel_doc.h"
#include "gui_test_support.h"
#include "ui/about_dlg.h"
#include "ui/main_frame.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "widgets/message_box_queue.h"
#include "widgets/wait_dialog.h"
#include <QApplication>
#include <QDir>
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
    CMainFrame frame(&messages);
    frame.GetView()->OnInitialUpdate(doc);
    COptionsDlg options(&frame, nullptr);
    options.m_pDoc = &doc;
    options.OnInitDialog();
    CAboutDlg about(&frame);
    frame.GetWaitDialog()->BeginWait();
    frame.GetWaitDialog()->StepWait();
    for (auto [pWidget, pszName] : {std::pair<QWidget*, const char*>{&frame, "main-window.png"},
                                    {&options, "options.png"},
                                    {&about, "about.png"},
                                    {frame.GetWaitDialog(), "wait.png"}}) {
        pWidget->show();
        QCoreApplication::processEvents();
        const QString strPath = dir.filePath(QString::fromLatin1(pszName));
        bOK = pWidget->grab().save(strPath, "PNG") && bOK;
        std::printf("%s\n", qPrintable(strPath));
        pWidget->hide();
    }
    return bOK ? 0 : 1;
}
