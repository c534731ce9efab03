// What an engine loads beside the sheet: each atlas format against documents
// checked by hand, round trips from the sheet and the atlas back to every tile
// file, and tile files trimmed and enlarged.
#include "cli/atlas.h"
#include "cli/batch.h"
#include "cli/command_line.h"
#include "formats/png.h"
#include "support/atlases.h"
#include "support/files.h"
#include "support/png_files.h"
#include "support/sheet_reports.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sstream>

namespace {

using cli::AtlasFormat;
using cli::TileStatus;

QByteArray atlasOf(AtlasFormat format, const cli::SheetReport& report, const cli::Animations& animations)
{
    QByteArray data;
    cli::writeAtlas(format, report, animations, QDir::current().absoluteFilePath("sheet.data").toStdString(),
                    [&](std::string_view piece) { data.append(piece.data(), qsizetype(piece.size())); });
    return data;
}

// The meta of a 24x8 sheet, with more members for Aseprite.
QByteArray meta(const QByteArray& more = {})
{
    return R"("meta": {"app": "quorvel", "version": ")" QUORVEL_VERSION R"(", "image": "sheet.png",
               "format": "RGBA8888", "size": {"w": 24, "h": 8}, "scale": "1")" +
           more + "}";
}

QByteArray frameJson(const char* name, const char* frame, bool trimmed, const char* placed, int duration = 0)
{
    return QByteArray(name) + R"({"frame": )" + frame + R"(, "rotated": false, "trimmed": )" +
           (trimmed ? "true" : "false") + R"(, "spriteSourceSize": )" + placed +
           R"(, "sourceSize": {"w": 8, "h": 8})" +
           (duration ? R"(, "duration": )" + QByteArray::number(duration) : QByteArray()) + "}";
}

const char* const kGodotHead = "[gd_resource type=\"SpriteFrames\" load_steps=%1 format=3]\n\n"
                               "[ext_resource type=\"Texture2D\" path=\"sheet.png\" id=\"1_sheet\"]\n";
const char* const kLibgdxPage = "sheet.png\nsize: 24, 8\nformat: RGBA8888\nfilter: Nearest, Nearest\nrepeat: none\n";

QByteArray godotFrame(int id, const char* region, const char* margin = nullptr)
{
    return "\n[sub_resource type=\"AtlasTexture\" id=\"AtlasTexture_" + QByteArray::number(id) +
           "\"]\natlas = ExtResource(\"1_sheet\")\nregion = Rect2(" + region + ")\n" +
           (margin ? "margin = Rect2(" + QByteArray(margin) + ")\n" : QByteArray());
}

QByteArray godotAnimation(const char* name, std::initializer_list<int> frames, int fps)
{
    QByteArray text = "{\n\"frames\": [";
    for (const int frame : frames)
        text += (frame == *frames.begin() ? "" : ", ") + QByteArray("{\n\"duration\": 1.0,\n\"texture\": ") +
                "SubResource(\"AtlasTexture_" + QByteArray::number(frame) + "\")\n}";
    return text + "],\n\"loop\": true,\n\"name\": &\"" + name + "\",\n\"speed\": " + QByteArray::number(fps) +
           ".0\n}";
}

} // namespace

