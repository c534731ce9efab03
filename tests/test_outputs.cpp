// What tells the next tool about the tiles: the manifest and the Tiled tileset.
#include "cli/manifest.h"
#include "cli/tileset.h"
#include "support/sheet_reports.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <map>

namespace {

using cli::TileStatus;

tiles::GridOptions gridOptions(int32_t tile, int32_t marginX, int32_t marginY, int32_t spacingX, int32_t spacingY)
{
    tiles::GridOptions options;
    options.tileWidth = tile;
    options.tileHeight = tile;
    options.marginX = marginX;
    options.marginY = marginY;
    options.spacingX = spacingX;
    options.spacingY = spacingY;
    return options;
}

QJsonArray pair(int x, int y) { return QJsonArray{x, y}; }

QByteArray manifestOf(const cli::SheetReport& report, const QString& manifest, const QString& output)
{
    QByteArray json;
    cli::manifestJson(report, manifest.toStdString(), output.toStdString(),
                      [&](std::string_view piece) { json.append(piece.data(), qsizetype(piece.size())); });
    return json;
}

TEST(Manifest, RecordsTheSheetTheGridAndEveryTileInOrder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("art") && QDir(dir.path()).mkpath("out"));
    tiles::GridOptions options = gridOptions(16, 1, 2, 3, 4);
    options.first = 5;
    cli::SheetReport report = reportByHand(60, 60, options, 2, 2);
    report.path = dir.filePath("art").toStdString() + "/sheet\xff.png";
    const struct {
        TileStatus status;
        int32_t repeatOf;
        const char* statusText;
    } fates[] = {
        {TileStatus::Saved, 0, "saved"},
        {TileStatus::Existing, 0, "existing"},
        {TileStatus::Empty, 0, "empty"},
        {TileStatus::Repeat, 5, "repeat"},
    };
    for (size_t i = 0; i < report.tiles.size(); ++i) {
        report.tiles[i].status = fates[i].status;
        report.tiles[i].repeatOf = fates[i].repeatOf;
    }

    const QByteArray json = manifestOf(report, dir.filePath("out/sheet.json"), dir.filePath("out"));
    ASSERT_TRUE(json.endsWith('\n'));
    QJsonParseError error;
    const QJsonObject manifest = QJsonDocument::fromJson(json, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();

    EXPECT_EQ(manifest["output"].toString(), ".");
    EXPECT_EQ(manifest["sheet"].toObject(),
              (QJsonObject{{"path", QString::fromUtf8("../art/sheet\uFFFD.png")},
                           {"width", 60},
                           {"height", 60},
                           {"format", "png"}}));
    EXPECT_EQ(manifest["grid"].toObject(), (QJsonObject{{"tileWidth", 16},
                                                        {"tileHeight", 16},
                                                        {"margin", pair(1, 2)},
                                                        {"spacing", pair(3, 4)},
                                                        {"columns", 2},
                                                        {"rows", 2},
                                                        {"first", 5}}));
    const QJsonArray tiles = manifest["tiles"].toArray();
    ASSERT_EQ(tiles.size(), 4);
    for (int i = 0; i < tiles.size(); ++i) {
        const tiles::GridTile& tile = report.tiles[size_t(i)].tile;
        QJsonObject expected{{"number", tile.number},
                             {"row", tile.row},
                             {"column", tile.column},
                             {"x", tile.rect.x},
                             {"y", tile.rect.y},
                             {"width", 16},
                             {"height", 16},
                             {"file", QString::number(tile.number) + ".png"},
                             {"status", fates[i].statusText}};
        if (fates[i].status == TileStatus::Repeat)
            expected.insert("repeatOf", fates[i].repeatOf);
        EXPECT_EQ(tiles[i].toObject(), expected) << "tile " << tile.number;
    }
    EXPECT_EQ(tiles[3].toObject()["x"].toInt(), 1 + 16 + 3);
    EXPECT_EQ(tiles[3].toObject()["y"].toInt(), 2 + 16 + 4);
}

// A reader given only the manifest finds the sheet and the tiles, wherever the
// manifest lies and whatever leads to it.
TEST(Manifest, LeadsFromItsOwnFolderToTheSheetAndTheTiles)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath("art") && root.mkpath("tiles") && root.mkpath("data/json"));
    ASSERT_TRUE(QFile::link(root.filePath("data/json"), root.filePath("linked")));
    const struct {
        const char* manifest;
        const char* output;
        const char* sheetSeen;
        const char* outputSeen;
    } cases[] = {
        {"tiles/m.json", "tiles", "../art/sheet.png", "."},
        {"art/m.json", "tiles", "sheet.png", "../tiles"},
        {"data/json/m.json", "tiles/../tiles/.", "../../art/sheet.png", "../../tiles"},
        // Through a link, as from the folder it leads to.
        {"linked/m.json", "tiles", "../../art/sheet.png", "../../tiles"},
    };
    cli::SheetReport report = reportByHand(32, 16, gridOptions(16, 0, 0, 0, 0), 2, 1);
    report.path = root.filePath("art/sheet.png").toStdString();
    for (const auto& c : cases) {
        const QJsonObject manifest =
            QJsonDocument::fromJson(manifestOf(report, root.filePath(c.manifest), root.filePath(c.output))).object();
        EXPECT_EQ(manifest["sheet"].toObject()["path"].toString(), c.sheetSeen) << c.manifest;
        EXPECT_EQ(manifest["output"].toString(), c.outputSeen) << c.manifest;
    }
}

