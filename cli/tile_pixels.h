#pragma once
// What --trim and --scale make of a tile's pixels before its file is encoded.

#include "platform/picture.h"
#include "tiles/grid.h"

#include <cstdint>

namespace cli {

// The part of the tile that shows: the tile without the rows and columns at
// its borders whose every pixel is fully transparent, as a rectangle of the
// tile. A tile that shows nothing keeps its top-left pixel, so that its file
// is still a picture and an engine still gets a frame to draw (Godot draws the
// whole sheet for an atlas region of no size).
tiles::PixelRect shownPart(const platform::Picture& tile);

// The picture with every pixel made a scale x scale block, in the same kind
// of pixels: palette, grey and depth kept. Throws std::bad_alloc when the
// enlarged picture cannot be held.
platform::Picture enlarged(const platform::Picture& picture, int32_t scale);

} // namespace cli
