// Quorvel's benchmark: Save all and the tile pick on generated strips, each run
// as a whole process on the offscreen platform and in a real window on a
// private Xvfb, beside ImageMagick and GraphicsMagick cutting the same strips
// and plain system calls writing files of the same size; a large sprite sheet
// cut into PNG tiles by the program itself, beside libvips and plain writes,
// and put back together from them, beside libvips joining the same tiles;
// the tiles of two large sheets found (islands, and a grid from its gutters)
// in a dry run, against a run that only decodes the sheet, the islands beside
// ImageMagick's connected components; and a folder of 100,000 files shown in the window beside a plain scan of it.
// Run without arguments (or with --runs N, --work FOLDER, --keep, --convert
// PROGRAM, --gm PROGRAM, --vips PROGRAM, --quorvel PROGRAM, --only TEXT); the
// --idle, --save-all, --load-pick and --show-folder modes are the child
// processes it starts.
#include "bench/display.h"
#include "bench/files.h"
#include "bench/form_runs.h"
#include "bench/process.h"
#include "bench/stats.h"
#include "tiles/tile_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace bench;

namespace {

constexpr int kDefaultRuns = 5;
// A loaded picture is held as 32-bit pixels.
constexpr double kBytesPerPixel = 4;
constexpr double kKiB = 1024;
constexpr double kMiB = 1024 * 1024;
constexpr double kMicrosPerMilli = 1000;

constexpr double kMaxTileCostToPlainFile = 3.0;
// Cutting a sheet, as a whole process: against writing as many files plainly,
// and peak memory against the sheet's decoded pixels (no idle size added).
constexpr double kMaxSheetToPlainFiles = 1.5;
constexpr double kMaxSheetPictureSizes = 2.0;
// The sheet's cells, and the tiles it is cut into.
constexpr int kSheetCell = 16;
// Finding the tiles, the dry run's time over a run that only decodes the
// sheet, against that decoding time: finding must cost less than reading.
constexpr double kMaxIslandsFinding = 2.0;
constexpr double kMaxGridFinding = 0.25;
// The islands sheet: sprites of 6 to 40 pixels a side, as a packed atlas of
// small game sprites holds.
constexpr int kIslands = 20000;
constexpr int kMinSprite = 6;
constexpr int kMaxSprite = 40;
// The gutter sheet's tiles: 31 pixels and a gutter make 128 across 4096.
constexpr int kGutterTile = 31;
constexpr double kMaxLoadMs = 100;
constexpr double kMaxPictureSizes = 3.0;
constexpr double kMaxFolderShownMs = 300;
constexpr double kMaxFolderMiBOverIdle = 40;
// Scrolling, typing a letter and an arrow key must feel immediate.
constexpr double kMaxInteractionMs = 50;

const char* const kPrefix = "tile";
// The packaged programs rather than whatever wrapper comes first on PATH.
const char* const kDefaultConvert = "/usr/bin/convert";
const char* const kDefaultGm = "/usr/bin/gm";
const char* const kDefaultVips = "/usr/bin/vips";

const char* const kOffscreen = "offscreen";
const char* const kRealWindow = "xcb";
const std::vector<std::string> kPicturePatterns = {"*.bmp", "*.gif"};

// SaveAll runs the form's Save all on a strip; CutSheet runs the program's
// batch mode on a sheet of sprites, into PNG tiles; AssembleSheet puts such
// tiles back into one sheet by their manifest; FindTiles finds a sheet's
// tiles in a dry run.
enum class Job { SaveAll, CutSheet, AssembleSheet, FindTiles, LoadPick, ShowFolder };
enum class Finder { None, Islands, Grid };
// Which of the cutting tools a Save all's whole process is compared with.
enum class Peer { None, FasterTool, GraphicsMagick, Vips };

struct BenchCase {
    std::string title;
    Job job;
    const char* platformName;
    int width;  // of the strip, or the files in the folder
    int height; // of the strip
    Peer peer = Peer::None;
    double maxRatioToPeer = 0;
    Finder finder = Finder::None;
    double maxFindingToDecode = 0;

