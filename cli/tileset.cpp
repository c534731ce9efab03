#include "cli/tileset.h"

#include <QDir>
#include <QFileInfo>
#include <QXmlStreamWriter>

namespace cli {

namespace {

// The version of the format written, and the Tiled release whose files look like it.
const QString kFormatVersion = QStringLiteral("1.10");
const QString kTiledVersion = QStringLiteral("1.10.2");

QString number(int32_t value) { return QString::number(value); }

std::string sizeText(int32_t width, int32_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// XML holds Unicode text only, and Tiled opens files by Unicode names.
bool isUtf8(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toUtf8() ==
           QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()));
}

// Tiled cuts a tileset image itself: tiles of one size from (margin, margin),
// one spacing apart, as many whole tiles as fit before the right and bottom
// edges. Our grid's margin and spacing may differ across and down, its edge
// tiles may be smaller (--partial) and its margin may be kept at the far edges
// too, so the tileset can only be written when Tiled's cut gives exactly the
// grid's rectangles, in order. Empty when it does.
std::string tiledCutProblem(const SheetReport& report)
{
    const tiles::GridOptions& options = report.options;
    const std::vector<TileReport>& grid = report.tiles;
    if (options.marginX != options.marginY)
        return "Tiled takes one margin for both axes, and this grid's are " + std::to_string(options.marginX) +
               " across and " + std::to_string(options.marginY) + " down";
    if (options.spacingX != options.spacingY)
        return "Tiled takes one spacing for both axes, and this grid's are " + std::to_string(options.spacingX) +
               " across and " + std::to_string(options.spacingY) + " down";
    if (grid.empty())
        return "the grid has no tiles";
    const int32_t width = grid.front().tile.rect.width;
    const int32_t height = grid.front().tile.rect.height;
    for (const TileReport& report : grid) {
        const tiles::GridTile& tile = report.tile;
        if (tile.rect.width != width || tile.rect.height != height)
            return "Tiled cuts tiles of one size only, and tile " + std::to_string(tile.number) + " is " +
                   sizeText(tile.rect.width, tile.rect.height) + ", not " + sizeText(width, height);
    }
    const int64_t margin = options.marginX;
    const int64_t spacing = options.spacingX;
    size_t next = 0;
    for (int64_t y = margin; y <= report.height - height; y += height + spacing) {
        for (int64_t x = margin; x <= report.width - width; x += width + spacing) {
            if (next == grid.size() || grid[next].tile.rect.x != x || grid[next].tile.rect.y != y)
                return "Tiled would cut the sheet into other tiles than the grid's: it fits whole tiles up to the "
                       "sheet's right and bottom edges, with no margin there";
            ++next;
        }
    }
    if (next != grid.size())
        return "Tiled would cut the sheet into fewer tiles than the grid's " + std::to_string(grid.size());
    return {};
}

} // namespace

std::variant<QByteArray, std::string> tilesetTsx(const SheetReport& report, const std::string& tilesetPath)
{
    if (!isUtf8(report.path) || !isUtf8(tilesetPath))
        return std::string("Tiled can only open files whose names are UTF-8 text");
    const std::string problem = tiledCutProblem(report);
    if (!problem.empty())
        return problem;

    const QFileInfo sheet(QString::fromStdString(report.path));
    const QDir tilesetFolder = QFileInfo(QString::fromStdString(tilesetPath)).absoluteDir();
    const tiles::PixelRect& tile = report.tiles.front().tile.rect;
    const int32_t columns = report.grid.columns;
    const int32_t tileCount = int32_t(report.tiles.size());

    QByteArray tsx;
    QXmlStreamWriter writer(&tsx);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(1);
    writer.writeStartDocument();
    writer.writeStartElement("tileset");
    writer.writeAttribute("version", kFormatVersion);
    writer.writeAttribute("tiledversion", kTiledVersion);
    writer.writeAttribute("name", sheet.completeBaseName());
    writer.writeAttribute("tilewidth", number(tile.width));
    writer.writeAttribute("tileheight", number(tile.height));
    writer.writeAttribute("spacing", number(report.options.spacingX));
    writer.writeAttribute("margin", number(report.options.marginX));
    writer.writeAttribute("tilecount", number(tileCount));
    writer.writeAttribute("columns", number(columns));
    writer.writeEmptyElement("image");
    writer.writeAttribute("source", tilesetFolder.relativeFilePath(sheet.absoluteFilePath()));
    writer.writeAttribute("width", number(report.width));
    writer.writeAttribute("height", number(report.height));
    writer.writeEndElement();
    writer.writeEndDocument();
    return tsx;
}

} // namespace cli