// The attributes of each element of a TSX document, by element name.
std::map<QString, QXmlStreamAttributes> elementsOf(const QByteArray& tsx)
{
    std::map<QString, QXmlStreamAttributes> elements;
    QXmlStreamReader reader(tsx);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            elements[reader.name().toString()] = reader.attributes();
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return elements;
}

TEST(Tileset, TellsTiledTheGridOrSaysWhyItCannot)
{
    // A 16x16 grid of 3 x 2 tiles with margin 1 and spacing 2 fills 1+3*16+2*2 = 53 by 1+2*16+2 = 35
    // pixels; the sheet has some pixels to spare at the right and bottom.
    const cli::SheetReport fitting = reportByHand(55, 36, gridOptions(16, 1, 1, 2, 2), 3, 2);
    cli::SheetReport partial = fitting;
    partial.tiles.back().tile.rect.width = 5;
    cli::SheetReport marginBothSides = reportByHand(72, 16, gridOptions(16, 4, 0, 0, 0), 3, 1);
    marginBothSides.options.marginY = 4;
    marginBothSides.height = 24;
    // The strip rule's single tile: the whole strip, wider than high.
    cli::SheetReport wholeStrip = reportByHand(30, 16, gridOptions(16, 0, 0, 0, 0), 1, 1);
    wholeStrip.tiles.front().tile.rect.width = 30;
    cli::SheetReport notUtf8 = fitting;
    notUtf8.path = "art/sheet\xff.png";

    const struct {
        const char* name;
        cli::SheetReport report;
        const char* problem; // nullptr: written
        const char* attributes;
    } cases[] = {
        {"margin and spacing", fitting, nullptr, "16x16 spacing 2 margin 1, 6 tiles in 3 columns"},
        {"margins differ", reportByHand(55, 36, gridOptions(16, 1, 2, 2, 2), 3, 2), "one margin", ""},
        {"spacings differ", reportByHand(55, 36, gridOptions(16, 1, 1, 2, 3), 3, 2), "one spacing", ""},
        {"partial edge tile", partial, "tile 6 is 5x16", ""},
        {"margin kept at the far edges", marginBothSides, "other tiles", ""},
        {"fewer rows than Tiled's", reportByHand(55, 36, gridOptions(16, 1, 1, 2, 2), 3, 1), "other tiles", ""},
        {"whole strip", wholeStrip, nullptr, "30x16 spacing 0 margin 0, 1 tiles in 1 columns"},
        {"name not UTF-8", notUtf8, "UTF-8", ""},
    };
    for (const auto& c : cases) {
        const auto tsx = cli::tilesetTsx(c.report, "/work/maps/level.tsx", "/work/maps/tiles");
        if (c.problem) {
            ASSERT_TRUE(std::holds_alternative<std::string>(tsx)) << c.name;
            EXPECT_NE(std::get<std::string>(tsx).find(c.problem), std::string::npos)
                << c.name << ": " << std::get<std::string>(tsx);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<QByteArray>(tsx)) << c.name << ": " << std::get<std::string>(tsx);
        auto elements = elementsOf(std::get<QByteArray>(tsx));
        QXmlStreamAttributes& tileset = elements["tileset"];
        EXPECT_EQ(tileset.value("version"), QString("1.10")) << c.name;
        EXPECT_EQ(tileset.value("name"), QString("sheet")) << c.name;
        const QString summary = QString("%1x%2 spacing %3 margin %4, %5 tiles in %6 columns")
                                    .arg(tileset.value("tilewidth"), tileset.value("tileheight"),
                                         tileset.value("spacing"), tileset.value("margin"),
                                         tileset.value("tilecount"), tileset.value("columns"));
        EXPECT_EQ(summary.toStdString(), c.attributes) << c.name;
        QXmlStreamAttributes& image = elements["image"];
        EXPECT_EQ(image.value("width").toInt(), c.report.width) << c.name;
        EXPECT_EQ(image.value("height").toInt(), c.report.height) << c.name;
        // reportByHand names the sheet relative to the working folder.
        EXPECT_EQ(QDir::cleanPath(QDir("/work/maps").absoluteFilePath(image.value("source").toString())),
                  QDir::current().absoluteFilePath("sheet.png"))
            << c.name;
    }
    const auto tsx = cli::tilesetTsx(fitting, QDir::current().absoluteFilePath("tilesets/level.tsx").toStdString(), "tiles");
    EXPECT_EQ(elementsOf(std::get<QByteArray>(tsx))["image"].value("source"), QString("../sheet.png"));
}

} // namespace
