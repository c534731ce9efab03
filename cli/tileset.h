#pragma once
// A Tiled tileset for a sheet: Tiled's own file that points at the sheet and
// says how to cut it, so a map editor shows the same tiles we wrote.

#include "cli/sheet_report.h"

#include <QByteArray>
#include <string>
#include <variant>

namespace cli {

// The external tileset (TSX) to write at tilesetPath: the sheet's tile size,
// margin, spacing, tile count and columns, and the sheet as its image by a path
// relative to the tileset's folder. Or why Tiled would cut the sheet otherwise
// (it takes one margin and one spacing for both axes and cuts whole tiles only)
// or could not open it. Reads the sheet's name, size, options and grid, never
// the tiles' fates, so it can be asked before any tile is written.
std::variant<QByteArray, std::string> tilesetTsx(const SheetReport& report, const std::string& tilesetPath);

} // namespace cli
