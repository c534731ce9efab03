// The overlay: how much a sheet is enlarged, where outlines and numbers land,
// which colours it takes, and that it draws with Qt's core alone.
#include "platform/overlay.h"

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

using platform::OverlayTile;

namespace {

// A hang guard for the run with Qt's core alone, not a speed test.
constexpr int kRunDeadlineMs = 120000;

// Grey-blue, each pixel its own: never a candidate colour, never the numbers' black halo.
QImage opaqueSheet(int width, int height)
{
    QImage sheet(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            sheet.setPixel(x, y, qRgb(64 + x % 128, 64 + y % 128, 160));
    return sheet;
}

bool isLightGrey(QRgb p) { return qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qRed(p) >= 0xC0; }

} // namespace

TEST(Overlay, FactorMakesTheSmallestTileLargeEnoughWithinTheLimit)
{
    const struct {
        const char* what;
        int32_t width, height;
        std::vector<OverlayTile> tiles;
        int factor;
    } cases[] = {
        {"16x16 tiles", 160, 16, {{0, 0, 16, 16, 1, false}}, 2},
        {"24 on the shorter side already", 96, 96, {{0, 0, 24, 40, 1, false}}, 1},
        {"23 on the shorter side", 92, 100, {{0, 0, 100, 23, 1, true}}, 2},
        {"the smallest tile decides", 64, 64, {{0, 0, 32, 32, 1, false}, {32, 0, 8, 8, 2, false}}, 3},
        {"a tile of one pixel", 10, 10, {{0, 0, 1, 1, 1, false}}, 24},
        {"no tile", 10, 10, {}, 1},
        {"a 4096 sheet of 16x16 tiles, to 8192", 4096, 4096, {{0, 0, 16, 16, 1, false}}, 2},
        {"lowered to the limit", 3000, 100, {{0, 0, 4, 4, 1, false}}, 2},
        {"lowered to 1", 4097, 100, {{0, 0, 16, 16, 1, false}}, 1},
        {"a sheet past the limit", 10000, 10, {{0, 0, 10, 10, 1, false}}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::OverlayFactor(c.width, c.height, c.tiles), c.factor) << c.what;
}

TEST(Overlay, OutlinesNumbersAndPixelsLandOnTheTiles)
{
    // Columns 40 to 47 transparent: the checkerboard shows there.
    QImage clear = opaqueSheet(96, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 40; x < 48; ++x)
            clear.setPixel(x, y, 0);
    const struct {
        const char* what;
        QImage sheet;
        int factor;
        std::vector<std::pair<OverlayTile, bool>> tiles; // and whether it is numbered
    } cases[] = {
        {"enlarged twice", clear, 2,
         {{{0, 0, 48, 48, 1, false}, true}, {{48, 0, 16, 16, 2, false}, true}, {{64, 0, 16, 16, 3, true}, true},
          {{80, 0, 16, 16, 12345678, false}, false}, {{48, 16, 32, 32, 5, true}, true},
          {{80, 32, 24, 24, 6, false}, true}}}, // past the sheet's edge, outlined where it is cut
        {"past the limit, as it is", opaqueSheet(8200, 16), 1,
         {{{0, 0, 8, 8, 1, false}, false}, {{8, 0, 16, 16, 2, false}, true}, {{24, 0, 16, 16, 3, true}, true}}},
    };
    for (const auto& c : cases) {
        std::vector<OverlayTile> tiles;
        for (const auto& t : c.tiles)
            tiles.push_back(t.first);
        const platform::OverlayColours colours = platform::OverlayColoursFor(platform::Picture(c.sheet));
        const QImage overlay = platform::CutOverlay(platform::Picture(c.sheet), tiles).image();
        ASSERT_EQ(overlay.size(), c.sheet.size() * c.factor) << c.what;
        const int n = c.factor;
        for (const auto& [tile, numbered] : c.tiles) {
            const std::string what = std::string(c.what) + ", tile " + std::to_string(tile.number);
            const QRect rect = QRect(tile.x * n, tile.y * n, tile.width * n, tile.height * n) & overlay.rect();
            const QRgb colour = tile.leftOut ? colours.leftOut : colours.outline;
            // Round the tile: its colour all along, or dashed with the sheet between.
            // Inside it, the number: digits of its colour in a black halo.
            int marked = 0, between = 0, other = 0, digits = 0, halo = 0;
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    const QRgb pixel = overlay.pixel(x, y);
                    const QRgb below = c.sheet.pixel(x / n, y / n);
                    if (x != rect.left() && x != rect.right() && y != rect.top() && y != rect.bottom()) {
                        digits += pixel == colour;
                        halo += pixel == qRgb(0, 0, 0);
                        continue;
                    }
                    marked += pixel == colour;
                    between += pixel == below || (qAlpha(below) == 0 && isLightGrey(pixel));
                    other += pixel != colour && pixel != below && !isLightGrey(pixel);
                }
            }
            EXPECT_GT(marked, 0) << what;
            EXPECT_EQ(between > 0, tile.leftOut) << what;
            EXPECT_EQ(other, 0) << what;
            EXPECT_EQ(digits > 0, numbered) << what;
            EXPECT_EQ(halo > 0, numbered) << what;
            // The sheet's pixel at the tile's middle, as a whole square.
            const int mx = tile.x + tile.width / 2;
            const int my = std::min(tile.y + tile.height / 2, c.sheet.height() - 1);
            for (int k = 0; k < n * n; ++k)
                EXPECT_EQ(overlay.pixel(mx * n + k % n, my * n + k / n), c.sheet.pixel(mx, my)) << what;
        }
        EXPECT_NE(colours.outline, colours.leftOut) << c.what;
    }
    // Transparent pixels: whole squares of a checkerboard of two light greys.
    const QImage overlay = platform::CutOverlay(platform::Picture(clear), {{0, 0, 16, 16, 1, false}}).image();
    QSet<QRgb> greys;
    for (int x = 40; x < 48; ++x) {
        const QRgb square = overlay.pixel(x * 2, 60);
        EXPECT_TRUE(isLightGrey(square) && overlay.pixel(x * 2 + 1, 61) == square) << x;
        greys.insert(square);
    }
    EXPECT_EQ(greys.size(), 2);
}

