#include "cli/batch.h"

#include "cli/manifest.h"
#include "cli/sheet_report.h"
#include "cli/tileset.h"
#include "platform/canvas.h"
#include "platform/colors.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "platform/picture_contents.h"
#include "platform/screen.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

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

std::string inQuotes(const std::string& name) { return "'" + name + "'"; }

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
    // Where its manifest and tileset go, "" for none.
    std::string manifest;
    std::string tileset;
    QByteArray tilesetBytes;
    // How many tiles, from the first, have their fate.
    size_t decided = 0;
};

using platform::FileFormat;

std::string extensionOf(FileFormat format) { return format == FileFormat::Png ? ".png" : ".bmp"; }

// PNG tiles keep the sheet's own kind of pixels; BMP tiles are drawn as the window draws them.
platform::Picture loadSheet(const std::string& path, FileFormat format)
{
    return platform::LoadPicture(path,
                                 format == FileFormat::Png ? platform::Pixels::AsStored : platform::Pixels::AsDrawn);
}

// The sheet's grid and each tile's name. Errors: the picture's, when it
// cannot be read; a Refusal when the options make no grid of it.
Sheet planOf(const std::string& path, const Command& command)
{
    Sheet sheet;
    sheet.picture = loadSheet(path, command.cutting.format);
    SheetReport& report = sheet.report;
    report.path = path;
    report.width = sheet.picture.pixelWidth();
    report.height = sheet.picture.pixelHeight();
    report.format = platform::PictureFileKind(path);
    report.options = command.cutting.grid;
    auto grid = tiles::cutGrid(report.width, report.height, report.options);
    if (const std::string* refusal = std::get_if<std::string>(&grid))
        throw Refusal{"cannot cut " + inQuotes(path) + ": " + *refusal};
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
    if (!sheet.tileset.empty()) {
        auto tileset = tilesetTsx(report, sheet.tileset);
        if (const std::string* refusal = std::get_if<std::string>(&tileset))
            throw Refusal{"--tileset " + inQuotes(sheet.tileset) + " cannot hold the grid of " + inQuotes(path) +
                          ": " + *refusal};
        sheet.tilesetBytes = std::get<QByteArray>(std::move(tileset));
    }
    return sheet;
}

namespace fs = std::filesystem;

// The name from the root, without "." or "..", to tell whether two names name one file.
fs::path fromRoot(const std::string& name)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(name, error).lexically_normal();
    return absolute.has_filename() ? absolute : absolute.parent_path();
}

std::string tileText(const TileReport& tile, const SheetReport& sheet)
{
    return "tile " + std::to_string(tile.tile.number) + " of " + inQuotes(sheet.path);
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
            // A --prefix may name a folder inside the output folder, as in the window.
            if (tile.file.size() - (tile.file.rfind('/') + 1) > longest)
                throw Refusal{"--name gives " + which + " a name longer than the " + std::to_string(longest) +
                              " bytes the output folder takes: " + inQuotes(tile.file)};
            const auto [owner, fresh] = owners.emplace(tile.file, which);
            if (!fresh)
                throw Refusal{"--name gives " + owner->second + " and " + which + " the same name " +
                              inQuotes(tile.file)};
        }
    // A manifest or tileset replaces what it is named, so it must not be named
    // as a tile or a sheet.
    const fs::path output = fromRoot(command.output);
    std::unordered_map<std::string, std::string> written;
    for (const Sheet& sheet : sheets)
        written.emplace(fromRoot(sheet.report.path).string(), "the sheet " + inQuotes(sheet.report.path));
    for (const Sheet& sheet : sheets)
        for (const auto& [option, file] : {std::pair{"--manifest", &sheet.manifest}, {"--tileset", &sheet.tileset}}) {
            if (file->empty())
                continue;
            const std::string which = std::string(option) + " of " + inQuotes(sheet.report.path);
            const auto [owner, fresh] = written.emplace(fromRoot(*file).string(), which);
            if (!fresh)
                throw Refusal{owner->second + " and " + which + " would both be " + inQuotes(*file)};
            const auto tile = owners.find(fromRoot(*file).lexically_relative(output).string());
            if (tile != owners.end())
                throw Refusal{which + " would be the file of " + tile->second + ": " + inQuotes(*file)};
        }
}

std::string targetOf(const TileReport& tile, const Command& command)
{
    return command.output + platform::PathSeparator + tile.file;
}

