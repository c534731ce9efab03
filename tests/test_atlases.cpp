// What an engine loads beside the sheet: each atlas format against documents
// checked by hand.
#include "cli/atlas.h"
#include "support/sheet_reports.h"

#include <QDir>
#include <QJsonDocument>
#include <gtest/gtest.h>

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