// Islands (rectangles of any size in any order, with no grid) join this table
// once that source is in; the trimmed cut below already has no grid.
TEST(Atlas, WritesEachFormatAsItsEngineReadsIt)
{
    tiles::GridOptions options;
    options.tileWidth = options.tileHeight = 8;
    // Three 8x8 tiles side by side in a sheet of 24x8.
    const cli::SheetReport grid = reportByHand(24, 8, options, 3, 1);
    // Tile 1 shows 4x5 pixels from (2, 1), tile 2 is left out as empty, tile 3
    // is trimmed by nothing; the walk tag keeps two frames, idle none.
    cli::SheetReport trimmed = grid;
    trimmed.grid = {};
    for (cli::TileReport& tile : trimmed.tiles) {
        tile.file = "walk_" + tile.file;
        tile.shown = tile.tile.rect;
    }
    trimmed.tiles[0].shown = tiles::PixelRect{2, 1, 4, 5};
    trimmed.tiles[1].status = TileStatus::Empty;
    trimmed.tiles[2].status = TileStatus::Existing;
    const cli::Animations tags{{{"walk", 1, 3}, {"idle", 2, 2}, {"end", 3, 3}}, 20};

    const QByteArray walk1 = frameJson("", R"({"x": 2, "y": 1, "w": 4, "h": 5})", true,
                                       R"({"x": 2, "y": 1, "w": 4, "h": 5})");
    const QByteArray walk3 = frameJson("", R"({"x": 16, "y": 0, "w": 8, "h": 8})", false,
                                       R"({"x": 0, "y": 0, "w": 8, "h": 8})");
    const struct {
        const char* what;
        const cli::SheetReport& report;
        cli::Animations animations;
        AtlasFormat format;
        QByteArray expected; // JSON compared as documents, the rest as text
    } cases[] = {
        {"grid", grid, {}, AtlasFormat::JsonHash,
         "{\"frames\": {" +
             frameJson(R"("1.png": )", R"({"x": 0, "y": 0, "w": 8, "h": 8})", false,
                       R"({"x": 0, "y": 0, "w": 8, "h": 8})") +
             "," +
             frameJson(R"("2.png": )", R"({"x": 8, "y": 0, "w": 8, "h": 8})", false,
                       R"({"x": 0, "y": 0, "w": 8, "h": 8})") +
             "," +
             frameJson(R"("3.png": )", R"({"x": 16, "y": 0, "w": 8, "h": 8})", false,
                       R"({"x": 0, "y": 0, "w": 8, "h": 8})") +
             "}, " + meta() + "}"},
        {"grid", grid, {}, AtlasFormat::Godot,
         QByteArray(kGodotHead).replace("%1", "5") + godotFrame(1, "0, 0, 8, 8") + godotFrame(2, "8, 0, 8, 8") +
             godotFrame(3, "16, 0, 8, 8") + "\n[resource]\nanimations = [" +
             godotAnimation("default", {1, 2, 3}, 10) + "]\n"},
        {"grid", grid, {}, AtlasFormat::Libgdx,
         QByteArray(kLibgdxPage) + "1\n  bounds: 0, 0, 8, 8\n2\n  bounds: 8, 0, 8, 8\n3\n  bounds: 16, 0, 8, 8\n"},
        {"trimmed, tagged", trimmed, tags, AtlasFormat::JsonHash,
         R"({"frames": {"walk_1.png": )" + walk1 + R"(, "walk_3.png": )" + walk3 +
             R"(}, "animations": {"walk": ["walk_1.png", "walk_3.png"], "end": ["walk_3.png"]}, )" + meta() + "}"},
        {"trimmed, tagged", trimmed, tags, AtlasFormat::JsonArray,
         R"({"frames": [)" + walk1.chopped(1) + R"(, "filename": "walk_1.png"}, )" + walk3.chopped(1) +
             R"(, "filename": "walk_3.png"}], )" + meta() + "}"},
        {"trimmed, tagged", trimmed, tags, AtlasFormat::Aseprite,
         "{\"frames\": {" +
             frameJson(R"("0": )", R"({"x": 2, "y": 1, "w": 4, "h": 5})", true, R"({"x": 2, "y": 1, "w": 4, "h": 5})",
                       50) +
             ", " +
             frameJson(R"("1": )", R"({"x": 16, "y": 0, "w": 8, "h": 8})", false,
                       R"({"x": 0, "y": 0, "w": 8, "h": 8})", 50) +
             "}, " +
             meta(R"(, "frameTags": [{"name": "walk", "from": 0, "to": 1, "direction": "forward"},
                                    {"name": "end", "from": 1, "to": 1, "direction": "forward"}])") +
             "}"},
        {"trimmed, tagged", trimmed, tags, AtlasFormat::Godot,
         QByteArray(kGodotHead).replace("%1", "4") + godotFrame(1, "2, 1, 4, 5", "2, 1, 4, 3") +
             godotFrame(2, "16, 0, 8, 8") + "\n[resource]\nanimations = [" + godotAnimation("walk", {1, 2}, 20) +
             ", " + godotAnimation("end", {2}, 20) + "]\n"},
        {"trimmed, tagged", trimmed, tags, AtlasFormat::Libgdx,
         QByteArray(kLibgdxPage) + "walk\n  bounds: 2, 1, 4, 5\n  offsets: 2, 2, 8, 8\n  index: 1\n" +
             "walk\n  bounds: 16, 0, 8, 8\n  index: 3\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " as " + cli::atlasFormatName(c.format));
        const QByteArray atlas = atlasOf(c.format, c.report, c.animations);
        if (c.format == AtlasFormat::Godot || c.format == AtlasFormat::Libgdx) {
            EXPECT_EQ(atlas.toStdString(), c.expected.toStdString());
            continue;
        }
        QJsonParseError error;
        const QJsonDocument written = QJsonDocument::fromJson(atlas, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n"
                                                         << atlas.toStdString();
        const QJsonDocument expected = QJsonDocument::fromJson(c.expected, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << "in the expected document: "
                                                         << error.errorString().toStdString();
        EXPECT_EQ(written, expected) << atlas.toStdString();
    }
    EXPECT_EQ(cli::tagsWithoutFrames(trimmed, tags.tags), std::vector<std::string>{"idle"});
}

namespace {

// A PNG sheet of 4x2 tiles of 10x10, row by row: a block inside a transparent
// border, nothing, an opaque tile, the block again, one translucent corner
// pixel, a tile with a hole but opaque corners, a left column, nothing.
QImage sheetToTrim()
{
    QImage sheet(40, 20, QImage::Format_ARGB32);
    sheet.fill(qRgba(0, 0, 0, 0));
    const auto tile = [&](int number, int x, int y) {
        return QPoint((number - 1) % 4 * 10 + x, (number - 1) / 4 * 10 + y);
    };
    const auto paint = [&](int number, int x, int y, QRgb colour) { sheet.setPixel(tile(number, x, y), colour); };
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            if (x >= 2 && x < 7 && y >= 3 && y < 9) {
                paint(1, x, y, qRgba(200, x * 20, y * 20, 255));
                paint(4, x, y, qRgba(200, x * 20, y * 20, 255));
            }
            paint(3, x, y, qRgba(x * 25, y * 25, 90, 255));
            if (x < 3 || x > 6 || y < 3 || y > 6)
                paint(6, x, y, qRgba(40, x * 25, y * 25, 128));
        }
    paint(5, 9, 9, qRgba(10, 20, 30, 1));
    for (int y = 2; y < 5; ++y)
        paint(7, 0, y, qRgba(0, 0, 250, 255));
    return sheet;
}

struct CutRun {
    int status;
    std::string out;
    std::string err;
};

CutRun saveAll(const std::vector<std::string>& options)
{
    std::vector<std::string> arguments{"quorvel", "--save-all"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const cli::Command command = cli::parse(arguments);
    if (command.action != cli::Action::SaveAll)
        return {-1, {}, command.problem};
    std::ostringstream out;
    std::ostringstream err;
    const int status = cli::saveAll(command, out, err, false);
    return {status, out.str(), err.str()};
}

const struct {
    AtlasFormat format;
    const char* file;
} kAtlasFiles[] = {
    {AtlasFormat::JsonHash, "hash.json"}, {AtlasFormat::JsonArray, "array.json"}, {AtlasFormat::Aseprite, "ase.json"},
    {AtlasFormat::Godot, "frames.tres"},  {AtlasFormat::Libgdx, "sheet.atlas"},
};

} // namespace

// Each atlas and the sheet alone rebuild every tile, trimmed or not, exactly
// as its file and the manifest's trim rebuild it.
TEST(Atlas, EveryFormatRebuildsEveryTileFromTheSheet)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("out") && root.mkpath("data") && root.mkpath("out2") && root.mkpath("data2"));
    const QImage sheet = sheetToTrim();
    writeFile(root.filePath("sheet.png"), formats::encodePng(sheet));
    const auto optionsInto = [&](const QString& out, const QString& data) {
        std::vector<std::string> options{root.filePath("sheet.png").toStdString(), "--output", out.toStdString(),
                                         "--tile", "10x10", "--format", "png", "--name", "f_{n:2}", "--trim",
                                         "--skip-empty", "--unique", "--tags", "go:1-5,rest:6-8,none:2-2",
                                         "--manifest", (data + "/m.json").toStdString()};
        for (const auto& atlas : kAtlasFiles)
            options.insert(options.end(), {"--atlas", cli::atlasFormatName(atlas.format) + std::string(":") +
                                                          (data + "/" + atlas.file).toStdString()});
        return options;
    };

    std::vector<std::string> dryRun = optionsInto(root.filePath("out"), root.filePath("data"));
    dryRun.push_back("--dry-run");
    EXPECT_EQ(saveAll(dryRun).status, cli::kExitSuccess);
    EXPECT_EQ(entriesOf(root.filePath("data")), QStringList());

    const CutRun run = saveAll(optionsInto(root.filePath("out"), root.filePath("data")));
    ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_NE(run.err.find("the tag 'none' is left out"), std::string::npos) << run.err;
    EXPECT_EQ(entriesOf(root.filePath("out")),
              QStringList({"f_01.png", "f_03.png", "f_05.png", "f_06.png", "f_07.png"}));
    const QJsonArray tiles =
        QJsonDocument::fromJson(contentOf(root.filePath("data/m.json"))).object()["tiles"].toArray();
    std::vector<QJsonObject> framed;
    for (const QJsonValue tile : tiles)
        if (tile["status"] != "empty")
            framed.push_back(tile.toObject());
    ASSERT_EQ(framed.size(), 6u);

    for (const auto& atlasFile : kAtlasFiles) {
        SCOPED_TRACE(cli::atlasFormatName(atlasFile.format));
        const ReadAtlas atlas = readAtlas(atlasFile.format, contentOf(root.filePath("data/") + atlasFile.file));
        ASSERT_EQ(atlas.problem, "");
        EXPECT_EQ(QFileInfo(QDir(root.filePath("data")).filePath(atlas.image)).canonicalFilePath(),
                  QFileInfo(root.filePath("sheet.png")).canonicalFilePath());
        ASSERT_EQ(atlas.frames.size(), framed.size());
        const bool byName = atlasFile.format == AtlasFormat::JsonHash || atlasFile.format == AtlasFormat::JsonArray;
        for (size_t i = 0; i < framed.size(); ++i) {
            const AtlasFrame& frame = atlas.frames[i];
            const auto named = std::find_if(framed.begin(), framed.end(), [&](const QJsonObject& tile) {
                return tile["file"].toString() == frame.name;
            });
            ASSERT_TRUE(!byName || named != framed.end()) << frame.name.toStdString();
            const QJsonObject& tile = byName ? *named : framed[i];
            SCOPED_TRACE(tile["file"].toString().toStdString());
            if (atlasFile.format == AtlasFormat::Libgdx)
                EXPECT_EQ(frame.name, "f#" + QString::number(tile["number"].toInt()));
            const QRect whole(tile["x"].toInt(), tile["y"].toInt(), tile["width"].toInt(), tile["height"].toInt());
            const QImage drawn = drawnFrame(sheet, frame);
            EXPECT_EQ(drawn, sheet.copy(whole));
            // A repeat's pixels are in the file of the tile it repeats.
            const int number = tile["status"] == "repeat" ? tile["repeatOf"].toInt() : tile["number"].toInt();
            const QImage file(root.filePath(QString("out/f_%1.png").arg(number, 2, 10, QChar('0'))));
            const QJsonObject trim = tile["trim"].toObject();
            EXPECT_EQ(file.size(), QSize(trim["width"].toInt(), trim["height"].toInt()));
            EXPECT_EQ(drawnFrame(file, {{}, file.rect(), {trim["x"].toInt(), trim["y"].toInt()}, whole.size()}), drawn);
        }
    }

    // Without tile files, the fates are decided alike and the atlases are the same.
    std::vector<std::string> noTiles = optionsInto(root.filePath("out2"), root.filePath("data2"));
    noTiles.push_back("--no-tiles");
    const CutRun again = saveAll(noTiles);
    EXPECT_EQ(again.status, cli::kExitSuccess) << again.err;
    EXPECT_EQ(again.out, "would save 5, skipped 0 existing, left out 2 empty and 1 repeated, in " +
                             root.filePath("out2").toStdString() + " (--no-tiles: no tile written)\n");
    EXPECT_EQ(entriesOf(root.filePath("out2")), QStringList());
    for (const auto& atlasFile : kAtlasFiles)
        EXPECT_EQ(contentOf(root.filePath("data2/") + atlasFile.file),
                  contentOf(root.filePath("data/") + atlasFile.file))
            << atlasFile.file;
    EXPECT_EQ(QJsonDocument::fromJson(contentOf(root.filePath("data2/m.json")))["tilesWritten"], QJsonValue(false));
}