// A tile's fate as far as its pixels decide it, and the bytes of its file.
struct Prepared {
    // Saved: to be written, when the name is free.
    TileStatus status = TileStatus::Saved;
    // Repeat: the position, from 1, of the first tile with the same pixels.
    int32_t repeated = 0;
    // Empty in a dry run.
    QByteArray bytes;
};

// The tiles prepared in order on a thread of their own, so that one processor
// encodes while another makes the files; a few batches ahead at most, so that
// memory stays small. What fails while a tile is prepared is thrown by next()
// in that tile's turn.
class TilesAhead {
public:
    TilesAhead(const Sheet& sheet, const Command& command)
        : mThread([this, &sheet, &command] { prepareAll(sheet, command); })
    {
    }
    ~TilesAhead()
    {
        {
            const std::lock_guard lock(mMutex);
            mTakerGone = true;
        }
        mRoom.notify_one();
        mThread.join();
    }
    TilesAhead(const TilesAhead&) = delete;
    TilesAhead& operator=(const TilesAhead&) = delete;

    // The next tile in order, once it is prepared.
    Prepared next()
    {
        while (mTaken == mBatch.size()) {
            std::unique_lock lock(mMutex);
            mReady.wait(lock, [&] { return !mBatches.empty() || mError; });
            if (mBatches.empty())
                std::rethrow_exception(mError);
            mBatch = std::move(mBatches.front());
            mBatches.pop_front();
            mTaken = 0;
            lock.unlock();
            mRoom.notify_one();
        }
        return std::move(mBatch[mTaken++]);
    }

private:
    using Batch = std::vector<Prepared>;
    // Handed over a batch at a time: a hand-over per tile costs more than encoding it.
    static constexpr size_t kBatchSize = 64;
    static constexpr size_t kBatchesAhead = 4;

    // The tile as the window's pick draws it into the preview box: its pixels
    // over the box's background, placed in twips as the form places them.
    static platform::Picture composed(const platform::Picture& sheet, const tiles::PixelRect& rect,
                                      platform::Canvas& canvas)
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

    void prepareAll(const Sheet& sheet, const Command& command)
    {
        const Cutting& cutting = command.cutting;
        const std::vector<TileReport>& tiles = sheet.report.tiles;
        const bool png = cutting.format == FileFormat::Png;
        Batch batch;
        std::exception_ptr error;
        try {
            platform::Canvas canvas(platform::kPreviewBackground);
            platform::PictureIndex seen;
            for (size_t i = 0; i < tiles.size(); ++i) {
                const tiles::PixelRect& r = tiles[i].tile.rect;
                // A PNG tile is the sheet's own pixels; so are what tell empty and
                // repeated tiles, before any compositing.
                const platform::Picture pixels = png || cutting.skipEmpty || cutting.unique
                                                     ? sheet.picture.part(r.x, r.y, r.width, r.height)
                                                     : platform::Picture();
                Prepared tile;
                if (cutting.skipEmpty && platform::IsBlank(pixels, cutting.emptyColour))
                    tile.status = TileStatus::Empty;
                // Kept by position, as a tile numbered 0 (--first 0) would read as none.
                else if (cutting.unique && (tile.repeated = seen.firstSame(pixels, int32_t(i) + 1)) != 0)
                    tile.status = TileStatus::Repeat;
                else if (!cutting.dryRun)
                    tile.bytes = platform::EncodePicture(png ? pixels : composed(sheet.picture, r, canvas),
                                                         targetOf(tiles[i], command), cutting.format);
                batch.push_back(std::move(tile));
                if (batch.size() == kBatchSize && !hand(std::exchange(batch, {})))
                    return;
            }
        } catch (...) {
            error = std::current_exception();
        }
        // The tiles before a failure are handed over all the same, and the failure after them.
        hand(std::move(batch), error);
    }

    // False once the taker has gone.
    bool hand(Batch batch, std::exception_ptr error = nullptr)
    {
        std::unique_lock lock(mMutex);
        mRoom.wait(lock, [&] { return mBatches.size() < kBatchesAhead || mTakerGone; });
        if (mTakerGone)
            return false;
        mBatches.push_back(std::move(batch));
        mError = error;
        lock.unlock();
        mReady.notify_one();
        return true;
    }

    std::mutex mMutex;
    std::condition_variable mReady;
    std::condition_variable mRoom;
    std::deque<Batch> mBatches;
    std::exception_ptr mError;
    bool mTakerGone = false;
    // The taker's own.
    Batch mBatch;
    size_t mTaken = 0;
    // Last: the thread starts once the rest is made.
    std::thread mThread;
};

