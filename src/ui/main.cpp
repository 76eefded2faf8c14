#include "ui/vantrel_app.h"

int main(int argc, char** argv) {
    CVantrelApp app(argc, argv);
    if (!app.InitInstance()) {
        app.ExitInstance();
        return 1;
    }
    app.exec();
    return app.ExitInstance();
}
