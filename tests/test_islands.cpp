// The separate pictures of a sheet: small drawn sheets for joining, merging,
// specks, reading order and the background, and a seeded sweep of planted
// sprites whose boxes and pixels must come back exactly, the same every run.
#include "support/pixel_sheets.h"
#include "tiles/islands.h"

#include <gtest/gtest.h>

#include <random>

using tiles::BackgroundKind;
using tiles::findIslands;
using tiles::Island;
using tiles::IslandOptions;
using tiles::Islands;
using tiles::PixelRect;

namespace {

const std::map<char, uint32_t> kPalette = {
    {'#', 0xFF202020}, {'o', 0xFF40A040}, {'m', 0xFFFF00FF}, {'n', 0xFFF905FC}, // n: magenta, 6 off
};

struct Expected {
    PixelRect box;
    int64_t area;
    bool speck;
};

std::string text(const PixelRect& r)
{
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
           std::to_string(r.height);
}

std::string text(const Island& i)
{
    return text(i.box) + " area " + std::to_string(i.area) + (i.speck ? " speck" : "");
}

std::string text(const Expected& e) { return text(Island{e.box, e.area, e.speck, 0}); }

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
    const std::vector<std::string> dottedI = {".#.", "...", ".#.", ".#.", ".#.", ".#.", ".#."};
    const std::vector<std::string> corner = {"##..", "##..", "..##", "..##"};
    const std::vector<std::string> oneApart = {"##.##", "##.##"};
    const std::vector<std::string> twoApart = {"##..##", "##..##"};
    const std::vector<std::string> specks = {"#.......", "...####.", "...####.", "........", ".#....##"};
    const std::vector<std::string> ragged = {
        "......##", //
        "##....##", //
        "##.##.##", //
        "...##...", //
        "...##...", //
        "........", //
        "#####...", //
    };
    const std::vector<std::string> reachingIn = {"#####", "#....", "#.oo.", "#.oo.", "#....", "#####"};
    const std::vector<std::string> onMagenta = {"mmmmmmm", "m##mmmm", "m##mnom", "mnmmmmm", "mmmm#mm"};
    const struct Case {
        const char* what;
        const std::vector<std::string>& art;
        IslandOptions options;
        std::vector<Expected> pictures; // in order, with their labels 1, 2, ...
    } cases[] = {
        {"dotted i, by default: the dot a speck", dottedI, {}, {{{1, 2, 1, 5}, 5, false}, {{1, 0, 1, 1}, 1, true}}},
        {"dotted i, merge 1", dottedI, with(1), {{{1, 0, 1, 7}, 6, false}}},
        {"corner, connect 8", corner, with(0, 8), {{{0, 0, 4, 4}, 8, false}}},
        {"corner, connect 4", corner, with(0, 4), {{{0, 0, 2, 2}, 4, false}, {{2, 2, 2, 2}, 4, false}}},
        {"1 apart, merge 0", oneApart, with(0), {{{0, 0, 2, 2}, 4, false}, {{3, 0, 2, 2}, 4, false}}},
        {"1 apart, merge 1", oneApart, with(1), {{{0, 0, 5, 2}, 8, false}}},
        {"packed 2 apart, merge 1", twoApart, with(1), {{{0, 0, 2, 2}, 4, false}, {{4, 0, 2, 2}, 4, false}}},
        {"packed 2 apart, merge 2", twoApart, with(2), {{{0, 0, 6, 2}, 8, false}}},
        {"specks after the pictures, in reading order",
         specks,
         {},
         {{{3, 1, 4, 2}, 8, false}, {{0, 0, 1, 1}, 1, true}, {{1, 4, 1, 1}, 1, true}, {{6, 4, 2, 1}, 2, true}}},
        {"merge 1: the specks join, the far one once the box has grown", specks, with(1),
         {{{0, 0, 8, 5}, 12, false}}},
        {"ragged row, then the next",
         ragged,
         with(0, 8, 1),
         {{{0, 1, 2, 2}, 4, false}, {{3, 2, 2, 3}, 6, false}, {{6, 0, 2, 3}, 6, false}, {{0, 6, 5, 1}, 5, false}}},
        {"a neighbour inside the box", reachingIn, {}, {{{0, 0, 5, 6}, 14, false}, {{2, 2, 2, 2}, 4, false}}},
        {"opaque border: its colour, noise within tolerance",
         onMagenta,
         with(0, 8, 1),
         {{{1, 1, 2, 2}, 4, false}, {{5, 2, 1, 1}, 1, false}, {{4, 4, 1, 1}, 1, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PixelSheet sheet = drawnSheet(c.art, kPalette);
        const Islands found = findIslands(sheet.view(), c.options);
        ASSERT_EQ(found.pictures.size(), c.pictures.size());
        std::vector<int64_t> owned(c.pictures.size() + 1, 0);
        for (int32_t owner : found.owners)
            ++owned[size_t(owner)];
        for (size_t i = 0; i < c.pictures.size(); ++i) {
            EXPECT_EQ(text(found.pictures[i]), text(c.pictures[i]));
            EXPECT_EQ(found.pictures[i].label, int32_t(i + 1));
            EXPECT_EQ(owned[i + 1], c.pictures[i].area);
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
    // Owners tell the ring from what lies inside its box; the border's colour is the background.
    const Islands ring = findIslands(drawnSheet(reachingIn, kPalette).view(), {});
    EXPECT_EQ(ring.owners[2 * 5 + 2], 2);
    EXPECT_EQ(ring.owners[1 * 5 + 1], 0);
    EXPECT_EQ(ring.owners[0], 1);
    EXPECT_TRUE(ring.transparentBackground);
    const Islands magenta = findIslands(drawnSheet(onMagenta, kPalette).view(), {});
    EXPECT_FALSE(magenta.transparentBackground);
    EXPECT_EQ(magenta.background, 0xFFFF00FFu);
}

TEST(Islands, BackgroundChosen)
{
    // Mostly magenta, with a transparent corner and a picture on the border.
    const std::vector<std::string> art = {".mmmm", "m##mm", "mmmm#"};
    const struct Case {
        const char* what;
        IslandOptions options;
        bool transparent;
        uint32_t background;
        size_t pictures;
    } cases[] = {
        {"auto: a transparent border pixel wins", {}, true, 0, 1},
        {"given: a colour, the transparent corner a picture", {BackgroundKind::Colour, 0xFF00FF}, false, 0xFFFF00FF,
         2},
        {"given: black, everything else a picture", {BackgroundKind::Colour, 0x000000}, false, 0xFF000000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IslandOptions o = c.options;
        o.minArea = 1;
        const Islands found = findIslands(drawnSheet(art, kPalette).view(), o);
        EXPECT_EQ(found.transparentBackground, c.transparent);
        EXPECT_EQ(found.background, c.background);
        EXPECT_EQ(found.pictures.size(), c.pictures);
    }
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
        const bool opaque = round % 2 == 1;
        const uint32_t background = opaque ? 0xFF3A5F7D : 0;
        PixelSheet sheet(pick(40, 240), pick(40, 160), background);
        std::vector<PixelRect> planted;
        for (int tries = 0; tries < 400; ++tries) {
            const bool speck = pick(0, 5) == 0;
            const PixelRect r{pick(0, sheet.width - 1), pick(0, sheet.height - 1), speck ? 1 : pick(2, 24),
                              speck ? 1 : pick(2, 24)};
            const bool fits = r.x + r.width <= sheet.width && r.y + r.height <= sheet.height &&
                              std::none_of(planted.begin(), planted.end(), [&](const PixelRect& p) {
                                  return r.x <= p.x + p.width && p.x <= r.x + r.width && r.y <= p.y + p.height &&
                                         p.y <= r.y + r.height;
                              });
            if (!fits)
                continue;
            planted.push_back(r);
            // A solid frame and, inside, holes only where x + y is even, so
            // every pixel touches the frame through its corners.
            const uint32_t colour = 0xFF000000u | (rng() & 0xFFFFFFu) | 0x800000u;
            for (int32_t y = r.y; y < r.y + r.height; ++y)
                for (int32_t x = r.x; x < r.x + r.width; ++x) {
                    const bool frame = x == r.x || y == r.y || x == r.x + r.width - 1 || y == r.y + r.height - 1;
                    if (frame || (x + y) % 2 == 1 || pick(0, 1) == 0)
                        sheet.at(x, y) = colour;
                }
        }
        std::vector<bool> drawn(sheet.argb.size());
        for (size_t i = 0; i < drawn.size(); ++i) {
            drawn[i] = sheet.argb[i] != background;
            if (opaque && !drawn[i] && pick(0, 3) == 0)
                sheet.argb[i] = background ^ 0x030503u; // noise within the tolerance
        }

        IslandOptions options;
        options.minArea = 2;
        const Islands found = findIslands(sheet.view(), options);
        ASSERT_EQ(found.pictures.size(), planted.size());
        std::map<std::string, int> boxes;
        for (const PixelRect& r : planted)
            ++boxes[text(r)];
        bool specksBegun = false;
        for (const Island& island : found.pictures) {
            EXPECT_EQ(--boxes[text(island.box)], 0) << text(island);
            EXPECT_EQ(island.speck, island.box.width == 1) << text(island);
            EXPECT_FALSE(specksBegun && !island.speck) << "a picture after the specks";
            specksBegun = specksBegun || island.speck;
        }
        std::vector<int64_t> owned(found.pictures.size() + 1, 0);
        for (int32_t y = 0; y < sheet.height; ++y)
            for (int32_t x = 0; x < sheet.width; ++x) {
                const int32_t owner = found.owners[size_t(y) * size_t(sheet.width) + size_t(x)];
                ASSERT_EQ(owner != 0, drawn[size_t(y) * size_t(sheet.width) + size_t(x)]) << x << "," << y;
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
