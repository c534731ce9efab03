#include "cli/manifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// Keys made once, not converted for each of thousands of tiles.
using namespace Qt::StringLiterals;

namespace cli {

namespace {

QString textOf(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

QJsonObject sheetOf(const SheetReport& report)
{
    return {{u"path"_s, textOf(report.path)},
            {u"width"_s, report.width},
            {u"height"_s, report.height},
            {u"format"_s, textOf(report.format)}};
}

QJsonObject gridOf(const SheetReport& report)
{
    const tiles::GridOptions& options = report.options;
    return {{u"tileWidth"_s, report.grid.tileWidth},
            {u"tileHeight"_s, report.grid.tileHeight},
            {u"margin"_s, QJsonArray{options.marginX, options.marginY}},
            {u"spacing"_s, QJsonArray{options.spacingX, options.spacingY}},
            {u"columns"_s, report.grid.columns},
            {u"rows"_s, report.grid.rows},
            {u"first"_s, options.first}};
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
    return object;
}

} // namespace

QByteArray manifestJson(const SheetReport& report)
{
    QJsonArray tiles;
    for (const TileReport& tile : report.tiles)
        tiles.append(tileOf(tile));
    const QJsonObject manifest{{u"sheet"_s, sheetOf(report)}, {u"grid"_s, gridOf(report)}, {u"tiles"_s, tiles}};
    // Indented output already ends with a newline.
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented);
}

} // namespace cli
