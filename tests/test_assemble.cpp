// The way back: a sheet cut by the program and put together again by it,
// pixel for pixel, and every reason it refuses to put one together.
#include "cli/command_line.h"
#include "formats/png.h"
#include "platform/picture.h"
#include "support/files.h"
#include "support/png_files.h"
#include "support/program.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

QImage storedPixels(const QString& path)
{
    return platform::LoadPicture(path.toStdString(), platform::Pixels::AsStored).image();
}

// A sheet of 4x2 tiles of 16 pixels: patterns with translucent pixels, one
// repeated, and two tiles fully transparent, which a sheet without them must
// give back as transparent black.
QByteArray sheetWithBlanksAndRepeats()
{
    QImage sheet(64, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const int tile = x / 16 + y / 16 * 4;
            const int pattern = tile == 2 ? 0 : tile;
            sheet.setPixel(
                x, y, tile == 1 || tile == 7 ? 0u : qRgba(x % 16 * 16, y % 16 * 16, pattern * 30, 255 - (x % 4) * 60));
        }
    return formats::encodePng(sheet);
}

// Pictures on a background for --islands: an L whose box holds a bar beside
// it, a square against the left edge (a pad reaches past it), and a speck.
QByteArray sheetOfIslands(QRgb background, QImage::Format format)
{
    QImage sheet(40, 24, format);
    sheet.fill(background);
    const auto fill = [&](int left, int top, int width, int height, QRgb colour) {
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x)
                sheet.setPixel(x, y, colour);
    };
    fill(4, 2, 1, 12, qRgb(200, 30, 30));
    fill(4, 13, 14, 1, qRgb(200, 30, 30));
    fill(8, 4, 3, 6, qRgb(30, 30, 200));
    fill(0, 16, 5, 5, qRgb(30, 160, 30));
    fill(36, 2, 1, 1, qRgb(250, 250, 250));
    return formats::encodePng(sheet);
}

// The same sheet, the same kind of pixels and the same PNG bit depth and colour type.
void expectSameSheet(const QString& original, const QString& rebuilt)
{
    const QImage a = storedPixels(original);
    const QImage b = storedPixels(rebuilt);
    ASSERT_FALSE(b.isNull());
    EXPECT_EQ(b.format(), a.format());
    EXPECT_EQ(b.size(), a.size());
    EXPECT_TRUE(b == a) << "the pixels differ";
    EXPECT_EQ(b.colorTable(), a.colorTable());
    if (rebuilt.endsWith(".png"))
        EXPECT_EQ(chunkData(contentOf(rebuilt), "IHDR").mid(8, 2).toHex(),
                  chunkData(contentOf(original), "IHDR").mid(8, 2).toHex());
}

struct Cut {
    QString sheet;
    QString manifest;
    QString output;
};

// Writes the sheet into dir and cuts it there with a manifest.
Cut cutSheet(const QTemporaryDir& dir, const QByteArray& sheet, const QStringList& options)
{
    Cut cut{dir.filePath("sheet.png"), dir.filePath("sheet.json"), dir.filePath("tiles")};
    writeFile(cut.sheet, sheet);
    QDir(dir.path()).mkdir("tiles");
    const BatchRun run =
        runProgram(QStringList{"--save-all", cut.sheet, "--output", cut.output, "--manifest", cut.manifest} + options);
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    return cut;
}

void editManifest(const QString& path, const std::function<void(QJsonObject&)>& edit)
{
    QJsonObject root = QJsonDocument::fromJson(contentOf(path)).object();
    edit(root);
    writeFile(path, QJsonDocument(root).toJson());
}

void editTile(QJsonObject& root, int index, const char* key, const QJsonValue& value)
{
    QJsonArray tiles = root["tiles"].toArray();
    QJsonObject tile = tiles[index].toObject();
    tile[key] = value;
    tiles[index] = tile;
    root["tiles"] = tiles;
}

} // namespace

