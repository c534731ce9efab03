#include "tiles/tile_rules.h"

#include "platform/files.h"
#include "platform/numbers.h"

#include <algorithm>

namespace tiles {

using platform::checkedProduct;
using platform::intDiv;
using platform::narrowToInt16;
using platform::whole;

namespace {

// A strip 15 or 16 pixels high is cut into 16-pixel icons; any other height
// gives square tiles.
constexpr int32_t kCroppedStripHeight = 15;
constexpr int32_t kIconTileWidth = 16;

// Pixels to twips in double precision; callers narrow to float where the
// value is handed on.
double pixelsToTwips(float twipsPerPixel, int32_t pixels)
{
    return static_cast<double>(twipsPerPixel) * pixels;
}

} // namespace

int32_t pixelsOf(float twips, float twipsPerPixel)
{
    return intDiv(whole(twips), whole(twipsPerPixel));
}

int32_t baseTileWidth(int32_t imageHeight)
{
    if (imageHeight == kCroppedStripHeight || imageHeight == kIconTileWidth)
        return kIconTileWidth;
    return imageHeight;
}

int16_t wholeTileCount(int32_t imageWidth, int32_t baseWidth)
{
    return narrowToInt16(intDiv(imageWidth, baseWidth));
}

int16_t tileCount(int32_t imageWidth, int32_t baseWidth)
{
    // A strip narrower than one tile is still one tile: the whole image.
    const int16_t n = wholeTileCount(imageWidth, baseWidth);
    return n == 0 ? 1 : n;
}

int32_t tileWidth(int16_t count, int32_t imageWidth, int32_t baseWidth)
{
    return count == 1 ? imageWidth : baseWidth;
}

int16_t hitTest(float X, float twipsPerPixelX, int32_t tileWidth)
{
    const int32_t x = pixelsOf(X, twipsPerPixelX);
    const int16_t p = narrowToInt16(intDiv(x, tileWidth));
    // \ truncates toward zero; a negative column left of a tile boundary
    // belongs to the tile before it.
    if (static_cast<double>(x) / tileWidth < p)
        return narrowToInt16(p - 1);
    return p;
}

Rect outlineRect(int16_t p, int32_t tileWidth, float imageLeft, float imageTop, float imageHeight,
                 float twipsPerPixelX)
{
    const double left = imageLeft + pixelsToTwips(twipsPerPixelX, checkedProduct(p, tileWidth));
    return {static_cast<float>(left), imageTop, static_cast<float>(pixelsToTwips(twipsPerPixelX, tileWidth)),
            imageHeight};
}

CopyRects copyRects(int16_t p, int32_t tileWidth, int32_t tileHeight, float outlineWidth,
                    float outlineHeight, float twipsPerPixelX, float twipsPerPixelY)
{
    const Rect destination{0, 0, outlineWidth, outlineHeight};
    const Rect source{static_cast<float>(pixelsToTwips(twipsPerPixelX, checkedProduct(p, tileWidth))), 0,
                      static_cast<float>(pixelsToTwips(twipsPerPixelX, tileWidth)),
                      static_cast<float>(pixelsToTwips(twipsPerPixelY, tileHeight))};
    return {destination, source};
}

StripTiles stripTiles(float imageWidth, float imageHeight, float twipsPerPixelX, float twipsPerPixelY)
{
    const int32_t baseWidth = baseTileWidth(pixelsOf(imageHeight, twipsPerPixelY));
    return {baseWidth, tileCount(pixelsOf(imageWidth, twipsPerPixelX), baseWidth)};
}

int16_t tileForKey(TileKey key, int16_t p, int16_t count)
{
    const int16_t last = int16_t(count - 1);
    switch (key) {
    case TileKey::Previous:
        return std::clamp<int16_t>(int16_t(p - 1), 0, last);
    case TileKey::Next:
        return std::clamp<int16_t>(int16_t(p + 1), 0, last);
    case TileKey::First:
        return 0;
    case TileKey::Last:
        return last;
    }
    return 0;
}

float pickX(int16_t i, int32_t baseWidth, float twipsPerPixelX)
{
    // The tile's first column times the whole twips per pixel: the hit test
    // makes the same whole numbers and divides back to exactly that column.
    // A fixed offset in twips would land in a neighbouring tile at 10 or
    // fewer twips per pixel, or at a fractional twips per pixel.
    const double x = static_cast<double>(whole(twipsPerPixelX)) * checkedProduct(i, baseWidth);
    return static_cast<float>(x);
}

std::string tileFileName(const std::string& folder, const std::string& prefix, int16_t i)
{
    return folder + platform::PathSeparator + prefix + platform::toText(int32_t(i) + 1) + ".bmp";
}

std::string indexText(int16_t index, int16_t count)
{
    // " из " ("of"), written as UTF-8 bytes so the source encoding cannot alter it.
    static const char kOf[] = " \xD0\xB8\xD0\xB7 ";
    return "Index: " + platform::toText(index) + kOf + platform::toText(count);
}

} // namespace tiles
