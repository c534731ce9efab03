#pragma once
// The manifest of one sheet: which rectangle of the sheet each tile's file
// holds and what became of it, for the tools that load the tiles next.

#include "cli/sheet_report.h"

#include <QByteArray>

namespace cli {

// The JSON document, indented and ending with a newline: "sheet" (path, width,
// height, format), "grid" (tileWidth, tileHeight, margin and spacing as [x, y],
// columns, rows, first) and "tiles" in tile order (number, row, column, x, y,
// width, height, file, status, and repeatOf for a repeat). JSON holds Unicode
// text only, so bytes of a path or name that are not UTF-8 become U+FFFD.
QByteArray manifestJson(const SheetReport& report);

} // namespace cli