TEST(Assemble, EveryKindOfCutComesBackExactly)
{
    const QByteArray rgba = pngFile({kPngRgba, 8, 50, 35});
    const struct Case {
        const char* name;
        QByteArray sheet;
        QStringList options;
        // Tiles and leftovers cover the whole sheet, so it comes back without the old sheet too.
        bool coversAll;
    } cases[] = {
        {"strip rule", pngFile({kPngRgba, 8, 80, 16}), {"--format", "png"}, true},
        {"grid, margin, spacing",
         rgba,
         {"--tile", "8x8", "--margin", "1", "--spacing", "2,1", "--format", "png"},
         false},
        {"partial edges", rgba, {"--tile", "16x16", "--partial", "--format", "png"}, true},
        {"skip empty", sheetWithBlanksAndRepeats(), {"--tile", "16x16", "--skip-empty", "--format", "png"}, true},
        {"unique", sheetWithBlanksAndRepeats(), {"--tile", "16x16", "--unique", "--format", "png"}, true},
        {"palette", pngFile({kPngPalette, 4, 48, 24, false, 12}), {"--tile", "8x8", "--format", "png"}, true},
        {"16-bit RGBA", pngFile({kPngRgba, 16, 40, 24}), {"--tile", "8x8", "--margin", "2", "--format", "png"}, false},
        {"16-bit grey", pngFile({kPngGrey, 16, 24, 24}), {"--tile", "8x8", "--format", "png"}, true},
        {"BMP tiles, opaque sheet", pngFile({kPngRgb, 8, 48, 32}), {"--tile", "16x16"}, true},
        {"trimmed", sheetWithBlanksAndRepeats(), {"--tile", "16x16", "--trim", "--format", "png"}, true},
        {"islands, padded and trimmed",
         sheetOfIslands(0, QImage::Format_ARGB32),
         {"--islands", "--pad", "2", "--min-area", "1", "--trim", "--format", "png"},
         true},
        // Without the old sheet, what lies between the pictures would come back transparent.
        {"islands on a colour",
         sheetOfIslands(qRgb(255, 0, 255), QImage::Format_RGB32),
         {"--islands", "--trim", "--format", "png"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const Cut cut = cutSheet(dir, c.sheet, c.options);
        const QString rebuilt = dir.filePath("rebuilt.png");
        const BatchRun run = runProgram({"--assemble", cut.manifest, "--into", rebuilt});
        ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
        expectSameSheet(cut.sheet, rebuilt);
        if (!c.coversAll)
            continue;
        ASSERT_TRUE(QFile::rename(cut.sheet, dir.filePath("away.png")));
        const QString alone = dir.filePath("alone.png");
        const BatchRun withoutSheet = runProgram({"--assemble", cut.manifest, "--into", alone});
        ASSERT_EQ(withoutSheet.status, cli::kExitSuccess) << withoutSheet.err;
        expectSameSheet(dir.filePath("away.png"), alone);
    }
}

TEST(Assemble, OneEditedPixelChangesThatPixelOnly)
{
    const struct Case {
        const char* name;
        QByteArray sheet;
        QRgb colour;
        // What the sheet's pixels become: the old kind while the new colour fits in it.
        QImage::Format format;
    } cases[] = {
        {"RGBA", pngFile({kPngRgba, 8, 50, 35}), qRgba(1, 2, 3, 4), QImage::Format_ARGB32},
        {"palette, a free entry", pngFile({kPngPalette, 4, 48, 24, false, 12}), qRgb(1, 2, 3), QImage::Format_Indexed8},
        // Every entry is used, some translucent.
        {"palette, full", pngFile({kPngPalette, 8, 96, 64, false, 256}), qRgb(1, 2, 3), QImage::Format_ARGB32},
        {"16-bit", pngFile({kPngRgba, 16, 40, 24}), qRgba(1, 2, 3, 4), QImage::Format_RGBA64},
        {"grey, a colour", pngFile({kPngGrey, 8, 40, 24}), qRgb(1, 2, 3), QImage::Format_RGB32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const Cut cut = cutSheet(dir, c.sheet, {"--tile", "8x8", "--margin", "1", "--spacing", "1", "--format", "png"});
        const QImage original = storedPixels(cut.sheet);
        const QJsonObject seventh = QJsonDocument::fromJson(contentOf(cut.manifest))["tiles"][6].toObject();
        const int x = seventh["x"].toInt() + 3;
        const int y = seventh["y"].toInt() + 5;
        // Saved by an editor in full colour, at the tile's own depth.
        const QString tile = QDir(cut.output).filePath(seventh["file"].toString());
        QImage edited = storedPixels(tile);
        if (edited.depth() <= 8)
            edited = edited.convertToFormat(QImage::Format_ARGB32);
        edited.setPixelColor(3, 5, QColor::fromRgba(c.colour));
        writeFile(tile, formats::encodePng(edited));
        // Put back into the sheet itself.
        const BatchRun run = runProgram({"--assemble", cut.manifest, "--into", cut.sheet, "--replace"});
        ASSERT_EQ(run.status, cli::kExitSuccess) << run.err;
        const QImage rebuilt = storedPixels(cut.sheet);
        EXPECT_EQ(rebuilt.format(), c.format);
        ASSERT_EQ(rebuilt.size(), original.size());
        for (int j = 0; j < original.height(); ++j)
            for (int i = 0; i < original.width(); ++i)
                ASSERT_EQ(rebuilt.pixelColor(i, j).rgba64(),
                          (i == x && j == y ? QColor::fromRgba(c.colour) : original.pixelColor(i, j)).rgba64())
                    << i << "," << j;
    }
}

TEST(Assemble, DryRunTellsWhereEachTileComesFrom)
{
    QTemporaryDir dir;
    const Cut cut = cutSheet(dir, sheetWithBlanksAndRepeats(), {"--tile", "16x16", "--skip-empty", "--unique"});
    const QString into = dir.filePath("rebuilt.bmp");
    BatchRun run = runProgram({"--assemble", cut.manifest, "--into", into, "--dry-run"});
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(run.out, "1.bmp 0,0 16x16 from tile file\n"
                       "2.bmp 16,0 16x16 from the sheet\n"
                       "3.bmp 32,0 16x16 from repeat of 1\n"
                       "4.bmp 48,0 16x16 from tile file\n"
                       "5.bmp 0,16 16x16 from tile file\n"
                       "6.bmp 16,16 16x16 from tile file\n"
                       "7.bmp 32,16 16x16 from tile file\n"
                       "8.bmp 48,16 16x16 from the sheet\n"
                       "background: from the sheet '" +
                           cut.sheet.toStdString() + "'\n");
    EXPECT_FALSE(QFile::exists(into));
    ASSERT_TRUE(QFile::remove(cut.sheet));
    run = runProgram({"--assemble", cut.manifest, "--into", into, "--dry-run", "--background", "ff00ff"});
    EXPECT_NE(run.out.find("8.bmp 48,16 16x16 from the background\nbackground: ff00ff (--background)"),
              std::string::npos)
        << run.out;
}

TEST(Assemble, RefusesWhatCannotBePutBackAndWritesNothing)
{
    const struct Case {
        const char* name;
        std::function<void(const Cut&)> damage;
        QStringList options;
        std::string cause;
    } cases[] = {
        {"missing tile", [](const Cut& c) { QFile::remove(c.output + "/3.png"); }, {}, "3.png': it does not exist"},
        {"tile of another size",
         [](const Cut& c) {
             writeFile(c.output + "/3.png", pngFile({kPngRgba, 8, 4, 4}));
         },
         {},
         "3.png' is 4x4 pixels, not the 8x8 of its place"},
        {"tile not a picture", [](const Cut& c) { writeFile(c.output + "/3.png", "text"); }, {}, "Invalid picture"},
        {"manifest not JSON", [](const Cut& c) { writeFile(c.manifest, "{\"sheet\": "); }, {}, "is no JSON document"},
        {"manifest without output",
         [](const Cut& c) { editManifest(c.manifest, [](QJsonObject& m) { m.remove("output"); }); },
         {},
         "has no text 'output'"},
        {"tile out by ..",
         [](const Cut& c) {
             QFile::copy(c.output + "/3.png", c.output + "/../3.png");
             editManifest(c.manifest, [](QJsonObject& m) { editTile(m, 2, "file", "../3.png"); });
         },
         {},
         "leads out of the output folder"},
        {"tile out by an absolute path",
         [](const Cut& c) { editManifest(c.manifest, [&](QJsonObject& m) { editTile(m, 2, "file", c.sheet); }); },
         {},
         "is no name inside the output folder"},
        {"tile out by a link",
         [](const Cut& c) {
             QFile::remove(c.output + "/3.png");
             QFile::link(c.sheet, c.output + "/3.png");
         },
         {},
         "leads out of the output folder"},
        {"into the manifest by a link",
         [](const Cut& c) { QFile::link(c.manifest, c.output + "/../link.png"); },
         {"--into", "link.png", "--replace"},
         "is the manifest itself"},
        {"into a tile", [](const Cut&) {}, {"--into", "tiles/../tiles/5.png", "--replace"}, "is the file of tile 5"},
        {"into an existing file", [](const Cut&) {}, {"--into", "sheet.png"}, "exists; --replace replaces it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const Cut cut = cutSheet(dir, pngFile({kPngRgba, 8, 24, 16}), {"--tile", "8x8", "--format", "png"});
        c.damage(cut);
        QStringList into = c.options.isEmpty() ? QStringList{"--into", "new.png"} : c.options;
        into[1] = dir.filePath(into[1]);
        const QStringList before = entriesOf(dir.path());
        const QByteArray tile5 = contentOf(cut.output + "/5.png");
        const BatchRun run = runProgram(QStringList{"--assemble", cut.manifest} + into);
        EXPECT_EQ(run.status, cli::kExitFailure);
        EXPECT_NE(run.err.find(c.cause), std::string::npos) << run.err;
        EXPECT_EQ(entriesOf(dir.path()), before);
        EXPECT_EQ(contentOf(cut.output + "/5.png"), tile5);
    }
}

TEST(Assemble, ReadsItsOptionsAndRefusesWrongOnes)
{
    const struct Case {
        std::vector<std::string> arguments;
        std::string problem; // a part of it; "" for a command to assemble
    } cases[] = {
        {{"--assemble", "m.json", "--into", "s.PNG", "--replace", "--background", "Ff00ff", "--dry-run"}, ""},
        {{"--assemble", "m.json"}, "needs the sheet to write: --into SHEET"},
        {{"--assemble", "m.json", "--into", "s.gif"}, "ends in .png or .bmp"},
        {{"--assemble", "m.json", "--into", "s.png", "--tile", "8x8"}, "--tile goes with --save-all"},
        {{"--assemble", "m.json", "--into", "s.png", "x.json"}, "'x.json' is one name more"},
        {{"--assemble", "m.json", "--into", "s.png", "--background", "red"}, "a colour is RRGGBB"},
        {{"--save-all", "s.png", "--output", "o", "--replace"}, "--replace goes with --assemble"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"quorvel"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const cli::Command command = cli::parse(arguments);
        if (c.problem.empty()) {
            ASSERT_EQ(command.action, cli::Action::Assemble) << command.problem;
            EXPECT_EQ(command.assembling.into, "s.PNG");
            EXPECT_TRUE(command.assembling.format == platform::FileFormat::Png);
            EXPECT_TRUE(command.assembling.replace && command.assembling.dryRun);
            EXPECT_EQ(command.assembling.background, 0xff00ffu);
            continue;
        }
        EXPECT_EQ(command.action, cli::Action::Misuse) << c.problem;
        EXPECT_NE(command.problem.find(c.problem), std::string::npos) << command.problem;
    }
}
