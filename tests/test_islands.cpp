// The separate pictures of a sheet: small drawn sheets for joining, merging,
// specks, reading order and the background, and a seeded sweep of planted
// sprites whose boxes and pixels must come back exactly, the same every run.
#include "support/pixel_sheets.h"
#include "tiles/islands.h"

#include <gtest/gtest.h>

#include <random>

using tiles::findIslands;
using tiles::Island;
using tiles::IslandOptions;
using tiles::Islands;
using tiles::PixelRect;

namespace {

// n: magenta 6 off, within the default tolerance.
const std::map<char, uint32_t> kPalette = {{'#', 0xFF202020}, {'o', 0xFF40A040}, {'m', 0xFFFF00FF}, {'n', 0xFFF905FC}};

std::string text(const PixelRect& r)
{
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
           std::to_string(r.height);
}

std::string text(const Island& i)
{
    return text(i.box) + " area " + std::to_string(i.area) + (i.speck ? " speck" : "");
}

IslandOptions with(int32_t merge, int32_t connect = 8, int32_t minArea = tiles::kDefaultMinArea)
{
    IslandOptions o;
    o.merge = merge;
    o.connect = connect;
    o.minArea = minArea;
    return o;
}

} // namespace

TEST(Islands, DrawnSheets)
{
    using Art = std::vector<std::string>;
    const Art dottedI = {".#.", "...", ".#.", ".#.", ".#.", ".#.", ".#."};
    const Art corner = {"##..", "##..", "..##", "..##"};
    const Art oneApart = {"##.##", "##.##"};
    const Art twoApart = {"##..##", "##..##"};
    const Art specks = {"#.......", "...####.", "...####.", "........", ".#....##"};
    const Art ragged = {"......##", "##....##", "##.##.##", "...##...", "...##...", "........", "#####..."};
    const Art ring = {"#####", "#....", "#.oo.", "#.oo.", "#....", "#####"};
    const Art onMagenta = {"mmmmmmm", "m##mmmm", "m##mnom", "mnmmmmm", "mmmm#mm"};
    IslandOptions givenMagenta = with(0, 8, 1);
    givenMagenta.background = tiles::BackgroundKind::Colour;
    givenMagenta.colour = 0xFF00FF;
    const struct Case {
        const char* what;
        const Art& art;
        IslandOptions options;
        std::vector<std::string> pictures; // in order: labels 1, 2, ...
    } cases[] = {
        {"dotted i, by default: the dot a speck", dottedI, {}, {"1,2 1x5 area 5", "1,0 1x1 area 1 speck"}},
        {"dotted i, merge 1", dottedI, with(1), {"1,0 1x7 area 6"}},
        {"corner, connect 8", corner, with(0, 8), {"0,0 4x4 area 8"}},
        {"corner, connect 4", corner, with(0, 4), {"0,0 2x2 area 4", "2,2 2x2 area 4"}},
        {"1 apart, merge 0", oneApart, with(0), {"0,0 2x2 area 4", "3,0 2x2 area 4"}},
        {"1 apart, merge 1", oneApart, with(1), {"0,0 5x2 area 8"}},
        {"packed 2 apart, merge 1", twoApart, with(1), {"0,0 2x2 area 4", "4,0 2x2 area 4"}},
        {"packed 2 apart, merge 2", twoApart, with(2), {"0,0 6x2 area 8"}},
        {"specks after the pictures, in reading order",
         specks,
         {},
         {"3,1 4x2 area 8", "0,0 1x1 area 1 speck", "1,4 1x1 area 1 speck", "6,4 2x1 area 2 speck"}},
        {"merge 1: the specks join, the far one once the box has grown", specks, with(1), {"0,0 8x5 area 12"}},
        {"a ragged row, then the next",
         ragged,
         with(0, 8, 1),
         {"0,1 2x2 area 4", "3,2 2x3 area 6", "6,0 2x3 area 6", "0,6 5x1 area 5"}},
        {"a neighbour inside the box", ring, {}, {"0,0 5x6 area 14", "2,2 2x2 area 4"}},
        {"border colour, noise within tolerance",
         onMagenta,
         with(0, 8, 1),
         {"1,1 2x2 area 4", "5,2 1x1 area 1", "4,4 1x1 area 1"}},
        {"given colour: transparent pixels are pictures", corner, givenMagenta, {"0,0 4x4 area 16"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Islands found = findIslands(drawnSheet(c.art, kPalette).view(), c.options);
        ASSERT_EQ(found.pictures.size(), c.pictures.size());
        std::vector<int64_t> owned(c.pictures.size() + 1, 0);
        for (int32_t owner : found.owners)
            ++owned[size_t(owner)];
        for (size_t i = 0; i < c.pictures.size(); ++i) {
            EXPECT_EQ(text(found.pictures[i]), c.pictures[i]);
            EXPECT_EQ(found.pictures[i].label, int32_t(i + 1));
            EXPECT_EQ(owned[i + 1], found.pictures[i].area);
        }
    }
    // Rows in reading order, from 0; the specks' follow the pictures'.
    const auto rowsOf = [](const Islands& found) {
        std::vector<int32_t> rows;
        for (const auto& picture : found.pictures)
            rows.push_back(picture.row);
        return rows;
    };
    EXPECT_EQ(rowsOf(findIslands(drawnSheet(ragged, kPalette).view(), with(0, 8, 1))),
              (std::vector<int32_t>{0, 0, 0, 1}));
    EXPECT_EQ(rowsOf(findIslands(drawnSheet(specks, kPalette).view(), {})), (std::vector<int32_t>{0, 1, 2, 2}));
    // Owners tell the ring from what lies inside its box; an opaque border's colour is the background.
    const Islands inRing = findIslands(drawnSheet(ring, kPalette).view(), {});
    EXPECT_EQ(inRing.owners[2 * 5 + 2], 2);
    EXPECT_EQ(inRing.owners[1 * 5 + 1], 0);
    EXPECT_EQ(inRing.owners[0], 1);
    EXPECT_TRUE(inRing.transparentBackground);
    const Islands magenta = findIslands(drawnSheet(onMagenta, kPalette).view(), {});
    EXPECT_FALSE(magenta.transparentBackground);
    EXPECT_EQ(magenta.background, 0xFFFF00FFu);
}

// Sprites planted at random on a background, none touching another: every
// box comes back exactly once, every picture pixel is owned by the picture
// whose box holds it and nothing else is owned, and three runs agree.
TEST(Islands, SweepOfPlantedSprites)
{
    std::mt19937 rng(7031);
    const auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const uint32_t background = round % 2 ? 0xFF3A5F7D : 0;
        PixelSheet sheet(pick(40, 240), pick(40, 160), background);
        std::map<std::string, int> boxes;
        std::vector<PixelRect> planted;
        for (int tries = 0; tries < 400; ++tries) {
            const int32_t w = pick(0, 5) ? pick(2, 24) : 1; // 1: a speck
            const int32_t h = w == 1 ? 1 : pick(2, 24);
            const PixelRect r{pick(0, sheet.width - w), pick(0, sheet.height - h), w, h};
            if (std::any_of(planted.begin(), planted.end(), [&](const PixelRect& p) {
                    return r.x <= p.x + p.width && p.x <= r.x + w && r.y <= p.y + p.height && p.y <= r.y + h;
                }))
                continue; // it would touch
            planted.push_back(r);
            ++boxes[text(r)];
            // A solid frame, and inside holes only where x + y is even: every
            // pixel touches the frame through its corners.
            const uint32_t colour = 0xFF800000u | rng();
            for (int32_t y = r.y; y < r.y + h; ++y)
                for (int32_t x = r.x; x < r.x + w; ++x)
                    if (x == r.x || y == r.y || x == r.x + w - 1 || y == r.y + h - 1 || (x + y) % 2 || pick(0, 1))
                        sheet.at(x, y) = colour;
        }
        std::vector<bool> drawn(sheet.argb.size());
        for (size_t i = 0; i < drawn.size(); ++i) {
            drawn[i] = sheet.argb[i] != background;
            if (background && !drawn[i] && pick(0, 3) == 0)
                sheet.argb[i] = background ^ 0x030503u; // noise within the tolerance
        }

        IslandOptions options;
        options.minArea = 2;
        const Islands found = findIslands(sheet.view(), options);
        ASSERT_EQ(found.pictures.size(), planted.size());
        size_t firstSpeck = found.pictures.size();
        for (size_t i = 0; i < found.pictures.size(); ++i) {
            const Island& island = found.pictures[i];
            EXPECT_EQ(--boxes[text(island.box)], 0) << text(island);
            EXPECT_EQ(island.speck, island.box.width == 1) << text(island);
            EXPECT_TRUE(island.speck || i < firstSpeck) << "a picture after the specks";
            firstSpeck = island.speck ? std::min(firstSpeck, i) : firstSpeck;
        }
        std::vector<int64_t> owned(found.pictures.size() + 1, 0);
        for (int32_t y = 0; y < sheet.height; ++y)
            for (int32_t x = 0; x < sheet.width; ++x) {
                const size_t i = size_t(y) * size_t(sheet.width) + size_t(x);
                const int32_t owner = found.owners[i];
                ASSERT_EQ(owner != 0, drawn[i]) << x << "," << y;
                if (owner == 0)
                    continue;
                const PixelRect& b = found.pictures[size_t(owner - 1)].box;
                ASSERT_TRUE(x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) << x << "," << y;
                ++owned[size_t(owner)];
            }
        for (const Island& island : found.pictures)
            EXPECT_EQ(owned[size_t(island.label)], island.area) << text(island);
        for (int run = 0; run < 2; ++run) {
            const Islands again = findIslands(sheet.view(), options);
            ASSERT_EQ(again.owners, found.owners);
            ASSERT_EQ(again.pictures.size(), found.pictures.size());
            for (size_t i = 0; i < found.pictures.size(); ++i)
                EXPECT_EQ(text(again.pictures[i]), text(found.pictures[i]));
        }
    }
}
