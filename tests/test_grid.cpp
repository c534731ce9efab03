// The pixel grid of a sheet: its cases and refusals in one table, and the
// invariants every grid keeps over a sweep of small sheets and options.
#include "tiles/grid.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using tiles::cutGrid;
using tiles::Grid;
using tiles::GridOptions;
using tiles::PixelRect;

namespace {

GridOptions sized(int32_t w, int32_t h, int32_t margin = 0, int32_t spacing = 0, bool partial = false)
{
    GridOptions o;
    o.tileWidth = w;
    o.tileHeight = h;
    o.marginX = o.marginY = margin;
    o.spacingX = o.spacingY = spacing;
    o.partial = partial;
    return o;
}

GridOptions uneven(GridOptions o, int32_t marginX, int32_t marginY, int32_t spacingX, int32_t spacingY)
{
    o.marginX = marginX;
    o.marginY = marginY;
    o.spacingX = spacingX;
    o.spacingY = spacingY;
    return o;
}

GridOptions withFirst(GridOptions o, int32_t first)
{
    o.first = first;
    return o;
}

bool sameRect(const PixelRect& a, const PixelRect& b)
{
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

std::string rectText(const PixelRect& r)
{
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
           std::to_string(r.height);
}

} // namespace

TEST(Grid, CasesAndRefusals)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const struct Case {
        const char* what;
        int32_t width;
        int32_t height;
        GridOptions options;
        // The grid: tile size, columns, rows, leftover columns and rows,
        // the first and the last tile's rectangle and number.
        int32_t tileWidth, tileHeight, columns, rows, leftoverColumns, leftoverRows;
        PixelRect first, last;
        int32_t lastNumber;
        std::string refusal; // a part of it, or "" for a grid
    } cases[] = {
        // The strip rule.
        {"16 high", 160, 16, {}, 16, 16, 10, 1, 0, 0, {0, 0, 16, 16}, {144, 0, 16, 16}, 10, ""},
        {"15 high, 16 wide", 160, 15, {}, 16, 15, 10, 1, 0, 0, {0, 0, 16, 15}, {144, 0, 16, 15}, 10, ""},
        {"four columns over", 100, 16, {}, 16, 16, 6, 1, 4, 0, {0, 0, 16, 16}, {80, 0, 16, 16}, 6, ""},
        {"one tile, all 30", 30, 16, {}, 30, 16, 1, 1, 0, 0, {0, 0, 30, 16}, {0, 0, 30, 16}, 1, ""},
        {"narrower than high", 10, 20, {}, 10, 20, 1, 1, 0, 0, {0, 0, 10, 20}, {0, 0, 10, 20}, 1, ""},
        {"32 high", 200, 32, {}, 32, 32, 6, 1, 8, 0, {0, 0, 32, 32}, {160, 0, 32, 32}, 6, ""},
        {"strip, partial edge", 100, 16, sized(0, 0, 0, 0, true), 16, 16, 7, 1, 0, 0, {0, 0, 16, 16},
         {96, 0, 4, 16}, 7, ""},
        {"strip under a margin", 50, 17, sized(0, 0, 1), 16, 16, 3, 1, 1, 0, {1, 1, 16, 16}, {33, 1, 16, 16}, 3,
         ""},
        {"strip with spacing", 49, 16, sized(0, 0, 0, 1), 16, 16, 2, 1, 16, 0, {0, 0, 16, 16}, {17, 0, 16, 16}, 2,
         ""},
        {"40000 tiles of 1 pixel", 40000, 1, {}, 1, 1, 40000, 1, 0, 0, {0, 0, 1, 1}, {39999, 0, 1, 1}, 40000, ""},
        // Grids.
        {"4x2 sheet of 16s", 64, 32, sized(16, 16), 16, 16, 4, 2, 0, 0, {0, 0, 16, 16}, {48, 16, 16, 16}, 8, ""},
        {"numbered from 0", 64, 32, withFirst(sized(16, 16), 0), 16, 16, 4, 2, 0, 0, {0, 0, 16, 16},
         {48, 16, 16, 16}, 7, ""},
        {"margin 1, spacing 1 (Tiled)", 35, 35, sized(16, 16, 1, 1), 16, 16, 2, 2, 1, 1, {1, 1, 16, 16},
         {18, 18, 16, 16}, 4, ""},
        {"margin 2,0 spacing 0,3", 36, 35, uneven(sized(8, 16), 2, 0, 0, 3), 8, 16, 4, 2, 2, 0, {2, 0, 8, 16},
         {26, 19, 8, 16}, 8, ""},
        {"edges dropped", 40, 20, sized(16, 16), 16, 16, 2, 1, 8, 4, {0, 0, 16, 16}, {16, 0, 16, 16}, 2, ""},
        {"edges kept", 40, 20, sized(16, 16, 0, 0, true), 16, 16, 3, 2, 0, 0, {0, 0, 16, 16}, {32, 16, 8, 4}, 6,
         ""},
        {"edge pixels all spacing", 34, 16, sized(16, 16, 0, 2, true), 16, 16, 2, 1, 0, 0, {0, 0, 16, 16},
         {18, 0, 16, 16}, 2, ""},
        {"one spacing pixel over", 35, 16, sized(16, 16, 0, 2, true), 16, 16, 2, 1, 1, 0, {0, 0, 16, 16},
         {18, 0, 16, 16}, 2, ""},
        {"tile larger than the sheet, partial", 10, 10, sized(64, 64, 0, 0, true), 64, 64, 1, 1, 0, 0,
         {0, 0, 10, 10}, {0, 0, 10, 10}, 1, ""},
        {"huge spacing does not wrap", 20, 20, sized(8, 8, 0, kMax), 8, 8, 1, 1, 12, 12, {0, 0, 8, 8},
         {0, 0, 8, 8}, 1, ""},
        {"last number at the limit", 4, 1, withFirst(sized(1, 1), kMax - 3), 1, 1, 4, 1, 0, 0, {0, 0, 1, 1},
         {3, 0, 1, 1}, kMax, ""},
        // Refusals.
        {"zero width", 16, 16, sized(0, 16), 0, 0, 0, 0, 0, 0, {}, {}, 0, "--tile 0x16: a tile is at least 1x1"},
        {"negative size", 16, 16, sized(-16, -16), 0, 0, 0, 0, 0, 0, {}, {}, 0, "--tile -16x-16"},
        {"negative margin", 16, 16, sized(8, 8, -1), 0, 0, 0, 0, 0, 0, {}, {}, 0, "--margin -1: a margin is 0"},
        {"negative spacing", 16, 16, sized(8, 8, 0, -2), 0, 0, 0, 0, 0, 0, {}, {}, 0, "--spacing -2"},
        {"negative first", 16, 16, withFirst({}, -1), 0, 0, 0, 0, 0, 0, {}, {}, 0, "--first -1"},
        {"margin past the sheet", 32, 32, sized(8, 8, 40), 0, 0, 0, 0, 0, 0, {}, {}, 0,
         "--margin 40 is past the sheet's 32x32 pixels"},
        {"margin the sheet's height", 64, 16, sized(0, 0, 16), 0, 0, 0, 0, 0, 0, {}, {}, 0, "--margin 16 is past"},
        {"no whole tile", 32, 32, sized(64, 64), 0, 0, 0, 0, 0, 0, {}, {}, 0,
         "--tile 64x64 leaves no tile in the sheet's 32x32 pixels"},
        {"no whole row under a margin", 32, 32, sized(16, 16, 20), 0, 0, 0, 0, 0, 0, {}, {}, 0,
         "--tile 16x16 with --margin 20 leaves no tile"},
        {"a sheet of no pixels", 0, 16, {}, 0, 0, 0, 0, 0, 0, {}, {}, 0, "no tile in the sheet's 0x16 pixels"},
        {"numbers past int32", 4, 1, withFirst(sized(1, 1), kMax - 2), 0, 0, 0, 0, 0, 0, {}, {}, 0,
         "numbered past 2147483647"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = cutGrid(c.width, c.height, c.options);
        if (!c.refusal.empty()) {
            ASSERT_TRUE(std::holds_alternative<std::string>(result));
            EXPECT_NE(std::get<std::string>(result).find(c.refusal), std::string::npos)
                << std::get<std::string>(result);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<Grid>(result)) << std::get<std::string>(result);
        const Grid& grid = std::get<Grid>(result);
        EXPECT_EQ(grid.tileWidth, c.tileWidth);
        EXPECT_EQ(grid.tileHeight, c.tileHeight);
        EXPECT_EQ(grid.columns, c.columns);
        EXPECT_EQ(grid.rows, c.rows);
        EXPECT_EQ(grid.leftoverColumns, c.leftoverColumns);
        EXPECT_EQ(grid.leftoverRows, c.leftoverRows);
        ASSERT_EQ(grid.tiles.size(), size_t(c.columns) * size_t(c.rows));
        EXPECT_TRUE(sameRect(grid.tiles.front().rect, c.first)) << rectText(grid.tiles.front().rect);
        EXPECT_TRUE(sameRect(grid.tiles.back().rect, c.last)) << rectText(grid.tiles.back().rect);
        EXPECT_EQ(grid.tiles.front().number, c.options.first);
        EXPECT_EQ(grid.tiles.back().number, c.lastNumber);
    }
}

// Over every small sheet and option: the tiles lie inside the sheet, come row
// by row with consecutive numbers, never overlap, and the leftover columns and
// rows belong to no tile while the column or row before them does.
TEST(Grid, TilesStayInsideInOrderWithoutOverlap)
{
    int grids = 0;
    for (int32_t width = 1; width <= 24; ++width)
        for (int32_t height = 1; height <= 18; height += 3)
            for (int32_t tile : {0, 1, 3, 7})
                for (int32_t margin : {0, 2})
                    for (int32_t spacing : {0, 1, 4})
                        for (bool partial : {false, true}) {
                            GridOptions o = sized(tile, tile == 0 ? 0 : tile + 1, margin, spacing, partial);
                            o.first = spacing % 2;
                            const auto result = cutGrid(width, height, o);
                            if (!std::holds_alternative<Grid>(result))
                                continue;
                            const Grid& grid = std::get<Grid>(result);
                            ++grids;
                            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " tile " +
                                         std::to_string(tile) + " margin " + std::to_string(margin) + " spacing " +
                                         std::to_string(spacing) + (partial ? " partial" : ""));
                            std::vector<int> owner(size_t(width * height), -1);
                            for (size_t i = 0; i < grid.tiles.size(); ++i) {
                                const tiles::GridTile& t = grid.tiles[i];
                                ASSERT_EQ(t.number, o.first + int32_t(i));
                                ASSERT_EQ(t.row, o.first + int32_t(i) / grid.columns);
                                ASSERT_EQ(t.column, o.first + int32_t(i) % grid.columns);
                                ASSERT_GT(t.rect.width, 0);
                                ASSERT_GT(t.rect.height, 0);
                                ASSERT_GE(t.rect.x, margin);
                                ASSERT_GE(t.rect.y, margin);
                                ASSERT_LE(t.rect.x + t.rect.width, width);
                                ASSERT_LE(t.rect.y + t.rect.height, height);
                                for (int32_t y = t.rect.y; y < t.rect.y + t.rect.height; ++y)
                                    for (int32_t x = t.rect.x; x < t.rect.x + t.rect.width; ++x) {
                                        int& pixel = owner[size_t(y * width + x)];
                                        ASSERT_EQ(pixel, -1) << "pixel " << x << "," << y << " in two tiles";
                                        pixel = int(i);
                                    }
                            }
                            const auto owned = [&](int32_t x, int32_t y) { return owner[size_t(y * width + x)] >= 0; };
                            const PixelRect& last = grid.tiles.back().rect;
                            EXPECT_EQ(width - (last.x + last.width), grid.leftoverColumns);
                            EXPECT_EQ(height - (last.y + last.height), grid.leftoverRows);
                            EXPECT_TRUE(owned(last.x + last.width - 1, last.y + last.height - 1));
                            for (int32_t x = width - grid.leftoverColumns; x < width; ++x)
                                for (int32_t y = 0; y < height; ++y)
                                    ASSERT_FALSE(owned(x, y));
                            if (!partial || tile == 0)
                                continue;
                            // Kept edges: no pixel past the margin is left out but spacing.
                            EXPECT_LE(grid.leftoverColumns, spacing);
                            EXPECT_LE(grid.leftoverRows, spacing);
                        }
    EXPECT_GT(grids, 1000);
}
