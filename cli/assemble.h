#pragma once
// The way back from a cut: the tile files a manifest names put into one sheet
// again, each at its rectangle, with no window.

#include "cli/command_line.h"

#include <ostream>

namespace cli {

// Reads command.assembling.manifest, as --save-all --manifest writes it, and
// the tile files it names, and writes the sheet command.assembling.into whole
// or not at all (replacing a file only with replace, in one step). A saved
// tile comes from its file, a repeat from the file of the tile it repeats;
// what no tile file holds (margins, spacing, leftovers, empty tiles, and
// existing tiles, whose files were there before the cut and may hold other
// pixels) from the old sheet while it is there with the manifest's size, else
// from the background. A dry run reads and checks everything, prints where
// each tile would come from, and writes nothing. Anything that stops the
// sheet (a manifest that does not parse or lacks a field, a tile file missing,
// unreadable, of another size or outside the output folder, the sheet being
// the manifest or a tile) is named on err with its cause: exit 1, nothing
// written. Returns the exit status.
int assemble(const Command& command, std::ostream& out, std::ostream& err);

} // namespace cli
