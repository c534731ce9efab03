#pragma once
// Save all from a shell: every tile of one or more sheets into a folder, with
// no window.

#include "cli/command_line.h"

#include <ostream>

namespace cli {

// Cuts each of command.sheets through the pixel grid its options give and saves
// the tiles into command.output under the names its template gives: a name
// that exists is skipped, never replaced. Every sheet's grid and names are
// worked out before anything is written; a wrong one refuses the whole run.
// A sheet that cannot be read is named on err, and the others are still cut.
// With the default options, the tiles are the window's Save all's at the
// Screen's twips per pixel, byte for byte. Ends with "saved N, skipped M
// existing, in FOLDER" on out (a dry run prints each tile's fate instead);
// progress shows on err when err is a terminal. Returns the exit status.
int saveAll(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal);

} // namespace cli
