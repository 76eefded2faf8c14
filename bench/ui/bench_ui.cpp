// bench_ui [RUNS]: the desktop program with a data file of 1,000 hosts. Each run starts a new
// process that brings up the program as it starts for a user (settings, data file, store,
// worker, main window) and reports when the main window has first been painted, its resident
// memory, and how long one row update takes to reach the screen. Headless (offscreen).
#include "core/host.h"
#include "core/message_sink.h"
#include "core/settings_store.h"
#include "core/vantrel_doc.h"
#include "ui/main_frame.h"
#include "ui/vantrel_app.h"
#include "ui/vantrel_view.h"

#include <QDir>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <vector>

extern char** environ;

namespace {

constexpr int HOSTS = 1000;
constexpr int HISTORY = 1000;

double ThreadCpuMicros() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double RealtimeMs() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

long ResidentKB() {
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine))
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::atol(strLine.c_str() + 6);
    return -1;
}

class CSilentSink : public CMessageSink {
public:
    void ShowMessage(const std::string& strText) override {
        std::fprintf(stderr, "message: %s\n", strText.c_str());
    }
};

void WriteDataFile(const std::string& strPath) {
    CSilentSink sink;
    CVantrelDoc doc(sink, nullptr);
    std::ofstream(strPath, std::ios::binary | std::ios::trunc).close(); // an empty list
    doc.LoadHosts(strPath);
    for (int i = 0; i < HOSTS; ++i) {
        auto* pHost = new CHost;
        pHost->m_strName = "Hosting company number " + std::to_string(i);
        pHost->m_strWebSite = "http://www" + std::to_string(i) + ".example.com/";
        pHost->m_strTestURL = "http://test" + std::to_string(i) + ".example.com/index.html";
        pHost->m_nTests = HISTORY + i % 7;
        pHost->m_nTestsUp = HISTORY - i % 13;
        pHost->m_nSecondsTested = 300 * HISTORY;
        for (int j = 0; j < HISTORY; ++j) {
            pHost->m_pPingHistory->push_back(static_cast<uint32_t>(20 + (i + j) % 50));
            pHost->m_nPingTotal += 20 + (i + j) % 50;
        }
        doc.AddHost(pHost);
    }
    if (!doc.SaveHosts()) {
        std::fprintf(stderr, "bench_ui: %s\n", doc.m_strLastSaveError.c_str());
        std::exit(1);
    }
}

