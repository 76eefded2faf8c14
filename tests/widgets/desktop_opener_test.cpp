#include "core/test_files.h"
#include "gui_test_support.h"
#include "widgets/desktop_opener.h"
#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A PATH that holds only a folder of the test's own, restored afterwards.
class CScopedPath {
public:
    explicit CScopedPath(const std::string& strDir) : m_old(qgetenv("PATH")) {
        qputenv("PATH", QByteArray::fromStdString(strDir));
    }
    ~CScopedPath() { qputenv("PATH", m_old); }

private:
    QByteArray m_old;
};

// An xdg-open that notes its arguments and ends with the given shell command.
void WriteFakeOpener(const CTempDir& dir, const std::string& strEnd) {
    WriteFileBytes(dir / "bin/xdg-open",
                   "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir / "args" + "'\n" + strEnd + "\n");
    ::chmod((dir / "bin/xdg-open").c_str(), 0755);
}

// Waits until every opener process has ended and been deleted.
bool WaitForOpeners() {
    return QTest::qWaitFor([] { return qApp->findChildren<QProcess*>().isEmpty(); }, 10000);
}

} // namespace

TEST(DesktopOpenerTest, FailureIsTheOpenersExitStatus) {
    EnsureApp();
    // {how xdg-open ends, whether that counts as failed}: 3 is no program for the file type, 4
    // the program failed.
    const std::pair<std::string, bool> arrCases[] = {
        {"exit 0", false}, {"exit 3", true}, {"exit 4", true}, {"kill -9 $$", true}};
    for (const auto& [strEnd, bFailed] : arrCases) {
        CTempDir dir;
        std::filesystem::create_directory(dir / "bin");
        WriteFakeOpener(dir, strEnd);
        CScopedPath path(dir / "bin");
        int nFailures = 0;
        CDesktopOpener::Open(QUrl::fromLocalFile(QString::fromStdString(dir / "my guide.html")),
                             [&] { ++nFailures; });
        ASSERT_TRUE(WaitForOpeners()) << strEnd;
        EXPECT_EQ(nFailures, bFailed ? 1 : 0) << strEnd;
        EXPECT_EQ(ReadFileBytes(dir / "args"), "file://" + dir / "my%20guide.html\n") << strEnd;
    }
}

TEST(DesktopOpenerTest, WithoutXdgOpenTheToolkitsFailureIsReported) {
    EnsureApp();
    CTempDir dir; // no xdg-open anywhere on PATH; the offscreen platform opens nothing
    CScopedPath path(dir.Path());
    int nFailures = 0;
    CDesktopOpener::Open(QUrl::fromLocalFile(QString::fromStdString(dir / "guide.html")),
                         [&] { ++nFailures; });
    EXPECT_EQ(nFailures, 1);
}
