// Widget tests run on Qt's offscreen platform, with the settings store in a
// temporary folder so that the user's own settings are never touched.
#include "platform/app.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::startRuntime();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
