// Quorvel's benchmark: Save all and the tile pick on generated strips, each run
// as a whole process on the offscreen platform, beside ImageMagick and
// GraphicsMagick cutting the same strips and plain system calls writing files
// of the same size. Run without arguments (or with --runs N, --work FOLDER,
// --keep, --convert PROGRAM, --gm PROGRAM); the --idle, --save-all and
// --load-pick modes are the child processes it starts.
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

constexpr double kMaxRatioToTools = 1.0;
constexpr double kMaxTileCostToPlainFile = 3.0;
constexpr double kMaxLoadMs = 100;
constexpr double kMaxPictureSizes = 3.0;

const char* const kPrefix = "tile";
// The packaged programs rather than whatever wrapper comes first on PATH.
const char* const kDefaultConvert = "/usr/bin/convert";
const char* const kDefaultGm = "/usr/bin/gm";

struct Case {
    std::string title;
    int width;
    int height;
    bool saveAll; // otherwise load and pick
};

const Case kCases[] = {
    {"Save all: 1,000 tiles of 16x16", 16000, 16, true},
    {"Save all: 10,000 tiles of 16x16", 160000, 16, true},
    {"Save all: 500 tiles of 64x64", 32000, 64, true},
    {"Load and pick: a 16000x256 strip", 16000, 256, false},
};
// The case whose whole-process time must not lose to the faster tool.
const int kRatioCase = 0;

struct Options {
    int runs = kDefaultRuns;
    fs::path work;
    bool keep = false;
    std::string convert;
    std::string gm;
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

struct Tool {
    std::string name;
    std::vector<std::string> argv; // before the strip's own arguments are added
    bool graphicsMagick;
};

std::vector<std::string> cropCommand(const Tool& tool, const fs::path& strip, int tileWidth, int tileHeight,
                                     const fs::path& out)
{
    std::vector<std::string> argv = tool.argv;
    const std::string geometry = std::to_string(tileWidth) + "x" + std::to_string(tileHeight);
    const std::string pattern = (out / "out_%d.bmp").string();
    argv.insert(argv.end(), {strip.string(), "-crop", geometry, tool.graphicsMagick ? "+adjoin" : "+repage", pattern});
    return argv;
}

struct CaseResult {
    const Case* spec;
    int tiles;
    std::uintmax_t tileBytes;
    Series quorvel;
    std::vector<std::pair<const Tool*, Series>> tools;
    std::vector<double> plainMs;

