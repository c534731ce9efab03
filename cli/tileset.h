#pragma once
// A Tiled tileset for a sheet: Tiled's own file that points at the sheet and
// says how to cut it, so a map editor shows the same tiles we wrote.

#include "cli/sheet_report.h"

#include <QByteArray>
#include <string>
#include <variant>

namespace cli {

// The external tileset (TSX) to write at tilesetPath. For a grid: the sheet's
// tile size, margin, spacing, tile count and columns, and the sheet as its
// image by a path relative to the tileset's folder; or why Tiled would cut the
// sheet otherwise (it takes one margin and one spacing for both axes and cuts
// whole tiles only). A grid's tileset reads the sheet's name, size, options
// and grid, never the tiles' fates, so it can be asked before any tile is
// written. For tiles with no grid (islands): a collection of images, one per
// tile file in output that is there after the run (saved or existing). Either
// refuses names Tiled could not open.
std::variant<QByteArray, std::string> tilesetTsx(const SheetReport& report, const std::string& tilesetPath,
                                                 const std::string& output);

} // namespace cli
