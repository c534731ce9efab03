#include "cli/manifest.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// Keys made once, not converted for each of thousands of tiles.
using namespace Qt::StringLiterals;

namespace cli {

namespace {

QString textOf(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

// A path as seen from the manifest's folder. Both are taken through their
// real folders, so that links on the way do not lead a reader astray.
QString seenFrom(const QDir& from, const QString& realPath)
{
    const QString relative = from.relativeFilePath(realPath);
    return relative.isEmpty() ? u"."_s : relative;
}

QString realFolder(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

QString realFile(const std::string& path)
{
    const QFileInfo file(textOf(path));
    return QDir(realFolder(file.absolutePath())).filePath(file.fileName());
}

QJsonObject sheetOf(const SheetReport& report, const QDir& from)
{
    return {{u"path"_s, seenFrom(from, realFile(report.path))},
            {u"width"_s, report.width},
            {u"height"_s, report.height},
            {u"format"_s, textOf(report.format)}};
}

QJsonObject gridOf(const SheetReport& report)
{
    const tiles::GridOptions& options = report.options;
    QJsonObject grid{{u"tileWidth"_s, report.grid.tileWidth},
            {u"tileHeight"_s, report.grid.tileHeight},
            {u"margin"_s, QJsonArray{options.marginX, options.marginY}},
            {u"spacing"_s, QJsonArray{options.spacingX, options.spacingY}},
            {u"columns"_s, report.grid.columns},
            {u"rows"_s, report.grid.rows},
            {u"first"_s, options.first}};
    // A grid found from the sheet, as the options that give it.
    if (!report.found.empty())
        grid.insert(u"found"_s, textOf(report.found));
    return grid;
}

// Where the file's pixels sit in the untrimmed tile: drawn there, they are
// where the tile would have them.
QJsonObject trimOf(const TileReport& report)
{
    const tiles::PixelRect& whole = report.tile.rect;
    const tiles::PixelRect& shown = *report.shown;
    return {{u"x"_s, shown.x - whole.x},
            {u"y"_s, shown.y - whole.y},
            {u"width"_s, shown.width},
            {u"height"_s, shown.height}};
}

QJsonObject tileOf(const TileReport& report)
{
    const tiles::GridTile& tile = report.tile;
    QJsonObject object{{u"number"_s, tile.number},
                       {u"row"_s, tile.row},
                       {u"column"_s, tile.column},
                       {u"x"_s, tile.rect.x},
                       {u"y"_s, tile.rect.y},
                       {u"width"_s, tile.rect.width},
                       {u"height"_s, tile.rect.height},
                       {u"file"_s, textOf(report.file)},
                       {u"status"_s, QLatin1String(statusName(report.status))}};
    if (report.status == TileStatus::Repeat)
        object.insert(u"repeatOf"_s, report.repeatOf);
    if (report.shown)
        object.insert(u"trim"_s, trimOf(report));
    return object;
}

// How the tile files were made, when not as the sheet's tiles are.
void addTileFiles(QJsonObject& head, const SheetReport& report)
{
    if (report.scale != 1)
        head.insert(u"scale"_s, report.scale);
    if (!report.tilesWritten)
        head.insert(u"tilesWritten"_s, false);
}

} // namespace

void manifestJson(const SheetReport& report, const std::string& manifestPath, const std::string& output,
                  const std::function<void(std::string_view)>& write)
{
    const QDir from(realFolder(QFileInfo(textOf(manifestPath)).absolutePath()));
    QJsonObject head{{u"sheet"_s, sheetOf(report, from)}, {u"output"_s, seenFrom(from, realFolder(textOf(output)))}};
    if (report.hasGrid)
        head.insert(u"grid"_s, gridOf(report));
    else
        head.insert(u"background"_s, textOf(report.background));
    addTileFiles(head, report);
    // The tiles, last in key order, go one a line after the rest, so that no
    // document of every tile is ever held.
    QByteArray text = QJsonDocument(head).toJson(QJsonDocument::Indented);
    text.chop(int(std::string_view("\n}\n").size()));
    text += ",\n    \"tiles\": [";
    const auto view = [](const QByteArray& bytes) { return std::string_view(bytes.constData(), size_t(bytes.size())); };
    write(view(text));
    for (size_t i = 0; i < report.tiles.size(); ++i) {
        text = (i == 0 ? "\n        " : ",\n        ") +
               QJsonDocument(tileOf(report.tiles[i])).toJson(QJsonDocument::Compact);
        write(view(text));
    }
    write("\n    ]\n}\n");
}

} // namespace cli
