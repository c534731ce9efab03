#pragma once
// The manifest of one sheet: which rectangle of the sheet each tile's file
// holds and what became of it, for the tools that load the tiles next.

#include "cli/sheet_report.h"

#include <functional>
#include <string>
#include <string_view>

namespace cli {

// The JSON document, indented and ending with a newline, handed to write in
// pieces: "sheet" (path, width, height, format), "output" (the output folder),
// "grid" (tileWidth, tileHeight, margin and spacing as [x, y], columns, rows,
// first, and found: the options of a grid found from the sheet), absent for
// tiles that are the sheet's pictures, which have "background" (transparent
// or RRGGBB) instead, and "tiles" in tile order, one a line
// (number, row, column, x, y, width, height, file, status, and repeatOf for a
// repeat; with --trim, "trim": the x, y, width and height of the file's pixels
// within the tile); a rectangle may reach past the sheet by a picture's pad.
// "scale" (--scale) and "tilesWritten": false (--no-tiles) when given. The sheet's path
// and the output folder are relative to the manifest's folder, a tile's file
// to the output folder, so that the manifest alone leads to every file. JSON
// holds Unicode text only, so bytes of a path or name that are not UTF-8
// become U+FFFD.
void manifestJson(const SheetReport& report, const std::string& manifestPath, const std::string& output,
                  const std::function<void(std::string_view)>& write);

} // namespace cli
