// What an engine loads beside the sheet: each atlas format against a document
// checked by hand, a round trip from the sheet and each atlas back to every
// tile file, and tile files enlarged.
#include "cli/batch.h"
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

using cli::AtlasFormat;

// The writers read the tiles only: this cut has no grid, as islands have none.
TEST(Atlas, WritesEachFormatAsItsEngineReadsIt)
{
    // Three 8x8 tiles in a sheet of 24x8: tile 1 shows 4x5 pixels from (2, 1),
    // tile 2 is left out as empty, tile 3 is trimmed by nothing.
    tiles::GridOptions options;
    options.tileWidth = options.tileHeight = 8;
    cli::SheetReport report = reportByHand(24, 8, options, 3, 1);
    report.grid = {};
    report.hasGrid = false;
    for (cli::TileReport& tile : report.tiles) {
        tile.file = "walk_" + tile.file;
        tile.shown = tile.tile.rect;
    }
    report.tiles[0].shown = tiles::PixelRect{2, 1, 4, 5};
    report.tiles[1].status = cli::TileStatus::Empty;
    report.tiles[2].status = cli::TileStatus::Existing;
    // idle holds only the empty tile, so no atlas holds it.
    const cli::Animations tags{{{"idle", 2, 2}, {"walk", 1, 3}}, 20};

    const QByteArray trimmed = R"("frame": {"x": 2, "y": 1, "w": 4, "h": 5}, "rotated": false, "trimmed": true,
        "spriteSourceSize": {"x": 2, "y": 1, "w": 4, "h": 5}, "sourceSize": {"w": 8, "h": 8})";
    const QByteArray whole = R"("frame": {"x": 16, "y": 0, "w": 8, "h": 8}, "rotated": false, "trimmed": false,
        "spriteSourceSize": {"x": 0, "y": 0, "w": 8, "h": 8}, "sourceSize": {"w": 8, "h": 8})";
    const QByteArray meta = R"("app": "quorvel", "version": ")" QUORVEL_VERSION R"(", "image": "sheet.png",
        "format": "RGBA8888", "size": {"w": 24, "h": 8}, "scale": "1")";
    const struct {
        AtlasFormat format;
        QByteArray expected; // JSON compared as documents, the rest as text
    } cases[] = {
        {AtlasFormat::JsonHash, R"({"frames": {"walk_1.png": {)" + trimmed + R"(}, "walk_3.png": {)" + whole +
                                    R"(}}, "animations": {"walk": ["walk_1.png", "walk_3.png"]},
                                    "meta": {)" + meta + "}}"},
        {AtlasFormat::JsonArray, R"({"frames": [{"filename": "walk_1.png", )" + trimmed +
                                     R"(}, {"filename": "walk_3.png", )" + whole + R"(}], "meta": {)" + meta + "}}"},
        {AtlasFormat::Aseprite, R"({"frames": {"0": {"duration": 50, )" + trimmed + R"(}, "1": {"duration": 50, )" +
                                    whole + R"(}}, "meta": {"frameTags": [
                                    {"name": "walk", "from": 0, "to": 1, "direction": "forward"}], )" + meta + "}}"},
        {AtlasFormat::Godot, R"([gd_resource type="SpriteFrames" load_steps=4 format=3]

[ext_resource type="Texture2D" path="sheet.png" id="1_sheet"]

[sub_resource type="AtlasTexture" id="AtlasTexture_1"]
atlas = ExtResource("1_sheet")
region = Rect2(2, 1, 4, 5)
margin = Rect2(2, 1, 4, 3)

[sub_resource type="AtlasTexture" id="AtlasTexture_2"]
atlas = ExtResource("1_sheet")
region = Rect2(16, 0, 8, 8)

[resource]
animations = [{
"frames": [{
"duration": 1.0,
"texture": SubResource("AtlasTexture_1")
}, {
"duration": 1.0,
"texture": SubResource("AtlasTexture_2")
}],
"loop": true,
"name": &"walk",
"speed": 20.0
}]
)"},
        {AtlasFormat::Libgdx, R"(sheet.png
size: 24, 8
format: RGBA8888
filter: Nearest, Nearest
repeat: none
walk
  bounds: 2, 1, 4, 5
  offsets: 2, 2, 8, 8
  index: 1
walk
  bounds: 16, 0, 8, 8
  index: 3
)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(cli::atlasFormatName(c.format));
        QByteArray atlas;
        cli::writeAtlas(c.format, report, tags, QDir::current().absoluteFilePath("sheet.data").toStdString(),
                        [&](std::string_view piece) { atlas.append(piece.data(), qsizetype(piece.size())); });
        if (c.format == AtlasFormat::Godot || c.format == AtlasFormat::Libgdx) {
            EXPECT_EQ(atlas.toStdString(), c.expected.toStdString());
            continue;
        }
        QJsonParseError written;
        QJsonParseError expected;
        EXPECT_EQ(QJsonDocument::fromJson(atlas, &written), QJsonDocument::fromJson(c.expected, &expected))
            << atlas.toStdString();
        EXPECT_EQ(written.error, QJsonParseError::NoError) << written.errorString().toStdString();
        EXPECT_EQ(expected.error, QJsonParseError::NoError) << "expected: " << expected.errorString().toStdString();
    }
    EXPECT_EQ(cli::tagsWithoutFrames(report, tags.tags), std::vector<std::string>{"idle"});
}

