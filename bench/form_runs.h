#pragma once
// The one-shot runs the benchmark starts as child processes. Each starts the
// runtime and the real form on the Qt platform it is given ("offscreen", or
// "xcb" for a real window on $DISPLAY), does one job, prints
// its inner timings on stdout as "name value" lines and exits; a failure is
// told on stderr with a non-zero exit code.

#include <map>
#include <string>

namespace bench {

// Starts the runtime and the form, shows it and exits: the program's idle size.
int runIdle(int argc, char** argv, const std::string& platformName);

// Loads the strip through the file list, sets the output folder and the
// prefix, and presses Save all. Prints load_ms and save_all_ms.
int runSaveAll(int argc, char** argv, const std::string& platformName, const std::string& strip,
               const std::string& outDir, const std::string& prefix);

// Loads the strip through the file list and picks every tile in turn, letting
// the window repaint after each. Prints load_ms, shown_ms, pick_ms, pick_max_ms and picks.
int runLoadPick(int argc, char** argv, const std::string& platformName, const std::string& strip);

// Opens the folder in the folder list, which the file list follows, and waits
// for the window to show it; then scrolls the file list to its end, types a
// letter and presses the down arrow. Prints shown_ms, entries, scroll_ms,
// type_ms and arrow_ms (per press).
int runShowFolder(int argc, char** argv, const std::string& platformName, const std::string& folder);

// The "name value" lines of a run's stdout; other lines are ignored.
using Timings = std::map<std::string, double>;
Timings parseTimings(const std::string& out);

} // namespace bench
