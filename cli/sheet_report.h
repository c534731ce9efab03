#pragma once
// What became of each tile of one sheet: what a dry run prints, a manifest
// records and the last line counts.

#include "tiles/grid.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class TileStatus { Saved, Existing, Empty, Repeat, Speck };

// The status's word, as the dry run and the manifest write it.
inline const char* statusName(TileStatus status)
{
    switch (status) {
    case TileStatus::Saved:
        return "saved";
    case TileStatus::Existing:
        return "existing";
    case TileStatus::Empty:
        return "empty";
    case TileStatus::Repeat:
        return "repeat";
    case TileStatus::Speck:
        return "speck";
    }
    return "";
}

struct TileReport {
    tiles::GridTile tile;
    // The name in the output folder, extension included, folder not.
    std::string file;
    TileStatus status = TileStatus::Saved;
    // Repeat: the number of the first tile with the same pixels.
    int32_t repeatOf = 0;
    // With --trim: the part of rect that shows, which the tile's file holds.
    std::optional<tiles::PixelRect> shown = std::nullopt;
};

struct SheetReport {
    // The sheet as named on the command line.
    std::string path;
    int32_t width = 0;
    int32_t height = 0;
    // "bmp", "gif" or "png": what the file is, whatever its name.
    std::string format;
    // False when the tiles are the sheet's separate pictures: then options
    // and grid say nothing.
    bool hasGrid = true;
    tiles::GridOptions options;
    // The grid's measures; its tiles are the reports' own.
    tiles::Grid grid;
    // The options that give a grid found from the sheet, "" for one given.
    std::string found;
    // Islands: what lies between them, "transparent" or RRGGBB.
    std::string background;
    std::vector<TileReport> tiles;
    // How the tile files are made: each pixel a scale x scale block (--scale),
    // or none at all (--no-tiles).
    int32_t scale = 1;
    bool tilesWritten = true;
};

} // namespace cli
