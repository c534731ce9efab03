// What a pick repaints. Save all picks every tile and lets the window repaint
// after each: the preview and the index must be drawn anew each time, while
// the frames around them, costly to draw, must not be.
#include "platform/form.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QEvent>
#include <QWidget>
#include <gtest/gtest.h>

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
    platform::DoEvents();
}

TEST(Repaint, APickRedrawsThePreviewAndIndexButNotTheOutputFrame)
{
    f_Main form;
    form.Show();
    form.Image1.setPicture(platform::Picture(makeStrip(kTiles * kTileSize, kTileSize)));
    // The first pick sizes the preview box, which does repaint what lies around it.
    pick(form, 0);

    struct Row {
        const char* what;
        QWidget* widget;
        bool repaintedEachPick;
    };
    const Row rows[] = {
        {"Picture2", form.Picture2.widget(), true},
        {"Label2", form.Label2.widget(), true},
        {"Frame3", form.Frame3.widget(), false},
    };
    PaintCounter counter;
    for (const Row& row : rows)
        row.widget->installEventFilter(&counter);
    for (int tile = 1; tile < kTiles; ++tile)
        pick(form, tile);

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(counter.counts[row.widget], row.repaintedEachPick ? kTiles - 1 : 0);
    }
}

} // namespace
