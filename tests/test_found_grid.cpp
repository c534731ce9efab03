// The grid read from a sheet's gutters: planted grids found exactly, the
// ambiguous and the gutterless refused, and a seeded sweep in which every
// answer is the planted grid or a refusal.
#include "support/pixel_sheets.h"
#include "tiles/found_grid.h"

#include <gtest/gtest.h>

#include <random>

using tiles::findGrid;
using tiles::GridOptions;
using tiles::PixelRect;

namespace {

constexpr int32_t kTolerance = tiles::kDefaultTolerance;
constexpr uint32_t kClear = 0x00000000;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kMagenta = 0xFFFF00FF;
constexpr uint32_t kNoise = 0x07070707; // each channel up to 7 off: within the tolerance

// Full: every pixel drawn, in colours far from the gutter's. Round: an ellipse
// 1 pixel inside the cell, touching each edge at a few pixels only. Open: a
// transparent cell with a small sprite, for gutters of coloured lines.
// Sprite: a block of its own size somewhere in the cell, on the gutter colour.
enum class Content { Full, Round, Open, Sprite };

struct Plant {
    GridOptions grid;
    int32_t columns = 0;
    int32_t rows = 0;
    uint32_t gutter = kClear;
    Content content = Content::Full;
    int32_t extraRight = 0; // pixels past the last whole tile
    int32_t extraBottom = 0;
    bool extraDrawn = false;  // those pixels hold cut-off tiles, not gutter
    int32_t emptyCells = 0;   // trailing cells left empty
    bool oddColumnsEmpty = false;
    uint32_t noise = 0;       // the bits of each channel that gutter pixels may have wrong
    int32_t roundColumn = -1; // a column of Round cells among the others
};

void drawCell(PixelSheet& sheet, const PixelRect& r, Content content, uint32_t gutter, int32_t number)
{
    // Each channel at least 65 away from the gutter's, different in every cell.
    const uint32_t base = ((gutter & 0xFFFFFFu) ^ 0x808080u) ^ ((uint32_t(number) * 0x0B0D07u) & 0x3F3F3Fu);
    // The sprite's block, from the cell's number: 3/8 to all of the cell.
    const int32_t spriteWidth = r.width - (r.width * 5 / 8) * (number % 7) / 6;
    const int32_t spriteHeight = r.height - (r.height * 5 / 8) * (number * 3 % 5) / 4;
    const int32_t spriteX = (r.width - spriteWidth) * (number % 3) / 2;
    const int32_t spriteY = (r.height - spriteHeight) * (number % 4) / 3;
    for (int32_t y = r.y; y < r.y + r.height; ++y)
        for (int32_t x = r.x; x < r.x + r.width; ++x) {
            const int32_t cx = 2 * (x - r.x) + 1 - r.width; // doubled offsets from the centre
            const int32_t cy = 2 * (y - r.y) + 1 - r.height;
            const int32_t rx = r.width - 2;
            const int32_t ry = r.height - 2;
            bool drawn = true;
            if (content == Content::Round)
                drawn = int64_t(cx) * cx * ry * ry + int64_t(cy) * cy * rx * rx <= int64_t(rx) * rx * ry * ry;
            if (content == Content::Open)
                drawn = std::abs(cx) < r.width / 2 && std::abs(cy) < r.height / 2;
            if (content == Content::Sprite)
                drawn = x - r.x >= spriteX && x - r.x < spriteX + spriteWidth && y - r.y >= spriteY &&
                        y - r.y < spriteY + spriteHeight;
            const uint32_t colour = 0xFF000000u | (base ^ uint32_t((x ^ y) & 7));
            sheet.at(x, y) = drawn ? colour : content == Content::Open ? kClear : gutter;
        }
}

PixelSheet build(const Plant& p, std::mt19937& rng)
{
    PlantedGrid planted = plantGrid(p.grid, p.columns, p.rows, p.extraRight, p.extraBottom, p.gutter);
    PixelSheet& sheet = planted.sheet;
    // Noise: transparent pixels of any colour, or each channel a little off.
    if (p.noise != 0)
        for (uint32_t& pixel : sheet.argb)
            if (rng() % 3 == 0)
                pixel = p.gutter == kClear ? rng() & (p.noise | 0xFFFFFFu) : p.gutter ^ (rng() & p.noise);
    const int32_t cells = int32_t(planted.cells.size());
    for (int32_t i = 0; i < cells - p.emptyCells; ++i)
        if (!(p.oddColumnsEmpty && i % p.columns % 2 == 1))
            drawCell(sheet, planted.cells[size_t(i)], i % p.columns == p.roundColumn ? Content::Round : p.content,
                     p.gutter, i);
    if (p.extraDrawn) {
        // The cells of one more column and row, cut off by the sheet's edge.
        const GridOptions& o = p.grid;
        for (int32_t row = 0; row <= p.rows; ++row)
            for (int32_t column = 0; column <= p.columns; ++column) {
                if (row < p.rows && column < p.columns)
                    continue;
                const int32_t x = o.marginX + column * (o.tileWidth + o.spacingX);
                const int32_t y = o.marginY + row * (o.tileHeight + o.spacingY);
                const PixelRect cut{x, y, std::min(o.tileWidth, sheet.width - x),
                                    std::min(o.tileHeight, sheet.height - y)};
                if (cut.width > 0 && cut.height > 0)
                    drawCell(sheet, cut, Content::Full, p.gutter, row * 7 + column);
            }
    }
    return sheet;
}

std::string text(const GridOptions& o)
{
    return std::to_string(o.tileWidth) + "x" + std::to_string(o.tileHeight) + " margin " + std::to_string(o.marginX) +
           "," + std::to_string(o.marginY) + " spacing " + std::to_string(o.spacingX) + "," +
           std::to_string(o.spacingY);
}

} // namespace

