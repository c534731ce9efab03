#include "cli/batch.h"

#include "cli/sheet_report.h"
#include "platform/canvas.h"
#include "platform/colors.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "platform/screen.h"

#include <chrono>
#include <new>
#include <unordered_map>

using platform::Screen;

namespace cli {

namespace {

// A run worth watching shows how far it is, on a terminal only: from its first
// second on, and no more than a screen can follow.
class Progress {
public:
    Progress(std::ostream& stream, bool shown) : mStream(stream), mShown(shown) {}
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(size_t done, size_t total)
    {
        const Clock::time_point now = Clock::now();
        if (!mShown || now - mStart < kQuiet || now - mDrawnAt < kRedraw)
            return;
        mStream << "\rquorvel: tile " << done << " of " << total << std::flush;
        mDrawnAt = now;
        mDrawn = true;
    }

    // Before another line goes to the stream.
    void clear()
    {
        if (mDrawn)
            mStream << "\r\033[K" << std::flush;
        mDrawn = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kQuiet{1};
    static constexpr std::chrono::milliseconds kRedraw{100};
    std::ostream& mStream;
    bool mShown;
    bool mDrawn = false;
    Clock::time_point mStart = Clock::now();
    Clock::time_point mDrawnAt;
};

std::string quoted(const std::string& name) { return "'" + name + "'"; }

// What the command line asks that cannot be done: the run ends before it
// writes anything.
struct Refusal {
    std::string what;
};

// A sheet as worked out before anything is written.
struct Sheet {
    SheetReport report;
    // Empty from the plan to the cut when there are several sheets, so that
    // one is held at a time.
    platform::Picture picture;
    std::string manifest;
    std::string tileset;
};

std::string extensionOf(TileFormat format) { return format == TileFormat::Png ? ".png" : ".bmp"; }

platform::Picture loadSheet(const std::string& path)
{
    return platform::LoadPicture(path);
}

// The sheet's grid and each tile's name. Errors: the picture's, when it
// cannot be read; a Refusal when the options make no grid of it.
Sheet planOf(const std::string& path, const Command& command)
{
    Sheet sheet;
    sheet.picture = loadSheet(path);
    SheetReport& report = sheet.report;
    report.path = path;
    report.width = sheet.picture.pixelWidth();
    report.height = sheet.picture.pixelHeight();
    report.options = command.cutting.grid;
    auto grid = tiles::cutGrid(report.width, report.height, report.options);
    if (const std::string* refusal = std::get_if<std::string>(&grid))
        throw Refusal{"cannot cut " + quoted(path) + ": " + *refusal};
    report.grid = std::get<tiles::Grid>(std::move(grid));
    const std::string stem = stemOf(path);
    const std::string extension = extensionOf(command.cutting.format);
    report.tiles.reserve(report.grid.tiles.size());
    for (const tiles::GridTile& tile : report.grid.tiles)
        report.tiles.push_back(
            TileReport{tile, command.cutting.names.nameOf(tile, report.grid.tiles.back(), stem, command.prefix) +
                                 extension});
    sheet.manifest = withStem(command.cutting.manifest, stem);
    sheet.tileset = withStem(command.cutting.tileset, stem);
    return sheet;
}

std::string tileText(const TileReport& tile, const SheetReport& sheet)
{
    return "tile " + std::to_string(tile.tile.number) + " of " + quoted(sheet.path);
}

// Every tile's name must be one the output folder can hold, and no two tiles
// nor two written files may share one.
void checkNames(const std::vector<Sheet>& sheets, const Command& command)
{
    const size_t longest = size_t(platform::LongestName(command.output));
    const size_t extension = extensionOf(command.cutting.format).size();
    std::unordered_map<std::string, std::string> owners;
    for (const Sheet& sheet : sheets)
        for (const TileReport& tile : sheet.report.tiles) {
            const std::string which = tileText(tile, sheet.report);
            if (tile.file.size() == extension)
                throw Refusal{"--name gives " + which + " an empty name"};
            if (tile.file.find('/') != std::string::npos)
                throw Refusal{"--name gives " + which + " a name with a '/': " + quoted(tile.file)};
            if (tile.file.size() > longest)
                throw Refusal{"--name gives " + which + " a name longer than the " + std::to_string(longest) +
                              " bytes the output folder takes: " + quoted(tile.file)};
            const auto [owner, fresh] = owners.emplace(tile.file, which);
            if (!fresh)
                throw Refusal{"--name gives " + owner->second + " and " + which + " the same name " +
                              quoted(tile.file)};
        }
    std::unordered_map<std::string, std::string> written;
    for (const Sheet& sheet : sheets)
        for (const auto& [option, file] : {std::pair{"--manifest", &sheet.manifest}, {"--tileset", &sheet.tileset}}) {
            if (file->empty())
                continue;
            const std::string which = std::string(option) + " of " + quoted(sheet.report.path);
            const auto [owner, fresh] = written.emplace(*file, which);
            if (!fresh)
                throw Refusal{owner->second + " and " + which + " would both be " + quoted(*file)};
        }
}

// The tile as the window's pick draws it into the preview box: its pixels
// over the box's background, placed in twips as the form places them.
platform::Picture composed(const platform::Picture& sheet, const tiles::PixelRect& rect, platform::Canvas& canvas)
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    const float width = float(tx * rect.width);
    const float height = float(ty * rect.height);
    canvas.Cls();
    canvas.setSize(width, height);
    canvas.PaintPicture(sheet, 0, 0, width, height, float(tx * rect.x), float(ty * rect.y), width, height);
    return canvas.Image();
}

struct Counts {
    int64_t saved = 0;
    int64_t existing = 0;
    int64_t empty = 0;
    int64_t repeats = 0;
};

// Decides each tile's fate and, unless this is a dry run, writes the ones to
// be saved. Errors: a tile that cannot be written ends the cut there.
void cut(Sheet& sheet, const Command& command, Counts& counts, Progress& progress)
{
    platform::Canvas canvas(platform::kPreviewBackground);
    const size_t total = sheet.report.tiles.size();
    for (size_t i = 0; i < total; ++i) {
        TileReport& tile = sheet.report.tiles[i];
        const std::string target = command.output + platform::PathSeparator + tile.file;
        if (platform::NameTaken(target))
            tile.status = TileStatus::Existing;
        else if (!command.cutting.dryRun &&
                 !platform::SaveNewPicture(composed(sheet.picture, tile.tile.rect, canvas), target))
            tile.status = TileStatus::Existing;
        ++(tile.status == TileStatus::Saved ? counts.saved : counts.existing);
        progress.update(i + 1, total);
    }
}

std::string fateOf(const TileReport& tile)
{
    switch (tile.status) {
    case TileStatus::Saved:
        return "saved";
    case TileStatus::Existing:
        return "existing";
    case TileStatus::Empty:
        return "empty";
    case TileStatus::Repeat:
        return "repeat of " + std::to_string(tile.repeatOf);
    }
    return {};
}

void printDryRun(const SheetReport& sheet, std::ostream& out)
{
    for (const TileReport& tile : sheet.tiles) {
        const tiles::PixelRect& r = tile.tile.rect;
        out << tile.file << " " << r.x << "," << r.y << " " << r.width << "x" << r.height << " " << fateOf(tile)
            << "\n";
    }
}

std::string lastLine(const Counts& counts, const Command& command)
{
    std::string line = "saved " + std::to_string(counts.saved) + ", skipped " + std::to_string(counts.existing) +
                       " existing";
    const std::string empty = std::to_string(counts.empty) + " empty";
    const std::string repeats = std::to_string(counts.repeats) + " repeated";
    if (command.cutting.skipEmpty && command.cutting.unique)
        line += ", left out " + empty + " and " + repeats;
    else if (command.cutting.skipEmpty)
        line += ", left out " + empty;
    else if (command.cutting.unique)
        line += ", left out " + repeats;
    return line + ", in " + command.output + "\n";
}

void reportLeftovers(const SheetReport& sheet, std::ostream& err)
{
    if (sheet.grid.leftoverColumns == 0 && sheet.grid.leftoverRows == 0)
        return;
    const auto pixels = [](int32_t count, const std::string& what) {
        return std::to_string(count) + " pixel " + what + (count == 1 ? "" : "s");
    };
    err << "quorvel: " << quoted(sheet.path) << ": " << pixels(sheet.grid.leftoverColumns, "column")
        << " at the right and " << pixels(sheet.grid.leftoverRows, "row")
        << " at the bottom belong to no tile (--partial keeps them)\n";
}

// One run over the sheets: what failed, and what became of the tiles.
class Run {
public:
    Run(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal)
        : mCommand(command), mOut(out), mErr(err), mProgress(err, errIsTerminal)
    {
    }

