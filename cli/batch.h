#pragma once
// Save all from a shell: every tile of one or more sheets into a folder, with
// no window.

#include "cli/command_line.h"

#include <ostream>

namespace cli {

// Cuts each of command.sheets as its plan says (see plan.h) and saves the
// tiles into command.output under the names its template gives: a name that
// exists is skipped, never replaced. Everything is planned before anything is
// written: options, names or files that cannot be refuse the whole run (exit
// 2); a folder that cannot be written ends it before its first tile (exit 1).
// A sheet that cannot be read is named on err, and the others are still cut.
// With the default options, the tiles are the window's Save all's at the
// Screen's twips per pixel, byte for byte. The files are flushed to disk, then
// "saved N, skipped M existing, in FOLDER" ends the run on out (a dry run, the
// same run without writes, prints each tile's fate instead); progress shows on
// err when err is a terminal. Returns the exit status.
int saveAll(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal);

} // namespace cli
