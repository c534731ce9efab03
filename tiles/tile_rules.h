#pragma once
// The tile rules: how a strip's pixel size, tile width, tile count, the tile
// under a position and the rectangles of a pick follow from the image
// control's size in twips and the screen's twips per pixel. Pure arithmetic
// with the runtime's whole-number conversions and overflow errors.

#include <cstdint>
#include <string>

namespace tiles {

// whole(twips) \ whole(twipsPerPixel): both made whole before dividing.
int32_t pixelsOf(float twips, float twipsPerPixel);

// 16 for a strip 15 or 16 pixels high, otherwise the height itself (0 for 0).
int32_t baseTileWidth(int32_t imageHeight);

// Whole tiles in the strip: narrow(imageWidth \ baseWidth). May be 0.
int16_t wholeTileCount(int32_t imageWidth, int32_t baseWidth);

// The tile count of a pick: the whole tiles, but at least 1.
int16_t tileCount(int32_t imageWidth, int32_t baseWidth);

// A single tile covers the whole image; otherwise tiles are baseWidth wide.
int32_t tileWidth(int16_t count, int32_t imageWidth, int32_t baseWidth);

// Tile position under X (twips): floor(x / tileWidth) with x the pixel column.
int16_t hitTest(float X, float twipsPerPixelX, int32_t tileWidth);

struct Rect {
    float Left;
    float Top;
    float Width;
    float Height;
};

// The outline over tile p, in the coordinates of the image's container.
Rect outlineRect(int16_t p, int32_t tileWidth, float imageLeft, float imageTop, float imageHeight,
                 float twipsPerPixelX);

// Where the tile goes in the preview box and where it comes from in the picture.
struct CopyRects {
    Rect destination;
    Rect source;
};
CopyRects copyRects(int16_t p, int32_t tileWidth, int32_t tileHeight, float outlineWidth,
                    float outlineHeight, float twipsPerPixelX, float twipsPerPixelY);

// The base tile width and the tile count of a strip shown at a size in twips.
struct StripTiles {
    int32_t baseWidth;
    int16_t count;
};
StripTiles stripTiles(float imageWidth, float imageHeight, float twipsPerPixelX, float twipsPerPixelY);

// The tile a key picks among count tiles, from the selected position p (-1
// when none is): the one before or after it, the first or the last; always
// one of the strip's counted tiles.
enum class TileKey { Previous, Next, First, Last };
int16_t tileForKey(TileKey key, int16_t p, int16_t count);

// The X that Save all hands to the pick for tile i, chosen so that the pick
// turns it back into the tile's first pixel column at any twips per pixel.
float pickX(int16_t i, int32_t baseWidth, float twipsPerPixelX);

// The file Save all writes pass i's tile to: the folder, the separator, the
// prefix, the tile's number (i + 1) and ".bmp", joined with nothing between.
std::string tileFileName(const std::string& folder, const std::string& prefix, int16_t i);

// "Index: 3 из 10".
std::string indexText(int16_t index, int16_t count);

} // namespace tiles
