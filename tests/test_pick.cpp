// The tile pick through the form: a press on the strip outlines the tile under
// the pointer, copies it one to one into the preview box and rewrites the index
// label. Strips are generated so that every pixel says where it came from.
#include "platform/errors.h"
#include "platform/form.h"
#include "platform/image_controls.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "resources/gif_writer.h"
#include "support/error_number.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>

namespace {

constexpr float kDefaultTwipsPerPixel = 15;
// Image1 at its design position; the outline is placed relative to it.
constexpr float kImageLeft = 135;
constexpr float kImageTop = 1170;
// An image control less than one pixel high: no tile can be picked, so the pick
// stops right after showing index 1 with the count it still holds.
constexpr float kUnderOnePixel = 10;

std::string caption(int index, int count)
{
    return "Index: " + std::to_string(index) + " \xD0\xB8\xD0\xB7 " + std::to_string(count);
}

QRgb rgbOf(platform::OLE_COLOR c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

// The preview must hold columns [left, left + width) of the strip over its full
// height: the strip's opaque pixels where it has them, the box's background
// everywhere else (beyond the strip's right edge, transparent pixels).
testing::AssertionResult previewHolds(const platform::Picture& preview, const QImage& strip, int left, int width,
                                      QRgb background)
{
    const QImage& image = preview.image();
    if (image.size() != QSize(width, strip.height()))
        return testing::AssertionFailure() << "preview is " << image.width() << "x" << image.height() << ", tile is "
                                           << width << "x" << strip.height();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < width; ++x) {
            const int column = left + x;
            const bool fromStrip = column < strip.width() && qAlpha(strip.pixel(column, y)) != 0;
            const QRgb want = fromStrip ? strip.pixel(column, y) : background;
            if ((image.pixel(x, y) & RGB_MASK) != (want & RGB_MASK))
                return testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex
                                                   << (image.pixel(x, y) & RGB_MASK) << ", expected "
                                                   << (want & RGB_MASK);
        }
    }
    return testing::AssertionSuccess();
}

// A strip with nothing to copy, for a preview that must be all background.
QImage nothingOf(int height)
{
    QImage none(1, height, QImage::Format_ARGB32);
    none.fill(Qt::transparent);
    return none;
}

class PickForm : public testing::Test {
protected:
    void TearDown() override
    {
        platform::Screen.setTwipsPerPixel(kDefaultTwipsPerPixel, kDefaultTwipsPerPixel);
    }

    // Writes a generated strip and shows it in Image1.
    QImage load(int width, int height)
    {
        const QString name = QString("strip_%1x%2.bmp").arg(width).arg(height);
        form.Image1.setPicture(platform::LoadPicture(writeStrip(dir, name, width, height)));
        return makeStrip(width, height);
    }

    // A press on Image1 at a pixel, delivered the way the window system does.
    void press(QPointF pixel, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* widget = form.Image1.widget();
        QMouseEvent event(QEvent::MouseButtonPress, pixel, widget->mapToGlobal(pixel), button, button, modifiers);
        QCoreApplication::sendEvent(widget, &event);
    }

    // A key pressed while the strip has the focus, delivered as the window system does.
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, k, modifiers);
        QCoreApplication::sendEvent(form.Image1.widget(), &event);
    }

    // The pick called as Save all calls it.
    void pickAt(float X)
    {
        int16_t button = 1;
        int16_t shift = 0;
        float y = 1;
        form.Image1_MouseDown(button, shift, X, y);
    }

    // Leaves Image1 too low for any tile and picks: the caption then shows the
    // count the form held, which no completed pick leaves visible.
    std::string countProbe()
    {
        form.Image1.setHeight(kUnderOnePixel);
        pickAt(0);
        return form.Label2.Caption();
    }

    QRgb background() const { return rgbOf(platform::kPreviewBackground); }
    float tpp() const { return platform::Screen.TwipsPerPixelX(); }

    void expectOutline(int firstColumn, int columns)
    {
        EXPECT_TRUE(form.Shape1.Visible());
        EXPECT_EQ(form.Shape1.Left(), kImageLeft + tpp() * firstColumn);
        EXPECT_EQ(form.Shape1.Top(), kImageTop);
        EXPECT_EQ(form.Shape1.Width(), tpp() * columns);
        EXPECT_EQ(form.Shape1.Height(), form.Image1.Height());
        // The preview box takes the outline's size.
        EXPECT_EQ(form.Picture2.Width(), form.Shape1.Width());
        EXPECT_EQ(form.Picture2.Height(), form.Shape1.Height());
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    f_Main form;
};