TEST(Atlas, ScaleMakesEachPixelABlockInTheSheetsOwnKindOfPixels)
{
    const struct {
        const char* what;
        PngPattern pattern;
    } cases[] = {
        {"palette with translucent entries", {kPngPalette, 8, 8, 4, false, 200}},
        {"grey, 16 bits", {kPngGrey, 16, 8, 4}},
        {"RGBA, 16 bits", {kPngRgba, 16, 8, 4}},
        {"RGB, 8 bits", {kPngRgb, 8, 8, 4}},
    };
    constexpr int kScale = 3;
    constexpr int kBitDepthAt = 24; // in the header chunk, after the signature
    constexpr int kColourTypeAt = 25;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QByteArray file = pngFile(c.pattern);
        ASSERT_FALSE(file.isEmpty());
        writeFile(dir.filePath("sheet.png"), file);
        ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
        const CutRun run =
            saveAll({dir.filePath("sheet.png").toStdString(), "--output", dir.filePath("out").toStdString(), "--format",
                     "png", "--tile", "4x4", "--scale", std::to_string(kScale), "--manifest",
                     dir.filePath("m.json").toStdString()});
        ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
        EXPECT_EQ(QJsonDocument::fromJson(contentOf(dir.filePath("m.json")))["scale"].toInt(), kScale);
        const QImage sheet = formats::decodePng(file, 1 << 20).image.convertToFormat(QImage::Format_RGBA64);
        for (int number = 1; number <= 2; ++number) {
            const QByteArray tile = contentOf(dir.filePath(QString("out/%1.png").arg(number)));
            ASSERT_GT(tile.size(), kColourTypeAt) << number;
            EXPECT_EQ(tile[kColourTypeAt], file[kColourTypeAt]) << number;
            // A palette takes the fewest bits its tile's entries need, scaled or not.
            if (c.pattern.colourType != kPngPalette)
                EXPECT_EQ(tile[kBitDepthAt], file[kBitDepthAt]) << number;
            QImage expected(4 * kScale, 4 * kScale, QImage::Format_RGBA64);
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    expected.setPixelColor(x, y, sheet.pixelColor((number - 1) * 4 + x / kScale, y / kScale));
            EXPECT_EQ(formats::decodePng(tile, 1 << 20).image.convertToFormat(QImage::Format_RGBA64), expected)
                << number;
        }
    }
}