// Decides each tile's fate and, unless this is a dry run, writes the ones to
// be saved, in order. Errors: a tile that cannot be prepared or written ends
// the cut there.
void cut(Sheet& sheet, const Command& command, Progress& progress)
{
    std::vector<TileReport>& tiles = sheet.report.tiles;
    TilesAhead ahead(sheet, command);
    for (size_t i = 0; i < tiles.size(); ++i) {
        TileReport& tile = tiles[i];
        const Prepared prepared = ahead.next();
        tile.status = prepared.status;
        if (prepared.status == TileStatus::Repeat)
            tile.repeatOf = tiles[size_t(prepared.repeated) - 1].tile.number;
        if (prepared.status == TileStatus::Saved) {
            const std::string target = targetOf(tile, command);
            // The write refuses a taken name itself: no test before it.
            if (command.cutting.dryRun
                    ? platform::NameTaken(target)
                    : !platform::WriteNewFile(target, {prepared.bytes.constData(), size_t(prepared.bytes.size())}))
                tile.status = TileStatus::Existing;
        }
        sheet.decided = i + 1;
        progress.update(i + 1, tiles.size());
    }
}

// The sheet's manifest and tileset, each whole or not at all.
void writeBeside(const Sheet& sheet)
{
    if (!sheet.manifest.empty()) {
        const QByteArray json = manifestJson(sheet.report);
        platform::ReplaceFile(sheet.manifest, std::string_view(json.constData(), size_t(json.size())));
    }
    if (!sheet.tileset.empty())
        platform::ReplaceFile(sheet.tileset,
                              std::string_view(sheet.tilesetBytes.constData(), size_t(sheet.tilesetBytes.size())));
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

// What became of the tiles of every sheet, as far as the run got.
std::string lastLine(const std::vector<Sheet>& sheets, const Command& command)
{
    const auto count = [&](TileStatus status) {
        int64_t n = 0;
        for (const Sheet& sheet : sheets) {
            const auto first = sheet.report.tiles.begin();
            n += std::count_if(first, first + ptrdiff_t(sheet.decided),
                               [&](const TileReport& tile) { return tile.status == status; });
        }
        return std::to_string(n);
    };
    std::string line = "saved " + count(TileStatus::Saved) + ", skipped " + count(TileStatus::Existing) + " existing";
    const std::string empty = count(TileStatus::Empty) + " empty";
    const std::string repeats = count(TileStatus::Repeat) + " repeated";
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
    err << "quorvel: " << inQuotes(sheet.path) << ": " << pixels(sheet.grid.leftoverColumns, "column")
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
                fail("out of memory while reading " + inQuotes(path));
            }
        }
        checkNames(sheets, mCommand);
        return sheets;
    }

    // Cuts each sheet in turn; a file that cannot be written ends the run.
    void cutAll(std::vector<Sheet>& sheets)
    {
        std::string path;
        try {
            for (Sheet& sheet : sheets) {
                path = sheet.report.path;
                if (reload(sheet))
                    cutOne(sheet);
            }
        } catch (const platform::RuntimeError& e) {
            fail(e.description());
        } catch (const std::bad_alloc&) {
            fail("out of memory while cutting " + inQuotes(path));
        } catch (const std::system_error& e) {
            // The thread that encodes tiles could not be started.
            fail("cannot cut " + inQuotes(path) + ": " + e.what());
        }
    }

    // Also after a failure: the tiles written before it are complete, and worth knowing about.
    void finish(const std::vector<Sheet>& sheets)
    {
        mProgress.clear();
        if (mCutting && !mCommand.cutting.dryRun)
            mOut << lastLine(sheets, mCommand);
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
            sheet.picture = loadSheet(report.path, mCommand.cutting.format);
        } catch (const platform::RuntimeError& e) {
            fail(e.description());
            return false;
        }
        if (sheet.picture.pixelWidth() == report.width && sheet.picture.pixelHeight() == report.height)
            return true;
        fail(inQuotes(report.path) + " changed size while the run went on; it is left alone");
        return false;
    }

    void cutOne(Sheet& sheet)
    {
        mProgress.clear();
        reportLeftovers(sheet.report, mErr);
        mCutting = true;
        cut(sheet, mCommand, mProgress);
        sheet.picture = {};
        if (mCommand.cutting.dryRun)
            printDryRun(sheet.report, mOut);
        else
            writeBeside(sheet);
    }

    const Command& mCommand;
    std::ostream& mOut;
    std::ostream& mErr;
    bool mFailed = false;
    bool mCutting = false;
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
    run.finish(sheets);
    return run.status();
}

} // namespace cli
