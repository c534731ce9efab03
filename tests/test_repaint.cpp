// What the window repaints. Save all picks every tile and lets the window
// repaint after each: the preview and the index must be drawn anew each time,
// while the frames around them, costly to draw, must not be; and however
// often repaints are held for the next frame, the last one reaches the screen.
#include "platform/form.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "support/paints.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <map>

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

// The part of the window's picture on the screen where a control lies.
QImage onScreen(const f_Main& form, const QWidget* control)
{
    const QPixmap window = QGuiApplication::primaryScreen()->grabWindow(form.widget()->winId());
    const QRect place(control->mapTo(form.widget(), QPoint(0, 0)), control->size());
    return window.copy(place).toImage().convertToFormat(QImage::Format_RGB32);
}

QImage drawnNow(QWidget* control) { return control->grab().toImage().convertToFormat(QImage::Format_RGB32); }

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

} // namespace