namespace {

// A strip of five tiles of 10x10: a block in a transparent border, nothing,
// an opaque tile, the block again, one faint corner pixel.
QImage sheetToTrim()
{
    QImage sheet(50, 10, QImage::Format_ARGB32);
    sheet.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            for (int tile : {0, 3})
                if (x >= 2 && x < 7 && y >= 3 && y < 9)
                    sheet.setPixel(tile * 10 + x, y, qRgba(200, x * 20, y * 20, 255));
            sheet.setPixel(20 + x, y, qRgba(x * 25, y * 25, 90, 255));
        }
    sheet.setPixel(49, 9, qRgba(10, 20, 30, 1));
    return sheet;
}

struct CutRun {
    int status;
    std::string out;
    std::string err;
};

CutRun saveAll(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {"quorvel", "--save-all"});
    const cli::Command command = cli::parse(arguments);
    std::ostringstream out;
    std::ostringstream err;
    const int status = command.action == cli::Action::SaveAll ? cli::saveAll(command, out, err, false) : -1;
    return {status, out.str(), err.str() + command.problem};
}

} // namespace

// Each atlas with the sheet alone rebuilds every tile, trimmed or not, as its
// file and the manifest's trim rebuild it.
TEST(Atlas, EveryFormatRebuildsEveryTileFromTheSheet)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("out") && root.mkpath("data") && root.mkpath("out2") && root.mkpath("data2"));
    const QImage sheet = sheetToTrim();
    writeFile(root.filePath("sheet.png"), formats::encodePng(sheet));
    const char* const files[] = {"json-hash:a.json", "json-array:b.json", "aseprite:c.json", "godot:d.tres",
                                 "libgdx:e.atlas"};
    const auto cut = [&](const char* out, const char* data, const char* more) {
        std::vector<std::string> arguments{root.filePath("sheet.png").toStdString(), "--output",
                                           root.filePath(out).toStdString(), "--tile", "10x10", "--format", "png",
                                           "--name", "f_{n:2}", "--trim", "--skip-empty", "--unique", "--tags",
                                           "go:1-5,none:2-2", "--manifest",
                                           root.filePath(data).toStdString() + "/m.json"};
        for (const char* file : files)
            arguments.insert(arguments.end(),
                             {"--atlas", QString(file).replace(":", ":" + root.filePath(data) + "/").toStdString()});
        if (*more)
            arguments.push_back(more);
        return saveAll(arguments);
    };

    EXPECT_EQ(cut("out", "data", "--dry-run").status, cli::kExitSuccess);
    EXPECT_EQ(entriesOf(root.filePath("data")), QStringList());
    const CutRun run = cut("out", "data", "");
    ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_NE(run.err.find("the tag 'none' is left out"), std::string::npos) << run.err;
    EXPECT_EQ(entriesOf(root.filePath("out")), QStringList({"f_01.png", "f_03.png", "f_05.png"}));
    std::vector<QJsonObject> framed;
    for (const QJsonValue tile : QJsonDocument::fromJson(contentOf(root.filePath("data/m.json")))["tiles"].toArray())
        if (tile["status"] != "empty")
            framed.push_back(tile.toObject());
    ASSERT_EQ(framed.size(), 4u);

    for (const QString file : files) {
        SCOPED_TRACE(file.toStdString());
        const AtlasFormat format = *cli::atlasFormatNamed(file.section(':', 0, 0).toStdString());
        const ReadAtlas atlas = readAtlas(format, contentOf(root.filePath("data/" + file.section(':', 1))));
        ASSERT_EQ(atlas.problem, "");
        EXPECT_EQ(QFileInfo(root.filePath("data/" + atlas.image)).canonicalFilePath(),
                  QFileInfo(root.filePath("sheet.png")).canonicalFilePath());
        ASSERT_EQ(atlas.frames.size(), framed.size());
        // Names padded to sort: TexturePacker's hash read by name is in tile order too.
        for (size_t i = 0; i < framed.size(); ++i) {
            const AtlasFrame& frame = atlas.frames[i];
            const QJsonObject& tile = framed[i];
            SCOPED_TRACE(tile["file"].toString().toStdString());
            if (format == AtlasFormat::JsonHash || format == AtlasFormat::JsonArray)
                EXPECT_EQ(frame.name, tile["file"].toString());
            if (format == AtlasFormat::Libgdx)
                EXPECT_EQ(frame.name, "f#" + QString::number(tile["number"].toInt()));
            const QImage drawn = drawnFrame(sheet, frame);
            const QSize size(tile["width"].toInt(), tile["height"].toInt());
            EXPECT_EQ(drawn, sheet.copy(QRect(QPoint(tile["x"].toInt(), tile["y"].toInt()), size)));
            // A repeat's pixels are in the file of the tile it repeats.
            const int number = tile[tile["status"] == "repeat" ? "repeatOf" : "number"].toInt();
            const QImage pixels(root.filePath(QString("out/f_%1.png").arg(number, 2, 10, QChar('0'))));
            const QJsonObject trim = tile["trim"].toObject();
            EXPECT_EQ(pixels.size(), QSize(trim["width"].toInt(), trim["height"].toInt()));
            EXPECT_EQ(drawnFrame(pixels, {{}, pixels.rect(), {trim["x"].toInt(), trim["y"].toInt()}, size}), drawn);
        }
    }

    // Without tile files, the fates and so the atlases are the same.
    const CutRun again = cut("out2", "data2", "--no-tiles");
    EXPECT_EQ(again.out, "would save 3, skipped 0 existing, left out 1 empty and 1 repeated, in " +
                             root.filePath("out2").toStdString() + " (--no-tiles: no tile written)\n");
    EXPECT_EQ(entriesOf(root.filePath("out2")), QStringList());
    for (const QString file : files)
        EXPECT_EQ(contentOf(root.filePath("data2/" + file.section(':', 1))),
                  contentOf(root.filePath("data/" + file.section(':', 1))));
    EXPECT_EQ(QJsonDocument::fromJson(contentOf(root.filePath("data2/m.json")))["tilesWritten"], QJsonValue(false));
}

