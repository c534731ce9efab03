// What the window repaints. Save all picks every tile and lets the window
// repaint after each: the preview and the index must be drawn anew each time,
// while the frames around them, costly to draw, must not be.
#include "platform/form.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QEvent>
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
    pick(form, 0);
    platform::DoEvents();

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
        platform::DoEvents();
        EXPECT_EQ(counter.counts[row.repainted], 1);
        EXPECT_EQ(counter.counts[row.frame], 0);
    }
}

} // namespace