    bool cuts() const { return job == Job::SaveAll || job == Job::CutSheet; }
    bool sheet() const { return job == Job::CutSheet || job == Job::AssembleSheet || job == Job::FindTiles; }
    int tileWidth() const { return sheet() ? kSheetCell : tiles::baseTileWidth(height); }
    int tileHeight() const { return sheet() ? kSheetCell : height; }
};

const BenchCase kCases[] = {
    {"Save all: 1,000 tiles of 16x16, offscreen", Job::SaveAll, kOffscreen, 16000, 16, Peer::FasterTool, 1.0},
    {"Save all: 1,000 tiles of 16x16, real window", Job::SaveAll, kRealWindow, 16000, 16, Peer::FasterTool, 1.2},
    {"Save all: 10,000 tiles of 16x16, offscreen", Job::SaveAll, kOffscreen, 160000, 16},
    {"Save all: 10,000 tiles of 16x16, real window", Job::SaveAll, kRealWindow, 160000, 16, Peer::GraphicsMagick,
     1.0},
    {"Save all: 500 tiles of 64x64, offscreen", Job::SaveAll, kOffscreen, 32000, 64},
    {"Cut a sheet: 65,536 PNG tiles of 16x16, batch mode", Job::CutSheet, kOffscreen, 4096, 4096, Peer::Vips, 0.5},
    {"Put a sheet back: 65,536 PNG tiles of 16x16, batch mode", Job::AssembleSheet, kOffscreen, 4096, 4096,
     Peer::Vips, 0.5},
    {"Find islands: 20,000 sprites on 4096x4096, dry run", Job::FindTiles, kOffscreen, 4096, 4096, Peer::None, 0,
     Finder::Islands, kMaxIslandsFinding},
    {"Find the grid: 16,384 tiles of 31x31 on 4096x4096, dry run", Job::FindTiles, kOffscreen, 4096, 4096,
     Peer::None, 0, Finder::Grid, kMaxGridFinding},
    {"Load and pick: a 16000x256 strip, offscreen", Job::LoadPick, kOffscreen, 16000, 256},
    {"Folder of 100,000 files, real window", Job::ShowFolder, kRealWindow, 100000, 0},
};

struct Options {
    int runs = kDefaultRuns;
    fs::path work;
    bool keep = false;
    std::string convert;
    std::string gm;
    std::string vips;
    std::string quorvel;
    // Runs only the cases whose title holds this text.
    std::string only;
    std::string self;
};

// The system's one-minute load average: other work on the machine slows file
// creation most of all, so a reader should know how busy it was.
double loadAverage()
{
    double load = 0;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

std::string firstLine(const std::string& text)
{
    const std::string line = text.substr(0, text.find('\n'));
    return line.empty() ? "no message" : line;
}

// The runs of one program on one strip.
struct Series {
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
    long peakKiB = 0;
    std::map<std::string, std::vector<double>> inner;
    std::string failure;

    bool ran() const { return failure.empty() && !wallMs.empty(); }
    double wall() const { return median(wallMs); }
    double peakMiB() const { return peakKiB * kKiB / kMiB; }
    double innerMs(const std::string& name) const
    {
        const auto found = inner.find(name);
        return found == inner.end() ? 0 : median(found->second);
    }
    // Keeps a successful run; a failed one stops the series with its reason.
    bool add(const ProcessResult& result, const std::string& program)
    {
        if (result.exitCode == kCannotStart)
            failure = program + " cannot be started";
        else if (!result.ok())
            failure = firstLine(result.err);
        if (!failure.empty())
            return false;
        wallMs.push_back(result.wallMs);
        cpuMs.push_back(result.cpuMs);
        peakKiB = std::max(peakKiB, result.peakRssKiB);
        for (const auto& [name, value] : parseTimings(result.out))
            inner[name].push_back(value);
        return true;
    }
};

enum class ToolKind { ImageMagick, GraphicsMagick, Vips };

struct Tool {
    std::string name;
    std::vector<std::string> argv; // before the strip's own arguments are added
    ToolKind kind;
};

// The strips are cut by ImageMagick and GraphicsMagick into BMP files, the
// sheet by libvips into PNG files (one folder a row, the tiles of square size).
std::vector<std::string> cropCommand(const Tool& tool, const fs::path& strip, int tileWidth, int tileHeight,
                                     const fs::path& out)
{
    std::vector<std::string> argv = tool.argv;
    if (tool.kind == ToolKind::Vips) {
        argv.insert(argv.end(), {"dzsave", strip.string(), (out / "vips").string(), "--layout", "google",
                                 "--tile-size", std::to_string(tileWidth), "--overlap", "0", "--depth", "one",
                                 "--suffix", ".png"});
        return argv;
    }
    const std::string geometry = std::to_string(tileWidth) + "x" + std::to_string(tileHeight);
    const std::string pattern = (out / "out_%d.bmp").string();
    const bool graphicsMagick = tool.kind == ToolKind::GraphicsMagick;
    argv.insert(argv.end(), {strip.string(), "-crop", geometry, graphicsMagick ? "+adjoin" : "+repage", pattern});
    return argv;
}

// libvips joining the tiles of a sheet (prefix1.png ... row by row, across
// in a row) into one PNG, deflated at the program's level 1. One argument
// cannot hold 65,536 names, so it joins a row at a time, then the rows; the
// rows are TIFF files, as libvips 8.14 fails joining its own .v files.
std::vector<std::string> joinCommand(const Tool& tool, const fs::path& tiles, int across, int count,
                                     const fs::path& out)
{
    const char* const script = R"(vips=$1 tiles=$2 across=$3 count=$4 out=$5
n=1 row=0 rows=
while [ $n -le $count ]; do
  names= end=$((n + across))
  while [ $n -lt $end ]; do names="${names:+$names }$tiles/tile$n.png"; n=$((n + 1)); done
  "$vips" arrayjoin "$names" "$out/row$row.tif" --across "$across" || exit 1
  rows="${rows:+$rows }$out/row$row.tif"; row=$((row + 1))
done
exec "$vips" arrayjoin "$rows" "$out/sheet.png[compression=1]" --across 1)";
    return {"/bin/sh", "-c", script, "sh", tool.argv.front(), tiles.string(), std::to_string(across),
            std::to_string(count), out.string()};
}

// ImageMagick labelling the islands of a sheet: its alpha alone, so that a
// sprite's shades make one component as they make one island, and each
// component listed with its box, as the dry run lists each tile.
std::vector<std::string> componentsCommand(const Tool& tool, const fs::path& sheet)
{
    std::vector<std::string> argv = tool.argv;
    argv.insert(argv.end(), {sheet.string(), "-alpha", "extract", "-define", "connected-components:verbose=true",
                             "-connected-components", "8", "null:"});
    return argv;
}

struct CaseResult {
    const BenchCase* benchCase;
    int tiles;
    std::uintmax_t tileBytes;
    Series quorvel;
    std::vector<std::pair<const Tool*, Series>> tools;
    // The sheet whose tiles are put back.
    fs::path sheet;
    // The same program only decoding the sheet, in the same rounds.
    Series decode;
    // Plain file writes of as many tiles, or plain scans of the folder.
    std::vector<double> plainMs;
    std::string plainFailure;

