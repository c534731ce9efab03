#include "cli/plan.h"

#include "cli/atlas.h"
#include "cli/text.h"
#include "cli/tileset.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "tiles/found_grid.h"

#include <QImage>
#include <cstdio>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace cli {

namespace {

std::string extensionOf(platform::FileFormat format)
{
    return format == platform::FileFormat::Png ? ".png" : ".bmp";
}

// The sheet's pixels as the rules that find tiles read them.
class ArgbPixels {
public:
    explicit ArgbPixels(const platform::Picture& picture)
        : mImage(picture.checkedImage().convertToFormat(QImage::Format_ARGB32))
    {
        if (mImage.isNull())
            throw std::bad_alloc();
    }
    tiles::SheetPixels view() const
    {
        return {reinterpret_cast<const uint32_t*>(mImage.constBits()), mImage.width(), mImage.height(),
                mImage.bytesPerLine() / 4};
    }

private:
    QImage mImage;
};

// Too many tiles to hold are refused before they are made.
void checkCount(const std::string& path, int64_t count, const std::string& what, int64_t mostTiles)
{
    if (count > mostTiles)
        throw Refusal{"cannot cut " + inQuotes(path) + ": its " + std::to_string(count) + " " + what +
                      " would pass the " + std::to_string(kMostTiles) +
                      " tiles that one run can plan in its 256 MiB of memory" +
                      (mostTiles < kMostTiles ? ", with the sheets before it" : "") +
                      ": cut larger tiles, or fewer sheets at a time"};
}

// Source: the grid the options give, the strip rule without --tile.
std::vector<tiles::GridTile> gridTiles(SheetReport& report, const tiles::GridOptions& options, int64_t mostTiles)
{
    report.options = options;
    auto grid = tiles::measureGrid(report.width, report.height, options);
    if (const std::string* refusal = std::get_if<std::string>(&grid))
        throw Refusal{"cannot cut " + inQuotes(report.path) + ": " + *refusal};
    report.grid = std::get<tiles::Grid>(std::move(grid));
    checkCount(report.path, int64_t(report.grid.columns) * report.grid.rows,
               "tiles of " + sizeText(report.grid.tileWidth, report.grid.tileHeight), mostTiles);
    tiles::fillGrid(report.grid, options);
    return std::exchange(report.grid.tiles, {});
}

// The options that give the grid, as they are typed.
std::string optionsText(const tiles::GridOptions& o)
{
    const auto pair = [](int32_t x, int32_t y) {
        return x == y ? std::to_string(x) : std::to_string(x) + "," + std::to_string(y);
    };
    std::string text = "--tile " + sizeText(o.tileWidth, o.tileHeight);
    if (o.marginX != 0 || o.marginY != 0)
        text += " --margin " + pair(o.marginX, o.marginY);
    if (o.spacingX != 0 || o.spacingY != 0)
        text += " --spacing " + pair(o.spacingX, o.spacingY);
    return text;
}

// Source: the grid found from the sheet's gutters, then cut as if it had been given.
std::vector<tiles::GridTile> foundGridTiles(SheetReport& report, const platform::Picture& picture,
                                            const Cutting& cutting, int64_t mostTiles)
{
    auto found = tiles::findGrid(ArgbPixels(picture).view(), cutting.tolerance);
    if (const std::string* refusal = std::get_if<std::string>(&found))
        throw Refusal{"cannot find the grid of " + inQuotes(report.path) + ": " + *refusal +
                      "; give it with --tile WxH (and --margin, --spacing)"};
    tiles::GridOptions options = std::get<tiles::GridOptions>(found);
    options.partial = cutting.grid.partial;
    options.first = cutting.grid.first;
    report.found = optionsText(options);
    return gridTiles(report, options, mostTiles);
}

} // namespace

void findIslands(SheetPlan& sheet, const Cutting& cutting)
{
    const ArgbPixels pixels(sheet.picture);
    tiles::IslandOptions options = cutting.islands;
    options.tolerance = cutting.tolerance;
    sheet.islands = tiles::findIslands(pixels.view(), options);
    // A pixel of the background itself fills what is not a tile's own, so that
    // it keeps the sheet's kind of pixels; transparent where none is exact.
    const tiles::SheetPixels view = pixels.view();
    const uint32_t background = sheet.islands.background;
    const bool transparent = sheet.islands.transparentBackground;
    sheet.blank.reset();
    for (int32_t y = 0; y < view.height && !sheet.blank; ++y)
        for (int32_t x = 0; x < view.width; ++x) {
            const uint32_t pixel = view.at(x, y);
            if (sheet.islands.owners[size_t(y) * size_t(view.width) + size_t(x)] == 0 &&
                (transparent ? tiles::alphaOf(pixel) == 0 : pixel == background)) {
                sheet.blank = platform::PixelAt{x, y};
                break;
            }
        }
}

