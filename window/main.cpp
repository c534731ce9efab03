// Quorvel: cuts a strip image into tiles and saves them as BMP files.
#include "cli/command_line.h"
#include "platform/app.h"
#include "platform/events.h"
#include "window/f_main.h"
#include "window/open_in_window.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    const cli::Command command = cli::parse(std::vector<std::string>(argv, argv + argc));
    if (const std::optional<int> status = cli::runWithoutWindow(command, argc, argv))
        return *status;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "quorvel: no display found (DISPLAY is not set). Start it from a desktop session.\n");
        return cli::kExitFailure;
    }
    QApplication app(argc, argv);
    platform::startRuntime();
    f_Main form;
    platform::unloadOnTermination(form);
    form.Show();
    if (!command.name.empty())
        platform::raiseEvent([&form, &command] { openInWindow(form, command.name); });
    return app.exec();
}
