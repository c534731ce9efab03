#pragma once
// The grid of a sheet nobody measured, read from its gutters: whole rows and
// columns of pixels that are all transparent, or all the one gutter colour
// (grid lines, or the background between tiles), within the tolerance. Each
// candidate gutter colour (transparent, and the colour of each set of lines
// that are one colour) is tried; two that find different grids are a refusal.
//
// The rule, per axis. A grid (tiles 8 to 128 pixels, margin and spacing 0 to
// 4, two tiles or more) fits the row or column of gutter flags when its
// margin and spacings are all gutter and no content runs from one tile into
// the next; it is tight when every tile that holds anything has content on
// its first and its last line. The finest tight grid is the answer when at
// least two of its tiles hold something and every other grid that fits keeps
// those same tiles, either one to a tile (grown over their spacing) or a run
// of them to a tile (32 as two 16s and their spacing: the finer grid wins). A
// grid that fits and cuts them otherwise is as good an answer: a refusal.
//
// Grown tiles explain the same gutters (14 with spacing 2 and margin 1 cuts
// the same content as 16 with no spacing, when the gutters are the tiles' own
// background), so the tight grid is taken only when more than half the tiles
// that hold anything fill both edges of their cell along that axis (three
// quarters of each edge line is not gutter): lines of a colour the tiles do
// not use, or tiles drawn to their edges. Otherwise a refusal names both.
//
// Refused whatever the pixels: no spacing along an axis, or a single row or
// column of tiles. Tiles that touch, or one tile alone, look the same as one
// larger tile, so the gutters cannot tell them apart.

#include "tiles/grid.h"
#include "tiles/sheet_pixels.h"

#include <string>
#include <variant>

namespace tiles {

// The grid (partial false, first 1), or what was seen instead, worded to
// follow "cannot find the grid of 'SHEET': ".
std::variant<GridOptions, std::string> findGrid(const SheetPixels& sheet, int32_t tolerance);

} // namespace tiles