struct TileCase {
    int width;
    int height;
    int column;
    int index;
    int count;
    int firstColumn;
    int columns;
};

std::string nameOf(const TileCase& c)
{
    return std::to_string(c.width) + "x" + std::to_string(c.height) + " at column " + std::to_string(c.column);
}

// One form for all rows, so each pick also has to clear what the one before drew.
const TileCase kTileCases[] = {
    {160, 16, 0, 1, 10, 0, 16},
    {160, 16, 40, 3, 10, 32, 16},
    {160, 16, 159, 10, 10, 144, 16},
    {160, 15, 40, 3, 10, 32, 16},  // 16 wide, 15 high
    {30, 16, 0, 1, 1, 0, 30},      // one tile: the whole strip
    {30, 16, 29, 1, 1, 0, 30},
    {100, 16, 97, 7, 6, 96, 16},   // uncounted columns: 12 of the tile lie past the edge
    {100, 16, 95, 6, 6, 80, 16},
    {10, 20, 5, 1, 1, 0, 10},      // narrower than one tile
    {64, 32, 63, 2, 2, 32, 32},
};

// One suite a behaviour, all on a fresh form.
using PickTiles = PickForm;
using PickButtons = PickForm;
using PickKeys = PickForm;
using PickWithoutPicture = PickForm;
using PickTwipsPerPixel = PickForm;
using PickGif = PickForm;
using PickCaption = PickForm;
using PickOverflow = PickForm;

} // namespace

TEST_F(PickTiles, ClickSelectsTheTileUnderThePointer)
{
    for (const TileCase& c : kTileCases) {
        SCOPED_TRACE(nameOf(c));
        const QImage strip = load(c.width, c.height);
        press(QPointF(c.column, c.height / 2));
        EXPECT_EQ(form.CurrentIndex(), c.index);
        EXPECT_EQ(form.Label2.Caption(), caption(c.index, c.count));
        expectOutline(c.firstColumn, c.columns);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, c.firstColumn, c.columns, background()));
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PickTiles, EveryColumnPicksTheTileHoldingIt)
{
    // The tiles cover the strip in order; the uncounted columns pick one past the count.
    const QImage strip = load(100, 16);
    const int tileWidth = 16;
    for (int column = 0; column < strip.width(); ++column) {
        SCOPED_TRACE(column);
        pickAt(tpp() * column);
        const int p = column / tileWidth;
        EXPECT_EQ(form.Label2.Caption(), caption(p + 1, 6));
        expectOutline(p * tileWidth, tileWidth);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, p * tileWidth, tileWidth, background()));
    }
}

TEST_F(PickTiles, SecondPickGivesTheSameResult)
{
    const QImage strip = load(160, 16);
    press(QPointF(40, 3));
    const QImage first = form.Picture2.Image().image();
    press(QPointF(40, 3));
    EXPECT_EQ(form.Picture2.Image().image(), first);
    EXPECT_EQ(form.Label2.Caption(), caption(3, 10));
}

