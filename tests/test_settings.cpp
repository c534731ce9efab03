// Settings, start and end: what a start restores from the per-user store, what
// a close writes there, and how a bad or unwritable store is survived.
#include "platform/app.h"
#include "platform/numbers.h"
#include "platform/screen.h"
#include "support/scripted_dialogs.h"
#include "support/settings_store.h"
#include "window/f_main.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using platform::App;

// The window as designed: a client area of 7215 x 4560 twips inside the nominal frame.
constexpr float kDesignWidth = 7335;
constexpr float kDesignHeight = 4965;

std::string storeText()
{
    QFile file(storeFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

struct Stored {
    std::string state = "0";
    std::string left = "1230";
    std::string top = "945";
    std::string width = "9000";
    std::string height = "6000";
    std::string drive = "/";
    std::string dir;
    std::string output = "/somewhere/for/tiles";
    std::string lineEnd = "\n";

    std::string text() const
    {
        const std::string& n = lineEnd;
        return "[f_Main]" + n + "WindowState=" + state + n + "WindowLeft=" + left + n + "WindowTop=" + top + n +
               "WindowWidth=" + width + n + "WindowHeight=" + height + n + n + "[Setting]" + n + "DrivePath=" +
               drive + n + "DirPath=" + dir + n + "OutputPath=" + output + n;
    }
};

// The window's frame on the screen, in twips.
Shown onScreen(const f_Main& f)
{
    const QRect frame = f.widget()->frameGeometry();
    const float tx = platform::Screen.TwipsPerPixelX();
    const float ty = platform::Screen.TwipsPerPixelY();
    return {f.WindowState(), frame.x() * tx, frame.y() * ty, frame.width() * tx, frame.height() * ty,
            f.Drive1.Drive(), f.Dir1.Path(), f.lbDir.Caption()};
}

// A geometry as the window shows it: at the nearest whole pixels.
Shown onPixels(Shown s)
{
    const float tx = platform::Screen.TwipsPerPixelX();
    const float ty = platform::Screen.TwipsPerPixelY();
    for (float* v : {&s.left, &s.width})
        *v = std::nearbyint(*v / tx) * tx;
    for (float* v : {&s.top, &s.height})
        *v = std::nearbyint(*v / ty) * ty;
    return s;
}

// Each case starts with no store at all, as a first run does.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(storeFolder());
        QDir(storeFolder()).removeRecursively();
    }
    void TearDown() override { SetUp(); }

    QTemporaryDir folder;
    // The folder list's starting folder, which a folder that failed to load leaves it on.
    const std::string startFolder = QDir::currentPath().toStdString();
};

using SettingsFirstRun = SettingsTest;
using SettingsRoundTrip = SettingsTest;
using SettingsCorrupt = SettingsTest;
using SettingsStates = SettingsTest;
using SettingsClose = SettingsTest;

} // namespace

TEST_F(SettingsFirstRun, DefaultsWhenNothingIsStored)
{
    f_Main f;
    f.Show();

    EXPECT_EQ(shownBy(f), (Shown{platform::vbNormal, 0, 0, kDesignWidth, kDesignHeight, "/", App.Path(), App.Path()}));
    EXPECT_EQ(onScreen(f), onPixels(shownBy(f)));
    EXPECT_EQ(f.File1.Path(), App.Path());
    EXPECT_TRUE(f.widget()->isVisible());
}

TEST_F(SettingsFirstRun, ExactFileAfterAClose)
{
    f_Main f;
    f.Show();
    f.Unload();

    EXPECT_EQ(storeText(), "[Setting]\n"
                           "DirPath=" + App.Path() + "\n"
                           "DrivePath=/\n"
                           "OutputPath=" + App.Path() + "\n"
                           "\n"
                           "[f_Main]\n"
                           "WindowHeight=4965\n"
                           "WindowLeft=0\n"
                           "WindowState=0\n"
                           "WindowTop=0\n"
                           "WindowWidth=7335\n");
}

