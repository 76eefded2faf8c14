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

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

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
    std::ofstream(std::getenv("VANTREL_DRIVER_LOG"), std::ios::app)
        << strCommand << " " << timer.elapsed() << " ms\n";
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
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char arrBuffer[256]; // each command is one write of whole lines
        const ssize_t n = ::read(nFd, arrBuffer, sizeof(arrBuffer));
        std::istringstream in(std::string(arrBuffer, static_cast<size_t>(std::max<ssize_t>(n, 0))));
        for (std::string strCommand; std::getline(in, strCommand);)
            Run(app, strCommand);
    });
    app.exec();
    return app.ExitInstance();
}
