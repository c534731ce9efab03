#include "tiles/grid.h"

#include "tiles/tile_rules.h"

#include <algorithm>
#include <limits>

namespace tiles {

namespace {

constexpr int64_t kLargestNumber = std::numeric_limits<int32_t>::max();

// The tiles along one axis. Wide arithmetic throughout: a sheet, a tile and a
// spacing of up to 2^31 - 1 pixels each must not wrap.
struct Axis {
    int64_t whole = 0;   // tiles of the full size
    int64_t edge = 0;    // the size of a smaller last tile, 0 for none
    int64_t leftover = 0; // pixels after the last tile that belong to none
    int64_t count() const { return whole + (edge > 0 ? 1 : 0); }
};

// As Tiled counts its columns: a margin before the first tile, a spacing
// between two tiles, none after the last.
Axis cutAxis(int64_t length, int64_t margin, int64_t tile, int64_t spacing, bool partial)
{
    Axis axis;
    axis.whole = (length - margin + spacing) / (tile + spacing);
    const int64_t next = margin + axis.whole * (tile + spacing); // where one more tile would start
    if (partial && next < length)
        axis.edge = length - next;
    const int64_t end = axis.edge > 0 ? length : next - (axis.whole > 0 ? spacing : 0);
    axis.leftover = length - end;
    return axis;
}

// An option's pair of numbers as it is written on the command line.
std::string pairText(int32_t x, int32_t y)
{
    return x == y ? std::to_string(x) : std::to_string(x) + "," + std::to_string(y);
}

std::string sizeText(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// What is wrong with the options whatever the sheet, or "".
std::string refusalOf(const GridOptions& o)
{
    const bool stripRule = o.tileWidth == 0 && o.tileHeight == 0;
    if (!stripRule && (o.tileWidth <= 0 || o.tileHeight <= 0))
        return "--tile " + sizeText(o.tileWidth, o.tileHeight) + ": a tile is at least 1x1 pixel";
    if (o.marginX < 0 || o.marginY < 0)
        return "--margin " + pairText(o.marginX, o.marginY) + ": a margin is 0 pixels or more";
    if (o.spacingX < 0 || o.spacingY < 0)
        return "--spacing " + pairText(o.spacingX, o.spacingY) + ": a spacing is 0 pixels or more";
    if (o.first < 0)
        return "--first " + std::to_string(o.first) + ": tiles are numbered from 0 or more";
    return {};
}

} // namespace

std::variant<Grid, std::string> measureGrid(int32_t sheetWidth, int32_t sheetHeight, const GridOptions& options)
{
    const std::string refusal = refusalOf(options);
    if (!refusal.empty())
        return refusal;
    const std::string sheet = "the sheet's " + sizeText(sheetWidth, sheetHeight) + " pixels";
    if (sheetWidth <= 0 || sheetHeight <= 0)
        return "there is no tile in " + sheet;
    if (options.marginX >= sheetWidth || options.marginY >= sheetHeight)
        return "--margin " + pairText(options.marginX, options.marginY) + " is past " + sheet;

    int32_t tileWidth = options.tileWidth;
    int32_t tileHeight = options.tileHeight;
    const bool stripRule = tileWidth == 0;
    if (stripRule) {
        // One row as high as the strip below the margin.
        tileHeight = sheetHeight - options.marginY;
        tileWidth = baseTileWidth(tileHeight);
    }
    Axis across = cutAxis(sheetWidth, options.marginX, tileWidth, options.spacingX, options.partial);
    const Axis down = stripRule ? Axis{1, 0, 0}
                                : cutAxis(sheetHeight, options.marginY, tileHeight, options.spacingY, options.partial);
    if (stripRule && across.whole < 2) {
        // A strip narrower than two tiles is a single tile, all of it.
        across = Axis{1, 0, 0};
        tileWidth = sheetWidth - options.marginX;
    }
    if (across.count() == 0 || down.count() == 0) {
        std::string what = "--tile " + sizeText(options.tileWidth, options.tileHeight);
        if (options.marginX > 0 || options.marginY > 0)
            what += " with --margin " + pairText(options.marginX, options.marginY);
        return what + " leaves no tile in " + sheet + " (--partial keeps smaller edge tiles)";
    }
    const int64_t count = across.count() * down.count();
    if (count - 1 > kLargestNumber - options.first)
        return "--first " + std::to_string(options.first) + ": the " + std::to_string(count) + " tiles of " + sheet +
               " would be numbered past " + std::to_string(kLargestNumber);

    Grid grid;
    grid.tileWidth = tileWidth;
    grid.tileHeight = tileHeight;
    grid.columns = int32_t(across.count());
    grid.rows = int32_t(down.count());
    grid.leftoverColumns = int32_t(across.leftover);
    grid.leftoverRows = int32_t(down.leftover);
    grid.edgeWidth = int32_t(across.edge);
    grid.edgeHeight = int32_t(down.edge);
    return grid;
}

void fillGrid(Grid& grid, const GridOptions& options)
{
    const int32_t wholeColumns = grid.columns - (grid.edgeWidth > 0 ? 1 : 0);
    const int32_t wholeRows = grid.rows - (grid.edgeHeight > 0 ? 1 : 0);
    grid.tiles.clear();
    grid.tiles.reserve(size_t(grid.columns) * size_t(grid.rows));
    for (int32_t row = 0; row < grid.rows; ++row) {
        const int64_t y = options.marginY + int64_t(row) * (grid.tileHeight + int64_t(options.spacingY));
        const int32_t height = row == wholeRows ? grid.edgeHeight : grid.tileHeight;
        for (int32_t column = 0; column < grid.columns; ++column) {
            const int64_t x = options.marginX + int64_t(column) * (grid.tileWidth + int64_t(options.spacingX));
            const int32_t width = column == wholeColumns ? grid.edgeWidth : grid.tileWidth;
            const int32_t number = int32_t(options.first + int64_t(row) * grid.columns + column);
            grid.tiles.push_back(GridTile{number, options.first + row, options.first + column,
                                          PixelRect{int32_t(x), int32_t(y), width, height}});
        }
    }
}

std::variant<Grid, std::string> cutGrid(int32_t sheetWidth, int32_t sheetHeight, const GridOptions& options)
{
    auto grid = measureGrid(sheetWidth, sheetHeight, options);
    if (Grid* measured = std::get_if<Grid>(&grid))
        fillGrid(*measured, options);
    return grid;
}

} // namespace tiles