// Islands: each frame is its picture's box of the sheet, which its tile file
// holds, a repeat's in the file of the tile it repeats.
TEST(Atlas, IslandsFramesAreTheirPicturesBoxes)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("out"));
    const QImage sheet = sheetToTrim();
    writeFile(root.filePath("sheet.png"), formats::encodePng(sheet));
    const char* const files[] = {"json-hash:a.json", "json-array:b.json", "aseprite:c.json", "godot:d.tres",
                                 "libgdx:e.atlas"};
    std::vector<std::string> arguments{root.filePath("sheet.png").toStdString(), "--output",
                                       root.filePath("out").toStdString(), "--islands", "--unique", "--format",
                                       "png", "--name", "f_{n}", "--manifest", root.filePath("m.json").toStdString()};
    for (const char* file : files)
        arguments.insert(arguments.end(),
                         {"--atlas", QString(file).replace(":", ":" + dir.path() + "/").toStdString()});
    const CutRun run = saveAll(arguments);
    ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
    // The two sprites and the block between them; the second sprite repeats the first.
    EXPECT_EQ(entriesOf(root.filePath("out")), QStringList({"f_1.png", "f_2.png"}));
    const QJsonArray tiles = QJsonDocument::fromJson(contentOf(root.filePath("m.json")))["tiles"].toArray();
    ASSERT_EQ(tiles.size(), 3);
    for (const QString file : files) {
        SCOPED_TRACE(file.toStdString());
        const AtlasFormat format = *cli::atlasFormatNamed(file.section(':', 0, 0).toStdString());
        const ReadAtlas atlas = readAtlas(format, contentOf(root.filePath(file.section(':', 1))));
        ASSERT_EQ(atlas.problem, "");
        ASSERT_EQ(atlas.frames.size(), 3u);
        for (int i = 0; i < tiles.size(); ++i) {
            const QJsonObject tile = tiles[i].toObject();
            const QRect box(tile["x"].toInt(), tile["y"].toInt(), tile["width"].toInt(), tile["height"].toInt());
            EXPECT_EQ(atlas.frames[size_t(i)].region, box);
            const int number = tile[tile["status"] == "repeat" ? "repeatOf" : "number"].toInt();
            const QImage pixels = QImage(root.filePath("out/f_" + QString::number(number) + ".png"))
                                      .convertToFormat(QImage::Format_ARGB32);
            EXPECT_EQ(drawnFrame(sheet, atlas.frames[size_t(i)]), pixels) << i;
        }
    }
}