    double pictureMiB() const { return benchCase->width * double(benchCase->height) * kBytesPerPixel / kMiB; }
    // What finding the tiles costs over decoding the sheet, as a share of decoding.
    double findingToDecode() const { return pairedRatio(quorvel.wallMs, decode.wallMs) - 1; }
    double plainPerFileUs() const { return median(plainMs) / tiles * kMicrosPerMilli; }
    double saveAllPerTileUs() const { return quorvel.innerMs("save_all_ms") / tiles * kMicrosPerMilli; }
    std::vector<double> saveAllMs() const
    {
        const auto found = quorvel.inner.find("save_all_ms");
        return found == quorvel.inner.end() ? std::vector<double>() : found->second;
    }
    // Round by round, the wall time of the faster of the tools that cut the
    // strip (or of GraphicsMagick alone); empty when none could.
    std::vector<double> peerMs(Peer peer) const
    {
        std::vector<double> faster;
        for (const auto& [tool, series] : tools) {
            const bool named = peer == Peer::GraphicsMagick || peer == Peer::Vips;
            const ToolKind kind = peer == Peer::Vips ? ToolKind::Vips : ToolKind::GraphicsMagick;
            if (!series.ran() || (named && tool->kind != kind))
                continue;
            if (faster.empty())
                faster = series.wallMs;
            for (size_t i = 0; i < std::min(faster.size(), series.wallMs.size()); ++i)
                faster[i] = std::min(faster[i], series.wallMs[i]);
        }
        return faster;
    }
};

void runQuorvel(const Options& options, const BenchCase& benchCase, const fs::path& input, const fs::path& out,
                CaseResult& result)
{
    std::vector<std::string> argv{options.self};
    switch (benchCase.job) {
    case Job::SaveAll:
        argv.insert(argv.end(), {"--save-all", benchCase.platformName, input.string(), out.string(), kPrefix});
        break;
    case Job::CutSheet:
        argv = {options.quorvel, "--save-all", input.string(), "--output", out.string(), "--prefix", kPrefix,
                "--tile", std::to_string(kSheetCell) + "x" + std::to_string(kSheetCell), "--format", "png"};
        break;
    case Job::AssembleSheet:
        argv = {options.quorvel, "--assemble", input.string(), "--into", (out / "sheet.png").string()};
        break;
    case Job::LoadPick:
        argv.insert(argv.end(), {"--load-pick", benchCase.platformName, input.string()});
        break;
    case Job::ShowFolder:
        argv.insert(argv.end(), {"--show-folder", benchCase.platformName, input.string()});
        break;
    case Job::FindTiles:
        return; // runFindRounds runs these
    }
    if (!result.quorvel.add(runProcess(argv), argv.front()))
        return;
    // A sheet put back wrong must not pass for a fast one: checked once.
    if (benchCase.job == Job::AssembleSheet && result.quorvel.wallMs.size() == 1)
        result.quorvel.failure = checkSamePixels(out / "sheet.png", result.sheet);
    if (!benchCase.cuts())
        return;
    // A Save all that wrote the wrong files must not pass for a fast one.
    if (benchCase.job == Job::SaveAll) {
        result.quorvel.failure = checkTiles(out, kPrefix, result.tiles, result.tileBytes);
        return;
    }
    // Every tile's pixels once, the names and sizes every round; the plain
    // writes then write files of the tiles' mean size.
    const bool firstRun = result.quorvel.wallMs.size() == 1;
    result.quorvel.failure = checkSheetTiles(out, kPrefix, input, kSheetCell, firstRun);
    std::uintmax_t bytes = 0;
    if (firstRun && result.quorvel.failure.empty() && filesBelow(out, &bytes) > 0)
        result.tileBytes = bytes / filesBelow(out);
}

// The dry run that finds the case's tiles; with decodeOnly, the same run with
// the whole sheet as its one tile, which decodes it and finds nothing.
std::vector<std::string> findCommand(const Options& options, const BenchCase& benchCase, const fs::path& sheet,
                                     const fs::path& out, bool decodeOnly)
{
    std::vector<std::string> argv{options.quorvel, "--save-all", sheet.string(), "--output", out.string(), "--dry-run"};
    if (decodeOnly)
        argv.insert(argv.end(), {"--tile", std::to_string(benchCase.width) + "x" + std::to_string(benchCase.height)});
    else if (benchCase.finder == Finder::Islands)
        argv.push_back("--islands");
    else
        argv.insert(argv.end(), {"--tile", "auto"});
    return argv;
}

// Why the dry run did not list count tiles, each to be saved; empty when it did.
std::string checkListing(const ProcessResult& run, int count)
{
    if (!run.ok())
        return firstLine(run.err);
    const std::string saved = " saved";
    int lines = 0;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line); ++lines) {
        if (line.size() < saved.size() || line.compare(line.size() - saved.size(), saved.size(), saved) != 0)
            return "the dry run listed \"" + line + "\"";
    }
    if (lines != count)
        return "the dry run listed " + std::to_string(lines) + " tiles, not " + std::to_string(count);
    return {};
}

