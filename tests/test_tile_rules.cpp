#include "platform/errors.h"
#include "support/error_number.h"
#include "tiles/tile_rules.h"

#include <gtest/gtest.h>

using namespace tiles;

namespace {

constexpr float kTwipsPerPixel = 15; // 96 DPI

// An image control sized to a picture of the given pixels.
float twips(int32_t pixels, float twipsPerPixel = kTwipsPerPixel)
{
    return pixels * twipsPerPixel;
}

} // namespace

TEST(TileRulesPixelSize, BothOperandsMadeWholeFirst)
{
    const struct {
        float twips;
        float twipsPerPixel;
        int32_t pixels;
    } cases[] = {
        {5775, 15, 385}, {375, 15, 25},  {240, 15, 16}, {254, 15, 16}, {1234.5f, 15, 82},
        {192, 12, 16},   {160, 10, 16},  {128, 7.5f, 16}, {1200, 7.5f, 150}, {0, 15, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pixelsOf(c.twips, c.twipsPerPixel), c.pixels) << c.twips << " at " << c.twipsPerPixel;
}

TEST(TileRulesBaseWidth, SixteenForFifteenAndSixteenHigh)
{
    const struct {
        int32_t height;
        int32_t base;
    } cases[] = {{0, 0}, {1, 1}, {14, 14}, {15, 16}, {16, 16}, {17, 17}, {32, 32}};
    for (const auto& c : cases)
        EXPECT_EQ(baseTileWidth(c.height), c.base) << c.height;
}

TEST(TileRulesCount, WholeTilesAndOneTileRule)
{
    const struct {
        int32_t width;
        int32_t height;
        int16_t wholeTiles;
        int16_t count;
        int32_t tileWidth;
    } cases[] = {
        {160, 16, 10, 10, 16}, {160, 15, 10, 10, 16}, {100, 16, 6, 6, 16}, {32, 16, 2, 2, 16},
        {30, 16, 1, 1, 30},    {31, 16, 1, 1, 31},    {10, 20, 0, 1, 10},  {32767, 1, 32767, 32767, 1},
    };
    for (const auto& c : cases) {
        const int32_t base = baseTileWidth(c.height);
        const int16_t count = tileCount(c.width, base);
        EXPECT_EQ(wholeTileCount(c.width, base), c.wholeTiles) << c.width << "x" << c.height;
        EXPECT_EQ(count, c.count) << c.width << "x" << c.height;
        EXPECT_EQ(tileWidth(count, c.width, base), c.tileWidth) << c.width << "x" << c.height;
    }
}

TEST(TileRulesCount, TooManyTilesOrNoHeight)
{
    // 1 pixel high and 40000 wide: 40000 tiles do not fit a 16-bit count.
    EXPECT_EQ(errorNumberOf([] { wholeTileCount(40000, baseTileWidth(1)); }), platform::Overflow);
    EXPECT_EQ(errorNumberOf([] { tileCount(40000, baseTileWidth(1)); }), platform::Overflow);
    EXPECT_EQ(errorNumberOf([] { tileCount(100, baseTileWidth(0)); }), platform::DivisionByZero);
}

TEST(TileRulesHitTest, FloorOfColumnOverTileWidth)
{
    const struct {
        float X;
        float twipsPerPixel;
        int32_t tileWidth;
        int16_t p;
    } cases[] = {
        {0, 15, 16, 0},
        {twips(15), 15, 16, 0},
        {twips(16), 15, 16, 1},
        {twips(40), 15, 16, 2},
        {twips(97), 15, 16, 6},        // uncounted columns of a 100-wide strip
        {1234.5f, 15, 16, 5},          // 1234 twips, column 82
        {7.4f, 15, 16, 0},
        {-7, 15, 16, 0},               // -7 \ 15 truncates to column 0
        {twips(-1), 15, 16, -1},
        {twips(-16), 15, 16, -1},
        {twips(-17), 15, 16, -2},
        {twips(16, 8), 7.5f, 16, 1},   // 7.5 twips per pixel divide by 8
        {twips(15, 8), 7.5f, 16, 0},
        {twips(32767 * 16, 1), 1, 16, 32767},
        {twips(-32768 * 16, 1), 1, 16, -32768},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hitTest(c.X, c.twipsPerPixel, c.tileWidth), c.p) << c.X << " at " << c.twipsPerPixel;
}

TEST(TileRulesHitTest, OneTileStripTakesEveryColumn)
{
    for (int32_t x = 0; x < 30; ++x)
        EXPECT_EQ(hitTest(twips(x), kTwipsPerPixel, 30), 0) << x;
}

TEST(TileRulesHitTest, PositionOutsideInt16OrZeroWidth)
{
    EXPECT_EQ(errorNumberOf([] { hitTest(twips(32768 * 16, 1), 1, 16); }), platform::Overflow);
    // The truncated quotient still fits; the floor below it does not.
    EXPECT_EQ(errorNumberOf([] { hitTest(twips(-32768 * 16 - 1, 1), 1, 16); }), platform::Overflow);
    EXPECT_EQ(errorNumberOf([] { hitTest(1e10f, 15, 16); }), platform::Overflow);
    EXPECT_EQ(errorNumberOf([] { hitTest(0, 15, 0); }), platform::DivisionByZero);
}

TEST(TileRulesIndexText, NumberOfCount)
{
    const struct {
        int16_t index;
        int16_t count;
        const char* text;
    } cases[] = {
        {3, 10, "Index: 3 из 10"},   {7, 6, "Index: 7 из 6"},  {1, 0, "Index: 1 из 0"},
        {0, 10, "Index: 0 из 10"},   {-1, 10, "Index: -1 из 10"}, {32767, 32767, "Index: 32767 из 32767"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(indexText(c.index, c.count), c.text);
}

// A click on a strip, through the rules in the order the pick applies them.
TEST(TileRulesPick, StripsFromEdgeCases)
{
    const float imageLeft = 120;
    const float imageTop = 600;
    const struct {
        int32_t width;
        int32_t height;
        int32_t x;
        const char* caption;
        int32_t firstColumn;
        int32_t columns;
    } cases[] = {
        {160, 16, 40, "Index: 3 из 10", 32, 16},
        {160, 15, 40, "Index: 3 из 10", 32, 16},
        {100, 16, 97, "Index: 7 из 6", 96, 16}, // reaches 12 columns past the edge
        {30, 16, 29, "Index: 1 из 1", 0, 30},
        {10, 20, 5, "Index: 1 из 1", 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const int32_t width = pixelsOf(twips(c.width), kTwipsPerPixel);
        const int32_t height = pixelsOf(twips(c.height), kTwipsPerPixel);
        const int32_t base = baseTileWidth(height);
        const int16_t count = tileCount(width, base);
        const int32_t tw = tileWidth(count, width, base);
        const int16_t p = hitTest(twips(c.x), kTwipsPerPixel, tw);
        EXPECT_EQ(indexText(p + 1, count), c.caption);

        const Rect outline = outlineRect(p, tw, imageLeft, imageTop, twips(c.height), kTwipsPerPixel);
        EXPECT_EQ(outline.Left, imageLeft + twips(c.firstColumn));
        EXPECT_EQ(outline.Top, imageTop);
        EXPECT_EQ(outline.Width, twips(c.columns));
        EXPECT_EQ(outline.Height, twips(c.height)); // a 15-high strip keeps 15 rows

        const CopyRects copy =
            copyRects(p, tw, height, outline.Width, outline.Height, kTwipsPerPixel, kTwipsPerPixel);
        EXPECT_EQ(copy.destination.Left, 0);
        EXPECT_EQ(copy.destination.Top, 0);
        EXPECT_EQ(copy.destination.Width, outline.Width);
        EXPECT_EQ(copy.destination.Height, outline.Height);
        EXPECT_EQ(copy.source.Left, twips(c.firstColumn));
        EXPECT_EQ(copy.source.Top, 0);
        EXPECT_EQ(copy.source.Width, outline.Width);
        EXPECT_EQ(copy.source.Height, outline.Height);
    }
}

TEST(TileRulesRects, EachAxisUsesItsOwnTwipsPerPixel)
{
    // 7.5 twips across, 15 down: widths and X scale by 7.5, the height by 15.
    const Rect outline = outlineRect(3, 16, 100.25f, 50, 240, 7.5f);
    EXPECT_EQ(outline.Left, 100.25f + 360);
    EXPECT_EQ(outline.Width, 120);
    EXPECT_EQ(outline.Height, 240);
    const CopyRects copy = copyRects(3, 16, 16, outline.Width, outline.Height, 7.5f, 15);
    EXPECT_EQ(copy.source.Left, 360);
    EXPECT_EQ(copy.source.Width, 120);
    EXPECT_EQ(copy.source.Height, 240);
}

TEST(TileRulesRects, ColumnProductOverflow)
{
    // Tile 32767 of 65540 columns starts beyond int32.
    EXPECT_EQ(errorNumberOf([] { outlineRect(32767, 65540, 0, 0, 240, 15); }), platform::Overflow);
    EXPECT_EQ(errorNumberOf([] { copyRects(32767, 65540, 16, 240, 240, 15, 15); }), platform::Overflow);
    EXPECT_EQ(errorNumberOf([] { pickX(32767, 65540, 15); }), platform::Overflow);
}

TEST(TileRulesPickX, FirstColumnInWholeTwips)
{
    const struct {
        int16_t i;
        int32_t base;
        float twipsPerPixel;
        float X;
    } cases[] = {
        {0, 16, 15, 0}, {3, 16, 15, 720}, {3, 16, 12, 576}, {3, 16, 10, 480}, {3, 16, 7.5f, 384},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pickX(c.i, c.base, c.twipsPerPixel), c.X) << c.i << " at " << c.twipsPerPixel;
}

// Save all picks every tile through pickX: each pass must select its own
// tile, and the tiles must cover the counted columns in order, none twice.
TEST(TileRulesPickX, EveryPassPicksItsOwnTile)
{
    const float twipsPerPixelCases[] = {15, 12, 10, 7.5f, 1};
    const struct {
        int32_t width;
        int32_t height;
    } strips[] = {{160, 16}, {160, 15}, {100, 16}, {30, 16}, {10, 20}, {48, 48}, {1000, 17}, {33, 16}, {4000, 1}};
    for (float tpp : twipsPerPixelCases) {
        for (const auto& s : strips) {
            SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " at " + std::to_string(tpp));
            const int32_t width = pixelsOf(twips(s.width, tpp), tpp);
            const int32_t height = pixelsOf(twips(s.height, tpp), tpp);
            const int32_t base = baseTileWidth(height);
            const int16_t count = tileCount(width, base);
            const int32_t tw = tileWidth(count, width, base);

            double nextColumn = 0;
            for (int16_t i = 0; i < count; ++i) {
                const int16_t p = hitTest(pickX(i, base, tpp), tpp, tw);
                ASSERT_EQ(p, i);
                const Rect source = copyRects(p, tw, height, 0, 0, tpp, tpp).source;
                EXPECT_EQ(source.Left / tpp, nextColumn) << "tile " << i;
                nextColumn = (double(source.Left) + source.Width) / tpp;
            }
            // Only the columns right of the last whole tile are left out.
            EXPECT_LE(nextColumn, width);
            EXPECT_GT(nextColumn, width - base);
            if (count == 1) {
                EXPECT_EQ(nextColumn, width);
            }
        }
    }
}
