#include "core/version.h"
#include "ui/vantrel_app.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const HELP_TEXT =
    "Usage: vantrel [options]\n"
    "\n"
    "Vantrel measures candidate web hosts and compares them. Its settings are made in the\n"
    "program; for scripts and machines without a display use vantrelctl.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help and exit.\n"
    "  -v, --version  Show the version and exit.\n"
    "\n"
    "The toolkit's own options (-platform, -display, -style, ...) are passed on to it.\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before the window system is opened, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::fputs(VANTREL_VERSION_LINE "\n", stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(HELP_TEXT, stdout);
            return 0;
        }
    }
    CVantrelApp app(argc, argv);
    if (!app.InitInstance()) {
        app.ExitInstance();
        return app.IsHandedOver() ? 0 : 1;
    }
    app.exec();
    return app.ExitInstance();
}