// A finder that found other tiles must not pass for a fast one: checked once,
// untimed, with its listing read. So is the run that only decodes.
std::string checkFound(const Options& options, const BenchCase& benchCase, const fs::path& sheet, const fs::path& out,
                       int tiles)
{
    const ProcessResult found = runProcess(findCommand(options, benchCase, sheet, out, false));
    if (std::string why = checkListing(found, tiles); !why.empty())
        return why;
    const std::string grid =
        "found the grid --tile " + std::to_string(kGutterTile) + "x" + std::to_string(kGutterTile) + " --spacing 1";
    if (benchCase.finder == Finder::Grid && found.err.find(grid) == std::string::npos)
        return "not " + grid + ": " + firstLine(found.err);
    if (std::string why = checkListing(runProcess(findCommand(options, benchCase, sheet, out, true)), 1); !why.empty())
        return "decoding alone: " + why;
    return {};
}

void runTool(const Tool& tool, const fs::path& strip, int tileWidth, int tileHeight, int tiles,
             const fs::path& out, Series& series)
{
    if (!series.add(runProcess(cropCommand(tool, strip, tileWidth, tileHeight, out)), tool.argv.front()))
        return;
    const std::uintmax_t written = filesBelow(out);
    if (written < std::uintmax_t(tiles))
        series.failure = "wrote only " + std::to_string(written) + " files";
}

void printSeries(const char* name, const Series& series, int tiles)
{
    if (!series.ran()) {
        std::printf("  %-15s failed: %s\n", name, series.failure.c_str());
        return;
    }
    std::printf("  %-15s %9.1f ms  %8.1f us/tile  cpu %8.1f ms  peak %6.1f MiB", name, series.wall(),
                series.wall() / tiles * kMicrosPerMilli, median(series.cpuMs), series.peakMiB());
}