TEST(FoundGrid, PlantedGridsAndRefusals)
{
    const struct Case {
        const char* what;
        Plant plant;
        std::vector<std::string> refusal; // parts of it; none: the planted grid is found
    } cases[] = {
        {"green lines round 64x48 sprites",
         {GridOptions{64, 48, 1, 1, 1, 1}, 4, 3, kGreen, Content::Open, 1, 1}, {}},
        {"transparent gutters, spacing 2, last row partly filled",
         {GridOptions{16, 16, 0, 0, 2, 2}, 5, 4, kClear, Content::Full, 0, 0, false, 3}, {}},
        {"background colour with noise, margin 2,3, spacing 4,1",
         {GridOptions{24, 16, 2, 3, 4, 1}, 4, 5, kMagenta, Content::Full, 2, 3, false, 0, false, kNoise}, {}},
        {"transparent noise",
         {GridOptions{20, 20, 1, 1, 1, 1}, 3, 3, kClear, Content::Full, 1, 1, false, 0, false, kNoise}, {}},
        {"an empty last row", {GridOptions{32, 32, 1, 1, 1, 1}, 3, 3, kClear, Content::Full, 1, 1, false, 3}, {}},
        {"no gutter left and top, one at the right",
         {GridOptions{20, 12, 0, 0, 3, 3}, 4, 3, kClear, Content::Full, 3, 0}, {}},
        {"cut-off tiles past the last whole ones",
         {GridOptions{16, 16, 1, 1, 1, 1}, 4, 3, kClear, Content::Full, 9, 5, true}, {}},
        {"tiles of 8x8", {GridOptions{8, 8, 0, 0, 1, 1}, 6, 6, kGreen, Content::Full}, {}},
        {"tiles of 128x96", {GridOptions{128, 96, 4, 4, 4, 4}, 3, 2, kClear, Content::Full, 4, 4}, {}},
        {"no spacing across, every other column empty: 20s, or pairs of 10s?",
         {GridOptions{20, 12, 0, 0, 0, 2}, 6, 3, kClear, Content::Full, 0, 0, false, 0, true},
         {"tiles 20 wide (no spacing)"}},
        {"one tile holds anything", {GridOptions{24, 24, 0, 0, 2, 2}, 3, 3, kClear, Content::Full, 0, 0, false, 8},
         {"only one of them holds anything"}},
        {"a column of sprites short of their cells: 52s, or 16s?",
         {GridOptions{16, 16, 0, 0, 2, 2}, 6, 3, kClear, Content::Full, 0, 0, false, 0, false, 0, 1},
         {"tiles 52 wide (spacing 2) and tiles 16 wide (spacing 2)"}},
        {"tiles that touch", {GridOptions{16, 16, 0, 0, 0, 0}, 4, 4, kClear, Content::Full}, {"no gutters"}},
        {"noise past the tolerance",
         {GridOptions{16, 16, 1, 1, 1, 1}, 4, 4, kClear, Content::Full, 1, 1, false, 0, false, 0x1F1F1F1F},
         {"no gutters"}},
        {"round sprites in cells of 16, no spacing",
         {GridOptions{16, 16, 0, 0, 0, 0}, 4, 4, kClear, Content::Round},
         {"the gutters fit tiles of 14x14 (margin 1, spacing 2) and of 16x16 (no spacing)", "to tell which"}},
        {"round sprites on the background colour, spacing 1",
         {GridOptions{24, 12, 1, 1, 1, 1}, 4, 4, kMagenta, Content::Round}, {"too few tiles fill their cells"}},
        {"a single row of tiles", {GridOptions{32, 32, 1, 1, 1, 1}, 4, 1, kGreen, Content::Open, 1, 1},
         {"the gutters down the sheet fit no grid of two or more tiles"}},
        {"smaller than a tile", {GridOptions{6, 6, 0, 0, 0, 0}, 1, 1, kClear, Content::Full}, {"no tile of 8x8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 rng(1);
        const PixelSheet sheet = build(c.plant, rng);
        const auto found = findGrid(sheet.view(), kTolerance);
        if (c.refusal.empty()) {
            ASSERT_TRUE(std::holds_alternative<GridOptions>(found)) << std::get<std::string>(found);
            EXPECT_EQ(text(std::get<GridOptions>(found)), text(c.plant.grid));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::string>(found)) << text(std::get<GridOptions>(found));
        for (const std::string& part : c.refusal)
            EXPECT_NE(std::get<std::string>(found).find(part), std::string::npos) << std::get<std::string>(found);
    }
}

// Grids of every kind planted at random: each answer is the planted grid or a
// refusal, and every grid whose gutters show it (spacing across and down,
// tiles that fill their cells or coloured lines round them) is found.
TEST(FoundGrid, SweepFindsThePlantedGridOrRefuses)
{
    std::mt19937 rng(20240611);
    const auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    const uint32_t gutters[] = {kClear, kGreen, kMagenta, 0xFF000000, 0xFFFFFFFF, 0xFF3A5F7D};
    int found = 0;
    int showing = 0;
    for (int i = 0; i < 300; ++i) {
        Plant p;
        p.grid.tileWidth = pick(8, 128);
        p.grid.tileHeight = pick(0, 1) ? p.grid.tileWidth : pick(8, 128);
        p.grid.marginX = pick(0, 4);
        p.grid.marginY = pick(0, 4);
        // A few plants the gutters cannot show: no spacing, sprites smaller than their cells.
        p.grid.spacingX = pick(0, 9) == 0 ? 0 : pick(1, 4);
        p.grid.spacingY = pick(0, 9) == 0 ? 0 : pick(1, 4);
        p.columns = pick(2, std::max(2, 480 / p.grid.tileWidth));
        p.rows = pick(2, std::max(2, 320 / p.grid.tileHeight));
        p.gutter = gutters[pick(0, 5)];
        const int32_t kind = pick(0, 9);
        p.content = kind < 7 ? Content::Full
                    : kind < 8 ? (p.gutter == kClear ? Content::Full : Content::Open)
                    : kind < 9 ? Content::Sprite
                               : Content::Round;
        p.extraRight = pick(0, 1) ? pick(0, std::min(12, p.grid.tileWidth - 1)) : 0;
        p.extraBottom = pick(0, 1) ? pick(0, std::min(12, p.grid.tileHeight - 1)) : 0;
        p.extraDrawn = pick(0, 3) == 0;
        p.emptyCells = pick(0, 1) ? pick(0, p.rows > 2 ? p.columns : p.columns - 1) : 0; // two rows hold tiles
        p.noise = pick(0, 1) ? kNoise : 0;
        SCOPED_TRACE("plant " + std::to_string(i) + ": " + text(p.grid) + " " + std::to_string(p.columns) + "x" +
                     std::to_string(p.rows));
        const PixelSheet sheet = build(p, rng);
        const auto result = findGrid(sheet.view(), kTolerance);
        const bool shows = (p.content == Content::Full || p.content == Content::Open) && p.grid.spacingX > 0 &&
                           p.grid.spacingY > 0;
        showing += shows ? 1 : 0;
        if (std::holds_alternative<GridOptions>(result)) {
            ++found;
            EXPECT_EQ(text(std::get<GridOptions>(result)), text(p.grid));
        } else {
            EXPECT_FALSE(shows) << std::get<std::string>(result);
        }
    }
    EXPECT_GE(found, showing);
    EXPECT_GT(found, 150);
}
