#include "cli/batch.h"

#include "cli/atlas.h"
#include "cli/manifest.h"
#include "cli/ordered_pipeline.h"
#include "cli/plan.h"
#include "cli/text.h"
#include "cli/tile_pixels.h"
#include "cli/tileset.h"
#include "platform/canvas.h"
#include "platform/colors.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/overlay.h"
#include "platform/picture.h"
#include "platform/picture_contents.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <new>
#include <system_error>

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

using platform::FileFormat;

// A tile's fate as far as its pixels decide it, and the bytes of its file.
struct Prepared {
    // Saved: to be written, when the name is free.
    TileStatus status = TileStatus::Saved;
    // Repeat: the position, from 1, of the first tile with the same pixels.
    int32_t repeated = 0;
    // Empty in a dry run.
    QByteArray bytes;
    // With --trim: the part of the tile that shows, in the sheet's pixels.
    std::optional<tiles::PixelRect> shown;
};

// The i-th tile of the sheet: its fate by its pixels, and unless this is a dry
// run the bytes to write. seen holds the tiles before it, for --unique.
Prepared prepare(const SheetPlan& sheet, size_t i, const Command& command, platform::PictureIndex& seen)
{
    const Cutting& cutting = command.cutting;
    const TileReport& tile = sheet.report.tiles[i];
    Prepared prepared;
    // The source's own verdict.
    if (tile.status == TileStatus::Speck) {
        prepared.status = TileStatus::Speck;
        return prepared;
    }
    const tiles::PixelRect& r = tile.tile.rect;
    const bool png = cutting.format == FileFormat::Png;
    const bool islands = cutting.source == Source::Islands;
    // A PNG tile is the sheet's own pixels, a picture's its own only; so are
    // what tell empty, repeated and transparent borders, before any compositing.
    const platform::Picture pixels =
        islands ? platform::OwnPixels(sheet.picture, r.x, r.y, r.width, r.height, sheet.islands.owners.data(),
                                      sheet.islands.pictures[i].label, sheet.blank)
        : png || cutting.skipEmpty || cutting.unique || cutting.trim ? sheet.picture.part(r.x, r.y, r.width, r.height)
                                                                     : platform::Picture();
    if (cutting.trim) {
        const tiles::PixelRect part = shownPart(pixels);
        prepared.shown = tiles::PixelRect{r.x + part.x, r.y + part.y, part.width, part.height};
    }
    if (cutting.skipEmpty && platform::IsBlank(pixels, cutting.emptyColour))
        prepared.status = TileStatus::Empty;
    // Kept by position, as a tile numbered 0 (--first 0) would read as none.
    else if (cutting.unique && (prepared.repeated = seen.firstSame(pixels, int32_t(i) + 1)) != 0)
        prepared.status = TileStatus::Repeat;
    else if (!cutting.dryRun && !cutting.noTiles) {
        const tiles::PixelRect& kept = prepared.shown.value_or(r);
        // What shows of the tile's own pixels.
        const platform::Picture own =
            prepared.shown ? pixels.part(kept.x - r.x, kept.y - r.y, kept.width, kept.height) : pixels;
        // A BMP tile as the window's pick draws it into the preview box: its
        // pixels over the box's background; a grid's tile straight from the sheet.
        platform::Picture picture =
            png       ? own
            : islands ? platform::ComposeTile(own, 0, 0, kept.width, kept.height, platform::kPreviewBackground)
                      : platform::ComposeTile(sheet.picture, kept.x, kept.y, kept.width, kept.height,
                                              platform::kPreviewBackground);
        if (cutting.scale > 1)
            picture = enlarged(picture, cutting.scale);
        prepared.bytes = platform::EncodePicture(picture, targetOf(tile, command), cutting.format);
    }
    return prepared;
}

// Decides each tile's fate and, unless this is a dry run, writes the ones to
// be saved, in order, while the next ones are prepared on a thread of their
// own. Errors: a tile that cannot be prepared or written ends the cut there.
void cut(SheetPlan& sheet, const Command& command, Progress& progress, size_t& decided)
{
    std::vector<TileReport>& tiles = sheet.report.tiles;
    platform::PictureIndex seen;
    OrderedPipeline<Prepared> ahead(tiles.size(), [&](size_t i) { return prepare(sheet, i, command, seen); });
    for (size_t i = 0; i < tiles.size(); ++i) {
        TileReport& tile = tiles[i];
        const Prepared prepared = ahead.take();
        tile.status = prepared.status;
        tile.shown = prepared.shown;
        if (prepared.status == TileStatus::Repeat)
            tile.repeatOf = tiles[size_t(prepared.repeated) - 1].tile.number;
        if (prepared.status == TileStatus::Saved) {
            const std::string target = targetOf(tile, command);
            // The write refuses a taken name itself: no test before it.
            if (command.cutting.dryRun || command.cutting.noTiles
                    ? platform::NameTaken(target)
                    : !platform::WriteNewFile(target, {prepared.bytes.constData(), size_t(prepared.bytes.size())}))
                tile.status = TileStatus::Existing;
        }
        decided = i + 1;
        progress.update(i + 1, tiles.size());
    }
}