void printCase(const CaseResult& r)
{
    const BenchCase& benchCase = *r.benchCase;
    const bool saveAll = benchCase.cuts();
    if (benchCase.job == Job::ShowFolder)
        std::printf("\n%s (%d files)\n", benchCase.title.c_str(), benchCase.width);
    else
        std::printf("\n%s (%s %dx%d, %d tiles, picture %.1f MiB)\n", benchCase.title.c_str(),
                    benchCase.sheet() ? "sheet" : "strip", benchCase.width, benchCase.height, r.tiles,
                    r.pictureMiB());
    printSeries("quorvel", r.quorvel, r.tiles);
    if (r.quorvel.ran()) {
        switch (benchCase.job) {
        case Job::SaveAll:
            std::printf("   load %.1f ms, Save all %.1f ms = %.1f us/tile\n", r.quorvel.innerMs("load_ms"),
                        r.quorvel.innerMs("save_all_ms"), r.saveAllPerTileUs());
            break;
        case Job::CutSheet:
            std::printf("   (the program itself, no window)\n");
            break;
        case Job::AssembleSheet:
            std::printf("   (the program itself, no window; libvips joins a row at a time, then the rows)\n");
            break;
        case Job::FindTiles:
            std::printf("   (the program itself, no window, stdout to /dev/null)\n");
            printSeries("decode only", r.decode, r.tiles);
            if (r.decode.ran())
                std::printf("\n   (--tile %dx%d --dry-run: one tile); finding costs %.2fx the decoding\n",
                        benchCase.width, benchCase.height, r.findingToDecode());
            break;
        case Job::LoadPick:
            std::printf("   load %.1f ms, shown %.1f ms, pick %.2f ms (slowest %.2f ms) x %.0f\n",
                        r.quorvel.innerMs("load_ms"), r.quorvel.innerMs("shown_ms"), r.quorvel.innerMs("pick_ms"),
                        r.quorvel.innerMs("pick_max_ms"), r.quorvel.innerMs("picks"));
            break;
        case Job::ShowFolder:
            std::printf("   shown %.1f ms (%.0f entries), scroll to the end %.1f ms, a letter typed %.1f ms, "
                        "an arrow key %.1f ms\n",
                        r.quorvel.innerMs("shown_ms"), r.quorvel.innerMs("entries"), r.quorvel.innerMs("scroll_ms"),
                        r.quorvel.innerMs("type_ms"), r.quorvel.innerMs("arrow_ms"));
            break;
        }
    }
    for (const auto& [tool, series] : r.tools) {
        if (!series.ran()) {
            std::printf("  %-15s refused or failed, left out of the comparison: %s\n", tool->name.c_str(),
                        series.failure.c_str());
            continue;
        }
        printSeries(tool->name.c_str(), series, r.tiles);
        if ((saveAll || benchCase.job == Job::AssembleSheet || benchCase.job == Job::FindTiles) && r.quorvel.ran())
            std::printf("   quorvel/%s %.2f (cpu %.2f)\n", tool->name.c_str(), pairedRatio(r.quorvel.wallMs, series.wallMs),
                        pairedRatio(r.quorvel.cpuMs, series.cpuMs));
        else
            std::printf("   (crop only; quorvel saved nothing here)\n");
    }
    if (!r.plainFailure.empty())
        std::printf("  %-15s failed: %s\n", saveAll ? "plain files" : "plain scan", r.plainFailure.c_str());
    else if (saveAll && !r.plainMs.empty())
        std::printf("  %-15s %9.1f ms  %8.1f us/file  (open, write %ju bytes, close)\n", "plain files",
                    median(r.plainMs), r.plainPerFileUs(), r.tileBytes);
    else if (!r.plainMs.empty())
        std::printf("  %-15s %9.1f ms  (readdir, the same patterns, no window)\n", "plain scan", median(r.plainMs));
    std::fflush(stdout);
}

// A new empty folder below out for one run of one program. Runs never write
// where files were just deleted: ext4 passes over inodes freed in the last
// minutes when it makes new files, which made 65,536 new files cost ten times
// what they cost on a disk that had deleted none. The case removes them all
// at its end.
fs::path runFolder(const fs::path& out, int run, const std::string& program)
{
    const fs::path folder = out / (program + "-" + std::to_string(run));
    makeEmptyFolder(folder);
    return folder;
}

// The dry run, decoding alone and ImageMagick in turns, round by round, each
// with its stdout to /dev/null.
void runFindRounds(const Options& options, const BenchCase& benchCase, const fs::path& sheet, const fs::path& out,
                   CaseResult& result)
{
    for (int run = 0; run < options.runs; ++run) {
        if (result.quorvel.failure.empty())
            result.quorvel.add(
                runProcess(findCommand(options, benchCase, sheet, runFolder(out, run, "quorvel"), false), true),
                options.quorvel);
        if (result.decode.failure.empty())
            result.decode.add(
                runProcess(findCommand(options, benchCase, sheet, runFolder(out, run, "decode"), true), true),
                options.quorvel);
        for (auto& [tool, series] : result.tools) {
            if (series.failure.empty())
                series.add(runProcess(componentsCommand(*tool, sheet), true), tool->argv.front());
        }
    }
    if (result.quorvel.failure.empty() && !result.decode.failure.empty())
        result.quorvel.failure = "decoding alone: " + result.decode.failure;
}

// Runs every program of a case in turns, round by round, so a slow moment of
// the disk is shared out.
void runRounds(const Options& options, const BenchCase& benchCase, const fs::path& input, const fs::path& out,
               CaseResult& result)
{
    for (int run = 0; run < options.runs; ++run) {
        if (result.quorvel.failure.empty())
            runQuorvel(options, benchCase, input, runFolder(out, run, "quorvel"), result);
        for (auto& [tool, series] : result.tools) {
            if (!series.failure.empty())
                continue;
            if (benchCase.job == Job::AssembleSheet)
                series.add(runProcess(joinCommand(*tool, input.parent_path() / "tiles", benchCase.width / kSheetCell,
                                                  result.tiles, runFolder(out, run, tool->name))),
                           tool->argv.front());
            else
                runTool(*tool, input, benchCase.tileWidth(), benchCase.tileHeight(), result.tiles,
                        runFolder(out, run, tool->name), series);
        }
        if (!result.plainFailure.empty() || benchCase.job == Job::AssembleSheet)
            continue;
        double ms = 0;
        if (benchCase.cuts() && result.tileBytes == 0) {
            continue; // no tile written yet to take the size of
        } else if (benchCase.cuts()) {
            ms = writePlainFiles(runFolder(out, run, "plain"), result.tiles, result.tileBytes);
        } else if (benchCase.job == Job::ShowFolder) {
            int matched = 0;
            ms = scanFolder(input, kPicturePatterns, matched);
        }
        if (ms < 0)
            result.plainFailure = "cannot write or read the folder";
        else if (benchCase.job != Job::LoadPick)
            result.plainMs.push_back(ms);
    }
}

