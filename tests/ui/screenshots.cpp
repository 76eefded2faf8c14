// Renders the main window, the options dialog, the about box and the wait dialog to PNG files
// without a display: vantrel_screenshots DATA-FILE OUTPUT-DIR. The data file is only read.
#include "core/host.h"
#include "core/message_sink.h"
#include "core/vantrel_doc.h"
#include "ui/about_dlg.h"
#include "ui/main_frame.h"
#include "ui/message_box_queue.h"
#include "ui/options_dlg.h"
#include "ui/vantrel_view.h"
#include "ui/wait_dialog.h"

#include <QApplication>
#include <QDir>
#include <QStandardItemModel>

#include <cstdio>

namespace {

bool Save(QWidget& widget, const QString& strDir, const char* pszName) {
    widget.show();
    QCoreApplication::processEvents();
    const QString strPath = QDir(strDir).filePath(QString::fromLatin1(pszName));
    if (!widget.grab().save(strPath, "PNG")) {
        std::fprintf(stderr, "vantrel_screenshots: cannot write %s\n", qPrintable(strPath));
        return false;
    }
    std::printf("%s\n", qPrintable(strPath));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel_screenshots DATA-FILE OUTPUT-DIR\n");
        return 2;
    }
    const QString strDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(strDir);

    CMessageBoxQueue messages;
    CVantrelDoc doc(messages, nullptr);
    if (doc.LoadHosts(argv[1]).m_eResult != CHostsFile::LOAD_OK) {
        std::fprintf(stderr, "vantrel_screenshots: cannot load %s\n", argv[1]);
        return 1;
    }
    CMainFrame frame(&messages);
    frame.GetView()->OnInitialUpdate(doc);
    bool bOK = Save(frame, strDir, "main-window.png");

    // The same list as it looks while tests run: states in memory only, nothing is saved.
    const int arrStates[] = {HOST_UP, HOST_DOWN, HOST_UNKNOWN, HOST_UP};
    for (size_t i = 0; i < doc.m_arrHosts.size() && i < 4; ++i) {
        CHost& host = *doc.m_arrHosts[i];
        host.m_bTesting = 1;
        host.m_nState = arrStates[i];
        frame.GetView()->UpdateHostRow(static_cast<int>(i), host);
    }
    CVantrelView& view = *frame.GetView();
    if (view.GetModel()->rowCount() > 2) {
        view.ToggleCheck(2);
        view.setFocus();
        view.selectionModel()->select(view.GetModel()->index(1, 0),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
        view.m_bShowSelAlways = true;
    }
    bOK = Save(frame, strDir, "main-window-testing.png") && bOK;

    COptionsDlg options(&frame, nullptr);
    options.m_pDoc = &doc;
    options.OnInitDialog();
    bOK = Save(options, strDir, "options.png") && bOK;
    options.hide();

    CAboutDlg about(&frame);
    bOK = Save(about, strDir, "about.png") && bOK;
    about.hide();

    CWaitDialog& wait = *frame.GetWaitDialog();
    wait.BeginWait();
    for (int i = 0; i < 3; ++i)
        wait.StepWait();
    bOK = Save(wait, strDir, "wait.png") && bOK;
    wait.EndWait();
    return bOK ? 0 : 1;
}
