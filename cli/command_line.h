#pragma once
// What the command line asks for: the window, with a file or folder to open,
// the batch Save all, or a text to print.

#include "cli/atlas.h"
#include "cli/tile_names.h"
#include "platform/picture.h"
#include "tiles/grid.h"
#include "tiles/islands.h"
#include "tiles/sheet_pixels.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit status: done; a picture could not be read or a tile not written; the
// command line itself was wrong.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The widest --pad: it keeps a tile's size far from what 32 bits hold.
constexpr int32_t kWidestPad = 1024;

enum class Action { OpenWindow, ShowHelp, ShowVersion, SaveAll, Assemble, Misuse };

// Where a sheet's tiles come from: the grid the options give (the strip rule
// without --tile), the grid found from the sheet's gutters, or the sheet's
// separate pictures.
enum class Source { Grid, FoundGrid, Islands };

// SaveAll: how the sheets are cut, what the tiles are named and what else is
// written beside them.
struct Cutting {
    Source source = Source::Grid;
    // Grid: all of it; FoundGrid: --partial and --first only.
    tiles::GridOptions grid;
    // FoundGrid and Islands: how far apart two colours may be and still count as one.
    int32_t tolerance = tiles::kDefaultTolerance;
    // Islands: what tells a picture from its background, and which pictures
    // are one; tolerance comes from above.
    tiles::IslandOptions islands;
    // Islands: transparent pixels around each picture's box.
    int32_t pad = 0;
    platform::FileFormat format = platform::FileFormat::Bmp;
    NameTemplate names = std::get<NameTemplate>(NameTemplate::parse(kDefaultNameTemplate));
    // Print what would become of each tile, and write nothing.
    bool dryRun = false;
    // The files to write for each sheet, "" for none; "{stem}" stands for the sheet's.
    std::string manifest;
    std::string tileset;
    // A PNG picture of the cut, written even in a dry run, "" for none.
    std::string overlay;
    // Leave out tiles that are all transparent, or all this colour (0xRRGGBB).
    bool skipEmpty = false;
    std::optional<uint32_t> emptyColour;
    // Leave out tiles whose pixels equal an earlier tile's.
    bool unique = false;
    // What an engine loads beside the sheet, and the animations it plays.
    std::vector<AtlasRequest> atlases;
    Animations animations;
    // Decide every tile's fate but write no tile file, only the files above.
    bool noTiles = false;
    // Tile files without their fully transparent borders, and enlarged.
    bool trim = false;
    int32_t scale = 1;
};

// Assemble: the way back from a cut, tiles put into one sheet again.
struct Assembling {
    // The manifest a cut wrote, and the sheet to write from it.
    std::string manifest;
    std::string into;
    platform::FileFormat format = platform::FileFormat::Png;
    // Replace an existing sheet of that name; without it, a taken name fails.
    bool replace = false;
    // Print where each tile's pixels would come from, and write nothing.
    bool dryRun = false;
    // The colour (0xRRGGBB) of what no tile covers once the old sheet is gone.
    std::optional<uint32_t> background;
};

struct Command {
    Action action = Action::OpenWindow;
    // OpenWindow: the file or folder to open, or empty.
    std::string name;
    // SaveAll: the sheets, the output folder and the prefix of the names.
    std::vector<std::string> sheets;
    std::string output;
    std::string prefix;
    Cutting cutting;
    Assembling assembling;
    // Misuse: what is wrong.
    std::string problem;
};

// The arguments as the program got them, its own name first; any bytes, so a
// file name that is no valid text still names its file.
Command parse(const std::vector<std::string>& arguments);

// The full help, for --help; the short usage, for a wrong command line.
std::string helpText();
std::string usageText();
std::string versionText();

// Runs what needs no window (prints a text, or cuts a strip) and returns the
// exit status; nothing for the window.
std::optional<int> runWithoutWindow(const Command& command, int& argc, char** argv);

} // namespace cli