CaseResult runCase(const Options& options, const std::vector<Tool>& tools, const BenchCase& benchCase,
                   const std::string& display)
{
    CaseResult result{&benchCase, 0, 0, {}, {}, {}, {}, {}, {}};
    if (std::string(benchCase.platformName) == kRealWindow && display.empty()) {
        result.quorvel.failure = "no display for a real window";
        printCase(result);
        return result;
    }
    const fs::path out = options.work / "out";
    if (benchCase.job == Job::ShowFolder) {
        const fs::path folder = options.work / "folder";
        makeEmptyFolder(folder);
        if (!writeFolderOfStrips(folder, benchCase.width))
            result.quorvel.failure = "cannot write the folder's files";
        else
            runRounds(options, benchCase, folder, out, result);
        fs::remove_all(folder);
    } else if (benchCase.job == Job::CutSheet) {
        const fs::path sheet = options.work / "strips" / ("sheet_" + std::to_string(benchCase.width) + "x" +
                                                          std::to_string(benchCase.height) + ".png");
        writeSpriteSheet(sheet, benchCase.width, benchCase.height, kSheetCell);
        result.tiles = (benchCase.width / kSheetCell) * (benchCase.height / kSheetCell);
        for (const Tool& tool : tools) {
            if (tool.kind == ToolKind::Vips)
                result.tools.push_back({&tool, {}});
        }
        runRounds(options, benchCase, sheet, out, result);
        fs::remove(sheet);
    } else if (benchCase.job == Job::FindTiles) {
        const bool islands = benchCase.finder == Finder::Islands;
        const fs::path sheet = options.work / "strips" / (islands ? "islands.png" : "gutters.png");
        if (islands) {
            result.tiles = writeIslandSheet(sheet, benchCase.width, benchCase.height, kIslands, kMinSprite, kMaxSprite);
            for (const Tool& tool : tools) {
                if (tool.kind == ToolKind::ImageMagick)
                    result.tools.push_back({&tool, {}});
            }
        } else if (writeGutterSheet(sheet, benchCase.width, benchCase.height, kGutterTile)) {
            result.tiles = (benchCase.width / (kGutterTile + 1)) * (benchCase.height / (kGutterTile + 1));
        }
        if (result.tiles == 0)
            result.quorvel.failure = "cannot write the sheet";
        else if (islands && result.tiles != kIslands)
            result.quorvel.failure = "only " + std::to_string(result.tiles) + " sprites fit on the sheet";
        else
            result.quorvel.failure = checkFound(options, benchCase, sheet, runFolder(out, 0, "check"), result.tiles);
        if (result.quorvel.failure.empty())
            runFindRounds(options, benchCase, sheet, out, result);
        fs::remove(sheet);
    } else if (benchCase.job == Job::AssembleSheet) {
        // Cut once, untimed: every round puts the same tiles back. No cell is
        // empty, as libvips joins only tiles of one kind of pixels, and an
        // empty tile's PNG is grey with alpha.
        const fs::path folder = options.work / "assemble";
        result.sheet = folder / "sheet.png";
        const fs::path manifest = folder / "sheet.json";
        makeEmptyFolder(folder / "tiles");
        writeSpriteSheet(result.sheet, benchCase.width, benchCase.height, kSheetCell, false);
        result.tiles = (benchCase.width / kSheetCell) * (benchCase.height / kSheetCell);
        const ProcessResult cut =
            runProcess({options.quorvel, "--save-all", result.sheet.string(), "--output", (folder / "tiles").string(),
                        "--prefix", kPrefix, "--tile", std::to_string(kSheetCell) + "x" + std::to_string(kSheetCell),
                        "--format", "png", "--manifest", manifest.string()});
        for (const Tool& tool : tools) {
            if (tool.kind == ToolKind::Vips)
                result.tools.push_back({&tool, {}});
        }
        if (cut.ok())
            runRounds(options, benchCase, manifest, out, result);
        else
            result.quorvel.failure = "the sheet could not be cut: " + firstLine(cut.err);
        fs::remove_all(folder);
    } else {
        const fs::path strip = options.work / "strips" / ("strip_" + std::to_string(benchCase.width) + "x" +
                                                          std::to_string(benchCase.height) + ".bmp");
        writeStrip(strip, benchCase.width, benchCase.height);
        result.tiles = tiles::wholeTileCount(benchCase.width, benchCase.tileWidth());
        result.tileBytes = tileFileSize(options.work, benchCase.tileWidth(), benchCase.height);
        for (const Tool& tool : tools) {
            if (tool.kind != ToolKind::Vips)
                result.tools.push_back({&tool, {}});
        }
        runRounds(options, benchCase, strip, out, result);
        fs::remove(strip);
    }
    fs::remove_all(out);
    printCase(result);
    return result;
}

class Targets {
public:
    void check(bool met, const std::string& what)
    {
        std::printf("  %-7s %s\n", met ? "met" : "MISSED", what.c_str());
        mMissed += met ? 0 : 1;
    }
    int missed() const { return mMissed; }

private:
    int mMissed = 0;
};

