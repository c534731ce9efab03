#include "cli/command_line.h"

#include "cli/assemble.h"
#include "cli/batch.h"
#include "platform/screen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <iostream>
#include <limits>
#include <tuple>
#include <unistd.h>

namespace cli {

namespace {

const std::string kUsage = "Usage: quorvel [FILE | FOLDER]\n"
                           "       quorvel --save-all SHEET... --output FOLDER [--prefix TEXT] [OPTION...]\n"
                           "       quorvel --assemble MANIFEST --into SHEET [--replace] [--background RRGGBB] "
                           "[--dry-run]\n";

const std::string kExamples =
    "\nExamples:\n"
    "  A sheet of 16x16 tiles with a 1-pixel border and 1 pixel between tiles:\n"
    "    quorvel --save-all tiles.png --output out --tile 16x16 --margin 1 --spacing 1\n"
    "  A strip of frames for an engine, as PNG, named walk_001.png ... walk_120.png:\n"
    "    quorvel --save-all walk.png --output frames --format png --name 'walk_{n:auto}'\n"
    "  A sheet with its Tiled tileset and a manifest, leaving out empty and repeated tiles:\n"
    "    quorvel --save-all dungeon.png --output tiles --tile 32x32 --tileset dungeon.tsx \\\n"
    "            --manifest dungeon.json --skip-empty --unique\n"
    "  The way back: cut with a manifest, redraw a tile, put the tiles into a new sheet:\n"
    "    quorvel --save-all icons.png --output icons --tile 16x16 --format png --manifest icons.json\n"
    "    gimp icons/7.png\n"
    "    quorvel --assemble icons.json --into icons-new.png\n"
    "  Two sheets at once, to see first what would be written:\n"
    "    quorvel --save-all a.png b.png --output out --name '{stem}_{n:auto}' --dry-run\n"
    "  A sheet nobody measured: find its grid, and look at the cut before cutting:\n"
    "    quorvel --save-all units.png --output out --tile auto --overlay cut.png --dry-run\n"
    "  A packed atlas of sprites of different sizes, each sprite a tile:\n"
    "    quorvel --save-all atlas.png --output sprites --islands --format png --overlay cut.png\n"
    "\nAtlases: an engine loads the sheet and the atlas (paths inside are relative to the atlas). For\n"
    "each format, the command that writes it, then the call that loads it:\n"
    "  json-hash, for PixiJS (tags become its animations) and Phaser:\n"
    "    quorvel --save-all walk.png --output frames --tile 32x32 --trim --tags walk:1-8 --atlas json-hash:walk.json\n"
    "    const sheet = await Assets.load('walk.json'); new AnimatedSprite(sheet.animations.walk);\n"
    "  json-array, for Phaser:\n"
    "    quorvel --save-all walk.png --output frames --tile 32x32 --no-tiles --atlas json-array:walk.json\n"
    "    this.load.atlas('walk', 'walk.png', 'walk.json');\n"
    "  aseprite, for Phaser (frames keyed 0, 1, ...; tags become frameTags):\n"
    "    quorvel --save-all walk.png --output frames --tile 32x32 --tags walk:1-8 --atlas aseprite:walk.json\n"
    "    this.load.aseprite('walk', 'walk.png', 'walk.json');  then  this.anims.createFromAseprite('walk');\n"
    "  godot, a Godot 4 SpriteFrames resource (one animation per tag, at --fps):\n"
    "    quorvel --save-all walk.png --output frames --tile 32x32 --tags walk:1-8 --fps 12 --atlas godot:walk.tres\n"
    "    $AnimatedSprite2D.sprite_frames = load(\"res://walk.tres\")\n"
    "  libgdx, a libGDX texture atlas (a name ending in _N is region N of its name):\n"
    "    quorvel --save-all walk.png --output frames --tile 32x32 --name 'walk_{n}' --atlas libgdx:walk.atlas\n"
    "    new Animation<>(0.1f, new TextureAtlas(Gdx.files.internal(\"walk.atlas\")).findRegions(\"walk\"));\n";

// The window's Save all at 96 DPI, the common desktop's.
constexpr float kTwipsPerPixelAt96Dpi = 15;
constexpr int64_t kLargestNumber = std::numeric_limits<int32_t>::max();
constexpr int32_t kLargestChannel = 255;

struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version{{"v", "version"}, "Show the version and exit."};
    QCommandLineOption saveAll{"save-all",
                               "Save every tile of each SHEET (this one and every other name given) into the "
                               "output folder, with no window; a name that exists is skipped, never replaced.",
                               "SHEET"};
    QCommandLineOption output{"output", "The folder the tiles go to (with --save-all).", "FOLDER"};
    QCommandLineOption prefix{"prefix", "What each tile's name starts with, {prefix} in --name (none by default).",
                              "TEXT"};
    QCommandLineOption tile{"tile",
                            "The tiles' size in pixels. By default, a tile is as wide as the strip is high (a strip "
                            "15 pixels high gives tiles 16 wide), and a strip narrower than two tiles is one tile. "
                            "auto: the tiles, margin and spacing found from the sheet's gutters, rows and columns "
                            "all transparent or all one colour; a sheet whose gutters fit no grid or more than one "
                            "is refused.",
                            "WxH|auto"};
    QCommandLineOption margin{"margin", "Pixels before the first column and the first row (0 by default).", "X[,Y]"};
    QCommandLineOption spacing{"spacing", "Pixels between two tiles (0 by default).", "X[,Y]"};
    QCommandLineOption partial{"partial",
                               "Save the pixels left over at the right and bottom as smaller tiles; by default they "
                               "belong to no tile, and a line on stderr says how many there are."};
    QCommandLineOption first{"first", "The number of the first tile, row and column (1 by default; 0 or more).",
                             "N"};
    QCommandLineOption format{"format",
                              "bmp (the default): 24-bit BMP tiles, transparent pixels on the preview's grey; png: "
                              "the sheet's own pixels, alpha, palette, grey and 16 bits kept.",
                              "bmp|png"};
    QCommandLineOption name{"name",
                            "The tiles' names, without extension: {n} the tile's number, {row} and {col} its row "
                            "and column, {stem} the sheet's name without extension, {prefix} the --prefix text; "
                            "{n:3} gives 007, {n:auto} pads to the largest number so that names sort. "
                            "Default: {prefix}{n}.",
                            "TEMPLATE"};
    QCommandLineOption dryRun{"dry-run",
                              "Print each tile's name, rectangle and fate (with --assemble: where its pixels come "
                              "from); write nothing."};
    QCommandLineOption manifest{"manifest",
                                "Also write a JSON manifest of the sheet, its grid and every tile, replacing an "
                                "earlier one; {stem} in its name gives one per sheet.",
                                "FILE.json"};
    QCommandLineOption tileset{"tileset",
                               "Also write a Tiled tileset (.tsx) of the sheet, replacing an earlier one; {stem} in "
                               "its name gives one per sheet.",
                               "FILE.tsx"};
    QCommandLineOption skipEmpty{"skip-empty", "Leave out tiles that are all transparent (or all --empty-colour)."};
    QCommandLineOption emptyColour{"empty-colour", "With --skip-empty: also leave out tiles all of this colour.",
                                   "RRGGBB"};
    QCommandLineOption unique{"unique", "Leave out a tile whose pixels equal an earlier tile's."};
    QCommandLineOption atlas{"atlas",
                             "Also write the cut as regions of the sheet, for an engine to load with the sheet: "
                             "FORMAT json-hash (Phaser, PixiJS), json-array (Phaser), aseprite (Phaser), godot "
                             "(a SpriteFrames .tres) or libgdx (.atlas); {stem} in FILE gives one per sheet. May "
                             "be given several times.",
                             "FORMAT:FILE"};
    QCommandLineOption noTiles{"no-tiles",
                               "Write the --atlas, --manifest and --tileset files only, no tile file; each tile's "
                               "fate is still decided, as in a dry run."};
    QCommandLineOption trim{"trim",
                            "Save each tile without its fully transparent rows and columns at the borders; the "
                            "manifest and the atlases say where the rest sat in the tile."};
    QCommandLineOption scale{"scale",
                             "Enlarge each tile file N times (2 to 16), every pixel an NxN block; atlases still "
                             "describe the sheet as it is.",
                             "N"};
    QCommandLineOption tags{"tags",
                            "Animations for the atlases, by tile numbers: walk:1-8,jump:9-12 (the tiles from the "
                            "one numbered FROM to the one numbered TO).",
                            "NAME:FROM-TO,..."};
    QCommandLineOption fps{"fps", "The animations' frames per second (10 by default: Aseprite's 100 ms a frame).",
                           "N"};
    QCommandLineOption islands{"islands",
                               "Cut each separate picture of the sheet as a tile, its box holding only its own "
                               "pixels; numbered in rows from the top, then left to right."};
    QCommandLineOption tolerance{"tolerance",
                                 "With --tile auto or --islands: how much each channel may differ and still count "
                                 "as the background (" +
                                     QString::number(tiles::kDefaultTolerance) + " by default; 0 to 255).",
                                 "N"};
    QCommandLineOption background{"background",
                                  "With --islands: the background, auto (the default: transparent when the sheet's "
                                  "border has transparent pixels, else the colour filling its border), transparent "
                                  "or RRGGBB. With --assemble: the colour of what no tile covers once the old sheet "
                                  "is gone (transparent by default).",
                                  "auto|transparent|RRGGBB"};
    QCommandLineOption connect{"connect",
                               "With --islands: 8 (the default) joins pixels that touch at a corner too; 4 only "
                               "those that touch at a side.",
                               "4|8"};
    QCommandLineOption merge{"merge",
                             "With --islands: join pictures whose boxes come within N pixels of each other, such as "
                             "a letter and its dot (" +
                                 QString::number(tiles::kDefaultMerge) + " by default).",
                             "N"};
    QCommandLineOption minArea{"min-area",
                               "With --islands: pictures of fewer pixels are specks, left out and counted (" +
                                   QString::number(tiles::kDefaultMinArea) + " by default).",
                               "N"};
    QCommandLineOption pad{"pad", "With --islands: transparent pixels added around each tile (0 by default).", "N"};
    QCommandLineOption overlay{"overlay",
                               "Also write a PNG picture of the cut: the sheet enlarged, every tile outlined and "
                               "numbered, tiles left out marked; written with --dry-run too, to look before "
                               "writing. {stem} in its name gives one per sheet.",
                               "FILE.png"};
    QCommandLineOption assemble{"assemble",
                                "Put the tiles of a cut back into one sheet, as the --manifest it wrote says: "
                                "each tile file at its place, a repeat from the tile it repeats; what no tile file "
                                "holds (margins, spacing, empty and existing tiles) from the old sheet while it is "
                                "there and of the same size, else transparent. PNG tiles give the sheet back "
                                "exactly; BMP tiles only an opaque one, as their transparent pixels became the "
                                "preview's grey.",
                                "MANIFEST"};
    QCommandLineOption into{"into", "The sheet --assemble writes, a .png (palette, grey, 16 bits and alpha kept) or "
                                    ".bmp file; an existing file is never replaced without --replace.",
                            "SHEET"};
    QCommandLineOption replace{"replace", "With --assemble: replace the --into file in one step (a link stays)."};

