#pragma once
// Save all from a shell: every tile of a strip into a folder, with no window.

#include "cli/command_line.h"

#include <ostream>

namespace cli {

// Saves every tile of command.name into command.output as command.prefix, the
// tile's number and ".bmp", cut as the window's Save all cuts it at the
// Screen's twips per pixel and written the same way: a name that exists is
// skipped, never replaced. Ends with "saved N, skipped M existing, in FOLDER"
// on out; a failure is named on err, where progress shows too when err is a
// terminal. Returns the exit status.
int saveAll(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal);

} // namespace cli