TEST_F(PickButtons, AnyButtonModifierAndHeightPickTheSameTile)
{
    const QImage strip = load(160, 16);
    const struct {
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        int row;
    } presses[] = {
        {Qt::LeftButton, Qt::NoModifier, 0},
        {Qt::RightButton, Qt::NoModifier, 8},
        {Qt::MiddleButton, Qt::NoModifier, 15},
        {Qt::LeftButton, Qt::ShiftModifier, 4},
        {Qt::LeftButton, Qt::ControlModifier, 12},
        {Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier, 1},
    };
    for (const auto& p : presses) {
        SCOPED_TRACE(std::to_string(p.button) + " with " + std::to_string(p.modifiers.toInt()));
        pickAt(0); // another tile first, so a press that does nothing shows
        press(QPointF(40, p.row), p.button, p.modifiers);
        EXPECT_EQ(form.Label2.Caption(), caption(3, 10));
        expectOutline(32, 16);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, 32, 16, background()));
    }

    // Called directly: only X is read, and none of the arguments changes.
    const struct {
        int16_t button;
        int16_t shift;
        float y;
    } calls[] = {{1, 0, 1}, {2, 0, 0}, {4, 1, 239}, {1, 2, -500}, {2, 7, 1e6f}};
    for (const auto& c : calls) {
        SCOPED_TRACE(std::to_string(c.button) + "/" + std::to_string(c.shift) + "/" + std::to_string(c.y));
        pickAt(0);
        int16_t button = c.button;
        int16_t shift = c.shift;
        float x = tpp() * 40;
        float y = c.y;
        form.Image1_MouseDown(button, shift, x, y);
        EXPECT_EQ(form.Label2.Caption(), caption(3, 10));
        expectOutline(32, 16);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, 32, 16, background()));
        EXPECT_EQ(button, c.button);
        EXPECT_EQ(shift, c.shift);
        EXPECT_EQ(x, tpp() * 40);
        EXPECT_EQ(y, c.y);
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PickKeys, ArrowsHomeAndEndPickAsAClickOnTheirTile)
{
    // Ten tiles of 16 and six uncounted columns; each step starts from where the one before left.
    const QImage strip = load(166, 16);
    const struct {
        const char* step;
        std::function<void()> press;
        int index;
    } steps[] = {
        {"Right with nothing selected", [&] { key(Qt::Key_Right); }, 1},
        {"Right", [&] { key(Qt::Key_Right); }, 2},
        {"Shift+Right", [&] { key(Qt::Key_Right, Qt::ShiftModifier); }, 3},
        {"End", [&] { key(Qt::Key_End); }, 10},
        {"Right on the last tile", [&] { key(Qt::Key_Right); }, 10},
        {"Left", [&] { key(Qt::Key_Left); }, 9},
        {"Up picks nothing", [&] { key(Qt::Key_Up); }, 9},
        {"Home", [&] { key(Qt::Key_Home); }, 1},
        {"Left on the first tile", [&] { key(Qt::Key_Left); }, 1},
        {"a click, then Right", [&] { press(QPointF(70, 3)); key(Qt::Key_Right); }, 6},
        {"a click on the uncounted columns, then Left", [&] { press(QPointF(163, 3)); key(Qt::Key_Left); }, 10},
        {"a click on the uncounted columns, then Right", [&] { press(QPointF(163, 3)); key(Qt::Key_Right); }, 10},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.press();
        EXPECT_EQ(form.CurrentIndex(), s.index);
        EXPECT_EQ(form.Label2.Caption(), caption(s.index, 10));
        expectOutline((s.index - 1) * 16, 16);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, (s.index - 1) * 16, 16, background()));
    }

    // A strip of one tile: every key picks the whole strip.
    const QImage single = load(30, 16);
    for (const Qt::Key k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End}) {
        SCOPED_TRACE(k);
        key(k);
        EXPECT_EQ(form.Label2.Caption(), caption(1, 1));
        expectOutline(0, 30);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), single, 0, 30, background()));
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PickWithoutPicture, UsesTheDesignSize)
{
    // 5775 x 375 twips: 385 x 25 pixels, so 15 tiles of 25; the empty picture draws nothing.
    const struct {
        bool click;
        int column;
        int index;
    } cases[] = {{true, 40, 2}, {false, 0, 1}, {true, 374, 15}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        if (c.click)
            press(QPointF(c.column, 10));
        else
            pickAt(tpp() * c.column);
        EXPECT_EQ(form.Label2.Caption(), caption(c.index, 15));
        expectOutline((c.index - 1) * 25, 25);
        EXPECT_EQ(form.Shape1.Height(), 375);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), nothingOf(25), 0, 25, background()));
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PickTwipsPerPixel, SameTilesAtOtherResolutions)
{
    const struct {
        float twipsPerPixel;
        TileCase tile;
    } cases[] = {
        {12, {160, 16, 40, 3, 10, 32, 16}}, {12, {100, 16, 97, 7, 6, 96, 16}}, {12, {30, 16, 29, 1, 1, 0, 30}},
        {12, {10, 20, 5, 1, 1, 0, 10}},     {12, {170, 17, 50, 3, 10, 34, 17}},
        {10, {160, 16, 40, 3, 10, 32, 16}}, {10, {100, 16, 97, 7, 6, 96, 16}}, {10, {30, 16, 29, 1, 1, 0, 30}},
        {10, {10, 20, 5, 1, 1, 0, 10}},
        // Odd tiles at 10 twips per pixel: the box starts half a pixel off the grid.
        {10, {170, 17, 50, 3, 10, 34, 17}}, {10, {45, 15, 20, 2, 2, 16, 16}},
        {10, {93, 31, 92, 3, 3, 62, 31}},
    };
    for (const auto& c : cases) {
        const TileCase& t = c.tile;
        SCOPED_TRACE(nameOf(t) + " at " + std::to_string(c.twipsPerPixel) + " twips per pixel");
        platform::Screen.setTwipsPerPixel(c.twipsPerPixel, c.twipsPerPixel);
        const QImage strip = load(t.width, t.height);
        press(QPointF(t.column, 0));
        EXPECT_EQ(form.Label2.Caption(), caption(t.index, t.count));
        expectOutline(t.firstColumn, t.columns);
        EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, t.firstColumn, t.columns, background()));
    }
}

