// The benchmark's own measuring parts: a wrong number here would make every
// result wrong without anyone noticing.
#include "bench/files.h"
#include "bench/form_runs.h"
#include "bench/process.h"
#include "bench/stats.h"
#include "tiles/found_grid.h"
#include "tiles/islands.h"

#include <QImage>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace fs = std::filesystem;
using namespace bench;

namespace {

constexpr long kKiBPerMiB = 1024;
constexpr int kAllocateMiB = 64;
constexpr int kSmallProcessMiB = 16;
std::string gSelf;

// The test program is its own child: --allocate N touches N MiB and exits;
// --save-all and --load-pick are the benchmark's form runs.
int allocateAndExit(int mib)
{
    const size_t bytes = size_t(mib) * kKiBPerMiB * kKiBPerMiB;
    std::vector<char> block(bytes);
    std::memset(block.data(), 1, bytes);
    return block[bytes / 2] == 1 ? EXIT_SUCCESS : EXIT_FAILURE;
}

TEST(RunProcess, ReportsExitOutputAndErrors)
{
    struct Row {
        std::vector<std::string> argv;
        int exitCode;
        std::string out;
        std::string err;
    };
    const Row rows[] = {
        {{"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, 3, "out\n", "err\n"},
        {{"sh", "-c", "printf 'load_ms 1.5\\n'"}, 0, "load_ms 1.5\n", ""},
        {{"/bin/sh", "-c", "kill -KILL $$"}, 128 + SIGKILL, "", ""},
        {{"/no/such/program"}, kCannotStart, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.argv.back());
        const ProcessResult result = runProcess(row.argv);
        EXPECT_EQ(result.exitCode, row.exitCode);
        EXPECT_EQ(result.out, row.out);
        EXPECT_EQ(result.err, row.err);
        EXPECT_GT(result.wallMs, 0);
    }
}

TEST(RunProcess, ReadsBothPipesWithoutStalling)
{
    // More than a pipe holds on each stream: reading one to its end first would hang.
    const ProcessResult result =
        runProcess({"/bin/sh", "-c", "head -c 1000000 /dev/zero >&2; head -c 900000 /dev/zero; echo >&2"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err.size(), 1000001u);
    EXPECT_EQ(result.out.size(), 900000u);
}

TEST(RunProcess, PeakSizeIsEachChildsOwn)
{
    const ProcessResult big = runProcess({gSelf, "--allocate", std::to_string(kAllocateMiB)});
    const ProcessResult small = runProcess({"/bin/true"});
    ASSERT_EQ(big.exitCode, 0);
    ASSERT_EQ(small.exitCode, 0);
    EXPECT_GE(big.peakRssKiB, kAllocateMiB * kKiBPerMiB);
    EXPECT_LT(small.peakRssKiB, kSmallProcessMiB * kKiBPerMiB);
}

TEST(ParseTimings, KeepsNameValueLinesOnly)
{
    const Timings timings =
        parseTimings("load_ms 3.25\nQStandardPaths: XDG_RUNTIME_DIR not set\n\nsave_all_ms 812\npicks 62\n");
    const Timings expected{{"load_ms", 3.25}, {"save_all_ms", 812}, {"picks", 62}};
    EXPECT_EQ(timings, expected);
}

TEST(Stats, MedianAndPairedRatio)
{
    struct Row {
        const char* what;
        std::vector<double> numerators;
        std::vector<double> denominators;
        double median;
        double pairedRatio;
    };
    const Row rows[] = {
        {"none", {}, {}, 0, 0},
        {"odd count, unsorted", {30, 10, 20}, {10, 10, 10}, 20, 2},
        {"even count takes the middle two", {40, 10, 30, 20}, {10, 10, 10, 10}, 25, 2.5},
        // Only the tool met a busy moment, in the third round: a ratio of the two
        // medians (120 / 1000) would call the first eight times faster.
        {"rounds stay paired", {110, 1100, 120}, {100, 1000, 1000}, 120, 1.1},
        {"a series that stopped early", {5, 50, 500}, {5}, 50, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_DOUBLE_EQ(median(row.numerators), row.median);
        EXPECT_DOUBLE_EQ(pairedRatio(row.numerators, row.denominators), row.pairedRatio);
    }
}

class InFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("quorvel-bench-test-" + std::to_string(getpid()));
        makeEmptyFolder(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    void write(const std::string& name, size_t bytes) { std::ofstream(folder / name) << std::string(bytes, 'x'); }
    fs::path folder;
};

TEST_F(InFolder, PlainFilesAreNewFilesOfTheGivenSize)
{
    constexpr int kCount = 5;
    constexpr size_t kSize = 1234;
    EXPECT_GE(writePlainFiles(folder, kCount, kSize), 0);
    EXPECT_EQ(checkTiles(folder, "plain", kCount, kSize), "");
    // Writing over files that are there already would cost less than creating them.
    EXPECT_LT(writePlainFiles(folder, kCount, kSize), 0);
}

TEST_F(InFolder, CheckTilesAcceptsExactlyTheNumberedFiles)
{
    constexpr size_t kSize = 822;
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, size_t>> files;
        int count;
        bool accepted;
    };
    const Row rows[] = {
        {"all three", {{"t1.bmp", kSize}, {"t2.bmp", kSize}, {"t3.bmp", kSize}}, 3, true},
        {"none asked, none there", {}, 0, true},
        {"one missing", {{"t1.bmp", kSize}, {"t3.bmp", kSize}}, 3, false},
        {"one short", {{"t1.bmp", kSize}, {"t2.bmp", kSize - 1}}, 2, false},
        {"an extra file", {{"t1.bmp", kSize}, {"t2.bmp", kSize}, {"t3.bmp", kSize}}, 2, false},
        {"leading zeros", {{"t01.bmp", kSize}}, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        makeEmptyFolder(folder);
        for (const auto& [name, bytes] : row.files)
            write(name, bytes);
        EXPECT_EQ(checkTiles(folder, "t", row.count, kSize).empty(), row.accepted);
    }
}

TEST_F(InFolder, CheckSheetTilesAcceptsOnlyEachCellsPixels)
{
    constexpr int kCell = 16;
    const fs::path sheet = folder / "sheet.png";
    const fs::path out = folder / "out";
    // Four cells across, two down.
    writeSpriteSheet(sheet, 4 * kCell, 2 * kCell, kCell);
    const QImage pixels(QString::fromStdString(sheet.string()));
    ASSERT_EQ(pixels.size(), QSize(4 * kCell, 2 * kCell));
    ASSERT_TRUE(pixels.hasAlphaChannel());
    const auto cellOf = [&](int number) {
        return pixels.copy(((number - 1) % 4) * kCell, ((number - 1) / 4) * kCell, kCell, kCell);
    };
    ASSERT_NE(cellOf(6), cellOf(7));
    struct Row {
        const char* what;
        int altered;    // the tile written with another cell's pixels, 0 for none
        int missing;    // the tile not written, 0 for none
        bool extra;     // one more file beside the tiles
        bool accepted;  // when pixels are checked
        bool namesOnly; // when only names are checked
    };
    const Row rows[] = {
        {"all eight", 0, 0, false, true, true},
        {"tile 6 holds tile 7's pixels", 6, 0, false, false, true},
        {"tile 3 missing", 0, 3, false, false, false},
        {"an extra file", 0, 0, true, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        makeEmptyFolder(out);
        for (int number = 1; number <= 8; ++number) {
            if (number != row.missing) {
                const QImage tile = cellOf(number == row.altered ? number + 1 : number);
                tile.save(QString::fromStdString((out / ("t" + std::to_string(number) + ".png")).string()), "PNG");
            }
        }
        if (row.extra) {
            fs::create_directories(out / "more");
            std::ofstream(out / "more" / "t9.png") << "x";
        }
        EXPECT_EQ(checkSheetTiles(out, "t", sheet, kCell, true).empty(), row.accepted);
        EXPECT_EQ(checkSheetTiles(out, "t", sheet, kCell, false).empty(), row.namesOnly);
    }
}

QImage loadArgb(const fs::path& file)
{
    return QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_ARGB32);
}

tiles::SheetPixels pixelsOf(const QImage& image)
{
    return {reinterpret_cast<const uint32_t*>(image.constBits()), image.width(), image.height(),
            image.bytesPerLine() / 4};
}

// The finding cases count on the sheet holding exactly the planted islands:
// a sprite in two pieces, or two touching, would time another answer.
TEST_F(InFolder, IslandSheetHoldsOneIslandPerSprite)
{
    constexpr int kSide = 256;
    struct Row {
        const char* what;
        int count;
        int minSize;
        int maxSize;
        bool fits;
    };
    const Row rows[] = {
        {"the smallest sprites", 100, 6, 6, true},
        {"varied sizes", 40, 6, 40, true},
        {"the sheet full before the count", 1000, 40, 40, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path sheet = folder / "islands.png";
        const int planted = writeIslandSheet(sheet, kSide, kSide, row.count, row.minSize, row.maxSize);
        ASSERT_GT(planted, 0);
        EXPECT_EQ(planted == row.count, row.fits);
        const QImage image = loadArgb(sheet);
        const tiles::Islands islands = tiles::findIslands(pixelsOf(image), {});
        EXPECT_EQ(islands.pictures.size(), size_t(planted));
        for (const tiles::Island& island : islands.pictures) {
            EXPECT_FALSE(island.speck);
            EXPECT_LE(island.box.width, row.maxSize);
            EXPECT_LE(island.box.height, row.maxSize);
        }
    }
}

TEST_F(InFolder, GutterSheetsGridIsFound)
{
    const fs::path sheet = folder / "gutters.png";
    ASSERT_TRUE(writeGutterSheet(sheet, 256, 256, 31));
    const QImage image = loadArgb(sheet);
    const auto found = tiles::findGrid(pixelsOf(image), tiles::kDefaultTolerance);
    ASSERT_TRUE(std::holds_alternative<tiles::GridOptions>(found)) << std::get<std::string>(found);
    const auto& grid = std::get<tiles::GridOptions>(found);
    EXPECT_EQ(std::vector<int>({grid.tileWidth, grid.tileHeight, grid.marginX, grid.marginY, grid.spacingX,
                                grid.spacingY}),
              std::vector<int>({31, 31, 0, 0, 1, 1}));
}

// The child runs drive the real form: a strip 100 pixels wide and 16 high has
// six whole tiles and four columns left over.
TEST_F(InFolder, FormRunsLoadPickAndSaveTheStrip)
{
    constexpr int kWidth = 100;
    constexpr int kHeight = 16;
    constexpr int kTiles = 6;
    const fs::path strips = folder / "strips";
    const fs::path out = folder / "out";
    fs::create_directories(strips);
    fs::create_directories(out);
    const fs::path strip = strips / "strip.bmp";
    writeStrip(strip, kWidth, kHeight);

    const ProcessResult saved = runProcess({gSelf, "--save-all", "offscreen", strip.string(), out.string(), "icon"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const Timings saveTimings = parseTimings(saved.out);
    EXPECT_EQ(saveTimings.count("load_ms"), 1u);
    EXPECT_EQ(saveTimings.count("save_all_ms"), 1u);
    EXPECT_EQ(checkTiles(out, "icon", kTiles, tileFileSize(folder, kHeight, kHeight)), "");

    const ProcessResult picked = runProcess({gSelf, "--load-pick", "offscreen", strip.string()});
    ASSERT_EQ(picked.exitCode, 0) << picked.err;
    EXPECT_EQ(parseTimings(picked.out).at("picks"), kTiles);

    const ProcessResult missing = runProcess({gSelf, "--load-pick", "offscreen", (strips / "none.bmp").string()});
    EXPECT_NE(missing.exitCode, 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--allocate") == 0)
        return allocateAndExit(std::atoi(argv[2]));
    if (argc == 6 && std::strcmp(argv[1], "--save-all") == 0)
        return runSaveAll(argc, argv, argv[2], argv[3], argv[4], argv[5]);
    if (argc == 4 && std::strcmp(argv[1], "--load-pick") == 0)
        return runLoadPick(argc, argv, argv[2], argv[3]);
    gSelf = fs::read_symlink("/proc/self/exe").string();
    // The form runs keep their settings here, never in the user's.
    const fs::path configHome = fs::temp_directory_path() / ("quorvel-bench-config-" + std::to_string(getpid()));
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    fs::remove_all(configHome);
    return result;
}
