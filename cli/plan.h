#pragma once
// A cut worked out before anything is written: every sheet with its tiles as
// named rectangles in order, and every file the run would write resolved as a
// file. The tile files, the manifest, the tileset, the atlases and the dry run
// all read it.

#include "cli/command_line.h"
#include "cli/sheet_report.h"
#include "platform/picture.h"
#include "platform/picture_contents.h"
#include "tiles/islands.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// A run holds its whole plan at once; this many tiles keep it, and what the
// run keeps of each tile, within about 256 MiB.
constexpr int64_t kMostTiles = int64_t(1) << 20;

struct SheetPlan {
    SheetReport report;
    // Let go from the plan to the cut when there are several sheets, so that
    // one is held at a time.
    platform::Picture picture;
    // What the sheet's manifest, tileset and overlay are named, "" for none.
    std::string manifest;
    std::string tileset;
    std::string overlay;
    // Islands: whose each pixel is, the tiles' pictures in order, and a pixel
    // of the background to fill the rest of a tile with. Held with the picture.
    tiles::Islands islands;
    std::optional<platform::PixelAt> blank;
    // The sheet's atlases, their names resolved.
    std::vector<AtlasRequest> atlases;
};

struct Plan {
    // The sheets that could be read, in the command line's order.
    std::vector<SheetPlan> sheets;
    // Why a sheet could not be read: it is left out, and the others are cut.
    std::vector<std::string> unreadable;
    // Why a file cannot be written, one line per folder: nothing is written then.
    std::vector<std::string> cannotWrite;
};

// What the command line asks that cannot be done: the run ends before it
// writes anything.
struct Refusal {
    std::string what;
};

// The sheet as the run reads it: PNG tiles keep the sheet's own kind of
// pixels; BMP tiles are drawn as the window draws them.
platform::Picture loadSheet(const std::string& path, platform::FileFormat format);

// Reads every sheet and plans its cut. Throws a Refusal for options, names or
// files that cannot be: a grid with no tile, more than kMostTiles tiles,
// names that are empty, too long or shared, tags or names an atlas cannot
// hold, a manifest, tileset or atlas that is a tile's file, a sheet or another
// such file.
Plan makePlan(const Command& command);

// Finds the sheet's pictures again, for a sheet read again to be cut.
void findIslands(SheetPlan& sheet, const Cutting& cutting);

// The file a tile is written to.
std::string targetOf(const TileReport& tile, const Command& command);

} // namespace cli
