#pragma once
// The separate pictures (islands) of a packed sheet: pixels that are not the
// background, joined where they touch, in the order a reader meets them.

#include "tiles/grid.h"
#include "tiles/sheet_pixels.h"

#include <cstdint>
#include <vector>

namespace tiles {

// Joining nothing beyond touching is the one safe default: packers pad by 2,
// but some free sheets pack sprites 1 pixel apart, and any distance would
// fuse such a sheet whole. A glyph's dot 1 pixel above its stem needs --merge 1.
constexpr int32_t kDefaultMerge = 0;
// Fewer own pixels than this is dust (a stray pixel, an eraser's leftover
// pair); a 2x2 bullet is the smallest picture drawn on purpose.
constexpr int32_t kDefaultMinArea = 4;

enum class BackgroundKind { Auto, Transparent, Colour };

struct IslandOptions {
    // Auto: transparent when the border has a transparent pixel, otherwise the
    // colour that most of the border is alike.
    BackgroundKind background = BackgroundKind::Auto;
    uint32_t colour = 0; // 0xRRGGBB, for Colour
    int32_t tolerance = kDefaultTolerance;
    int32_t connect = 8; // 8: corners join; 4: sides only
    // Pictures whose boxes come within this many pixels along both axes are
    // one picture (0: none are joined beyond touching).
    int32_t merge = kDefaultMerge;
    int32_t minArea = kDefaultMinArea;
};

struct Island {
    PixelRect box;
    int64_t area = 0;   // the pixels that are its own, not every pixel of its box
    bool speck = false; // fewer than minArea pixels: listed, after the pictures
    int32_t label = 0;  // its number in owners: its place in the list, from 1
    // Its row in reading order, from 0; the specks' rows follow the pictures'.
    int32_t row = 0;
};

struct Islands {
    // The pictures in reading order, then the specks in reading order.
    std::vector<Island> pictures;
    // width * height, row by row: 0 for background, else the label of the
    // picture that owns the pixel (a neighbour reaching into a box keeps its own).
    std::vector<int32_t> owners;
    bool transparentBackground = false;
    uint32_t background = 0; // 0xAARRGGBB; 0 when transparent
};

Islands findIslands(const SheetPixels& sheet, const IslandOptions& options);

} // namespace tiles
