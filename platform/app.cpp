#include "platform/app.h"

#include "platform/form.h"
#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

static void initResources() { Q_INIT_RESOURCE(resources); }

namespace platform {

AppObject App;

namespace {

// The classic 8-point sans serif of such windows: Arial's metrics (Liberation
// Sans, or what fontconfig offers in its place), which the design's label
// widths were made for.
constexpr const char* kFontFamily = "Liberation Sans";
constexpr int kFontPointSize = 8;

// A signal handler may do next to nothing: it writes a byte here, and the event
// loop does the rest.
int gSignalPipe[2] = {-1, -1};
const int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Set once the event loop runs with a form to close. Before that nothing was
// shown, so nothing is to be stored, and a signal ends the program at once.
volatile sig_atomic_t gUnloadOnSignal = 0;

void onTerminationSignal(int signalNumber)
{
    // A second signal ends the program, whatever the first is still doing.
    ::signal(signalNumber, SIG_DFL);
    if (!gUnloadOnSignal) {
        ::raise(signalNumber);
        return;
    }
    const char byte = 0;
    // A full pipe already holds a request to close.
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

// Without the pipe the signals keep their default action, which ends the program.
void endOnTermination()
{
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kTerminationSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

std::string AppObject::Path() const { return str(QCoreApplication::applicationDirPath()); }

std::string SystemDrive() { return str(QDir::rootPath()); }

void startRuntime()
{
    initResources();
    // One look on every desktop, and the same metrics in tests and on screen.
    QApplication::setStyle("Fusion");
    QApplication::setApplicationName(qstr(App.ProductName()));
    QApplication::setOrganizationName(qstr(App.ProductName()));
    QFont font(kFontFamily);
    font.setPointSize(kFontPointSize);
    QApplication::setFont(font);
    endOnTermination();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        Screen.setTwipsPerPixel(float(kTwipsPerInch / screen->logicalDotsPerInchX()),
                                float(kTwipsPerInch / screen->logicalDotsPerInchY()));
}

void unloadOnTermination(Form& form)
{
    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, qApp, [&form](QSessionManager&) { form.Unload(); },
        Qt::DirectConnection);
    if (gSignalPipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [&form] {
        char byte;
        while (::read(gSignalPipe[0], &byte, 1) > 0) {
        }
        form.Unload();
    });
    QTimer::singleShot(0, qApp, [] { gUnloadOnSignal = 1; });
}

} // namespace platform
