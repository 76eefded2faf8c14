#pragma once

#include <QApplication>

// One application object for every widget test of the binary (headless: QT_QPA_PLATFORM is
// "offscreen" under ctest). It is never destroyed: objects that Qt Test parents to it, such
// as its simulated mouse, would otherwise be deleted after the platform is gone.
inline QApplication& GuiTestApp() {
    static int s_nArgc = 1;
    static char s_szName[] = "tests";
    static char* s_arrArgv[] = {s_szName, nullptr};
    static QApplication* s_pApp = new QApplication(s_nArgc, s_arrArgv);
    return *s_pApp;
}