    double pictureMiB() const { return spec->width * double(spec->height) * kBytesPerPixel / kMiB; }
    double plainPerFileUs() const { return median(plainMs) / tiles * kMicrosPerMilli; }
    double saveAllPerTileUs() const { return quorvel.innerMs("save_all_ms") / tiles * kMicrosPerMilli; }
    std::vector<double> saveAllMs() const
    {
        const auto found = quorvel.inner.find("save_all_ms");
        return found == quorvel.inner.end() ? std::vector<double>() : found->second;
    }
    // Round by round, the wall time of the faster of the tools that cut the
    // strip; empty when none could.
    std::vector<double> fasterToolMs() const
    {
        std::vector<double> faster;
        for (const auto& [tool, series] : tools) {
            if (!series.ran())
                continue;
            if (faster.empty())
                faster = series.wallMs;
            for (size_t i = 0; i < std::min(faster.size(), series.wallMs.size()); ++i)
                faster[i] = std::min(faster[i], series.wallMs[i]);
        }
        return faster;
    }
};

void runQuorvel(const Options& options, const Case& spec, const fs::path& strip, const fs::path& out,
                CaseResult& result)
{
    std::vector<std::string> argv{options.self};
    if (spec.saveAll)
        argv.insert(argv.end(), {"--save-all", strip.string(), out.string(), kPrefix});
    else
        argv.insert(argv.end(), {"--load-pick", strip.string()});
    if (!result.quorvel.add(runProcess(argv), options.self) || !spec.saveAll)
        return;
    // A Save all that wrote the wrong files must not pass for a fast one.
    result.quorvel.failure = checkTiles(out, kPrefix, result.tiles, result.tileBytes);
}

void runTool(const Tool& tool, const fs::path& strip, int tileWidth, int tileHeight, int tiles,
             const fs::path& out, Series& series)
{
    if (!series.add(runProcess(cropCommand(tool, strip, tileWidth, tileHeight, out)), tool.argv.front()))
        return;
    const auto written = std::distance(fs::directory_iterator(out), fs::directory_iterator());
    if (written < tiles)
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
    const Case& spec = *r.spec;
    std::printf("\n%s (strip %dx%d, %d tiles, picture %.1f MiB)\n", spec.title.c_str(), spec.width, spec.height,
                r.tiles, r.pictureMiB());
    printSeries("quorvel", r.quorvel, r.tiles);
    if (r.quorvel.ran()) {
        if (spec.saveAll)
            std::printf("   load %.1f ms, Save all %.1f ms = %.1f us/tile\n", r.quorvel.innerMs("load_ms"),
                        r.quorvel.innerMs("save_all_ms"), r.saveAllPerTileUs());
        else
            std::printf("   load %.1f ms, shown %.1f ms, pick %.2f ms (slowest %.2f ms) x %.0f\n",
                        r.quorvel.innerMs("load_ms"), r.quorvel.innerMs("shown_ms"), r.quorvel.innerMs("pick_ms"),
                        r.quorvel.innerMs("pick_max_ms"), r.quorvel.innerMs("picks"));
    }
    for (const auto& [tool, series] : r.tools) {
        if (!series.ran()) {
            std::printf("  %-15s refused or failed, left out of the comparison: %s\n", tool->name.c_str(),
                        series.failure.c_str());
            continue;
        }
        printSeries(tool->name.c_str(), series, r.tiles);
        if (spec.saveAll && r.quorvel.ran())
            std::printf("   quorvel/%s %.2f (cpu %.2f)\n", tool->name.c_str(), pairedRatio(r.quorvel.wallMs, series.wallMs),
                        pairedRatio(r.quorvel.cpuMs, series.cpuMs));
        else
            std::printf("   (crop only; quorvel saved nothing here)\n");
    }
    if (spec.saveAll && !r.plainMs.empty())
        std::printf("  %-15s %9.1f ms  %8.1f us/file  (open, write %ju bytes, close)\n", "plain files",
                    median(r.plainMs), r.plainPerFileUs(), r.tileBytes);
    std::fflush(stdout);
}

CaseResult runCase(const Options& options, const std::vector<Tool>& tools, const Case& spec)
{
    const fs::path strip = options.work / "strips" / ("strip_" + std::to_string(spec.width) + "x" +
                                                      std::to_string(spec.height) + ".bmp");
    const fs::path out = options.work / "out";
    const int32_t baseWidth = tiles::baseTileWidth(spec.height);
    writeStrip(strip, spec.width, spec.height);

    CaseResult result{&spec, tiles::wholeTileCount(spec.width, baseWidth),
                      tileFileSize(options.work, baseWidth, spec.height), {}, {}, {}};
    for (const Tool& tool : tools)
        result.tools.push_back({&tool, {}});
    // The programs take turns in every round, so a slow moment of the disk is shared out.
    for (int run = 0; run < options.runs; ++run) {
        if (result.quorvel.failure.empty()) {
            makeEmptyFolder(out);
            runQuorvel(options, spec, strip, out, result);
        }
        for (auto& [tool, series] : result.tools) {
            if (!series.failure.empty())
                continue;
            makeEmptyFolder(out);
            runTool(*tool, strip, baseWidth, spec.height, result.tiles, out, series);
        }
        if (spec.saveAll) {
            makeEmptyFolder(out);
            result.plainMs.push_back(writePlainFiles(out, result.tiles, result.tileBytes));
        }
    }
    fs::remove_all(out);
    fs::remove(strip);
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

void printTargets(const std::vector<CaseResult>& results, const Series& idle)
{
    std::printf("\nTargets\n");
    Targets targets;
    const CaseResult& ratioCase = results[kRatioCase];
    if (const std::vector<double> faster = ratioCase.fasterToolMs(); !faster.empty() && ratioCase.quorvel.ran()) {
        const double ratio = pairedRatio(ratioCase.quorvel.wallMs, faster);
        targets.check(ratio <= kMaxRatioToTools,
                      ratioCase.spec->title +
                          format(", whole process vs the faster tool of each round: %.2f (at most %.1f)", ratio,
                                 kMaxRatioToTools));
    }
    for (const CaseResult& r : results) {
        if (!r.quorvel.ran())
            continue;
        if (r.spec->saveAll) {
            const double ratio = pairedRatio(r.saveAllMs(), r.plainMs);
            targets.check(ratio <= kMaxTileCostToPlainFile,
                          r.spec->title + format(", cost per tile: %.1f us, %.2fx a plain file's %.1f us (at most %.0fx)",
                                                 r.saveAllPerTileUs(), ratio, r.plainPerFileUs(),
                                                 kMaxTileCostToPlainFile));
        } else {
            const double shown = r.quorvel.innerMs("shown_ms");
            targets.check(shown < kMaxLoadMs, r.spec->title + format(", loaded and shown in %.1f ms (under %.0f ms)",
                                                                     shown, kMaxLoadMs));
        }
        const double limit = kMaxPictureSizes * r.pictureMiB() + idle.peakMiB();
        targets.check(r.quorvel.peakMiB() < limit,
                      r.spec->title + format(", peak memory %.1f MiB (under %.0f x %.1f + idle %.1f MiB)", r.quorvel.peakMiB(),
                                             kMaxPictureSizes, r.pictureMiB(), idle.peakMiB()));
    }
    std::printf("%d target(s) missed\n", targets.missed());
}

bool parseOptions(int argc, char** argv, Options& options)
{
    options.convert = fs::exists(kDefaultConvert) ? kDefaultConvert : "convert";
    options.gm = fs::exists(kDefaultGm) ? kDefaultGm : "gm";
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
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    std::printf("Quorvel benchmark: median of %d round(s) of whole processes, each program once a round; ratios\n"
                "are medians of the ratios within a round. Work folder %s\n",
                options.runs, options.work.c_str());
    std::printf("load average %.2f on %u processor(s)\n", loadAverage(), std::thread::hardware_concurrency());
    Series idle;
    for (int run = 0; run < options.runs && idle.failure.empty(); ++run)
        idle.add(runProcess({options.self, "--idle"}), options.self);
    if (!idle.ran()) {
        std::printf("the program does not start: %s\n", idle.failure.c_str());
        return EXIT_FAILURE;
    }
    std::printf("idle (runtime and form started, shown, ended): %.1f ms, cpu %.1f ms, peak %.1f MiB\n", idle.wall(),
                median(idle.cpuMs), idle.peakMiB());

    const std::vector<Tool> tools{{"ImageMagick", {options.convert}, false},
                                  {"GraphicsMagick", {options.gm, "convert"}, true}};
    std::vector<CaseResult> results;
    bool failed = false;
    for (const Case& spec : kCases) {
        results.push_back(runCase(options, tools, spec));
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
                         "       quorvel_bench --idle | --save-all STRIP OUTDIR PREFIX | --load-pick STRIP\n");
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
