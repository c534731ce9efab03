#include "platform/app.h"

#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QApplication>
#include <QFont>
#include <QScreen>

static void initResources() { Q_INIT_RESOURCE(resources); }

namespace platform {

AppObject App;

namespace {

constexpr double kTwipsPerInch = 1440;
// Small enough for every caption to fit its label at 96 DPI.
constexpr int kFontPointSize = 8;

} // namespace

std::string AppObject::Path() const { return str(QCoreApplication::applicationDirPath()); }

void startRuntime()
{
    initResources();
    // One look on every desktop, and the same metrics in tests and on screen.
    QApplication::setStyle("Fusion");
    QApplication::setApplicationName(qstr(App.ProductName()));
    QApplication::setOrganizationName(qstr(App.ProductName()));
    QFont font("DejaVu Sans");
    font.setPointSize(kFontPointSize);
    QApplication::setFont(font);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        Screen.setTwipsPerPixel(float(kTwipsPerInch / screen->logicalDotsPerInchX()),
                                float(kTwipsPerInch / screen->logicalDotsPerInchY()));
}

} // namespace platform
