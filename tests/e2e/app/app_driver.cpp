// The desktop program with its menus driven by the lines of the FIFO VANTREL_DRIVER_FIFO names;
// "stop" and "logout" log "<command> N ms" to VANTREL_DRIVER_LOG once they have returned.
#include "ui/command_ids.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"
#include "ui/vantrel_view.h"

#include <QAction>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QStandardItemModel>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

void Log(const std::string& strLine) {
    if (FILE* pLog = std::fopen(std::getenv("VANTREL_DRIVER_LOG"), "a")) {
        std::fprintf(pLog, "%s\n", strLine.c_str());
        std::fclose(pLog);
    }
}

void Run(CVantrelApp& app, const std::string& strCommand) {
    CMainFrame& frame = *app.GetMainFrame();
    CVantrelView& view = *frame.GetView();
    QElapsedTimer timer;
    timer.start();
    if (strCommand == "stop") {
        for (size_t i = 0; i < view.m_arrMarked.size(); ++i)
            if (!view.m_arrMarked[i])
                view.ToggleCheck(static_cast<int>(i));
        frame.GetAction(ID_TEST_STOP)->trigger();
    } else if (strCommand == "logout") {
        QMetaObject::invokeMethod(&app, "OnSaveNow", Qt::DirectConnection);
    } else if (strCommand == "exit") {
        frame.GetAction(ID_APP_EXIT)->trigger();
        return;
    } else if (strCommand == "edit") {
        view.setCurrentIndex(view.GetModel()->index(0, 1));
        frame.GetAction(ID_HOST_EDIT)->trigger();
        return;
    }
    Log(strCommand + " " + std::to_string(timer.elapsed()) + " ms");
}

} // namespace

int main(int argc, char** argv) {
    CVantrelApp app(argc, argv);
    if (!app.InitInstance()) {
        app.ExitInstance();
        return 1;
    }
    // Read and write: the FIFO never reads as ended between two writers.
    const int nFd = ::open(std::getenv("VANTREL_DRIVER_FIFO"), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    QSocketNotifier notifier(nFd, QSocketNotifier::Read);
    std::string strPending;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char arrBuffer[256];
        for (ssize_t n; (n = ::read(nFd, arrBuffer, sizeof(arrBuffer))) > 0;)
            strPending.append(arrBuffer, static_cast<size_t>(n));
        for (size_t nEnd; (nEnd = strPending.find('\n')) != std::string::npos;) {
            const std::string strCommand = strPending.substr(0, nEnd);
            strPending.erase(0, nEnd + 1);
            Run(app, strCommand);
        }
    });
    app.exec();
    return app.ExitInstance();
}
