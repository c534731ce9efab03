#include "cli/tileset.h"

#include "cli/text.h"

#include <QDir>
#include <QFileInfo>
#include <QXmlStreamWriter>
#include <algorithm>
#include <vector>

namespace cli {

namespace {

// The version of the format written, and the Tiled release whose files look like it.
const QString kFormatVersion = QStringLiteral("1.10");
const QString kTiledVersion = QStringLiteral("1.10.2");

QString number(int32_t value) { return QString::number(value); }

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


// What a tileset starts with, whichever its kind.
void writeHead(QXmlStreamWriter& writer, const SheetReport& report, int32_t tileWidth, int32_t tileHeight)
{
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(1);
    writer.writeStartDocument();
    writer.writeStartElement("tileset");
    writer.writeAttribute("version", kFormatVersion);
    writer.writeAttribute("tiledversion", kTiledVersion);
    writer.writeAttribute("name", QFileInfo(QString::fromStdString(report.path)).completeBaseName());
    writer.writeAttribute("tilewidth", number(tileWidth));
    writer.writeAttribute("tileheight", number(tileHeight));
}

// A grid: Tiled cuts the sheet itself.
QByteArray gridTileset(const SheetReport& report, const QDir& folder)
{
    const tiles::PixelRect& tile = report.tiles.front().tile.rect;
    QByteArray tsx;
    QXmlStreamWriter writer(&tsx);
    writeHead(writer, report, tile.width, tile.height);
    writer.writeAttribute("spacing", number(report.options.spacingX));
    writer.writeAttribute("margin", number(report.options.marginX));
    writer.writeAttribute("tilecount", number(int32_t(report.tiles.size())));
    writer.writeAttribute("columns", number(report.grid.columns));
    writer.writeEmptyElement("image");
    const QFileInfo sheet(QString::fromStdString(report.path));
    writer.writeAttribute("source", folder.relativeFilePath(sheet.absoluteFilePath()));
    writer.writeAttribute("width", number(report.width));
    writer.writeAttribute("height", number(report.height));
    writer.writeEndElement();
    writer.writeEndDocument();
    return tsx;
}

// Pictures of their own sizes: a collection of images, one per tile file
// there is after the run.
QByteArray imageTileset(const SheetReport& report, const QDir& folder, const std::string& output)
{
    std::vector<const TileReport*> files;
    int32_t widest = 0;
    int32_t tallest = 0;
    for (const TileReport& tile : report.tiles)
        if (tile.status == TileStatus::Saved || tile.status == TileStatus::Existing) {
            files.push_back(&tile);
            widest = std::max(widest, tile.tile.rect.width);
            tallest = std::max(tallest, tile.tile.rect.height);
        }
    QByteArray tsx;
    QXmlStreamWriter writer(&tsx);
    writeHead(writer, report, widest, tallest);
    writer.writeAttribute("tilecount", number(int32_t(files.size())));
    writer.writeAttribute("columns", "0");
    writer.writeEmptyElement("grid");
    writer.writeAttribute("orientation", "orthogonal");
    writer.writeAttribute("width", "1");
    writer.writeAttribute("height", "1");
    const QDir tiles(QFileInfo(QString::fromStdString(output)).absoluteFilePath());
    for (size_t id = 0; id < files.size(); ++id) {
        writer.writeStartElement("tile");
        writer.writeAttribute("id", number(int32_t(id)));
        writer.writeEmptyElement("image");
        writer.writeAttribute("width", number(files[id]->tile.rect.width));
        writer.writeAttribute("height", number(files[id]->tile.rect.height));
        const QString file = tiles.filePath(QString::fromStdString(files[id]->file));
        writer.writeAttribute("source", folder.relativeFilePath(file));
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return tsx;
}

} // namespace

std::variant<QByteArray, std::string> tilesetTsx(const SheetReport& report, const std::string& tilesetPath,
                                                 const std::string& output)
{
    if (!isUtf8(report.path) || !isUtf8(tilesetPath) || !isUtf8(output))
        return std::string("Tiled can only open files whose names are UTF-8 text");
    const QDir folder = QFileInfo(QString::fromStdString(tilesetPath)).absoluteDir();
    if (!report.hasGrid) {
        for (const TileReport& tile : report.tiles)
            if (!isUtf8(tile.file))
                return std::string("Tiled can only open files whose names are UTF-8 text");
        return imageTileset(report, folder, output);
    }
    const std::string problem = tiledCutProblem(report);
    if (!problem.empty())
        return problem;
    return gridTileset(report, folder);
}

} // namespace cli
