#include "cli/plan.h"

#include "cli/atlas.h"
#include "cli/tileset.h"
#include "platform/errors.h"
#include "platform/files.h"

#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace cli {

namespace {

std::string inQuotes(const std::string& name) { return "'" + name + "'"; }

std::string extensionOf(platform::FileFormat format)
{
    return format == platform::FileFormat::Png ? ".png" : ".bmp";
}

// The tiles' rectangles through the grid the options give (the strip rule
// without --tile), each named by the template.
SheetReport cutSheet(const std::string& path, const platform::Picture& picture, const Command& command,
                     int64_t mostTiles)
{
    SheetReport report;
    report.path = path;
    report.width = picture.pixelWidth();
    report.height = picture.pixelHeight();
    report.format = platform::PictureFileKind(path);
    report.options = command.cutting.grid;
    auto grid = tiles::measureGrid(report.width, report.height, report.options);
    if (const std::string* refusal = std::get_if<std::string>(&grid))
        throw Refusal{"cannot cut " + inQuotes(path) + ": " + *refusal};
    report.grid = std::get<tiles::Grid>(std::move(grid));
    if (const int64_t count = int64_t(report.grid.columns) * report.grid.rows; count > mostTiles)
        throw Refusal{"cannot cut " + inQuotes(path) + ": its " + std::to_string(count) + " tiles of " +
                      std::to_string(report.grid.tileWidth) + "x" + std::to_string(report.grid.tileHeight) +
                      " would pass the " + std::to_string(kMostTiles) +
                      " tiles that one run can plan in its 256 MiB of memory" +
                      (mostTiles < kMostTiles ? ", with the sheets before it" : "") +
                      ": cut larger tiles, or fewer sheets at a time"};
    tiles::fillGrid(report.grid, report.options);
    std::vector<tiles::GridTile> rectangles = std::exchange(report.grid.tiles, {});
    const std::string stem = stemOf(path);
    const std::string extension = extensionOf(command.cutting.format);
    report.tiles.reserve(rectangles.size());
    for (const tiles::GridTile& tile : rectangles)
        report.tiles.push_back(
            TileReport{tile, command.cutting.names.nameOf(tile, rectangles.back(), stem, command.prefix) + extension});
    return report;
}

// What the tile files are and the atlases to write, once the tiles are known.
void planAtlases(SheetPlan& sheet, const Command& command)
{
    const Cutting& cutting = command.cutting;
    SheetReport& report = sheet.report;
    report.scale = cutting.scale;
    report.tilesWritten = !cutting.noTiles;
    if (const std::string problem = tagProblem(report, cutting.animations.tags); !problem.empty())
        throw Refusal{"--tags cannot be cut from " + inQuotes(report.path) + ": " + problem};
    for (const AtlasRequest& request : cutting.atlases) {
        const AtlasRequest atlas{request.format, withStem(request.file, stemOf(report.path))};
        if (const std::string problem = atlasProblem(atlas.format, report, atlas.file); !problem.empty())
            throw Refusal{"--atlas " + std::string(atlasFormatName(atlas.format)) + " " + inQuotes(atlas.file) +
                          " cannot hold the cut of " + inQuotes(report.path) + ": " + problem};
        sheet.atlases.push_back(atlas);
    }
}

SheetPlan planSheet(const std::string& path, const Command& command, int64_t mostTiles)
{
    SheetPlan sheet;
    sheet.picture = loadSheet(path, command.cutting.format);
    sheet.report = cutSheet(path, sheet.picture, command, mostTiles);
    const std::string stem = stemOf(path);
    sheet.manifest = withStem(command.cutting.manifest, stem);
    sheet.tileset = withStem(command.cutting.tileset, stem);
    if (!sheet.tileset.empty()) {
        auto tileset = tilesetTsx(sheet.report, sheet.tileset);
        if (const std::string* refusal = std::get_if<std::string>(&tileset))
            throw Refusal{"--tileset " + inQuotes(sheet.tileset) + " cannot hold the grid of " + inQuotes(path) +
                          ": " + *refusal};
        sheet.tilesetBytes = std::get<QByteArray>(std::move(tileset));
    }
    planAtlases(sheet, command);
    return sheet;
}

// Every file the run writes, checked as the system will see it: a folder by
// its device and inode, whatever the text naming it ("./", "..", a link), so
// that no two writes meet in one file and no write replaces a tile or a sheet.
class Targets {
public:
    Targets(const Plan& plan, const Command& command) : mPlan(plan), mCommand(command) {}

    void checkTiles()
    {
        const size_t extension = extensionOf(mCommand.cutting.format).size();
        for (size_t s = 0; s < mPlan.sheets.size(); ++s) {
            const std::vector<TileReport>& tiles = mPlan.sheets[s].report.tiles;
            for (size_t t = 0; t < tiles.size(); ++t) {
                const std::string& file = tiles[t].file;
                if (file.size() == extension)
                    throw Refusal{"--name gives " + tileText(s, t) + " an empty name"};
                // A --prefix may name a folder inside the output folder, as in the window.
                const std::string::size_type slash = file.rfind('/');
                const std::string target = targetOf(tiles[t], mCommand);
                Folder& folder = folderOf(target, inQuotes(target) + ", " + tileText(s, t));
                const std::string_view name = std::string_view(file).substr(slash + 1);
                if (name.size() > folder.longestName)
                    throw Refusal{"--name gives " + tileText(s, t) + " a name longer than the " +
                                  std::to_string(folder.longestName) + " bytes the output folder takes: " +
                                  inQuotes(file)};
                const auto [owner, fresh] = folder.tiles.emplace(name, std::pair{s, t});
                if (!fresh)
                    throw Refusal{"--name gives " + tileText(owner->second.first, owner->second.second) + " and " +
                                  tileText(s, t) + " the same file " + inQuotes(file)};
            }
        }
    }