TEST_F(PickGif, TransparentPixelsShowTheBackground)
{
    // Every third pixel transparent; the rest in few enough colours for a GIF.
    QImage gifStrip(48, 16, QImage::Format_ARGB32);
    for (int y = 0; y < gifStrip.height(); ++y)
        for (int x = 0; x < gifStrip.width(); ++x)
            gifStrip.setPixel(x, y, (x + y) % 3 == 0 ? qRgba(0, 0, 0, 0) : qRgb((x % 15) * 17, y * 15, 200));
    const QString path = dir.filePath("strip.gif");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_GT(file.write(gif::encode(gifStrip)), 0);
    file.close();

    // An opaque tile first: the transparent pixels must not show what it left.
    load(160, 16);
    press(QPointF(20, 0));
    form.Image1.setPicture(platform::LoadPicture(path.toStdString()));
    press(QPointF(20, 0));
    EXPECT_EQ(form.Label2.Caption(), caption(2, 3));
    EXPECT_TRUE(previewHolds(form.Picture2.Image(), gifStrip, 16, 16, background()));
}

TEST_F(PickCaption, StepFourCarriesThePreviousCount)
{
    // Before any pick the count is 0.
    EXPECT_EQ(countProbe(), caption(1, 0));
    EXPECT_EQ(form.CurrentIndex(), 1);
    EXPECT_FALSE(form.Shape1.Visible());

    const QImage strip = load(160, 16);
    press(QPointF(40, 0));
    const QImage preview = form.Picture2.Image().image();
    const float outlineLeft = form.Shape1.Left();
    // A pick that stops early shows index 1 with the count of the pick before,
    // and leaves the outline and the preview alone.
    EXPECT_EQ(countProbe(), caption(1, 10));
    EXPECT_EQ(form.CurrentIndex(), 1);
    EXPECT_TRUE(form.Shape1.Visible());
    EXPECT_EQ(form.Shape1.Left(), outlineLeft);
    EXPECT_EQ(form.Picture2.Image().image(), preview);
    // It set the count to 1 before stopping.
    EXPECT_EQ(countProbe(), caption(1, 1));
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(PickOverflow, ClickOnTooManyTilesReportsErrorSix)
{
    load(160, 16);
    press(QPointF(40, 0));
    const QImage preview = form.Picture2.Image().image();
    const float outlineLeft = form.Shape1.Left();
    const float previewWidth = form.Picture2.Width();

    // 40000 tiles of one pixel: the count does not fit 16 bits.
    load(40000, 1);
    press(QPointF(5, 0));
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text.rfind("Run-time error '6':", 0), 0u) << dialogs.messages()[0].text;
    EXPECT_EQ(form.CurrentIndex(), 1);
    EXPECT_EQ(form.Label2.Caption(), caption(1, 10));
    EXPECT_TRUE(form.Shape1.Visible());
    EXPECT_EQ(form.Shape1.Left(), outlineLeft);
    EXPECT_EQ(form.Picture2.Width(), previewWidth);
    EXPECT_EQ(form.Picture2.Image().image(), preview);
    EXPECT_EQ(countProbe(), caption(1, 1));

    // The program goes on: the next strip picks as usual.
    const QImage strip = load(100, 16);
    press(QPointF(97, 0));
    EXPECT_EQ(form.Label2.Caption(), caption(7, 6));
    EXPECT_TRUE(previewHolds(form.Picture2.Image(), strip, 96, 16, background()));
}