TEST(Atlas, ScaleMakesEachPixelABlockInTheSheetsOwnKindOfPixels)
{
    const PngPattern patterns[] = {{kPngPalette, 8, 8, 4, false, 200}, {kPngRgba, 16, 8, 4}};
    constexpr int kScale = 3;
    constexpr int kBitDepthAt = 24; // in the header chunk, after the signature
    constexpr int kColourTypeAt = 25;
    for (const PngPattern& pattern : patterns) {
        SCOPED_TRACE(pattern.colourType);
        QTemporaryDir dir;
        const QByteArray file = pngFile(pattern);
        writeFile(dir.filePath("sheet.png"), file);
        const CutRun run = saveAll({dir.filePath("sheet.png").toStdString(), "--output", dir.path().toStdString(),
                                    "--format", "png", "--tile", "4x4", "--scale", "3", "--name", "t{n}",
                                    "--manifest", dir.filePath("m.json").toStdString()});
        ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
        EXPECT_EQ(QJsonDocument::fromJson(contentOf(dir.filePath("m.json")))["scale"].toInt(), kScale);
        const QImage sheet = formats::decodePng(file, 1 << 20).image.convertToFormat(QImage::Format_RGBA64);
        for (int tile = 0; tile < 2; ++tile) {
            const QByteArray png = contentOf(dir.filePath(QString("t%1.png").arg(tile + 1)));
            ASSERT_GT(png.size(), kColourTypeAt);
            EXPECT_EQ(png[kColourTypeAt], file[kColourTypeAt]);
            // A palette takes the fewest bits its tile's entries need, enlarged or not.
            EXPECT_TRUE(pattern.colourType == kPngPalette || png[kBitDepthAt] == file[kBitDepthAt]);
            QImage expected(4 * kScale, 4 * kScale, QImage::Format_RGBA64);
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    expected.setPixelColor(x, y, sheet.pixelColor(tile * 4 + x / kScale, y / kScale));
            EXPECT_EQ(formats::decodePng(png, 1 << 20).image.convertToFormat(QImage::Format_RGBA64), expected);
        }
    }
}