    // A manifest, tileset or atlas replaces what it is named, and writes where
    // a link leads, so it must be no tile's file, no sheet and no other such file.
    void checkBesideFiles()
    {
        std::vector<std::pair<platform::FileIdentity, std::string>> taken;
        for (size_t s = 0; s < mPlan.sheets.size(); ++s) {
            const std::string& path = mPlan.sheets[s].report.path;
            if (auto identity = platform::IdentityOf(path, platform::Links::Followed))
                taken.emplace_back(std::move(*identity), "the sheet " + inQuotes(path));
        }
        for (size_t s = 0; s < mPlan.sheets.size(); ++s) {
            const SheetPlan& sheet = mPlan.sheets[s];
            std::vector<std::pair<std::string, const std::string*>> files = {{"--manifest", &sheet.manifest},
                                                                             {"--tileset", &sheet.tileset}};
            for (const AtlasRequest& atlas : sheet.atlases)
                files.emplace_back("--atlas " + std::string(atlasFormatName(atlas.format)), &atlas.file);
            for (const auto& [option, file] : files) {
                if (file->empty())
                    continue;
                const std::string which = option + " " + inQuotes(*file) + " of " + sheetText(s);
                folderOf(*file, which);
                const std::optional<platform::FileIdentity> identity =
                    platform::IdentityOf(*file, platform::Links::Followed);
                if (!identity)
                    continue;
                for (const auto& [other, owner] : taken)
                    if (other == *identity)
                        throw Refusal{which + " would replace " + owner};
                if (const std::string tile = tileAt(*identity); !tile.empty())
                    throw Refusal{which + " would replace the file of " + tile};
                taken.emplace_back(*identity, which);
            }
        }
    }

    // One line for each folder that cannot be written.
    std::vector<std::string> problems() const
    {
        std::vector<std::string> lines;
        for (const auto& [text, folder] : mFolders)
            if (!folder.problem.empty())
                lines.push_back("cannot write " + folder.what + ": " + folder.problem);
        return lines;
    }

private:
    struct Folder {
        // The first files found to go there, for the message.
        std::string what;
        std::string problem;
        std::optional<platform::FileIdentity> identity;
        size_t longestName = 0;
        // The tiles written there by name: sheet and tile position.
        std::unordered_map<std::string_view, std::pair<size_t, size_t>> tiles;
    };

    // The folder a file goes into, checked once.
    Folder& folderOf(const std::string& file, const std::string& what)
    {
        const std::string text = file.substr(0, file.rfind('/') + 1);
        auto [at, fresh] = mFolders.try_emplace(text);
        Folder& folder = at->second;
        if (fresh) {
            folder.what = what;
            folder.problem = platform::FolderProblem(file);
            folder.identity = platform::IdentityOf(file, platform::Links::AsTheyAre);
            folder.longestName = size_t(platform::LongestName(text.empty() ? "." : text));
        }
        return folder;
    }

    // The tile written as this file, or "".
    std::string tileAt(const platform::FileIdentity& file) const
    {
        for (const auto& [text, folder] : mFolders) {
            if (!folder.identity || folder.identity->device != file.device || folder.identity->folder != file.folder)
                continue;
            if (const auto tile = folder.tiles.find(file.name); tile != folder.tiles.end())
                return tileText(tile->second.first, tile->second.second);
        }
        return {};
    }

    std::string sheetText(size_t sheet) const { return inQuotes(mPlan.sheets[sheet].report.path); }

    std::string tileText(size_t sheet, size_t tile) const
    {
        return "tile " + std::to_string(mPlan.sheets[sheet].report.tiles[tile].tile.number) + " of " +
               sheetText(sheet);
    }

    const Plan& mPlan;
    const Command& mCommand;
    // By the text before the file's name; a few at most.
    std::unordered_map<std::string, Folder> mFolders;
};

} // namespace

platform::Picture loadSheet(const std::string& path, platform::FileFormat format)
{
    return platform::LoadPicture(path,
                                 format == platform::FileFormat::Png ? platform::Pixels::AsStored
                                                                     : platform::Pixels::AsDrawn);
}

std::string targetOf(const TileReport& tile, const Command& command)
{
    return command.output + platform::PathSeparator + tile.file;
}

Plan makePlan(const Command& command)
{
    Plan plan;
    int64_t tiles = 0;
    for (const std::string& path : command.sheets) {
        try {
            plan.sheets.push_back(planSheet(path, command, kMostTiles - tiles));
        } catch (const platform::RuntimeError& e) {
            plan.unreadable.push_back(e.description());
            continue;
        } catch (const std::bad_alloc&) {
            plan.unreadable.push_back("out of memory while reading " + inQuotes(path));
            continue;
        }
        tiles += int64_t(plan.sheets.back().report.tiles.size());
        if (command.sheets.size() > 1)
            plan.sheets.back().picture = {};
    }
    Targets targets(plan, command);
    targets.checkTiles();
    targets.checkBesideFiles();
    plan.cannotWrite = targets.problems();
    return plan;
}

} // namespace cli