TEST_F(PickOverflow, EachFailingStepLeavesItsState)
{
    const struct {
        const char* step;
        int width;
        int height;
        float X;
        bool outlineMoves;
        int countAfter;
    } cases[] = {
        {"tile count", 40000, 1, 75, false, 1},
        // Column -524304 of 16-pixel tiles: position -32769.
        {"position", 160, 16, -7864560, false, 10},
        // The column just past a 32767-tile strip: position 32767, number 32768.
        {"number", 32767, 1, 491505, true, 32767},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        load(100, 16);
        press(QPointF(40, 0));
        const QImage preview = form.Picture2.Image().image();
        const float outline[] = {form.Shape1.Left(), form.Shape1.Top(), form.Shape1.Width(), form.Shape1.Height()};

        load(c.width, c.height);
        int16_t button = 1;
        int16_t shift = 0;
        float x = c.X;
        float y = 1;
        EXPECT_EQ(errorNumberOf([&] { form.Image1_MouseDown(button, shift, x, y); }), platform::Overflow);
        EXPECT_EQ(form.CurrentIndex(), 1);
        EXPECT_EQ(form.Label2.Caption(), caption(1, 6));
        EXPECT_TRUE(form.Shape1.Visible());
        if (c.outlineMoves) {
            // Outlined and copied past the strip's edge: nothing there to copy.
            expectOutline(32767, 1);
            EXPECT_TRUE(previewHolds(form.Picture2.Image(), nothingOf(1), 0, 1, background()));
        } else {
            const float now[] = {form.Shape1.Left(), form.Shape1.Top(), form.Shape1.Width(), form.Shape1.Height()};
            EXPECT_TRUE(std::equal(std::begin(outline), std::end(outline), std::begin(now)));
            EXPECT_EQ(form.Picture2.Width(), outline[2]);
            EXPECT_EQ(form.Picture2.Image().image(), preview);
        }
        EXPECT_EQ(countProbe(), caption(1, c.countAfter));
    }
}

TEST(PickPreviewBox, PaintPictureCopiesOnlyPixelsInsideThePicture)
{
    platform::Form window("Window", 3000, 3000);
    platform::PictureBox box(window);
    const float tpp = platform::Screen.TwipsPerPixelX();
    box.Move(135, 360, 10 * tpp, 8 * tpp);
    const QImage strip = makeStrip(20, 8);
    const platform::Picture picture(strip);
    const QRgb background = rgbOf(platform::kPreviewBackground);

    const struct {
        const char* what;
        int srcX;
        int width;
        int visibleColumns;
    } cases[] = {
        {"inside", 4, 10, 10},
        {"reaching past the right edge", 14, 10, 6},
        {"wholly beyond the picture", 20, 10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        box.Cls();
        box.PaintPicture(picture, 0, 0, c.width * tpp, 8 * tpp, c.srcX * tpp, 0, c.width * tpp, 8 * tpp);
        const QImage surface = box.Image().image();
        ASSERT_EQ(surface.size(), QSize(10, 8));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 10; ++x) {
                const QRgb want = x < c.visibleColumns ? strip.pixel(c.srcX + x, y) : background;
                EXPECT_EQ(surface.pixel(x, y) & RGB_MASK, want & RGB_MASK) << x << "," << y;
            }
    }

    // An empty picture draws nothing; the surface follows the box's size and keeps its drawing.
    box.PaintPicture(picture, 0, 0, 10 * tpp, 8 * tpp, 0, 0, 10 * tpp, 8 * tpp);
    box.PaintPicture(platform::Picture(), 0, 0, 10 * tpp, 8 * tpp, 0, 0, 10 * tpp, 8 * tpp);
    box.setWidth(12 * tpp);
    const QImage grown = box.Image().image();
    ASSERT_EQ(grown.size(), QSize(12, 8));
    EXPECT_EQ(grown.copy(0, 0, 10, 8), strip.copy(0, 0, 10, 8).convertToFormat(grown.format()));
    EXPECT_EQ(grown.pixel(11, 7) & RGB_MASK, background & RGB_MASK);
}
