// The selection state and the tile pick: a press on the strip selects the tile
// under the pointer, outlines it and copies it into the preview box.
#include "platform/image_controls.h"
#include "platform/numbers.h"
#include "platform/screen.h"
#include "tiles/tile_rules.h"
#include "window/f_main.h"

#include <optional>

using platform::Screen;

namespace {

constexpr int16_t kLeftButton = 1;
constexpr int16_t kNoShift = 0;
constexpr float kPickY = 1;

std::optional<tiles::TileKey> tileKeyOf(int16_t KeyCode)
{
    switch (KeyCode) {
    case platform::vbKeyLeft:
        return tiles::TileKey::Previous;
    case platform::vbKeyRight:
        return tiles::TileKey::Next;
    case platform::vbKeyHome:
        return tiles::TileKey::First;
    case platform::vbKeyEnd:
        return tiles::TileKey::Last;
    default:
        return std::nullopt;
    }
}

} // namespace

int16_t f_Main::CurrentIndex() const { return mCurrentIndex; }

void f_Main::setCurrentIndex(int16_t vNewValue)
{
    mCurrentIndex = vNewValue;
    Label2.setCaption(tiles::indexText(vNewValue, mTileCount));
}

void f_Main::Image1_MouseDown(int16_t& /*Button*/, int16_t& /*Shift*/, float& X, float& /*Y*/)
{
    const int32_t imageWidth = tiles::pixelsOf(Image1.Width(), Screen.TwipsPerPixelX());
    const int32_t imageHeight = tiles::pixelsOf(Image1.Height(), Screen.TwipsPerPixelY());
    const int32_t baseWidth = tiles::baseTileWidth(imageHeight);
    // A tile is selected from here on, even when the pick stops early; the
    // caption keeps the last count until the new one is known.
    setCurrentIndex(1);
    mTileCount = 1;
    // An image less than a pixel high has no tiles to divide it into.
    if (baseWidth == 0)
        return;
    mTileCount = tiles::tileCount(imageWidth, baseWidth);
    const int32_t tileWidth = tiles::tileWidth(mTileCount, imageWidth, baseWidth);
    mTileHeight = imageHeight;
    mTileWidth = tileWidth;
    const int16_t p = tiles::hitTest(X, Screen.TwipsPerPixelX(), tileWidth);
    const tiles::Rect outline =
        tiles::outlineRect(p, tileWidth, Image1.Left(), Image1.Top(), Image1.Height(), Screen.TwipsPerPixelX());
    Shape1.Move(outline.Left, outline.Top, outline.Width, outline.Height);
    Shape1.setVisible(true);
    // Cleared before it is sized to the tile, so nothing of the last tile shows
    // where this one has no pixels (past the strip's edge, transparent ones).
    Picture2.Cls();
    Picture2.setWidth(Shape1.Width());
    Picture2.setHeight(Shape1.Height());
    Picture2.Refresh();
    // The copy goes to the persistent image, which is what the saves write.
    Picture2.setAutoRedraw(true);
    const tiles::CopyRects copy = tiles::copyRects(p, mTileWidth, mTileHeight, Shape1.Width(), Shape1.Height(),
                                                   Screen.TwipsPerPixelX(), Screen.TwipsPerPixelY());
    Picture2.PaintPicture(Image1.picture(), copy.destination.Left, copy.destination.Top, copy.destination.Width,
                          copy.destination.Height, copy.source.Left, copy.source.Top, copy.source.Width,
                          copy.source.Height);
    Picture2.setAutoRedraw(false);
    setCurrentIndex(platform::narrowToInt16(int32_t(p) + 1));
}

void f_Main::PickTile(int16_t p, int32_t baseWidth)
{
    int16_t Button = kLeftButton;
    int16_t Shift = kNoShift;
    float X = tiles::pickX(p, baseWidth, Screen.TwipsPerPixelX());
    float Y = kPickY;
    Image1_MouseDown(Button, Shift, X, Y);
}

void f_Main::Image1_KeyDown(int16_t& KeyCode, int16_t& /*Shift*/)
{
    const std::optional<tiles::TileKey> key = tileKeyOf(KeyCode);
    if (!key)
        return;
    const tiles::StripTiles strip =
        tiles::stripTiles(Image1.Width(), Image1.Height(), Screen.TwipsPerPixelX(), Screen.TwipsPerPixelY());
    PickTile(tiles::tileForKey(*key, int16_t(CurrentIndex() - 1), strip.count), strip.baseWidth);
}