// Each atlas whole or not at all, as the manifest.
void writeAtlases(const SheetPlan& sheet, const Command& command, std::ostream& err)
{
    if (sheet.atlases.empty())
        return;
    for (const std::string& tag : tagsWithoutFrames(sheet.report, command.cutting.animations.tags))
        err << "quorvel: " << inQuotes(sheet.report.path) << ": every tile of the tag " << inQuotes(tag)
            << " is left out as empty, and so is the tag from the atlases\n";
    for (const AtlasRequest& atlas : sheet.atlases) {
        platform::FileReplacement file(atlas.file);
        writeAtlas(atlas.format, sheet.report, command.cutting.animations, atlas.file,
                   [&](std::string_view bytes) { file.write(bytes); });
        file.commit();
    }
}

// The sheet's manifest and tileset, each whole or not at all.
void writeBeside(const SheetPlan& sheet, const Command& command)
{
    if (!sheet.manifest.empty()) {
        platform::FileReplacement file(sheet.manifest);
        manifestJson(sheet.report, sheet.manifest, command.output, [&](std::string_view bytes) { file.write(bytes); });
        file.commit();
    }
    // The plan made sure that it can be written.
    if (!sheet.tileset.empty())
        platform::ReplaceFile(sheet.tileset,
                              viewOf(std::get<QByteArray>(tilesetTsx(sheet.report, sheet.tileset, command.output))));
}

// The picture of the cut, before the sheet is let go; also in a dry run,
// which it is there for.
void writeOverlay(const SheetPlan& sheet)
{
    if (sheet.overlay.empty())
        return;
    std::vector<platform::OverlayTile> tiles;
    tiles.reserve(sheet.report.tiles.size());
    for (const TileReport& tile : sheet.report.tiles) {
        const tiles::PixelRect& r = tile.tile.rect;
        tiles.push_back({r.x, r.y, r.width, r.height, tile.tile.number, tile.status != TileStatus::Saved});
    }
    const platform::Picture overlay = platform::CutOverlay(sheet.picture, tiles);
    platform::ReplaceFile(sheet.overlay, viewOf(platform::EncodePicture(overlay, sheet.overlay, FileFormat::Png)));
}

std::string fateOf(const TileReport& tile)
{
    const std::string status = statusName(tile.status);
    return tile.status == TileStatus::Repeat ? status + " of " + std::to_string(tile.repeatOf) : status;
}

void printDryRun(const SheetReport& sheet, std::ostream& out)
{
    for (const TileReport& tile : sheet.tiles) {
        const tiles::PixelRect& r = tile.tile.rect;
        out << tile.file << " " << r.x << "," << r.y << " " << r.width << "x" << r.height << " " << fateOf(tile)
            << "\n";
    }
}

// How many tiles of every sheet met each fate, as far as the run got:
// decided[i] tiles, from the first, of sheets[i]; by TileStatus.
using Tally = std::array<int64_t, 5>;

Tally tallyOf(const std::vector<SheetPlan>& sheets, const std::vector<size_t>& decided)
{
    Tally tally{};
    for (size_t i = 0; i < sheets.size(); ++i)
        for (size_t t = 0; t < decided[i]; ++t)
            ++tally[size_t(sheets[i].report.tiles[t].status)];
    return tally;
}

std::string lastLine(const Tally& tally, const Command& command)
{
    const auto count = [&](TileStatus status) { return std::to_string(tally[size_t(status)]); };
    std::string line = (command.cutting.noTiles ? "would save " : "saved ") + count(TileStatus::Saved) + ", skipped " +
                       count(TileStatus::Existing) + " existing";
    std::vector<std::string> leftOut;
    if (command.cutting.skipEmpty)
        leftOut.push_back(count(TileStatus::Empty) + " empty");
    if (command.cutting.unique)
        leftOut.push_back(count(TileStatus::Repeat) + " repeated");
    if (command.cutting.source == Source::Islands)
        leftOut.push_back(count(TileStatus::Speck) + " specks");
    for (size_t i = 0; i < leftOut.size(); ++i)
        line += (i == 0 ? ", left out " : i + 1 == leftOut.size() ? " and " : ", ") + leftOut[i];
    return line + ", in " + command.output + (command.cutting.noTiles ? " (--no-tiles: no tile written)" : "") + "\n";
}

// What the run saw of the sheet that its tiles do not show: the grid it found,
// and pixels that belong to no tile.
void reportSheet(const SheetReport& sheet, std::ostream& err)
{
    if (!sheet.found.empty())
        err << "quorvel: " << inQuotes(sheet.path) << ": found the grid " << sheet.found << "\n";
    if (!sheet.hasGrid || (sheet.grid.leftoverColumns == 0 && sheet.grid.leftoverRows == 0))
        return;
    const auto pixels = [](int32_t count, const std::string& what) {
        return std::to_string(count) + " pixel " + what + (count == 1 ? "" : "s");
    };
    err << "quorvel: " << inQuotes(sheet.path) << ": " << pixels(sheet.grid.leftoverColumns, "column")
        << " at the right and " << pixels(sheet.grid.leftoverRows, "row")
        << " at the bottom belong to no tile (--partial keeps them)\n";
}

