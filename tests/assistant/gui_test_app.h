#pragma once
#include <QApplication>

// Never destroyed: Qt Test parents objects to it (its mouse) that must outlive the platform.
inline QApplication& GuiTestApp() {
    static int s_nArgc = 0;
    static QApplication* s_pApp = new QApplication(s_nArgc, nullptr);
    return *s_pApp;
}