// The child: the program itself, measured from the inside.
int RunProgram(int argc, char** argv) {
    CVantrelApp app(argc, argv);
    if (!app.InitInstance()) {
        app.ExitInstance();
        return 1;
    }
    CMainFrame& frame = *app.GetMainFrame();
    CVantrelView& view = *frame.GetView();
    bool bPainted = false;
    double dPaintedAt = 0;
    // After the first paint of the list has been handled, and only then, take the figures.
    struct CPaintWatch : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* pEvent) override {
            if (pEvent->type() == QEvent::Paint && onPaint) {
                auto fn = std::move(onPaint);
                onPaint = nullptr;
                QTimer::singleShot(0, fn);
            }
            return false;
        }
    } watch;
    watch.onPaint = [&] {
        dPaintedAt = RealtimeMs();
        bPainted = true;
        QCoreApplication::exit(0);
    };
    view.viewport()->installEventFilter(&watch);
    app.exec();
    if (!bPainted)
        return 1;
    const long nRSS = ResidentKB();

    // One row update as the worker causes it: the handler formats the row under the host's
    // lock, then the row is drawn.
    CVantrelDoc& doc = *app.GetDocument();
    std::vector<double> arrMicros;
    std::vector<double> arrCpu;
    for (int i = 0; i < 2000; ++i) {
        const double dCpuStart = ThreadCpuMicros();
        const int nRow = i % 20;
        CHost& host = *doc.m_arrHosts[static_cast<size_t>(nRow)];
        const auto start = std::chrono::steady_clock::now();
        host.m_pMutex->lock();
        ++host.m_nTests;
        view.UpdateHostRow(nRow, host);
        host.m_pMutex->unlock();
        const QRect rect = view.visualRect(view.GetModel()->index(nRow, 0));
        view.viewport()->repaint(0, rect.top(), view.viewport()->width(), rect.height());
        arrMicros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
        arrCpu.push_back(ThreadCpuMicros() - dCpuStart);
    }
    std::sort(arrMicros.begin(), arrMicros.end());
    std::sort(arrCpu.begin(), arrCpu.end());
    double dSum = 0;
    for (double d : arrMicros)
        dSum += d;

    // A busy worker: hosts locked for up to 30 ms at a time, row updates posted while the lock
    // is still held. The user-interface thread keeps ticking every 5 ms; its longest gap says
    // whether it ever waited for a host.
    std::atomic<bool> bStop{false};
    std::thread worker([&] {
        for (int i = 0; !bStop; ++i) {
            CHost& host = *doc.m_arrHosts[static_cast<size_t>(i % 50)];
            std::lock_guard lock(*host.m_pMutex);
            view.PostHostUpdated(i % 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(i % 31));
        }
    });
    double dMaxGapMs = 0;
    auto last = std::chrono::steady_clock::now();
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        dMaxGapMs =
            std::max(dMaxGapMs, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    tick.start();
    QTimer::singleShot(2000, [] { QCoreApplication::exit(0); });
    app.exec();
    tick.stop();
    bStop = true;
    worker.join();

    // The exit: worker stopped, settings and the data file written.
    const auto exitStart = std::chrono::steady_clock::now();
    frame.close();
    app.ExitInstance();
    const double dExitMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - exitStart)
            .count();
    std::printf("%.3f %ld %.1f %.1f %.1f %.1f %.1f %d %.1f %.1f\n", dPaintedAt, nRSS,
                dSum / arrMicros.size(), arrMicros[arrMicros.size() / 2],
                arrMicros[arrMicros.size() * 99 / 100], arrMicros.back(), dExitMs,
                view.GetModel()->rowCount(), arrCpu[arrCpu.size() * 99 / 100], dMaxGapMs);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--program")
        return RunProgram(argc, argv);

    const int nRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const std::string strRoot = dir.path().toStdString();
    setenv("XDG_CONFIG_HOME", (strRoot + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (strRoot + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", strRoot.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QDir().mkpath(dir.path() + "/config");
    QDir().mkpath(dir.path() + "/data");
    const std::string strData = strRoot + "/data/Vantrel.dat";
    WriteDataFile(strData);
    std::printf(
        "data file: %d hosts, %d history values each, %ld bytes\n", HOSTS, HISTORY,
        static_cast<long>(std::ifstream(strData, std::ios::ate | std::ios::binary).tellg()));

    std::vector<double> arrStart;
    for (int nRun = 0; nRun < nRuns; ++nRun) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        char szProgram[] = "--program";
        char* childArgv[] = {argv[0], szProgram, nullptr};
        pid_t pid;
        const double dSpawnAt = RealtimeMs();
        if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, childArgv, environ) != 0)
            return 1;
        close(fds[1]);
        std::string strOut;
        char buf[512];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0)
            strOut.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        int nStatus = 0;
        waitpid(pid, &nStatus, 0);
        double dPaintedAt, dMean, dMedian, dP99, dMax, dExit, dCpuP99, dGap;
        long nRSS;
        int nRows;
        if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0 ||
            std::sscanf(strOut.c_str(), "%lf %ld %lf %lf %lf %lf %lf %d %lf %lf", &dPaintedAt,
                        &nRSS, &dMean, &dMedian, &dP99, &dMax, &dExit, &nRows, &dCpuP99,
                        &dGap) != 10) {
            std::fprintf(stderr, "bench_ui: run %d failed: %s\n", nRun, strOut.c_str());
            return 1;
        }
        arrStart.push_back(dPaintedAt - dSpawnAt);
        std::printf("run %d: start to first paint %.1f ms (goal < 500), resident %.1f MB "
                    "(goal < 100), rows %d, row update drawn mean %.1f us median %.1f us 99th "
                    "percentile %.1f us max %.1f us (goal < 1000; CPU time 99th percentile "
                    "%.1f us), longest pause of the user-interface thread under a busy worker "
                    "%.1f ms (goal < 100), exit %.1f ms\n",
                    nRun + 1, dPaintedAt - dSpawnAt, nRSS / 1024.0, nRows, dMean, dMedian, dP99,
                    dMax, dCpuP99, dGap, dExit);
    }
    std::sort(arrStart.begin(), arrStart.end());
    std::printf("start to first paint: median %.1f ms, worst %.1f ms over %d runs\n",
                arrStart[arrStart.size() / 2], arrStart.back(), nRuns);
    return 0;
}
