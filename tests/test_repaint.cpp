// What the window repaints. Save all picks every tile and lets the window
// repaint after each: the preview and the index must be drawn anew each time,
// while the frames around them, costly to draw, must not be; however often
// repaints are held for the next frame, the last one reaches the screen; and
// when writing a tile takes long, the tile is on screen while it is written.
#include "platform/files.h"
#include "platform/form.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "support/paints.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace {

constexpr int kTileSize = 16;
constexpr int kTiles = 8;
constexpr int16_t kLeftButton = 1;
constexpr int16_t kNoShift = 0;

class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++counts[watched];
        return false;
    }
    std::map<QObject*, int> counts;
};

void pick(f_Main& form, int tile)
{
    int16_t button = kLeftButton;
    int16_t shift = kNoShift;
    float x = platform::Screen.TwipsPerPixelX() * (tile * kTileSize + kTileSize / 2.0f);
    float y = platform::Screen.TwipsPerPixelY();
    form.Image1_MouseDown(button, shift, x, y);
}

TEST(Repaint, NewPreviewsAndCaptionsLeaveTheFramesAlone)
{
    f_Main form;
    form.Show();
    form.Image1.setPicture(platform::Picture(makeStrip(kTiles * kTileSize, kTileSize)));
    // The first pick sizes the preview box, which does repaint what lies around it.
    PaintCounter firstPick;
    form.Picture2.widget()->installEventFilter(&firstPick);
    pick(form, 0);
    ASSERT_TRUE(waitForPaints([&] { return firstPick.counts[form.Picture2.widget()] > 0; }));
    form.Picture2.widget()->removeEventFilter(&firstPick);

    struct Row {
        const char* what;
        std::function<void()> change;
        QWidget* repainted;
        QWidget* frame;
    };
    const Row rows[] = {
        {"a pick draws the preview", [&] { pick(form, kTiles - 1); }, form.Picture2.widget(), form.Frame3.widget()},
        {"a new index", [&] { form.setCurrentIndex(2); }, form.Label2.widget(), form.Frame1.widget()},
        {"a new output folder", [&] { form.lbDir.setCaption("/tmp/tiles"); }, form.lbDir.widget(),
         form.Frame1.widget()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PaintCounter counter;
        row.repainted->installEventFilter(&counter);
        row.frame->installEventFilter(&counter);
        row.change();
        ASSERT_TRUE(waitForPaints([&] { return counter.counts[row.repainted] > 0; }));
        EXPECT_EQ(counter.counts[row.repainted], 1);
        EXPECT_EQ(counter.counts[row.frame], 0);
    }
}

// Where a control lies in the window.
QRect placeOf(const f_Main& form, const QWidget* control)
{
    return QRect(control->mapTo(form.widget(), QPoint(0, 0)), control->size());
}

// The part of the window's picture on the screen at a place in the window.
QImage onScreen(const f_Main& form, const QRect& place)
{
    const QPixmap window = QGuiApplication::primaryScreen()->grabWindow(form.widget()->winId());
    return window.copy(place).toImage().convertToFormat(QImage::Format_RGB32);
}

QImage onScreen(const f_Main& form, const QWidget* control) { return onScreen(form, placeOf(form, control)); }

QImage drawnNow(QWidget* control) { return control->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A press and a release of the left button in the middle of a control, as a
// user's click delivers them.
void click(QWidget* control)
{
    const QPointF middle = QRectF(control->rect()).center();
    QMouseEvent press(QEvent::MouseButtonPress, middle, control->mapToGlobal(middle), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, middle, control->mapToGlobal(middle), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(control, &press);
    QCoreApplication::sendEvent(control, &release);
}

// Runs a function as each new file begins to be written, for as long as it lives.
class WriteNewFileHook {
public:
    explicit WriteNewFileHook(std::function<void(const std::string&)> hook)
    {
        platform::setWriteNewFileHook(std::move(hook));
    }
    ~WriteNewFileHook() { platform::setWriteNewFileHook({}); }
};

TEST(Repaint, TheScreenShowsTheLastTileWhenSaveAllEnds)
{
    constexpr int kManyTiles = 200;
    QTemporaryDir out;
    f_Main form;
    form.Show();
    form.Image1.setPicture(platform::Picture(makeStrip(kManyTiles * kTileSize, kTileSize)));
    form.lbDir.setCaption(out.path().toStdString());
    form.cmdSaveAll_Click();
    ASSERT_EQ(form.CurrentIndex(), kManyTiles);

    const bool shown = waitForPaints([&] {
        return onScreen(form, form.Picture2.widget()) == drawnNow(form.Picture2.widget()) &&
               onScreen(form, form.Label2.widget()) == drawnNow(form.Label2.widget());
    });
    EXPECT_TRUE(shown) << "the preview or the index on screen is not the last tile's";
}

// A write that takes a few frames, as on a slow disk, must find its tile on
// screen as it starts: its pixels in the preview, its outline on the strip,
// its number. So must the first tile, picked right after the click on Save all
// has repainted the button, and a tile written after a slow write that
// followed quick ones. That first slow write itself is not looked at: nothing
// foretells it, and its tile may still be waiting for the next frame.
TEST(Repaint, SaveAllShowsATileOnScreenWhileItIsSlowlyWritten)
{
    constexpr int kTiles = 5;
    struct Row {
        const char* what;
        int quickWrites;
        int firstLookedAt;
    };
    const Row rows[] = {
        {"every write slow", 0, 0},
        {"writes slow from the third tile on", 2, 3},
    };
    // Three frames of the offscreen screen, which shows 60 a second.
    constexpr unsigned long kSlowWriteMs = 50;
    const QImage strip = makeStrip(kTiles * kTileSize, kTileSize);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir out;
        f_Main form;
        form.Show();
        form.Image1.setPicture(platform::Picture(strip));
        form.lbDir.setCaption(out.path().toStdString());
        ASSERT_TRUE(
            waitForPaints([&] { return onScreen(form, form.Image1.widget()) == drawnNow(form.Image1.widget()); }));
        // The window idles a moment before a user's click, as it does in use.
        QThread::msleep(kSlowWriteMs);

        struct Shown {
            int tile;
            bool preview, outline, index;
        };
        std::vector<Shown> shown;
        int writes = 0;
        const WriteNewFileHook slowWrites([&](const std::string&) {
            const int tile = writes++;
            if (tile < row.quickWrites)
                return;
            // The strip with the outline around it, wherever the outline lies.
            const QRect outlined = placeOf(form, form.Image1.widget()).united(placeOf(form, form.Shape1.widget()));
            shown.push_back({tile, onScreen(form, form.Picture2.widget()) == tileOf(strip, tile * kTileSize, kTileSize),
                             onScreen(form, outlined) ==
                                 form.widget()->grab(outlined).toImage().convertToFormat(QImage::Format_RGB32),
                             onScreen(form, form.Label2.widget()) == drawnNow(form.Label2.widget())});
            QThread::msleep(kSlowWriteMs);
        });
        click(form.cmdSaveAll.widget());

        EXPECT_EQ(writes, kTiles);
        for (const Shown& s : shown) {
            if (s.tile < row.firstLookedAt)
                continue;
            SCOPED_TRACE("while tile " + std::to_string(s.tile + 1) + " is written");
            EXPECT_TRUE(s.preview) << "the preview on screen is not the tile";
            EXPECT_TRUE(s.outline) << "the outline on screen is not around the tile";
            EXPECT_TRUE(s.index) << "the index on screen is not the tile's";
        }
    }
}

} // namespace