template <class... Values>
std::string format(const char* pattern, Values... values)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

// The idle program on each platform, the yardstick for peak memory.
using IdleSeries = std::map<std::string, Series>;

void printTargets(const std::vector<CaseResult>& results, const IdleSeries& idle)
{
    std::printf("\nTargets\n");
    Targets targets;
    for (const CaseResult& r : results) {
        const BenchCase& benchCase = *r.benchCase;
        if (!r.quorvel.ran()) {
            targets.check(false, benchCase.title + ": " + r.quorvel.failure);
            continue;
        }
        const double idleMiB = idle.at(benchCase.platformName).peakMiB();
        if (const std::vector<double> peer = r.peerMs(benchCase.peer); benchCase.peer != Peer::None && !peer.empty()) {
            const double ratio = pairedRatio(r.quorvel.wallMs, peer);
            const char* peerName = benchCase.peer == Peer::GraphicsMagick ? "GraphicsMagick"
                                    : benchCase.peer == Peer::Vips         ? "libvips"
                                                                           : "the faster tool";
            targets.check(ratio <= benchCase.maxRatioToPeer,
                          benchCase.title + format(", whole process vs %s of each round: %.2f (at most %.1f)", peerName,
                                                   ratio, benchCase.maxRatioToPeer));
        }
        switch (benchCase.job) {
        case Job::SaveAll: {
            const double ratio = pairedRatio(r.saveAllMs(), r.plainMs);
            targets.check(ratio <= kMaxTileCostToPlainFile,
                          benchCase.title + format(", cost per tile: %.1f us, %.2fx a plain file's %.1f us (at most %.0fx)",
                                                   r.saveAllPerTileUs(), ratio, r.plainPerFileUs(),
                                                   kMaxTileCostToPlainFile));
            break;
        }
        case Job::AssembleSheet:
            continue;
        case Job::FindTiles:
            targets.check(r.findingToDecode() <= benchCase.maxFindingToDecode,
                          benchCase.title + format(", finding (the dry run %.1f ms less decoding alone %.1f ms) "
                                                   "%.2fx the decoding (at most %.2fx)",
                                                   r.quorvel.wall(), r.decode.wall(), r.findingToDecode(),
                                                   benchCase.maxFindingToDecode));
            continue;
        case Job::CutSheet: {
            const double ratio = pairedRatio(r.quorvel.wallMs, r.plainMs);
            targets.check(ratio <= kMaxSheetToPlainFiles,
                          benchCase.title + format(", whole process vs plain writes of as many files: %.2f (at most "
                                                   "%.1f)",
                                                   ratio, kMaxSheetToPlainFiles));
            const double limit = kMaxSheetPictureSizes * r.pictureMiB();
            targets.check(r.quorvel.peakMiB() <= limit,
                          benchCase.title + format(", peak memory %.1f MiB (at most %.0f x the decoded %.1f MiB)",
                                                   r.quorvel.peakMiB(), kMaxSheetPictureSizes, r.pictureMiB()));
            continue;
        }
        case Job::LoadPick: {
            const double shown = r.quorvel.innerMs("shown_ms");
            targets.check(shown < kMaxLoadMs, benchCase.title + format(", loaded and shown in %.1f ms (under %.0f ms)",
                                                                       shown, kMaxLoadMs));
            break;
        }
        case Job::ShowFolder: {
            const double shown = r.quorvel.innerMs("shown_ms");
            targets.check(shown <= kMaxFolderShownMs,
                          benchCase.title + format(", shown in %.1f ms (at most %.0f ms; a plain scan %.1f ms)", shown,
                                                   kMaxFolderShownMs, median(r.plainMs)));
            const double slowest = std::max({r.quorvel.innerMs("scroll_ms"), r.quorvel.innerMs("type_ms"),
                                             r.quorvel.innerMs("arrow_ms")});
            targets.check(slowest <= kMaxInteractionMs,
                          benchCase.title + format(", scroll, a letter typed and an arrow key each within %.1f ms "
                                                   "(at most %.0f ms)",
                                                   slowest, kMaxInteractionMs));
            targets.check(r.quorvel.peakMiB() - idleMiB <= kMaxFolderMiBOverIdle,
                          benchCase.title + format(", peak memory %.1f MiB, %.1f MiB over idle (at most %.0f MiB)",
                                                   r.quorvel.peakMiB(), r.quorvel.peakMiB() - idleMiB,
                                                   kMaxFolderMiBOverIdle));
            continue;
        }
        }
        const double limit = kMaxPictureSizes * r.pictureMiB() + idleMiB;
        targets.check(r.quorvel.peakMiB() < limit,
                      benchCase.title + format(", peak memory %.1f MiB (under %.0f x %.1f + idle %.1f MiB)",
                                               r.quorvel.peakMiB(), kMaxPictureSizes, r.pictureMiB(), idleMiB));
    }
    std::printf("%d target(s) missed\n", targets.missed());
}