    // The options of --assemble besides --dry-run and --background, which it
    // shares with --save-all.
    std::vector<const QCommandLineOption*> assembling() const { return {&into, &replace}; }

    // Everything but --help and --version, which stand alone.
    std::vector<const QCommandLineOption*> cutting() const
    {
        return {&output,  &prefix,  &tile,      &margin,     &spacing, &partial, &first,  &format,
                &name,    &dryRun,  &manifest,  &tileset,    &skipEmpty, &emptyColour, &unique, &atlas,
                &noTiles, &trim,    &scale,     &tags,       &fps,     &islands, &tolerance, &background,
                &connect, &merge,   &minArea,   &pad,        &overlay};
    }
};

// Options are plain ASCII, so reading each byte as one Latin-1 character lets
// the parser find them, while the bytes of a file name go through untouched
// and come back exactly by toLatin1().
QString fromBytes(const std::string& bytes) { return QString::fromLatin1(bytes.data(), qsizetype(bytes.size())); }

std::string toBytes(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

std::string optionName(const QCommandLineOption& option) { return "--" + toBytes(option.names().constLast()); }

void setUp(QCommandLineParser& parser, const Options& options)
{
    parser.setApplicationDescription(
        "Cuts a strip image, a BMP, GIF or PNG file holding a row of equal square\n"
        "pictures, into tiles and saves them as BMP files. A tile is as wide as the strip\n"
        "is high (a strip 15 pixels high gives tiles 16 wide); a strip narrower than two\n"
        "tiles is one tile. Without --save-all, the window opens. With it, any sheet is\n"
        "cut into a grid of tiles, saved as BMP or PNG files, as the options below say.\n"
        "With --assemble, the tiles of such a cut go back into one sheet.");
    parser.addOptions({options.help, options.version, options.saveAll});
    for (const QCommandLineOption* option : options.cutting())
        parser.addOption(*option);
    parser.addOption(options.assemble);
    for (const QCommandLineOption* option : options.assembling())
        parser.addOption(*option);
    parser.addPositionalArgument("FILE", "Opens the window on the strip's folder and loads the strip.",
                                 "[FILE | FOLDER]");
    parser.addPositionalArgument("FOLDER", "Opens the window on the folder.");
}

Command commandTo(Action action, const std::string& name = {})
{
    Command command;
    command.action = action;
    command.name = name;
    return command;
}

Command misuse(const std::string& problem)
{
    Command command = commandTo(Action::Misuse);
    command.problem = problem;
    return command;
}

// A whole number of plain digits from least to kLargestNumber.
std::optional<int32_t> wholeNumber(const QString& text, int32_t least)
{
    static const QRegularExpression digits("^[0-9]{1,10}$");
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const qint64 value = text.toLongLong();
    if (value < least || value > kLargestNumber)
        return std::nullopt;
    return int32_t(value);
}

// Two whole numbers from least on, joined by the separator; one number alone
// stands for both when the second is optional.
std::optional<std::pair<int32_t, int32_t>> numberPair(const QString& text, QChar separator, int32_t least,
                                                      bool secondOptional)
{
    const QStringList parts = text.split(separator);
    if (parts.size() == 1 && secondOptional) {
        if (const std::optional<int32_t> both = wholeNumber(parts[0], least))
            return std::make_pair(*both, *both);
        return std::nullopt;
    }
    const std::optional<int32_t> x = parts.size() == 2 ? wholeNumber(parts[0], least) : std::nullopt;
    const std::optional<int32_t> y = parts.size() == 2 ? wholeNumber(parts[1], least) : std::nullopt;
    if (!x || !y)
        return std::nullopt;
    return std::make_pair(*x, *y);
}

// A colour as RRGGBB.
std::optional<uint32_t> colourOf(const QString& text)
{
    static const QRegularExpression hex("^[0-9A-Fa-f]{6}$");
    if (!hex.match(text).hasMatch())
        return std::nullopt;
    return text.toUInt(nullptr, 16);
}

// The options of finding tiles in the sheet's pixels, or what is wrong with
// the first one that is wrong.
template <typename Given>
std::string readFinding(const QCommandLineParser& parser, const Options& options, Cutting& cutting, const Given& given)
{
    const bool islands = cutting.source == Source::Islands;
    if (parser.isSet(options.tolerance)) {
        if (cutting.source == Source::Grid)
            return "--tolerance goes with --tile auto or --islands";
        const std::optional<int32_t> tolerance = wholeNumber(parser.value(options.tolerance), 0);
        if (!tolerance || *tolerance > kLargestChannel)
            return given(options.tolerance) + ": a tolerance is a whole number from 0 to 255";
        cutting.tolerance = *tolerance;
    }
    for (const QCommandLineOption* option :
         {&options.background, &options.connect, &options.merge, &options.minArea, &options.pad})
        if (parser.isSet(*option) && !islands)
            return optionName(*option) + " goes with --islands";
    tiles::IslandOptions& found = cutting.islands;
    if (parser.isSet(options.background)) {
        const QString background = parser.value(options.background);
        if (background == "transparent")
            found.background = tiles::BackgroundKind::Transparent;
        else if (const std::optional<uint32_t> colour = colourOf(background)) {
            found.background = tiles::BackgroundKind::Colour;
            found.colour = *colour;
        } else if (background != "auto")
            return given(options.background) + ": the background is auto, transparent or RRGGBB, such as ff00ff";
    }
    if (parser.isSet(options.connect)) {
        if (parser.value(options.connect) != "4" && parser.value(options.connect) != "8")
            return given(options.connect) + ": pixels connect at 4 sides or at 8 sides and corners";
        found.connect = parser.value(options.connect).toInt();
    }
    for (const auto& [option, value, least, most] :
         {std::tuple{&options.merge, &found.merge, 0, kLargestNumber},
          std::tuple{&options.minArea, &found.minArea, 1, kLargestNumber},
          std::tuple{&options.pad, &cutting.pad, 0, int64_t(kWidestPad)}}) {
        if (!parser.isSet(*option))
            continue;
        const std::optional<int32_t> number = wholeNumber(parser.value(*option), least);
        if (!number || *number > most)
            return given(*option) + ": a whole number from " + std::to_string(least) + " to " + std::to_string(most) +
                   " is wanted";
        *value = *number;
    }
    return {};
}

// The cutting options into command.cutting, or what is wrong with the first
// one that is wrong.
std::string readCutting(const QCommandLineParser& parser, const Options& options, Command& command)
{
    Cutting& cutting = command.cutting;
    tiles::GridOptions& grid = cutting.grid;
    const auto given = [&](const QCommandLineOption& option) {
        return optionName(option) + " '" + toBytes(parser.value(option)) + "'";
    };
    if (parser.isSet(options.islands)) {
        cutting.source = Source::Islands;
        for (const QCommandLineOption* option : {&options.tile, &options.margin, &options.spacing, &options.partial})
            if (parser.isSet(*option))
                return optionName(*option) + " cuts a grid; --islands cuts each picture as it lies";
    } else if (parser.value(options.tile) == "auto") {
        cutting.source = Source::FoundGrid;
        for (const QCommandLineOption* option : {&options.margin, &options.spacing})
            if (parser.isSet(*option))
                return optionName(*option) + " goes with --tile WxH: --tile auto finds it";
    } else if (parser.isSet(options.tile)) {
        const auto size = numberPair(parser.value(options.tile), 'x', 1, false);
        if (!size)
            return given(options.tile) +
                   ": a tile's size is WxH, two whole numbers above 0, such as 16x16, or auto to find it";
        std::tie(grid.tileWidth, grid.tileHeight) = *size;
    }
    if (const std::string problem = readFinding(parser, options, cutting, given); !problem.empty())
        return problem;
    for (const auto& [option, x, y] : {std::tuple{&options.margin, &grid.marginX, &grid.marginY},
                                        std::tuple{&options.spacing, &grid.spacingX, &grid.spacingY}}) {
        if (!parser.isSet(*option))
            continue;
        const auto pixels = numberPair(parser.value(*option), ',', 0, true);
        if (!pixels)
            return given(*option) + ": pixels are X or X,Y, whole numbers from 0, such as 1 or 2,1";
        std::tie(*x, *y) = *pixels;
    }
    grid.partial = parser.isSet(options.partial);
    if (parser.isSet(options.first)) {
        const std::optional<int32_t> first = wholeNumber(parser.value(options.first), 0);
        if (!first)
            return given(options.first) + ": the first number is a whole number from 0 to " +
                   std::to_string(kLargestNumber);
        grid.first = *first;
    }
    if (parser.isSet(options.format)) {
        const QString format = parser.value(options.format);
        if (format != "bmp" && format != "png")
            return given(options.format) + ": the formats are bmp and png";
        cutting.format = format == "png" ? platform::FileFormat::Png : platform::FileFormat::Bmp;
    }
    if (parser.isSet(options.name)) {
        auto names = NameTemplate::parse(toBytes(parser.value(options.name)));
        if (const std::string* problem = std::get_if<std::string>(&names))
            return given(options.name) + ": " + *problem;
        cutting.names = std::get<NameTemplate>(std::move(names));
    }
    cutting.dryRun = parser.isSet(options.dryRun);
    for (const auto& [option, file] :
         {std::pair{&options.manifest, &cutting.manifest}, std::pair{&options.tileset, &cutting.tileset},
          std::pair{&options.overlay, &cutting.overlay}}) {
        *file = toBytes(parser.value(*option));
        if (parser.isSet(*option) && file->empty())
            return optionName(*option) + " needs a file name";
        if (command.sheets.size() > 1 && !file->empty() && file->find(kStemField) == std::string::npos)
            return given(*option) + " would be one file for " + std::to_string(command.sheets.size()) +
                   " sheets: put {stem} in its name";
    }
    cutting.skipEmpty = parser.isSet(options.skipEmpty);
    if (parser.isSet(options.emptyColour)) {
        cutting.emptyColour = colourOf(parser.value(options.emptyColour));
        if (!cutting.emptyColour)
            return given(options.emptyColour) + ": a colour is RRGGBB, six hexadecimal digits such as ff00ff";
        if (!cutting.skipEmpty)
            return "--empty-colour goes with --skip-empty";
    }
    cutting.unique = parser.isSet(options.unique);
    return {};
}

// NAME:FROM-TO,... into tags, or what is wrong.
std::string readTags(const QString& text, std::vector<AnimationTag>& tags)
{
    static const QRegularExpression range("^([0-9]{1,10})-([0-9]{1,10})$");
    for (const QString& part : text.split(',')) {
        const qsizetype colon = part.lastIndexOf(':');
        const QRegularExpressionMatch numbers = range.match(part.mid(colon + 1));
        const std::optional<int32_t> from = wholeNumber(numbers.captured(1), 0);
        const std::optional<int32_t> to = wholeNumber(numbers.captured(2), 0);
        if (colon <= 0 || !from || !to)
            return "'" + toBytes(part) + "': a tag is NAME:FROM-TO, such as walk:1-8";
        AnimationTag tag{toBytes(part.left(colon)), *from, *to};
        if (std::any_of(tag.name.begin(), tag.name.end(), [](char c) { return c >= 0 && c < ' '; }))
            return "'" + toBytes(part) + "': a tag's name holds no control characters";
        if (tag.to < tag.from)
            return "'" + toBytes(part) + "': a tag runs from a number to a larger one";
        for (const AnimationTag& other : tags)
            if (other.name == tag.name)
                return "two tags are named '" + tag.name + "'";
        tags.push_back(std::move(tag));
    }
    return {};
}

// The options of what goes to an engine into command.cutting, or what is wrong
// with the first one that is wrong.
std::string readEngineData(const QCommandLineParser& parser, const Options& options, Command& command)
{
    Cutting& cutting = command.cutting;
    const auto given = [&](const QCommandLineOption& option) {
        return optionName(option) + " '" + toBytes(parser.value(option)) + "'";
    };
    for (const QString& value : parser.values(options.atlas)) {
        const qsizetype colon = value.indexOf(':');
        const std::optional<AtlasFormat> format = atlasFormatNamed(toBytes(value.left(colon)));
        const std::string file = toBytes(value.mid(colon + 1));
        const std::string shown = "--atlas '" + toBytes(value) + "'";
        if (colon < 0 || file.empty())
            return shown + ": an atlas is FORMAT:FILE, such as godot:walk.tres";
        if (!format)
            return shown + ": the formats are " + atlasFormatNames();
        if (command.sheets.size() > 1 && file.find(kStemField) == std::string::npos)
            return shown + " would be one file for " + std::to_string(command.sheets.size()) +
                   " sheets: put {stem} in its name";
        cutting.atlases.push_back({*format, file});
    }
    if (parser.isSet(options.tags)) {
        if (const std::string problem = readTags(parser.value(options.tags), cutting.animations.tags);
            !problem.empty())
            return "--tags " + problem;
    }
    if (parser.isSet(options.fps)) {
        const std::optional<int32_t> fps = wholeNumber(parser.value(options.fps), 1);
        if (!fps || *fps > 1000)
            return given(options.fps) + ": frames per second are a whole number from 1 to 1000";
        cutting.animations.fps = *fps;
    }
    if ((parser.isSet(options.tags) || parser.isSet(options.fps)) && cutting.atlases.empty())
        return "--tags and --fps go with --atlas";
    cutting.noTiles = parser.isSet(options.noTiles);
    if (cutting.noTiles && cutting.atlases.empty() && cutting.manifest.empty() && cutting.tileset.empty())
        return "--no-tiles goes with --atlas, --manifest or --tileset, or nothing would be written";
    cutting.trim = parser.isSet(options.trim);
    // An atlas names regions of the sheet, and a pad lies partly outside it;
    // trimmed, a tile shows only what is inside.
    if (cutting.pad > 0 && !cutting.atlases.empty() && !cutting.trim)
        return "--pad reaches past the sheet, which --atlas cannot name: add --trim, or leave out --pad";
    if (parser.isSet(options.scale)) {
        const std::optional<int32_t> scale = wholeNumber(parser.value(options.scale), 2);
        if (!scale || *scale > 16)
            return given(options.scale) + ": a scale is a whole number from 2 to 16";
        cutting.scale = *scale;
    }
    return {};
}

// --assemble and what goes with it.
Command readAssembling(const QCommandLineParser& parser, const Options& options)
{
    if (parser.isSet(options.saveAll))
        return misuse("--assemble and --save-all do not go together.");
    for (const QCommandLineOption* option : options.cutting())
        if (option != &options.dryRun && option != &options.background && parser.isSet(*option))
            return misuse(optionName(*option) + " goes with --save-all.");
    if (!parser.positionalArguments().isEmpty())
        return misuse("--assemble reads one manifest; '" + toBytes(parser.positionalArguments().constFirst()) +
                      "' is one name more.");
    Command command = commandTo(Action::Assemble);
    Assembling& assembling = command.assembling;
    assembling.manifest = toBytes(parser.value(options.assemble));
    assembling.into = toBytes(parser.value(options.into));
    if (assembling.manifest.empty())
        return misuse("--assemble needs a manifest: --assemble MANIFEST.json.");
    if (assembling.into.empty())
        return misuse("--assemble needs the sheet to write: --into SHEET.");
    // The sheet's format is its name's, so that the file is what it says.
    const QString into = parser.value(options.into).toLower();
    if (!into.endsWith(".png") && !into.endsWith(".bmp"))
        return misuse("--into '" + assembling.into + "': the sheet's name ends in .png or .bmp.");
    assembling.format = into.endsWith(".png") ? platform::FileFormat::Png : platform::FileFormat::Bmp;
    assembling.replace = parser.isSet(options.replace);
    assembling.dryRun = parser.isSet(options.dryRun);
    if (parser.isSet(options.background)) {
        assembling.background = colourOf(parser.value(options.background));
        if (!assembling.background)
            return misuse("--background '" + toBytes(parser.value(options.background)) +
                          "': a colour is RRGGBB, six hexadecimal digits such as ff00ff.");
    }
    return command;
}

} // namespace

Command parse(const std::vector<std::string>& arguments)
{
    QCommandLineParser parser;
    const Options options;
    setUp(parser, options);
    QStringList list;
    for (const std::string& argument : arguments)
        list << fromBytes(argument);
    if (!parser.parse(list))
        return misuse(toBytes(parser.errorText()));
    if (parser.isSet(options.help))
        return commandTo(Action::ShowHelp);
    if (parser.isSet(options.version))
        return commandTo(Action::ShowVersion);
    std::vector<const QCommandLineOption*> valued = options.cutting();
    valued.push_back(&options.saveAll);
    valued.push_back(&options.assemble);
    for (const QCommandLineOption* option : options.assembling())
        valued.push_back(option);
    for (const QCommandLineOption* option : valued)
        if (option != &options.atlas && parser.values(*option).size() > 1)
            return misuse(optionName(*option) + " is given more than once.");
    if (parser.isSet(options.assemble))
        return readAssembling(parser, options);
    for (const QCommandLineOption* option : options.assembling())
        if (parser.isSet(*option))
            return misuse(optionName(*option) + " goes with --assemble.");
    const QStringList names = parser.positionalArguments();
    if (!parser.isSet(options.saveAll)) {
        for (const QCommandLineOption* option : options.cutting())
            if (parser.isSet(*option))
                return misuse(optionName(*option) + " goes with --save-all.");
        if (names.size() > 1)
            return misuse("The window opens one file or folder, not " + std::to_string(names.size()) + ".");
        return commandTo(Action::OpenWindow, toBytes(names.value(0)));
    }
    if (parser.value(options.output).isEmpty())
        return misuse("--save-all needs the output folder: --output FOLDER.");
    Command command = commandTo(Action::SaveAll);
    // Every name that is no option is one more sheet.
    command.sheets.push_back(toBytes(parser.value(options.saveAll)));
    for (const QString& name : names)
        command.sheets.push_back(toBytes(name));
    command.output = toBytes(parser.value(options.output));
    command.prefix = toBytes(parser.value(options.prefix));
    std::string problem = readCutting(parser, options, command);
    if (problem.empty())
        problem = readEngineData(parser, options, command);
    return problem.empty() ? command : misuse(problem + ".");
}

std::string helpText()
{
    QCommandLineParser parser;
    const Options options;
    setUp(parser, options);
    // Qt's usage line knows one form of the command; ours has two.
    return kUsage + "\n" + toBytes(parser.helpText().section('\n', 1)) + kExamples;
}

std::string usageText() { return kUsage + "Try 'quorvel --help' for more information.\n"; }

std::string versionText() { return "quorvel " QUORVEL_VERSION "\n"; }

std::optional<int> runWithoutWindow(const Command& command, int& argc, char** argv)
{
    switch (command.action) {
    case Action::OpenWindow:
        return std::nullopt;
    case Action::ShowHelp:
        std::cout << helpText();
        return kExitSuccess;
    case Action::ShowVersion:
        std::cout << versionText();
        return kExitSuccess;
    case Action::Misuse:
        std::cerr << "quorvel: " << command.problem << "\n" << usageText();
        return kExitUsage;
    case Action::SaveAll: {
        // Reading and drawing pictures needs Qt's core, not a display.
        QCoreApplication app(argc, argv);
        platform::Screen.setTwipsPerPixel(kTwipsPerPixelAt96Dpi, kTwipsPerPixelAt96Dpi);
        return saveAll(command, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
    }
    case Action::Assemble: {
        QCoreApplication app(argc, argv);
        return assemble(command, std::cout, std::cerr);
    }
    }
    return kExitUsage;
}

} // namespace cli