TEST_F(SettingsRoundTrip, WhatACloseStoresTheNextStartShows)
{
    const std::string dir = folder.path().toStdString();
    const struct {
        float left, top, width, height;
        std::string output;
    } cases[] = {
        {1230, 945, 9000, 6000, "/somewhere/for/tiles"},
        // Off the pixel grid and left of the screen.
        {-300, 17.5f, 8123.25f, 5999.5f, dir},
        // Blanks, a comma and non-ASCII letters survive the store's own quoting.
        {0, 0, 6000, 4500, "/home/me/tiles, old/Картинки"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        Shown closed;
        {
            f_Main f;
            f.Show();
            f.Move(c.left, c.top, c.width, c.height);
            f.Dir1.setPath(dir);
            f.lbDir.setCaption(c.output);
            closed = shownBy(f);
            f.Unload();
        }
        f_Main again;
        again.Show();
        EXPECT_EQ(shownBy(again), closed);
        EXPECT_EQ(shownBy(again), (Shown{platform::vbNormal, c.left, c.top, c.width, c.height, "/", dir, c.output}));
        EXPECT_EQ(onScreen(again), onPixels(closed));
        EXPECT_EQ(again.File1.Path(), dir);
    }
}

TEST_F(SettingsRoundTrip, EmptyOutputFolderStaysEmpty)
{
    {
        f_Main f;
        f.Show();
        f.lbDir.setCaption("");
        f.Unload();
    }
    EXPECT_NE(storeText().find("OutputPath=\n"), std::string::npos);

    f_Main again;
    again.Show();
    EXPECT_EQ(again.lbDir.Caption(), "");
}

TEST_F(SettingsCorrupt, ABadValueIsSkippedAndTheOthersAreApplied)
{
    Stored good;
    good.dir = folder.path().toStdString();
    const Shown applied{platform::vbNormal, 1230, 945, 9000, 6000, "/", good.dir, good.output};

    const struct {
        const char* what;
        std::string Stored::*key;
        std::string value;
        Shown expected;
    } cases[] = {
        {"state not a number", &Stored::state, "normal", applied},
        {"state out of range", &Stored::state, "7", applied},
        {"negative state", &Stored::state, "-1", applied},
        {"state beyond int16", &Stored::state, "70000", applied},
        {"left not a number", &Stored::left, "12O", {0, 0, 945, 9000, 6000, "/", good.dir, good.output}},
        {"top empty", &Stored::top, "", {0, 1230, 0, 9000, 6000, "/", good.dir, good.output}},
        {"width not a number", &Stored::width, "wide", {0, 1230, 945, kDesignWidth, 6000, "/", good.dir, good.output}},
        {"height beyond a float", &Stored::height, "1E+39", {0, 1230, 945, 9000, kDesignHeight, "/", good.dir, good.output}},
        {"drive gone", &Stored::drive, "/media/quorvel-gone", applied},
        {"folder gone", &Stored::dir, good.dir + "/gone", {0, 1230, 945, 9000, 6000, "/", startFolder, good.output}},
        {"folder is a file", &Stored::dir, "/etc/hostname", {0, 1230, 945, 9000, 6000, "/", startFolder, good.output}},
        // Not bad at all: lines ended as on Windows, or as on old Macs.
        {"CRLF line ends", &Stored::lineEnd, "\r\n", applied},
        {"CR line ends", &Stored::lineEnd, "\r", applied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Stored stored = good;
        stored.*c.key = c.value;
        ASSERT_TRUE(writeStore(QByteArray::fromStdString(stored.text())));
        ScriptedDialogs dialogs;

        f_Main f;
        f.Show();

        EXPECT_EQ(shownBy(f), c.expected);
        // The file list follows the folder list whatever failed before.
        EXPECT_EQ(f.File1.Path(), f.Dir1.Path());
        f.Unload();
        EXPECT_TRUE(dialogs.messages().empty());
        // The close stores what the window shows, in lines ended as on this system.
        const std::string text = storeText();
        EXPECT_EQ(text.find('\r'), std::string::npos) << text;
        EXPECT_NE(text.find("\nOutputPath=" + c.expected.output + "\n"), std::string::npos) << text;
    }
}

TEST_F(SettingsCorrupt, AStoreOfGarbageGivesTheDefaultsAndIsWrittenAfresh)
{
    std::string garbage(4096, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 131) ^ (i >> 3));
    ASSERT_TRUE(writeStore(QByteArray::fromStdString(garbage)));
    ScriptedDialogs dialogs;
    const std::string dir = folder.path().toStdString();
    {
        f_Main f;
        f.Show();
        EXPECT_EQ(shownBy(f), (Shown{platform::vbNormal, 0, 0, kDesignWidth, kDesignHeight, "/", App.Path(), App.Path()}));
        f.Move(600, 300, 8000, 5500);
        f.Dir1.setPath(dir);
        f.Unload();
    }
    f_Main again;
    again.Show();

    EXPECT_EQ(shownBy(again), (Shown{platform::vbNormal, 600, 300, 8000, 5500, "/", dir, App.Path()}));
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(SettingsCorrupt, AStoredGeometryIsBroughtOntoTheScreen)
{
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    const float tx = platform::Screen.TwipsPerPixelX();
    const float ty = platform::Screen.TwipsPerPixelY();
    const struct {
        std::string left, top, width, height;
    } cases[] = {
        {"0", "0", "1e30", "1e30"},
        {"0", "0", "99999999999", "99999999999"},
        {"1E+09", "1E+09", "9000", "6000"},
        {"-1E+09", "-1E+09", "9000", "6000"},
        {"1E+09", "-1E+09", "1e30", "99999999999"},
        {"-1E+30", "0", "3.4E+38", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.left + ", " + c.top + ", " + c.width + ", " + c.height);
        Stored stored;
        stored.dir = folder.path().toStdString();
        stored.left = c.left;
        stored.top = c.top;
        stored.width = c.width;
        stored.height = c.height;
        ASSERT_TRUE(writeStore(QByteArray::fromStdString(stored.text())));
        Shown closed;
        {
            f_Main f;
            f.Show();
            const QRect frame = f.widget()->frameGeometry();
            EXPECT_TRUE(free.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                              << frame.height();
            EXPECT_GE(f.Width(), 6000);
            EXPECT_GE(f.Height(), 4500);
            EXPECT_EQ(f.Dir1.Path(), stored.dir);
            closed = shownBy(f);
            f.Unload();
        }
        // What is stored is the window as it was, and brings it back there.
        const std::string text = storeText();
        for (const std::string line : {"WindowLeft=" + platform::toText(closed.left),
                                       "WindowTop=" + platform::toText(closed.top),
                                       "WindowWidth=" + platform::toText(closed.width),
                                       "WindowHeight=" + platform::toText(closed.height)})
            EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << " in\n" << text;
        EXPECT_LE(closed.width, (free.width() + 1) * tx);
        EXPECT_LE(closed.height, (free.height() + 1) * ty);
        f_Main again;
        again.Show();
        EXPECT_EQ(shownBy(again), closed);
    }
}

TEST_F(SettingsCorrupt, AValueKeepsTheTextAPersonWrote)
{
    const struct {
        std::string written;
        std::string shown;
    } cases[] = {
        {"/data/x,y", "/data/x,y"},
        {"/data/a;b", "/data/a;b"},
        {"/data/say \"hi\"", "/data/say \"hi\""},
        {"  /data/blanks around  ", "/data/blanks around"},
        {"\"/data/quoted, as written for a comma\"", "/data/quoted, as written for a comma"},
        {"@data", "@data"},
        {"/data/back\\slash", "/data/back\\slash"},
        {"/data/Картинки", "/data/Картинки"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        ASSERT_TRUE(writeStore(QByteArray::fromStdString("[Setting]\nOutputPath=" + c.written + "\n")));
        {
            f_Main f;
            f.Show();
            EXPECT_EQ(f.lbDir.Caption(), c.shown);
            f.Unload();
        }
        f_Main again;
        again.Show();
        EXPECT_EQ(again.lbDir.Caption(), c.shown) << storeText();
    }
}

TEST_F(SettingsStates, MinimisedStartLeavesTheGeometryUnread)
{
    Stored stored;
    stored.state = "1";
    stored.dir = folder.path().toStdString();
    ASSERT_TRUE(writeStore(QByteArray::fromStdString(stored.text())));

    f_Main f;
    f.Show();

    EXPECT_EQ(shownBy(f), (Shown{platform::vbMinimized, 0, 0, kDesignWidth, kDesignHeight, "/", stored.dir, stored.output}));
}

TEST_F(SettingsStates, MaximisedStartReturnsToTheStoredGeometry)
{
    Stored stored;
    stored.state = "2";
    stored.dir = folder.path().toStdString();
    ASSERT_TRUE(writeStore(QByteArray::fromStdString(stored.text())));

    f_Main f;
    f.Show();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.WindowState(), platform::vbMaximized);
    EXPECT_EQ(f.Dir1.Path(), stored.dir);
    EXPECT_EQ(f.lbDir.Caption(), stored.output);

    f.setWindowState(platform::vbNormal);
    QCoreApplication::processEvents();
    EXPECT_EQ(shownBy(f), (Shown{platform::vbNormal, 1230, 945, 9000, 6000, "/", stored.dir, stored.output}));
}

TEST_F(SettingsStates, ClosingMinimisedStoresTheStateWithTheGeometryReported)
{
    const std::string dir = folder.path().toStdString();
    {
        f_Main f;
        f.Show();
        f.Move(1500, 600, 8000, 5000);
        f.setWindowState(platform::vbMinimized);
        f.Unload();
    }
    const std::string text = storeText();
    for (const char* line : {"WindowState=1\n", "WindowLeft=1500\n", "WindowTop=600\n", "WindowWidth=8000\n",
                             "WindowHeight=5000\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    f_Main again;
    again.Show();
    EXPECT_EQ(again.WindowState(), platform::vbMinimized);
    EXPECT_EQ(again.Width(), kDesignWidth);
}

TEST_F(SettingsClose, StoresOnceAndClosesWhateverTheCause)
{
    ScriptedDialogs dialogs;
    f_Main f;
    f.Show();
    f.Unload();
    ASSERT_FALSE(f.widget()->isVisible());
    QFile::remove(storeFile());

    // A second request (the window manager, the end of the session) finds the form unloaded.
    f.Unload();
    f.widget()->close();

    EXPECT_FALSE(QFile::exists(storeFile()));
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(SettingsClose, AStoreThatCannotBeWrittenIsReportedOnceAndTheWindowCloses)
{
    // A file where the store's folder should be.
    QFile blocker(storeFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ScriptedDialogs dialogs;

    f_Main f;
    f.Show();
    f.Unload();

    EXPECT_FALSE(f.widget()->isVisible());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text.rfind("Run-time error '75':", 0), 0u) << dialogs.messages()[0].text;
}

