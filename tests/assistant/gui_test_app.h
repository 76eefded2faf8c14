#pragma once

#include <QApplication>

// One application object for every widget test of the binary (headless: QT_QPA_PLATFORM is
// "offscreen" under ctest).
inline QApplication& GuiTestApp() {
    static int s_nArgc = 1;
    static char s_szName[] = "tests";
    static char* s_arrArgv[] = {s_szName, nullptr};
    static QApplication s_app(s_nArgc, s_arrArgv);
    return s_app;
}
