// Quorvel: cuts a strip image into tiles and saves them as BMP files.
#include "platform/app.h"
#include "window/f_main.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "quorvel: no display found (DISPLAY is not set). Start it from a desktop session.\n");
        return 1;
    }
    QApplication app(argc, argv);
    platform::startRuntime();
    f_Main form;
    platform::unloadOnTermination(form);
    form.Show();
    return app.exec();
}