    // Every sheet that can be read, with its grid and names. Throws a Refusal
    // for a grid or names that cannot be.
    std::vector<Sheet> plan()
    {
        std::vector<Sheet> sheets;
        for (const std::string& path : mCommand.sheets) {
            try {
                sheets.push_back(planOf(path, mCommand));
                if (mCommand.sheets.size() > 1)
                    sheets.back().picture = {};
            } catch (const platform::RuntimeError& e) {
                fail(e.description());
            } catch (const std::bad_alloc&) {
                fail("out of memory while reading " + quoted(path));
            }
        }
        checkNames(sheets, mCommand);
        return sheets;
    }

    // Cuts each sheet in turn; a file that cannot be written ends the run.
    void cutAll(std::vector<Sheet>& sheets)
    {
        try {
            for (Sheet& sheet : sheets)
                if (reload(sheet))
                    cutOne(sheet);
        } catch (const platform::RuntimeError& e) {
            fail(e.description());
        } catch (const std::bad_alloc&) {
            fail("out of memory while cutting");
        }
    }

    // Also after a failure: the tiles written before it are complete, and worth knowing about.
    void finish()
    {
        mProgress.clear();
        if (mCutting && !mCommand.cutting.dryRun)
            mOut << lastLine(mCounts, mCommand);
    }

