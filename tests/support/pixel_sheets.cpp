#include "support/pixel_sheets.h"

PixelSheet::PixelSheet(int32_t sheetWidth, int32_t sheetHeight, uint32_t colour)
    : width(sheetWidth), height(sheetHeight), argb(size_t(sheetWidth) * size_t(sheetHeight), colour)
{
}

void PixelSheet::fill(const tiles::PixelRect& r, uint32_t colour)
{
    for (int32_t y = r.y; y < r.y + r.height; ++y)
        for (int32_t x = r.x; x < r.x + r.width; ++x)
            at(x, y) = colour;
}

PixelSheet drawnSheet(const std::vector<std::string>& rows, const std::map<char, uint32_t>& palette)
{
    PixelSheet sheet(rows.empty() ? 0 : int32_t(rows.front().size()), int32_t(rows.size()));
    for (int32_t y = 0; y < sheet.height; ++y)
        for (int32_t x = 0; x < sheet.width; ++x) {
            const char c = rows[size_t(y)][size_t(x)];
            sheet.at(x, y) = c == '.' ? 0u : palette.at(c);
        }
    return sheet;
}

PlantedGrid plantGrid(const tiles::GridOptions& o, int32_t columns, int32_t rows, int32_t extraRight,
                      int32_t extraBottom, uint32_t gutter)
{
    const int32_t width = o.marginX + columns * o.tileWidth + (columns - 1) * o.spacingX + extraRight;
    const int32_t height = o.marginY + rows * o.tileHeight + (rows - 1) * o.spacingY + extraBottom;
    PlantedGrid planted{PixelSheet(width, height, gutter), {}};
    for (int32_t row = 0; row < rows; ++row)
        for (int32_t column = 0; column < columns; ++column)
            planted.cells.push_back({o.marginX + column * (o.tileWidth + o.spacingX),
                                     o.marginY + row * (o.tileHeight + o.spacingY), o.tileWidth, o.tileHeight});
    return planted;
}
