#pragma once

#include <functional>

class QUrl;

// Opens a file or page with the desktop's default program (xdg-open), without waiting for it.
// Qt's own opener reports success as soon as xdg-open has started, so a desktop with no
// program for the file would fail silently; this one watches xdg-open's exit status.
class CDesktopOpener {
public:
    // xdg-open that ends within this time with a failure status opened nothing; one that runs
    // longer is the browser itself (xdg-open without a desktop environment waits for it).
    static constexpr int VERDICT_MS = 30000;

    // fnFailed runs on the GUI thread, at once or when xdg-open has ended, when nothing
    // opened the URL.
    static void Open(const QUrl& url, const std::function<void()>& fnFailed);
};