bool parseOptions(int argc, char** argv, Options& options)
{
    options.convert = fs::exists(kDefaultConvert) ? kDefaultConvert : "convert";
    options.gm = fs::exists(kDefaultGm) ? kDefaultGm : "gm";
    options.vips = fs::exists(kDefaultVips) ? kDefaultVips : "vips";
    options.quorvel = QUORVEL_PROGRAM;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue)
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--work" && hasValue)
            options.work = argv[++i];
        else if (arg == "--convert" && hasValue)
            options.convert = argv[++i];
        else if (arg == "--gm" && hasValue)
            options.gm = argv[++i];
        else if (arg == "--vips" && hasValue)
            options.vips = argv[++i];
        else if (arg == "--quorvel" && hasValue)
            options.quorvel = argv[++i];
        else if (arg == "--only" && hasValue)
            options.only = argv[++i];
        else if (arg == "--keep")
            options.keep = true;
        else
            return false;
    }
    return true;
}

int runBenchmark(const Options& options)
{
    fs::create_directories(options.work / "strips");
    // The children keep their settings in the work folder, never in the user's.
    setenv("XDG_CONFIG_HOME", (options.work / "config").c_str(), 1);
    // The real window is drawn on a private X server at 96 DPI, whatever the caller's desktop.
    const PrivateDisplay display;
    if (!display.name().empty())
        setenv("DISPLAY", display.name().c_str(), 1);
    for (const char* scaling : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR"})
        unsetenv(scaling);

    std::printf("Quorvel benchmark: median of %d round(s) of whole processes, each program once a round; ratios\n"
                "are medians of the ratios within a round. Work folder %s\n",
                options.runs, options.work.c_str());
    std::printf("load average %.2f on %u processor(s)\n", loadAverage(), std::thread::hardware_concurrency());
    if (display.name().empty())
        std::printf("no real window: %s\n", display.failure().c_str());
    else
        std::printf("real windows on Xvfb %s\n", display.name().c_str());
    IdleSeries idle;
    for (const char* platformName : {kOffscreen, kRealWindow}) {
        Series& series = idle[platformName];
        if (std::string(platformName) == kRealWindow && display.name().empty())
            continue;
        for (int run = 0; run < options.runs && series.failure.empty(); ++run)
            series.add(runProcess({options.self, "--idle", platformName}), options.self);
        if (!series.ran()) {
            std::printf("the program does not start on %s: %s\n", platformName, series.failure.c_str());
            return EXIT_FAILURE;
        }
        std::printf("idle on %s (runtime and form started, shown, ended): %.1f ms, cpu %.1f ms, peak %.1f MiB\n",
                    platformName, series.wall(), median(series.cpuMs), series.peakMiB());
    }

    const std::vector<Tool> tools{{"ImageMagick", {options.convert}, ToolKind::ImageMagick},
                                  {"GraphicsMagick", {options.gm, "convert"}, ToolKind::GraphicsMagick},
                                  {"libvips", {options.vips}, ToolKind::Vips}};
    std::vector<CaseResult> results;
    bool failed = false;
    for (const BenchCase& benchCase : kCases) {
        if (benchCase.title.find(options.only) == std::string::npos)
            continue;
        results.push_back(runCase(options, tools, benchCase, display.name()));
        failed = failed || !results.back().quorvel.ran();
    }
    printTargets(results, idle);
    std::printf("load average at the end %.2f\n", loadAverage());
    if (!options.keep)
        fs::remove_all(options.work);
    return failed ? EXIT_FAILURE : EXIT_SUCCESS;
}

int usage()
{
    std::fprintf(stderr, "usage: quorvel_bench [--runs N] [--work FOLDER] [--keep] [--convert PROGRAM] [--gm PROGRAM]\n"
                         "                     [--vips PROGRAM] [--quorvel PROGRAM] [--only TEXT]\n"
                         "       quorvel_bench --idle PLATFORM | --save-all PLATFORM STRIP OUTDIR PREFIX\n"
                         "                   | --load-pick PLATFORM STRIP | --show-folder PLATFORM FOLDER\n"
                         "       (PLATFORM: offscreen, or xcb for a real window on $DISPLAY)\n");
    return EXIT_FAILURE;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--idle" && argc == 3)
        return runIdle(argc, argv, argv[2]);
    if (mode == "--save-all" && argc == 6)
        return runSaveAll(argc, argv, argv[2], argv[3], argv[4], argv[5]);
    if (mode == "--load-pick" && argc == 4)
        return runLoadPick(argc, argv, argv[2], argv[3]);
    if (mode == "--show-folder" && argc == 4)
        return runShowFolder(argc, argv, argv[2], argv[3]);

    Options options;
    if (!parseOptions(argc, argv, options))
        return usage();
    options.self = fs::read_symlink("/proc/self/exe").string();
    if (options.work.empty()) {
        std::string pattern = (fs::temp_directory_path() / "quorvel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return usage();
        options.work = pattern;
    }
    return runBenchmark(options);
}
