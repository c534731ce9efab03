#pragma once
// The pixel grid of a sheet: from the sheet's size and the cutting options,
// the rectangles of its tiles in order. Pure arithmetic in pixels.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tiles {

struct PixelRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

struct GridOptions {
    // 0 x 0: the strip rule (square from the height, 15 high gives 16 wide,
    // a strip narrower than two tiles is one tile, the whole strip).
    int32_t tileWidth = 0;
    int32_t tileHeight = 0;
    int32_t marginX = 0;
    int32_t marginY = 0;
    int32_t spacingX = 0;
    int32_t spacingY = 0;
    // Pixels left over at the right or bottom make smaller edge tiles.
    bool partial = false;
    // The number of the first tile, and of the first row and column.
    int32_t first = 1;
};

struct GridTile {
    int32_t number = 0;
    int32_t row = 0;
    int32_t column = 0;
    PixelRect rect;
};

struct Grid {
    int32_t tileWidth = 0;
    int32_t tileHeight = 0;
    int32_t columns = 0;
    int32_t rows = 0;
    // Pixel columns at the right and rows at the bottom that belong to no tile.
    int32_t leftoverColumns = 0;
    int32_t leftoverRows = 0;
    // The width of a smaller last column and the height of a smaller last row
    // (--partial), 0 for none.
    int32_t edgeWidth = 0;
    int32_t edgeHeight = 0;
    // Row by row, left to right.
    std::vector<GridTile> tiles;
};

// The grid, or why these options make none for this sheet (worded to follow
// the option's name: "--margin 40 is past the sheet's 32x32 pixels").
std::variant<Grid, std::string> cutGrid(int32_t sheetWidth, int32_t sheetHeight, const GridOptions& options);

// The same in two steps, so that a grid too large to hold can be refused
// before its tiles are made: the grid's measures with no tiles, then its tiles.
std::variant<Grid, std::string> measureGrid(int32_t sheetWidth, int32_t sheetHeight, const GridOptions& options);
void fillGrid(Grid& grid, const GridOptions& options);

} // namespace tiles
