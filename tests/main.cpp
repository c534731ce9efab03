// Widget tests run on Qt's offscreen platform, with the settings store in a
// temporary folder so that the user's own settings are never touched.
// With QUORVEL_TESTS_CORE_ONLY set, the tests run as the batch mode does, with
// Qt's core alone: no GUI application, no display, no fonts. Only tests that
// draw without a window can pass so; the overlay's run themselves that way.
#include "platform/app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("QUORVEL_TESTS_CORE_ONLY")) {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::startRuntime();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