TEST(Overlay, ColoursStandOutFromTheSheet)
{
    // A sheet of one colour, and the candidate that would fade into it (yellow on
    // the light checkerboard behind transparent pixels).
    const std::pair<QRgb, QRgb> cases[] = {{qRgb(0xF0, 0x10, 0x10), qRgb(0xFF, 0, 0)},
                                           {qRgb(0x10, 0xF0, 0xF0), qRgb(0, 0xFF, 0xFF)},
                                           {qRgb(0xF0, 0xF0, 0x10), qRgb(0xFF, 0xFF, 0)},
                                           {qRgba(0, 0, 0, 0), qRgb(0xFF, 0xFF, 0)}};
    for (const auto& [colour, nearest] : cases) {
        QImage sheet(32, 32, QImage::Format_ARGB32);
        sheet.fill(colour);
        const platform::OverlayColours colours = platform::OverlayColoursFor(platform::Picture(sheet));
        EXPECT_TRUE(colours.outline != nearest && colours.leftOut != nearest) << std::hex << colour;
    }
}

TEST(Overlay, DrawsWithQtCoreAlone)
{
    if (qEnvironmentVariableIsSet("QUORVEL_TESTS_CORE_ONLY"))
        GTEST_SKIP() << "this is the run with Qt's core alone";
    // Text or fonts there would abort the run: Qt has them only with a GUI application.
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QUORVEL_TESTS_CORE_ONLY", "1");
    run.setProcessEnvironment(environment);
    // Kept, not forwarded: ctest would read the run's own skip as this test's.
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=Overlay.*"});
    ASSERT_TRUE(run.waitForFinished(kRunDeadlineMs));
    EXPECT_TRUE(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0) << run.readAll().toStdString();
}
