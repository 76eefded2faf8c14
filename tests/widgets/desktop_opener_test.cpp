#include "core/test_files.h"
#include "gui_test_support.h"
#include "widgets/desktop_opener.h"
#include <QTest>
#include <QtWidgets>
#include <gtest/gtest.h>
#include <sys/stat.h>

// Failure is xdg-open's exit status or, without xdg-open, the toolkit's (offscreen: none).
TEST(DesktopOpenerTest, FailureIsTheOpenersExitStatus) {
    EnsureApp();
    const QByteArray oldPath = qgetenv("PATH");
    const std::pair<std::string, bool> arrCases[] = {
        {"exit 0", false}, {"exit 3", true}, {"exit 4", true}, {"kill -9 $$", true}, {"", true}};
    for (const auto& [strEnd, bFailed] : arrCases) {
        CTempDir dir;
        std::filesystem::create_directory(dir / "bin");
        if (!strEnd.empty()) { // notes its arguments
            WriteFileBytes(dir / "bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" +
                                                     dir / "args" + "'\n" + strEnd + "\n");
            ::chmod((dir / "bin/xdg-open").c_str(), 0755);
        }
        qputenv("PATH", QByteArray::fromStdString(dir / "bin"));
        int nFailures = 0;
        CDesktopOpener::Open(QUrl::fromLocalFile(QString::fromStdString(dir / "my guide.html")),
                             [&] { ++nFailures; });
        EXPECT_TRUE(
            QTest::qWaitFor([] { return qApp->findChildren<QProcess*>().isEmpty(); }, 10000));
        qputenv("PATH", oldPath);
        EXPECT_EQ(nFailures, bFailed ? 1 : 0) << strEnd;
        EXPECT_EQ(std::filesystem::exists(dir / "args") ? ReadFileBytes(dir / "args") : "",
                  strEnd.empty() ? "" : "file://" + dir / "my%20guide.html\n");
    }
}