namespace {

// Source: the sheet's separate pictures, each its own box grown by the pad,
// in reading order; the specks after them.
std::vector<tiles::GridTile> islandTiles(SheetPlan& sheet, const Cutting& cutting, int64_t mostTiles)
{
    SheetReport& report = sheet.report;
    report.hasGrid = false;
    findIslands(sheet, cutting);
    char colour[7];
    std::snprintf(colour, sizeof colour, "%06x", unsigned(sheet.islands.background & 0xFFFFFFu));
    report.background = sheet.islands.transparentBackground ? "transparent" : colour;
    const std::vector<tiles::Island>& pictures = sheet.islands.pictures;
    checkCount(report.path, int64_t(pictures.size()), "pictures", mostTiles);
    if (pictures.empty())
        throw Refusal{"cannot cut " + inQuotes(report.path) + ": it holds no picture apart from its background"};
    std::vector<tiles::GridTile> tiles;
    tiles.reserve(pictures.size());
    const int32_t first = cutting.grid.first;
    const int32_t pad = cutting.pad;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const tiles::Island& island = pictures[i];
        const bool newRow = i == 0 || island.row != pictures[i - 1].row;
        const int32_t column = newRow ? first : tiles.back().column + 1;
        const tiles::PixelRect& box = island.box;
        tiles.push_back({first + int32_t(i), first + island.row, column,
                         {box.x - pad, box.y - pad, box.width + 2 * pad, box.height + 2 * pad}});
    }
    return tiles;
}

// The sheet's tiles from their source, each named by the template.
void cutSheet(SheetPlan& sheet, const Command& command, int64_t mostTiles)
{
    SheetReport& report = sheet.report;
    const Cutting& cutting = command.cutting;
    report.width = sheet.picture.pixelWidth();
    report.height = sheet.picture.pixelHeight();
    report.format = platform::PictureFileKind(report.path);
    std::vector<tiles::GridTile> rectangles;
    switch (cutting.source) {
    case Source::Grid:
        rectangles = gridTiles(report, cutting.grid, mostTiles);
        break;
    case Source::FoundGrid:
        rectangles = foundGridTiles(report, sheet.picture, cutting, mostTiles);
        break;
    case Source::Islands:
        rectangles = islandTiles(sheet, cutting, mostTiles);
        break;
    }
    const std::string stem = stemOf(report.path);
    const std::string extension = extensionOf(cutting.format);
    report.tiles.reserve(rectangles.size());
    for (const tiles::GridTile& tile : rectangles)
        report.tiles.push_back(
            TileReport{tile, cutting.names.nameOf(tile, rectangles.back(), stem, command.prefix) + extension});
    if (cutting.source == Source::Islands)
        for (size_t i = 0; i < report.tiles.size(); ++i)
            if (sheet.islands.pictures[i].speck)
                report.tiles[i].status = TileStatus::Speck;
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
    sheet.report.path = path;
    cutSheet(sheet, command, mostTiles);
    const std::string stem = stemOf(path);
    sheet.manifest = withStem(command.cutting.manifest, stem);
    sheet.tileset = withStem(command.cutting.tileset, stem);
    sheet.overlay = withStem(command.cutting.overlay, stem);
    if (!sheet.tileset.empty()) {
        auto tileset = tilesetTsx(sheet.report, sheet.tileset, command.output);
        if (const std::string* refusal = std::get_if<std::string>(&tileset))
            throw Refusal{"--tileset " + inQuotes(sheet.tileset) + " cannot hold the tiles of " + inQuotes(path) +
                          ": " + *refusal};
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
                                                                             {"--tileset", &sheet.tileset},
                                                                             {"--overlay", &sheet.overlay}};
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
        if (command.sheets.size() > 1) {
            plan.sheets.back().picture = {};
            plan.sheets.back().islands.owners = {};
        }
    }
    Targets targets(plan, command);
    targets.checkTiles();
    targets.checkBesideFiles();
    plan.cannotWrite = targets.problems();
    return plan;
}

} // namespace cli