    int status() const { return mFailed ? kExitFailure : kExitSuccess; }

private:
    void fail(const std::string& what)
    {
        mProgress.clear();
        mErr << "quorvel: " << what << "\n";
        mFailed = true;
    }

    // A sheet let go after its plan is read again; it must not have changed its size since.
    bool reload(Sheet& sheet)
    {
        if (!sheet.picture.isEmpty())
            return true;
        const SheetReport& report = sheet.report;
        try {
            sheet.picture = loadSheet(report.path);
        } catch (const platform::RuntimeError& e) {
            fail(e.description());
            return false;
        }
        if (sheet.picture.pixelWidth() == report.width && sheet.picture.pixelHeight() == report.height)
            return true;
        fail(quoted(report.path) + " changed size while the run went on; it is left alone");
        return false;
    }

    void cutOne(Sheet& sheet)
    {
        mProgress.clear();
        reportLeftovers(sheet.report, mErr);
        mCutting = true;
        cut(sheet, mCommand, mCounts, mProgress);
        sheet.picture = {};
        if (mCommand.cutting.dryRun)
            printDryRun(sheet.report, mOut);
    }

    const Command& mCommand;
    std::ostream& mOut;
    std::ostream& mErr;
    bool mFailed = false;
    bool mCutting = false;
    Counts mCounts;
    Progress mProgress;
};

} // namespace

int saveAll(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    Run run(command, out, err, errIsTerminal);
    std::vector<Sheet> sheets;
    try {
        sheets = run.plan();
    } catch (const Refusal& refusal) {
        err << "quorvel: " << refusal.what << ".\n";
        return kExitUsage;
    }
    run.cutAll(sheets);
    run.finish();
    return run.status();
}

} // namespace cli
