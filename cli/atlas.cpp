#include "cli/atlas.h"

#include "cli/text.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <climits>

// Keys made once, not converted for each of thousands of frames.
using namespace Qt::StringLiterals;

namespace cli {

namespace {

using Write = std::function<void(std::string_view)>;

constexpr struct {
    AtlasFormat format;
    const char* name;
} kFormats[] = {
    {AtlasFormat::JsonHash, "json-hash"}, {AtlasFormat::JsonArray, "json-array"}, {AtlasFormat::Aseprite, "aseprite"},
    {AtlasFormat::Godot, "godot"},        {AtlasFormat::Libgdx, "libgdx"},
};

QString textOf(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

// The sheet as seen from the atlas's folder, both taken through their real
// folders as the manifest takes them, so that links on the way do not lead
// an engine astray.
QString sheetSeenFrom(const std::string& atlasPath, const std::string& sheetPath)
{
    const QDir from(QFileInfo(QFileInfo(textOf(atlasPath)).absolutePath()).canonicalFilePath());
    const QFileInfo sheet(textOf(sheetPath));
    return from.relativeFilePath(
        QDir(QFileInfo(sheet.absolutePath()).canonicalFilePath()).filePath(sheet.fileName()));
}

// A tile as an engine draws it: the region of the sheet it shows, placed at
// (left, top) in a box of the untrimmed tile's size.
struct Frame {
    tiles::PixelRect region;
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool trimmed = false;
};

Frame frameOf(const TileReport& tile)
{
    const tiles::PixelRect& whole = tile.tile.rect;
    Frame frame;
    frame.region = tile.shown.value_or(whole);
    frame.left = frame.region.x - whole.x;
    frame.top = frame.region.y - whole.y;
    frame.width = whole.width;
    frame.height = whole.height;
    frame.trimmed = frame.region.width != whole.width || frame.region.height != whole.height;
    return frame;
}

bool isFrame(TileStatus status)
{
    switch (status) {
    case TileStatus::Saved:
    case TileStatus::Existing:
    case TileStatus::Repeat:
        return true;
    case TileStatus::Empty:
    case TileStatus::Speck:
        return false;
    }
    return false;
}

std::optional<size_t> positionOf(const SheetReport& report, int32_t number)
{
    for (size_t i = 0; i < report.tiles.size(); ++i)
        if (report.tiles[i].tile.number == number)
            return i;
    return std::nullopt;
}

// The frames, and the tags as runs of them.
struct Layout {
    // The position of each frame's tile among the report's tiles.
    std::vector<size_t> tiles;
    struct Span {
        std::string name;
        // Frame indexes, both included.
        size_t first = 0;
        size_t last = 0;
    };
    // In the command line's order; a tag with no frame is left out.
    std::vector<Span> tags;
};

Layout layoutOf(const SheetReport& report, const std::vector<AnimationTag>& tags)
{
    Layout layout;
    for (size_t i = 0; i < report.tiles.size(); ++i)
        if (isFrame(report.tiles[i].status))
            layout.tiles.push_back(i);
    for (const AnimationTag& tag : tags) {
        const std::optional<size_t> from = positionOf(report, tag.from);
        const std::optional<size_t> to = positionOf(report, tag.to);
        if (!from || !to)
            continue;
        const auto first = std::lower_bound(layout.tiles.begin(), layout.tiles.end(), *from);
        const auto end = std::upper_bound(layout.tiles.begin(), layout.tiles.end(), *to);
        if (first < end)
            layout.tags.push_back(
                {tag.name, size_t(first - layout.tiles.begin()), size_t(end - layout.tiles.begin()) - 1});
    }
    return layout;
}

std::string withoutExtension(const std::string& file)
{
    const std::string::size_type dot = file.rfind('.');
    const std::string::size_type slash = file.rfind('/');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? file : file.substr(0, dot);
}

// ---------------------------------------------------------------- TexturePacker's and Aseprite's JSON

QJsonObject frameJson(const Frame& frame)
{
    const tiles::PixelRect& r = frame.region;
    return {{u"frame"_s, QJsonObject{{u"x"_s, r.x}, {u"y"_s, r.y}, {u"w"_s, r.width}, {u"h"_s, r.height}}},
            {u"rotated"_s, false},
            {u"trimmed"_s, frame.trimmed},
            {u"spriteSourceSize"_s,
             QJsonObject{{u"x"_s, frame.left}, {u"y"_s, frame.top}, {u"w"_s, r.width}, {u"h"_s, r.height}}},
            {u"sourceSize"_s, QJsonObject{{u"w"_s, frame.width}, {u"h"_s, frame.height}}}};
}

QJsonObject metaOf(const SheetReport& report, const std::string& atlasPath)
{
    return {{u"app"_s, u"quorvel"_s},
            {u"version"_s, QStringLiteral(QUORVEL_VERSION)},
            {u"image"_s, sheetSeenFrom(atlasPath, report.path)},
            {u"format"_s, u"RGBA8888"_s},
            {u"size"_s, QJsonObject{{u"w"_s, report.width}, {u"h"_s, report.height}}},
            {u"scale"_s, u"1"_s}};
}

QByteArray compact(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// "key":{...}, a member of the frames object.
QByteArray member(const QString& key, const QJsonObject& value)
{
    const QByteArray text = compact({{key, value}});
    return text.mid(1, text.size() - 2);
}

// A document of "frames", one a line, then the members of rest, indented.
void writeJson(const QJsonObject& rest, bool asArray, size_t count, const std::function<QByteArray(size_t)>& frameText,
               const Write& write)
{
    write(asArray ? "{\n    \"frames\": [" : "{\n    \"frames\": {");
    for (size_t i = 0; i < count; ++i)
        write(viewOf((i == 0 ? "\n        " : ",\n        ") + frameText(i)));
    write(asArray ? "\n    ],\n" : "\n    },\n");
    // Past the opening "{\n", rest's members at the same indentation.
    write(viewOf(QJsonDocument(rest).toJson(QJsonDocument::Indented).mid(2)));
}

// json-hash keys frames by the tile's file name, as TexturePacker does, and
// holds the tags as PixiJS's "animations", lists of those names. json-array
// lists frames with their names as "filename", as Phaser reads it; PixiJS
// takes an array's positions for names, so no animations go there.
void writeTexturePacker(const SheetReport& report, const Layout& layout, const std::string& atlasPath, bool asArray,
                        const Write& write)
{
    QJsonObject rest{{u"meta"_s, metaOf(report, atlasPath)}};
    const auto nameOf = [&](size_t frame) { return textOf(report.tiles[layout.tiles[frame]].file); };
    if (!asArray && !layout.tags.empty()) {
        QJsonObject animations;
        for (const Layout::Span& tag : layout.tags) {
            QJsonArray names;
            for (size_t frame = tag.first; frame <= tag.last; ++frame)
                names.append(nameOf(frame));
            animations.insert(textOf(tag.name), names);
        }
        rest.insert(u"animations"_s, animations);
    }
    writeJson(rest, asArray, layout.tiles.size(),
              [&](size_t i) {
                  QJsonObject frame = frameJson(frameOf(report.tiles[layout.tiles[i]]));
                  if (!asArray)
                      return member(nameOf(i), frame);
                  frame.insert(u"filename"_s, nameOf(i));
                  return compact(frame);
              },
              write);
}

// Aseprite's JSON with its "{frame}" item names: frames keyed by their index
// from 0, which is how Phaser's createFromAseprite finds a tag's frames.
void writeAseprite(const SheetReport& report, const Layout& layout, const Animations& animations,
                   const std::string& atlasPath, const Write& write)
{
    QJsonArray frameTags;
    for (const Layout::Span& tag : layout.tags)
        frameTags.append(QJsonObject{{u"name"_s, textOf(tag.name)},
                                     {u"from"_s, qint64(tag.first)},
                                     {u"to"_s, qint64(tag.last)},
                                     {u"direction"_s, u"forward"_s}});
    QJsonObject meta = metaOf(report, atlasPath);
    meta.insert(u"frameTags"_s, frameTags);
    const int32_t duration = (1000 + animations.fps / 2) / animations.fps;
    writeJson({{u"meta"_s, meta}}, false, layout.tiles.size(),
              [&](size_t i) {
                  QJsonObject frame = frameJson(frameOf(report.tiles[layout.tiles[i]]));
                  frame.insert(u"duration"_s, duration);
                  return member(QString::number(i), frame);
              },
              write);
}

// ---------------------------------------------------------------- Godot

// A string as Godot's text resources quote it.
std::string godotString(const QString& text)
{
    QString escaped = text;
    escaped.replace(u"\\"_s, u"\\\\"_s).replace(u"\""_s, u"\\\""_s).replace(u"\n"_s, u"\\n"_s);
    return "\"" + escaped.toStdString() + "\"";
}

std::string rect2(int32_t x, int32_t y, int32_t width, int32_t height)
{
    return "Rect2(" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(width) + ", " +
           std::to_string(height) + ")";
}

// A SpriteFrames resource: the sheet as its one external texture, each frame
// an AtlasTexture of it (its margin placing a trimmed frame in the tile's
// box), and one animation per tag, or all frames as "default". The sheet's
// path is relative to the resource: Godot resolves such a path from the
// resource's own folder, while a res:// path would need the project's root,
// which the sheet's path does not tell.
void writeGodot(const SheetReport& report, const Layout& layout, const Animations& animations,
                const std::string& atlasPath, const Write& write)
{
    const size_t count = layout.tiles.size();
    write("[gd_resource type=\"SpriteFrames\" load_steps=" + std::to_string(count + 2) + " format=3]\n\n" +
          "[ext_resource type=\"Texture2D\" path=" + godotString(sheetSeenFrom(atlasPath, report.path)) +
          " id=\"1_sheet\"]\n");
    for (size_t i = 0; i < count; ++i) {
        const Frame frame = frameOf(report.tiles[layout.tiles[i]]);
        const tiles::PixelRect& r = frame.region;
        std::string text = "\n[sub_resource type=\"AtlasTexture\" id=\"AtlasTexture_" + std::to_string(i + 1) +
                           "\"]\natlas = ExtResource(\"1_sheet\")\nregion = " + rect2(r.x, r.y, r.width, r.height) +
                           "\n";
        if (frame.trimmed)
            text += "margin = " + rect2(frame.left, frame.top, frame.width - r.width, frame.height - r.height) + "\n";
        write(text);
    }
    write("\n[resource]\nanimations = [");
    const auto animation = [&](const std::string& name, size_t first, size_t end, bool firstAnimation) {
        write(std::string(firstAnimation ? "" : ", ") + "{\n\"frames\": [");
        for (size_t i = first; i < end; ++i)
            write(std::string(i == first ? "" : ", ") +
                  "{\n\"duration\": 1.0,\n\"texture\": SubResource(\"AtlasTexture_" + std::to_string(i + 1) +
                  "\")\n}");
        write("],\n\"loop\": true,\n\"name\": &" + godotString(textOf(name)) +
              ",\n\"speed\": " + std::to_string(animations.fps) + ".0\n}");
    };
    if (animations.tags.empty())
        animation("default", 0, count, true);
    for (size_t t = 0; t < layout.tags.size(); ++t)
        animation(layout.tags[t].name, layout.tags[t].first, layout.tags[t].last + 1, t == 0);
    write("]\n");
}

// ---------------------------------------------------------------- libGDX

// A region's name as libGDX's own packer makes it from a file name: the name
// without extension, and a last "_" and digits split off as its index, which
// keeps an animation's frames in order (TextureAtlas.findRegions).
struct LibgdxName {
    std::string name;
    std::optional<int32_t> index;
};

LibgdxName libgdxName(const std::string& file)
{
    const std::string name = withoutExtension(file);
    const std::string::size_type underscore = name.rfind('_');
    if (underscore == std::string::npos || underscore == 0 || underscore + 1 == name.size())
        return {name, std::nullopt};
    int64_t index = 0;
    for (size_t i = underscore + 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return {name, std::nullopt};
        // Past what libGDX reads as a Java int, the digits stay in the name.
        if ((index = index * 10 + (name[i] - '0')) > INT_MAX)
            return {name, std::nullopt};
    }
    return {name.substr(0, underscore), int32_t(index)};
}

// Why libGDX would read this line as something else, or "". It trims lines,
// takes a line with a ':' for a field, and an empty one for the page's end.
std::string libgdxLineProblem(const std::string& line)
{
    if (line.find_first_of(":\r\n") != std::string::npos)
        return "libGDX takes a line with a ':' for a field, and a line break ends a name";
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (line.empty() || blank(line.front()) || blank(line.back()))
        return "libGDX trims the blanks around a name";
    return {};
}

std::string numbers(std::initializer_list<int32_t> values)
{
    std::string text;
    for (const int32_t value : values)
        text += (text.empty() ? "" : ", ") + std::to_string(value);
    return text;
}

// A libGDX texture atlas of one page, the sheet, in the form libGDX 1.10 and
// later write and read: "bounds" (left, top, width, height) and, for a
// trimmed frame, "offsets" (left, bottom, original width, original height:
// libGDX measures up from the bottom). Nearest filtering, for pixel art.
void writeLibgdx(const SheetReport& report, const Layout& layout, const std::string& atlasPath, const Write& write)
{
    write(viewOf(sheetSeenFrom(atlasPath, report.path).toUtf8() + "\nsize: " +
                 QByteArray::fromStdString(numbers({report.width, report.height})) +
                 "\nformat: RGBA8888\nfilter: Nearest, Nearest\nrepeat: none\n"));
    for (const size_t position : layout.tiles) {
        const TileReport& tile = report.tiles[position];
        const Frame frame = frameOf(tile);
        const tiles::PixelRect& r = frame.region;
        const LibgdxName name = libgdxName(tile.file);
        std::string text =
            textOf(name.name).toStdString() + "\n  bounds: " + numbers({r.x, r.y, r.width, r.height}) + "\n";
        if (frame.trimmed)
            text += "  offsets: " +
                    numbers({frame.left, frame.height - frame.top - r.height, frame.width, frame.height}) + "\n";
        if (name.index)
            text += "  index: " + std::to_string(*name.index) + "\n";
        write(text);
    }
}

} // namespace

const char* atlasFormatName(AtlasFormat format)
{
    for (const auto& known : kFormats)
        if (known.format == format)
            return known.name;
    return "";
}

std::optional<AtlasFormat> atlasFormatNamed(const std::string& name)
{
    for (const auto& known : kFormats)
        if (name == known.name)
            return known.format;
    return std::nullopt;
}

std::string atlasFormatNames()
{
    std::string names;
    const size_t count = std::size(kFormats);
    for (size_t i = 0; i < count; ++i)
        names += std::string(i == 0 ? "" : i + 1 == count ? " and " : ", ") + kFormats[i].name;
    return names;
}

std::string tagProblem(const SheetReport& report, const std::vector<AnimationTag>& tags)
{
    if (report.tiles.empty() && !tags.empty())
        return "the sheet has no tiles to tag";
    for (const AnimationTag& tag : tags) {
        const std::string which = "the tag " + inQuotes(tag.name) + " ";
        const std::optional<size_t> from = positionOf(report, tag.from);
        const std::optional<size_t> to = positionOf(report, tag.to);
        for (const auto& [number, position] : {std::pair{tag.from, from}, std::pair{tag.to, to}})
            if (!position)
                return which + "names tile " + std::to_string(number) + ", and the sheet's tiles are numbered " +
                       std::to_string(report.tiles.front().tile.number) + " to " +
                       std::to_string(report.tiles.back().tile.number);
        if (*to < *from)
            return which + "ends at tile " + std::to_string(tag.to) + ", which comes before tile " +
                   std::to_string(tag.from) + " in the cut";
    }
    return {};
}

std::string atlasProblem(AtlasFormat format, const SheetReport& report, const std::string& atlasPath)
{
    if (format != AtlasFormat::Libgdx)
        return {};
    const std::string sheet = sheetSeenFrom(atlasPath, report.path).toStdString();
    if (const std::string problem = libgdxLineProblem(sheet); !problem.empty())
        return problem + ": the sheet is " + inQuotes(sheet);
    for (const TileReport& tile : report.tiles)
        if (const std::string problem = libgdxLineProblem(libgdxName(tile.file).name); !problem.empty())
            return problem + ": tile " + std::to_string(tile.tile.number) + " is named " + inQuotes(tile.file);
    return {};
}

std::vector<std::string> tagsWithoutFrames(const SheetReport& report, const std::vector<AnimationTag>& tags)
{
    const Layout layout = layoutOf(report, tags);
    std::vector<std::string> names;
    for (const AnimationTag& tag : tags)
        if (std::none_of(layout.tags.begin(), layout.tags.end(),
                         [&](const Layout::Span& span) { return span.name == tag.name; }))
            names.push_back(tag.name);
    return names;
}

void writeAtlas(AtlasFormat format, const SheetReport& report, const Animations& animations,
                const std::string& atlasPath, const std::function<void(std::string_view)>& write)
{
    const Layout layout = layoutOf(report, animations.tags);
    switch (format) {
    case AtlasFormat::JsonHash:
    case AtlasFormat::JsonArray:
        writeTexturePacker(report, layout, atlasPath, format == AtlasFormat::JsonArray, write);
        return;
    case AtlasFormat::Aseprite:
        writeAseprite(report, layout, animations, atlasPath, write);
        return;
    case AtlasFormat::Godot:
        writeGodot(report, layout, animations, atlasPath, write);
        return;
    case AtlasFormat::Libgdx:
        writeLibgdx(report, layout, atlasPath, write);
        return;
    }
}

} // namespace cli
