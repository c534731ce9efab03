#include "support/sheet_reports.h"

cli::SheetReport reportByHand(int32_t sheetWidth, int32_t sheetHeight, const tiles::GridOptions& options,
                              int32_t columns, int32_t rows)
{
    cli::SheetReport report;
    report.path = "sheet.png";
    report.width = sheetWidth;
    report.height = sheetHeight;
    report.format = "png";
    report.options = options;
    report.grid.tileWidth = options.tileWidth;
    report.grid.tileHeight = options.tileHeight;
    report.grid.columns = columns;
    report.grid.rows = rows;
    for (int32_t row = 0; row < rows; ++row) {
        for (int32_t column = 0; column < columns; ++column) {
            tiles::GridTile tile;
            tile.number = options.first + row * columns + column;
            tile.row = options.first + row;
            tile.column = options.first + column;
            tile.rect = {options.marginX + column * (options.tileWidth + options.spacingX),
                         options.marginY + row * (options.tileHeight + options.spacingY), options.tileWidth,
                         options.tileHeight};
            report.tiles.push_back({tile, std::to_string(tile.number) + ".png", cli::TileStatus::Saved, 0});
        }
    }
    return report;
}