// One run over the planned sheets: what failed, and what became of the tiles.
class Run {
public:
    Run(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal)
        : mCommand(command), mOut(out), mErr(err), mProgress(err, errIsTerminal)
    {
    }

    void fail(const std::string& what)
    {
        mProgress.clear();
        mErr << "quorvel: " << what << "\n";
        mFailed = true;
    }

    // Cuts each sheet in turn. A sheet that cannot be read again is passed
    // over; a file that cannot be written ends the run. Nothing is cut where
    // anything would fail for its folder, and a dry run says so alike.
    void cutAll(std::vector<SheetPlan>& sheets, const std::vector<std::string>& cannotWrite)
    {
        mDecided.assign(sheets.size(), 0);
        if (!cannotWrite.empty()) {
            for (const std::string& problem : cannotWrite)
                fail(problem);
            // The run ends before its first tile, and says so.
            mCutting = !sheets.empty();
            return;
        }
        for (size_t i = 0; i < sheets.size(); ++i) {
            const std::string& path = sheets[i].report.path;
            try {
                if (reload(sheets[i]))
                    cutOne(sheets[i], mDecided[i]);
            } catch (const platform::RuntimeError& e) {
                fail(e.description());
                return;
            } catch (const std::bad_alloc&) {
                fail("out of memory while cutting " + inQuotes(path));
                return;
            } catch (const std::system_error& e) {
                // The thread that prepares tiles could not be started.
                fail("cannot cut " + inQuotes(path) + ": " + e.what());
                return;
            }
        }
    }

    // Also after a failure: the tiles written before it are complete, and
    // worth knowing about, once they are on disk.
    void finish(const std::vector<SheetPlan>& sheets)
    {
        mProgress.clear();
        if (mCutting && !mCommand.cutting.dryRun) {
            const Tally tally = tallyOf(sheets, mDecided);
            try {
                if (tally[size_t(TileStatus::Saved)] > 0 && !mCommand.cutting.noTiles)
                    platform::FlushFiles(mCommand.output);
            } catch (const platform::RuntimeError& e) {
                fail(e.description());
            }
            mOut << lastLine(tally, mCommand);
        }
        if (!mOut.flush())
            fail("cannot write the standard output");
    }

    int status() const { return mFailed ? kExitFailure : kExitSuccess; }

private:
    // A sheet let go after its plan is read again; it must not have changed
    // its size since. False, said on err, when it cannot be.
    bool reload(SheetPlan& sheet)
    {
        if (!sheet.picture.isEmpty())
            return true;
        const SheetReport& report = sheet.report;
        try {
            sheet.picture = loadSheet(report.path, mCommand.cutting.format);
        } catch (const platform::RuntimeError& e) {
            fail(e.description());
            return false;
        } catch (const std::bad_alloc&) {
            fail("out of memory while reading " + inQuotes(report.path));
            return false;
        }
        if (sheet.picture.pixelWidth() != report.width || sheet.picture.pixelHeight() != report.height) {
            fail(inQuotes(report.path) + " changed size while the run went on; it is left alone");
            return false;
        }
        if (mCommand.cutting.source == Source::Islands) {
            const size_t planned = sheet.islands.pictures.size();
            findIslands(sheet, mCommand.cutting);
            if (sheet.islands.pictures.size() != planned) {
                fail(inQuotes(report.path) + " changed while the run went on; it is left alone");
                return false;
            }
        }
        return true;
    }

    void cutOne(SheetPlan& sheet, size_t& decided)
    {
        mProgress.clear();
        reportSheet(sheet.report, mErr);
        mCutting = true;
        cut(sheet, mCommand, mProgress, decided);
        writeOverlay(sheet);
        sheet.picture = {};
        sheet.islands = {};
        if (mCommand.cutting.dryRun) {
            printDryRun(sheet.report, mOut);
        } else {
            writeBeside(sheet, mCommand);
            mProgress.clear();
            writeAtlases(sheet, mCommand, mErr);
        }
    }

    const Command& mCommand;
    std::ostream& mOut;
    std::ostream& mErr;
    bool mFailed = false;
    bool mCutting = false;
    Progress mProgress;
    // How many tiles of each sheet, from the first, have their fate.
    std::vector<size_t> mDecided;
};

} // namespace

int saveAll(const Command& command, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    Run run(command, out, err, errIsTerminal);
    Plan plan;
    try {
        plan = makePlan(command);
    } catch (const Refusal& refusal) {
        err << "quorvel: " << refusal.what << ".\n";
        return kExitUsage;
    }
    for (const std::string& problem : plan.unreadable)
        run.fail(problem);
    run.cutAll(plan.sheets, plan.cannotWrite);
    run.finish(plan.sheets);
    return run.status();
}

} // namespace cli
