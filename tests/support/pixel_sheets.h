#pragma once
// Sheets of ARGB pixels built in memory, for the rules that read a sheet's
// pixels: drawn from text, or a grid planted in a gutter colour.

#include "tiles/grid.h"
#include "tiles/sheet_pixels.h"

#include <map>
#include <string>
#include <vector>

struct PixelSheet {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> argb;

    PixelSheet(int32_t sheetWidth, int32_t sheetHeight, uint32_t colour = 0);
    uint32_t& at(int32_t x, int32_t y) { return argb[size_t(y) * size_t(width) + size_t(x)]; }
    uint32_t at(int32_t x, int32_t y) const { return argb[size_t(y) * size_t(width) + size_t(x)]; }
    void fill(const tiles::PixelRect& r, uint32_t colour);
    tiles::SheetPixels view() const { return {argb.data(), width, height, width}; }
};

// One string a row; '.' is transparent, any other character its colour in the palette.
PixelSheet drawnSheet(const std::vector<std::string>& rows, const std::map<char, uint32_t>& palette);

// A sheet of the gutter colour holding columns x rows cells where cutGrid puts
// them for these options, and `extraRight` and `extraBottom` pixels more.
struct PlantedGrid {
    PixelSheet sheet;
    std::vector<tiles::PixelRect> cells; // row by row
};
PlantedGrid plantGrid(const tiles::GridOptions& options, int32_t columns, int32_t rows, int32_t extraRight,
                      int32_t extraBottom, uint32_t gutter);
