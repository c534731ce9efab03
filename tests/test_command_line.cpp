// The command line: what it parses to, the program's answers and exit status,
// opening a file or folder in the window, and the batch Save all against the
// window's own.
#include "cli/batch.h"
#include "cli/command_line.h"
#include "formats/png.h"
#include "platform/picture.h"
#include "resources/gif_writer.h"
#include "support/error_number.h"
#include "support/files.h"
#include "support/png_files.h"
#include "support/program.h"
#include "support/screen_scale.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"
#include "window/open_in_window.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

namespace {

// The window's Save all and the batch mode are compared at 96 DPI.
constexpr float kTwipsPerPixelAt96Dpi = 15;

// A GIF strip in which every third pixel is transparent, so the tiles carry
// the preview's background.
std::string writeTransparentGif(const QTemporaryDir& dir, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, (x + y) % 3 == 0 ? qRgba(0, 0, 0, 0) : qRgb((x % 15) * 17, (y % 15) * 17, 200));
    const QString path = dir.filePath("strip.gif");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(gif::encode(image)) <= 0)
        return {};
    return path.toStdString();
}

BatchRun runBatch(const std::string& strip, const std::string& folder, const std::string& prefix)
{
    std::ostringstream out;
    std::ostringstream err;
    cli::Command command;
    command.action = cli::Action::SaveAll;
    command.sheets = {strip};
    command.output = folder;
    command.prefix = prefix;
    const int status = cli::saveAll(command, out, err, false);
    return {status, out.str(), err.str()};
}

} // namespace

// ---------------------------------------------------------------- parsing

TEST(CommandLine, ParsesEachFormAndTurnsDownTheRest)
{
    using cli::Action;
    const struct Case {
        std::vector<std::string> arguments; // after the program's name
        Action action;
        std::string name; // the sheets of SaveAll, joined by " + "
        std::string output;
        std::string prefix;
        std::string problem; // a part of it
    } cases[] = {
        {{}, Action::OpenWindow, "", "", "", ""},
        {{"strip.bmp"}, Action::OpenWindow, "strip.bmp", "", "", ""},
        {{"/home/ann/strips"}, Action::OpenWindow, "/home/ann/strips", "", "", ""},
        // Names that look like options, and names that are no valid text, pass as they are.
        {{"--", "-strip.bmp"}, Action::OpenWindow, "-strip.bmp", "", "", ""},
        {{"\xff\xfe.bmp"}, Action::OpenWindow, "\xff\xfe.bmp", "", "", ""},
        {{"--help"}, Action::ShowHelp, "", "", "", ""},
        {{"-h"}, Action::ShowHelp, "", "", "", ""},
        {{"strip.bmp", "--help"}, Action::ShowHelp, "", "", "", ""},
        {{"--version"}, Action::ShowVersion, "", "", "", ""},
        {{"-v"}, Action::ShowVersion, "", "", "", ""},
        {{"--save-all", "s.bmp", "--output", "out"}, Action::SaveAll, "s.bmp", "out", "", ""},
        {{"--save-all", "s.bmp", "--output", "out", "--prefix", "icon"}, Action::SaveAll, "s.bmp", "out", "icon", ""},
        {{"--prefix=", "--output=out", "--save-all=s.bmp"}, Action::SaveAll, "s.bmp", "out", "", ""},
        {{"--save-all", "\xe9t\xe9.bmp", "--output", "\xff", "--prefix", "\xfe"}, Action::SaveAll, "\xe9t\xe9.bmp",
         "\xff", "\xfe", ""},
        {{"--bogus"}, Action::Misuse, "", "", "", "Unknown option 'bogus'"},
        {{"-x", "strip.bmp"}, Action::Misuse, "", "", "", "Unknown option 'x'"},
        {{"a.bmp", "b.bmp"}, Action::Misuse, "", "", "", "one file or folder, not 2"},
        {{"--save-all"}, Action::Misuse, "", "", "", "Missing value after '--save-all'"},
        {{"--save-all", "s.bmp"}, Action::Misuse, "", "", "", "--output FOLDER"},
        {{"--save-all", "s.bmp", "--output", ""}, Action::Misuse, "", "", "", "--output FOLDER"},
        {{"--save-all", "s.bmp", "--output", "out", "t.png", "-"}, Action::SaveAll, "s.bmp + t.png + -", "out", "", ""},
        {{"s.bmp", "--save-all", "t.png", "--output", "out"}, Action::SaveAll, "t.png + s.bmp", "out", "", ""},
        {{"--save-all", "s.bmp", "--save-all", "t.bmp", "--output", "out"}, Action::Misuse, "", "", "",
         "--save-all is given more than once"},
        {{"--save-all", "s.bmp", "--output", "a", "--output", "b"}, Action::Misuse, "", "", "",
         "--output is given more than once"},
        {{"--output", "out"}, Action::Misuse, "", "", "", "--output goes with --save-all"},
        {{"strip.bmp", "--prefix", "icon"}, Action::Misuse, "", "", "", "--prefix goes with --save-all"},
        {{"strip.bmp", "--dry-run"}, Action::Misuse, "", "", "", "--dry-run goes with --save-all"},
        {{"--save-all", "s.bmp", "--output", "o", "--tile", "8x8", "--tile", "9x9"}, Action::Misuse, "", "", "",
         "--tile is given more than once"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"quorvel"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += " [" + a + "]";
        SCOPED_TRACE("quorvel" + shown);
        const cli::Command command = cli::parse(arguments);
        EXPECT_EQ(command.action, c.action);
        std::string named = command.name;
        for (const std::string& sheet : command.sheets)
            named += (named.empty() ? "" : " + ") + sheet;
        EXPECT_EQ(named, c.name);
        EXPECT_EQ(command.output, c.output);
        EXPECT_EQ(command.prefix, c.prefix);
        if (c.problem.empty())
            EXPECT_EQ(command.problem, "");
        else
            EXPECT_NE(command.problem.find(c.problem), std::string::npos) << command.problem;
    }
}

// ---------------------------------------------------------------- the program's answers

TEST(CommandLine, TheProgramAnswersWithTheRightStreamAndStatus)
{
    QTemporaryDir dir;
    const QString strip = QString::fromStdString(writeStrip(dir, "strip.bmp", 160, 16));
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");
    const struct Case {
        QStringList arguments;
        int status;
        std::string out;   // a part of stdout, or "" for none
        std::string err;   // a part of stderr, or "" for none
    } cases[] = {
        {{"--help"}, cli::kExitSuccess, "quorvel --save-all SHEET... --output FOLDER [--prefix TEXT] [OPTION...]", ""},
        {{"--version"}, cli::kExitSuccess, "quorvel " QUORVEL_VERSION "\n", ""},
        {{"--bogus"}, cli::kExitUsage, "", "quorvel: Unknown option 'bogus'.\nUsage: quorvel [FILE | FOLDER]"},
        {{"--save-all", strip}, cli::kExitUsage, "", "--output FOLDER"},
        {{"--save-all", strip, "--output", out, "--prefix", "icon"}, cli::kExitSuccess,
         "saved 10, skipped 0 existing, in " + out.toStdString() + "\n", ""},
        {{"--save-all", dir.filePath("gone.bmp"), "--output", out}, cli::kExitFailure, "",
         "File not found: '" + dir.filePath("gone.bmp").toStdString() + "'"},
        {{"--save-all", strip, "--output", dir.filePath("none")}, cli::kExitFailure,
         "saved 0, skipped 0 existing", dir.filePath("none/1.bmp").toStdString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const BatchRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, c.status);
        if (c.out.empty())
            EXPECT_EQ(run.out, "");
        else
            EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        if (c.err.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

// ---------------------------------------------------------------- batch against the window

TEST(CommandLine, SaveAllWritesTheSameFilesAsTheWindow)
{
    const ScreenScale scale(kTwipsPerPixelAt96Dpi);
    const struct Case {
        const char* what;
        int width; // 0: the transparent GIF below
        int height;
        std::string prefix;
        int files;
        std::string leftover; // what stderr says of the columns left over, after the strip's name
    } cases[] = {
        {"ten 16-pixel tiles", 160, 16, "icon", 10, ""},
        {"four columns left over", 100, 16, "t_", 6, "4 pixel columns at the right and 0 pixel rows at the bottom"},
        {"a strip 15 high, cut 16 wide", 160, 15, "", 10, ""},
        {"one tile 30 wide", 30, 16, "one", 1, ""},
        {"narrower than high", 10, 20, "n", 1, ""},
        {"32-pixel tiles", 200, 32, "big", 6, "8 pixel columns at the right and 0 pixel rows at the bottom"},
        {"a GIF with transparent pixels", 0, 16, "gif", 3, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir strips;
        const std::string strip =
            c.width > 0 ? writeStrip(strips, "strip.bmp", c.width, c.height) : writeTransparentGif(strips, 48, 16);
        ASSERT_FALSE(strip.empty());
        QTemporaryDir byWindow;
        QTemporaryDir byBatch;

        ScriptedDialogs dialogs;
        f_Main form;
        form.Image1.setPicture(platform::LoadPicture(strip));
        form.lbDir.setCaption(byWindow.path().toStdString());
        form.txtPref.setText(c.prefix);
        form.cmdSaveAll_Click();
        // The program itself, whose pictures know no screen.
        const BatchRun run = runProgram({"--save-all", QString::fromStdString(strip), "--output", byBatch.path(),
                                         "--prefix", QString::fromStdString(c.prefix)});

        EXPECT_EQ(run.status, cli::kExitSuccess);
        EXPECT_EQ(run.out, "saved " + std::to_string(c.files) + ", skipped 0 existing, in " +
                               byBatch.path().toStdString() + "\n");
        EXPECT_EQ(run.err, c.leftover.empty() ? ""
                                              : "quorvel: '" + strip + "': " + c.leftover +
                                                    " belong to no tile (--partial keeps them)\n");
        EXPECT_TRUE(dialogs.messages().empty());
        const QStringList names = entriesOf(byWindow.path());
        EXPECT_EQ(names.size(), c.files);
        EXPECT_EQ(entriesOf(byBatch.path()), names);
        for (const QString& name : names) {
            const QByteArray windows = contentOf(byWindow.filePath(name));
            EXPECT_FALSE(windows.isEmpty()) << name.toStdString();
            EXPECT_TRUE(contentOf(byBatch.filePath(name)) == windows) << name.toStdString() << " differs";
        }
    }
}

TEST(CommandLine, SaveAllSkipsEveryExistingNameAndReplacesNone)
{
    const ScreenScale scale(kTwipsPerPixelAt96Dpi);
    QTemporaryDir strips;
    const std::string strip = writeStrip(strips, "strip.bmp", 96, 16);
    QTemporaryDir out;
    const QByteArray planted = "the user's own file";
    writeFile(out.filePath("icon2.bmp"), planted);
    writeFile(out.filePath("elsewhere.bmp"), planted);
    // A link to a file is skipped like the file, and what it leads to stays as it was;
    // a link that leads nowhere and a folder are names taken all the same.
    ASSERT_TRUE(QFile::link(out.filePath("elsewhere.bmp"), out.filePath("icon5.bmp")));
    ASSERT_TRUE(QFile::link(strips.filePath("planted.bmp"), out.filePath("icon3.bmp")));
    ASSERT_TRUE(QDir(out.path()).mkdir("icon4.bmp"));

    const BatchRun first = runBatch(strip, out.path().toStdString(), "icon");
    EXPECT_EQ(first.status, cli::kExitSuccess);
    EXPECT_EQ(first.out, "saved 2, skipped 4 existing, in " + out.path().toStdString() + "\n");
    EXPECT_EQ(contentOf(out.filePath("icon2.bmp")), planted);
    EXPECT_EQ(contentOf(out.filePath("elsewhere.bmp")), planted);
    EXPECT_TRUE(QFileInfo(out.filePath("icon5.bmp")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(strips.filePath("planted.bmp")));
    const QImage image = makeStrip(96, 16);
    for (int tile : {1, 6})
        EXPECT_EQ(QImage(out.filePath("icon%1.bmp").arg(tile), "BMP").convertToFormat(QImage::Format_RGB32),
                  tileOf(image, (tile - 1) * 16, 16))
            << tile;

    // A second run finds every name taken and writes nothing.
    const QStringList before = entriesOf(out.path());
    const BatchRun second = runBatch(strip, out.path().toStdString(), "icon");
    EXPECT_EQ(second.status, cli::kExitSuccess);
    EXPECT_EQ(second.out, "saved 0, skipped 6 existing, in " + out.path().toStdString() + "\n");
    EXPECT_EQ(entriesOf(out.path()), before);
}

TEST(CommandLine, SaveAllNamesTheFileAndTheCauseOfAFailure)
{
    const ScreenScale scale(kTwipsPerPixelAt96Dpi);
    QTemporaryDir dir;
    const std::string strip = writeStrip(dir, "strip.bmp", 64, 16);
    writeFile(dir.filePath("notes.bmp"), "no picture at all");
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const std::string out = dir.filePath("out").toStdString();
    const struct Case {
        std::string strip;
        std::string folder;
        std::string err; // a part of it
        std::string out;
    } cases[] = {
        {dir.filePath("gone.bmp").toStdString(), out, "quorvel: File not found: '" + dir.filePath("gone.bmp").toStdString() + "'",
         ""},
        {dir.filePath("notes.bmp").toStdString(), out, "'" + dir.filePath("notes.bmp").toStdString() + "'", ""},
        {strip, out + "/missing", "'" + out + "/missing/1.bmp', tile 1 of '" + strip + "': the folder '" + out +
                                      "/missing' does not exist",
         "saved 0, skipped 0 existing, in " + out + "/missing\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strip + " into " + c.folder);
        const BatchRun run = runBatch(c.strip, c.folder, "");
        EXPECT_EQ(run.status, cli::kExitFailure);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
    EXPECT_EQ(entriesOf(QString::fromStdString(out)), QStringList());
}

// ---------------------------------------------------------------- opening in the window

TEST(CommandLine, OpensTheNamedFolderOrChoosesAndLoadsTheNamedFile)
{
    QTemporaryDir dir;
    const QString folder = writeFolderToOpen(dir);
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    const struct Case {
        std::string name;
        int error;
        std::string fileName; // chosen in the file list
        std::string size;     // what Label1 shows
        std::string path;     // of the folder and file lists, "" when they stay
    } cases[] = {
        {folder.toStdString(), 0, "", "Size:", folder.toStdString()},
        {"sub", 0, "", "Size:", folder.toStdString() + "/sub"},
        {folder.toStdString() + "/strip.bmp", 0, "strip.bmp", "Size: 160x16", folder.toStdString()},
        {"tall.gif", 0, "tall.gif", "Size: 48x32", folder.toStdString()},
        {"./sub/../strip.bmp", 0, "strip.bmp", "Size: 160x16", folder.toStdString()},
        {"gone.bmp", platform::FileNotFound, "", "Size:", folder.toStdString()},
        {"notes.txt", platform::InvalidPicture, "", "Size:", folder.toStdString()},
        {"broken.bmp", platform::InvalidPicture, "broken.bmp", "Size:", folder.toStdString()},
        {"/no/such/folder/strip.bmp", platform::PathNotFound, "", "Size:", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDialogs dialogs;
        f_Main form;
        form.Form_Load();
        const std::string before = form.Dir1.Path();
        EXPECT_EQ(errorNumberOf([&] { openInWindow(form, c.name); }), c.error);
        EXPECT_EQ(form.Dir1.Path(), c.path.empty() ? before : c.path);
        EXPECT_EQ(form.File1.Path(), form.Dir1.Path());
        EXPECT_EQ(form.File1.FileName(), c.fileName);
        EXPECT_EQ(form.Label1.Caption(), c.size);
        EXPECT_TRUE(dialogs.messages().empty());
    }
    QDir::setCurrent(previous);
}

// ---------------------------------------------------------------- cutting options

TEST(CommandLine, ReadsTheCuttingOptionsAndRefusesWrongOnes)
{
    const struct Case {
        std::vector<std::string> options; // after --save-all s.png --output out
        tiles::GridOptions grid;
        std::string problem; // a part of it, or "" when the options are read
    } cases[] = {
        {{}, {}, ""},
        {{"--tile", "16x8", "--margin", "1", "--spacing", "2,3", "--partial", "--first", "0"},
         {16, 8, 1, 1, 2, 3, true, 0}, ""},
        {{"--tile=2147483647x1", "--margin=0,4", "--first=2147483647"}, {2147483647, 1, 0, 4, 0, 0, false, 2147483647},
         ""},
        {{"--tile", "0x16"}, {}, "--tile '0x16': a tile's size is WxH, two whole numbers above 0"},
        {{"--tile", "16"}, {}, "--tile '16': a tile's size is WxH"},
        {{"--tile", "-16x16"}, {}, "--tile '-16x16'"},
        {{"--tile", "2147483648x1"}, {}, "--tile '2147483648x1'"},
        {{"--margin", "-1"}, {}, "--margin '-1': pixels are X or X,Y, whole numbers from 0"},
        {{"--spacing", "1,2,3"}, {}, "--spacing '1,2,3'"},
        {{"--spacing", "1,"}, {}, "--spacing '1,'"},
        {{"--first", "-1"}, {}, "--first '-1': the first number is a whole number from 0 to 2147483647"},
        {{"--first", "one"}, {}, "--first 'one'"},
        {{"--format", "jpg"}, {}, "--format 'jpg'"},
        {{"--name", "{n"}, {}, "--name '{n': '{n' has no closing '}'"},
        {{"--name", "{size}"}, {}, "{size} is no field"},
        {{"--manifest", ""}, {}, "--manifest needs a file name"},
        {{"--empty-colour", "ff00ff"}, {}, "--empty-colour goes with --skip-empty"},
        {{"--skip-empty", "--empty-colour", "red"}, {}, "--empty-colour 'red': a colour is RRGGBB"},
        {{"--atlas", "godot:a.tres", "--atlas=libgdx:b:c.atlas", "--tags", "a:b:1-2,c:3-3", "--fps", "1000",
          "--trim", "--scale", "16", "--no-tiles"},
         {},
         ""},
        {{"--atlas", "svg:a.svg"}, {}, "--atlas 'svg:a.svg': the formats are json-hash, json-array, aseprite, godot"},
        {{"--atlas", "godot"}, {}, "--atlas 'godot': an atlas is FORMAT:FILE"},
        {{"--atlas", "godot:a.tres", "--tags", "walk:3-1"}, {}, "--tags 'walk:3-1': a tag runs from a number to a"},
        {{"--atlas", "godot:a.tres", "--tags", "walk:1-2,walk:3-4"}, {}, "--tags two tags are named 'walk'"},
        {{"--atlas", "godot:a.tres", "--tags", "walk,"}, {}, "--tags 'walk': a tag is NAME:FROM-TO"},
        {{"--tags", "walk:1-2"}, {}, "--tags and --fps go with --atlas"},
        {{"--atlas", "godot:a.tres", "--fps", "0"}, {}, "--fps '0': frames per second are a whole number from 1"},
        {{"--no-tiles"}, {}, "--no-tiles goes with --atlas, --manifest or --tileset"},
        {{"--scale", "1"}, {}, "--scale '1': a scale is a whole number from 2 to 16"},
        {{"--islands", "--tolerance", "0", "--background", "transparent", "--connect", "4", "--merge", "3",
          "--min-area", "1", "--pad", "1024", "--overlay", "o.png"},
         {},
         ""},
        {{"--tile", "auto", "--tolerance", "255", "--partial", "--first", "0"}, {0, 0, 0, 0, 0, 0, true, 0}, ""},
        {{"--islands", "--tile", "16x16"}, {}, "--tile cuts a grid; --islands cuts each picture as it lies"},
        {{"--tile", "auto", "--margin", "1"}, {}, "--margin goes with --tile WxH: --tile auto finds it"},
        {{"--tolerance", "8"}, {}, "--tolerance goes with --tile auto or --islands"},
        {{"--tile", "auto", "--tolerance", "256"}, {}, "a tolerance is a whole number from 0 to 255"},
        {{"--merge", "1"}, {}, "--merge goes with --islands"},
        {{"--islands", "--background", "pink"}, {}, "the background is auto, transparent or RRGGBB"},
        {{"--islands", "--connect", "6"}, {}, "pixels connect at 4 sides or at 8 sides and corners"},
        {{"--islands", "--pad", "1025"}, {}, "--pad '1025': a whole number from 0 to 1024"},
        {{"--islands", "--pad", "2", "--atlas", "godot:a.tres"}, {}, "--pad reaches past the sheet"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"quorvel", "--save-all", "s.png", "--output", "out"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        std::string shown;
        for (const std::string& a : c.options)
            shown += " [" + a + "]";
        SCOPED_TRACE(shown);
        const cli::Command command = cli::parse(arguments);
        if (!c.problem.empty()) {
            EXPECT_EQ(command.action, cli::Action::Misuse);
            EXPECT_NE(command.problem.find(c.problem), std::string::npos) << command.problem;
            continue;
        }
        ASSERT_EQ(command.action, cli::Action::SaveAll) << command.problem;
        const tiles::GridOptions& grid = command.cutting.grid;
        EXPECT_EQ(grid.tileWidth, c.grid.tileWidth);
        EXPECT_EQ(grid.tileHeight, c.grid.tileHeight);
        EXPECT_EQ(grid.marginX, c.grid.marginX);
        EXPECT_EQ(grid.marginY, c.grid.marginY);
        EXPECT_EQ(grid.spacingX, c.grid.spacingX);
        EXPECT_EQ(grid.spacingY, c.grid.spacingY);
        EXPECT_EQ(grid.partial, c.grid.partial);
        EXPECT_EQ(grid.first, c.grid.first);
    }
}

TEST(CommandLine, NameTemplateFieldsAndRefusals)
{
    // Tile 7 of a sheet of 120 tiles in 12 columns: row 1, column 7.
    const tiles::GridTile tile{7, 1, 7, {}};
    const tiles::GridTile last{120, 10, 12, {}};
    const struct Case {
        std::string text;
        std::string name;    // of the tile above, of the sheet "art/walk.cycle.png", prefix "t"
        std::string problem; // a part of it, or ""
    } cases[] = {
        {cli::kDefaultNameTemplate, "t7", ""},
        {"{n:3}", "007", ""},
        {"{n:auto}", "007", ""},
        {"{n:1}", "7", ""},
        {"{stem}_{row:auto}x{col:auto}", "walk.cycle_01x07", ""},
        {"{prefix}-{row}-{col}-{n}", "t-1-7-7", ""},
        {"frame {n:5} of {stem}", "frame 00007 of walk.cycle", ""},
        {"plain}", "plain}", ""},
        {"", "", ""},
        {"{n", "", "'{n' has no closing '}'"},
        {"sub/{n}", "", "a name holds no '/'"},
        {"{N}", "", "{N} is no field"},
        {"{}", "", "{} is no field"},
        {"{stem:3}", "", "{stem:3}: only {n}, {row} and {col} take a width"},
        {"{n:0}", "", "{n:0}: a width is 'auto' or 1 to 255"},
        {"{n:256}", "", "{n:256}"},
        {"{n:-1}", "", "{n:-1}"},
        {"{n:}", "", "{n:}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = cli::NameTemplate::parse(c.text);
        if (!c.problem.empty()) {
            ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
            EXPECT_NE(std::get<std::string>(parsed).find(c.problem), std::string::npos)
                << std::get<std::string>(parsed);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<cli::NameTemplate>(parsed)) << std::get<std::string>(parsed);
        EXPECT_EQ(std::get<cli::NameTemplate>(parsed).nameOf(tile, last, cli::stemOf("art/walk.cycle.png"), "t"),
                  c.name);
    }
    EXPECT_EQ(cli::stemOf(".hidden"), ".hidden");
    EXPECT_EQ(cli::stemOf("/a.b/sheet"), "sheet");
    EXPECT_EQ(cli::withStem("out/{stem}-{stem}.json", "a"), "out/a-a.json");
}

// ---------------------------------------------------------------- cutting sheets

namespace {

struct Expected {
    QString name;
    QRect rect;
};

// Each file holds exactly its rectangle of the sheet, and nothing else was written.
void expectTiles(const QString& folder, const QImage& sheet, const std::vector<Expected>& tiles)
{
    QStringList names;
    for (const Expected& tile : tiles) {
        names << tile.name;
        const QImage image(QDir(folder).filePath(tile.name));
        EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), sheet.copy(tile.rect)) << tile.name.toStdString();
    }
    names.sort();
    EXPECT_EQ(entriesOf(folder), names);
}

} // namespace

TEST(CommandLine, SaveAllCutsTheGridItIsGiven)
{
    const struct Case {
        const char* what;
        int width;
        int height;
        QStringList options;
        std::vector<Expected> tiles;
        std::string leftover; // a part of stderr, or "" for none
    } cases[] = {
        {"margin and spacing",
         35,
         35,
         {"--tile", "16x16", "--margin", "1", "--spacing", "1"},
         {{"1.bmp", {1, 1, 16, 16}},
          {"2.bmp", {18, 1, 16, 16}},
          {"3.bmp", {1, 18, 16, 16}},
          {"4.bmp", {18, 18, 16, 16}}},
         "1 pixel column at the right and 1 pixel row at the bottom belong to no tile"},
        {"edges kept, rows and columns from 0",
         40,
         20,
         {"--tile", "16x16", "--partial", "--first", "0", "--name", "r{row}c{col}", "--prefix", "unused"},
         {{"r0c0.bmp", {0, 0, 16, 16}},
          {"r0c1.bmp", {16, 0, 16, 16}},
          {"r0c2.bmp", {32, 0, 8, 16}},
          {"r1c0.bmp", {0, 16, 16, 4}},
          {"r1c1.bmp", {16, 16, 16, 4}},
          {"r1c2.bmp", {32, 16, 8, 4}}},
         ""},
        {"names padded to the largest number",
         6,
         2,
         {"--name", "walk_{n:auto}", "--first", "9"},
         {{"walk_09.bmp", {0, 0, 2, 2}}, {"walk_10.bmp", {2, 0, 2, 2}}, {"walk_11.bmp", {4, 0, 2, 2}}},
         ""},
        // Past 2^23 pixels a float no longer tells one column's twips from the next.
        {"columns far across a wide sheet",
         9000003,
         1,
         {"--tile", "1x1", "--margin", "8999999,0"},
         {{"1.bmp", {8999999, 0, 1, 1}},
          {"2.bmp", {9000000, 0, 1, 1}},
          {"3.bmp", {9000001, 0, 1, 1}},
          {"4.bmp", {9000002, 0, 1, 1}}},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString sheet = QString::fromStdString(writeStrip(dir, "sheet.bmp", c.width, c.height));
        ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
        const QString out = dir.filePath("out");
        const BatchRun run = runProgram(QStringList{"--save-all", sheet, "--output", out} + c.options);
        EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
        EXPECT_EQ(run.out, "saved " + std::to_string(c.tiles.size()) + ", skipped 0 existing, in " +
                               out.toStdString() + "\n");
        if (c.leftover.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(c.leftover), std::string::npos) << run.err;
        expectTiles(out, makeStrip(c.width, c.height), c.tiles);
    }
}

TEST(CommandLine, SaveAllRefusesWrongOptionsBeforeWritingAnything)
{
    QTemporaryDir dir;
    const QString a = QString::fromStdString(writeStrip(dir, "a.bmp", 32, 32));
    const QString b = QString::fromStdString(writeStrip(dir, "b.bmp", 64, 16));
    const QString small = QString::fromStdString(writeStrip(dir, "small.bmp", 8, 8));
    const QString large = QString::fromStdString(writeStrip(dir, "large.bmp", 1100, 1000));
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");
    const QString longPrefix(300, 'x');
    // Names that lead elsewhere: to the sheet, to the output folder, to a tile not yet written.
    ASSERT_TRUE(QDir(dir.path()).mkdir("links"));
    const QString links = dir.filePath("links");
    ASSERT_TRUE(QFile::link(a, links + "/sheet.tsx") && QFile::link(out, links + "/out") &&
                QFile::link(out + "/2.bmp", links + "/tile.json"));
    const struct Case {
        QStringList arguments; // after --output out
        std::string err;       // a part of it
    } cases[] = {
        {{"--save-all", a, "--tile", "0x16"}, "--tile '0x16'"},
        {{"--save-all", a, "--first", "x"}, "--first 'x'"},
        {{"--save-all", a, "--margin", "40"}, "cannot cut '" + a.toStdString() +
                                                  "': --margin 40 is past the sheet's 32x32 pixels"},
        {{"--save-all", a, "--tile", "64x64"}, "--tile 64x64 leaves no tile in the sheet's 32x32 pixels"},
        // Refused before its plan is made, which would not fit in memory.
        {{"--save-all", large, "--tile", "1x1", "--dry-run"},
         "its 1100000 tiles of 1x1 would pass the 1048576 tiles that one run can plan"},
        // One sheet's grid refuses the run, however good the others.
        {{"--save-all", b, small, "--tile", "16x16", "--name", "{stem}{n}"}, "cannot cut '" + small.toStdString()},
        {{"--save-all", b, "--name", "tile"}, "--name gives tile 1 of '" + b.toStdString() + "' and tile 2 of '" +
                                                  b.toStdString() + "' the same file 'tile.bmp'"},
        {{"--save-all", b, "--name", "{n}/x"}, "--name '{n}/x': a name holds no '/'"},
        {{"--save-all", b, "--name", ""}, "--name gives tile 1 of '" + b.toStdString() + "' an empty name"},
        {{"--save-all", b, "--prefix", longPrefix}, "a name longer than the 255 bytes the output folder takes"},
        {{"--save-all", a, b}, "tile 1 of '" + a.toStdString() + "' and tile 1 of '" + b.toStdString() + "'"},
        {{"--save-all", a, "--tileset", dir.filePath("out/../a.bmp")},
         "of '" + a.toStdString() + "' would replace the sheet '" + a.toStdString() + "'"},
        {{"--save-all", a, "--tileset", links + "/sheet.tsx"}, "would replace the sheet '" + a.toStdString() + "'"},
        {{"--save-all", a, "--manifest", out + "/./1.bmp"},
         "would replace the file of tile 1 of '" + a.toStdString() + "'"},
        {{"--save-all", a, "--manifest", links + "/out/1.bmp"}, "would replace the file of tile 1 of"},
        {{"--save-all", b, "--manifest", links + "/tile.json"}, "would replace the file of tile 2 of"},
        {{"--save-all", a, "--prefix", "../out/", "--manifest", out + "/1.bmp"}, "would replace the file of tile 1"},
        {{"--save-all", a, "--tile", "24x24", "--partial", "--tileset", dir.filePath("a.tsx")},
         "--tileset '" + dir.filePath("a.tsx").toStdString() + "' cannot hold the tiles of '" + a.toStdString()},
        {{"--save-all", a, b, "--name", "{stem}{n}", "--manifest", "m.json"}, "put {stem} in its name"},
        {{"--save-all", a, b, "--name", "{stem}{n}", "--manifest", "{stem}.x", "--tileset", "{stem}.x"},
         "--tileset 'a.x' of '" + a.toStdString() + "' would replace --manifest 'a.x' of '" + a.toStdString()},
        {{"--save-all", a, b, "--name", "{stem}{n}", "--atlas", "godot:x.tres"}, "put {stem} in its name"},
        {{"--save-all", b, "--atlas", "godot:" + dir.filePath("b.tres"), "--tags", "walk:1-4,run:2-5"},
         "--tags cannot be cut from '" + b.toStdString() +
             "': the tag 'run' names tile 5, and the sheet's tiles are numbered 1 to 4"},
        {{"--save-all", a, "--atlas", "json-hash:" + out + "/1.bmp"}, "would replace the file of tile 1 of"},
        {{"--save-all", a, "--atlas", "json-hash:" + dir.filePath("a.json"), "--atlas",
          "aseprite:" + dir.filePath("a.json")},
         "--atlas aseprite '" + dir.filePath("a.json").toStdString() + "' of '" + a.toStdString() +
             "' would replace --atlas json-hash"},
        {{"--save-all", b, "--name", "walk:{n}", "--atlas", "libgdx:" + dir.filePath("b.atlas")},
         "--atlas libgdx '" + dir.filePath("b.atlas").toStdString() + "' cannot hold the cut of '" + b.toStdString() +
             "': libGDX takes a line with a ':' for a field"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const BatchRun run = runProgram(QStringList{"--output", out} + c.arguments);
        EXPECT_EQ(run.status, cli::kExitUsage);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(entriesOf(out), QStringList());
        EXPECT_EQ(entriesOf(dir.path()), QStringList({"a.bmp", "b.bmp", "large.bmp", "links", "out", "small.bmp"}));
    }
}

TEST(CommandLine, SaveAllCutsTheSheetsThatCanBeRead)
{
    QTemporaryDir dir;
    const QString a = QString::fromStdString(writeStrip(dir, "a.bmp", 32, 16));
    const QString b = QString::fromStdString(writeStrip(dir, "b.gif", 48, 16));
    const QString gone = dir.filePath("gone.bmp");
    const QString notes = dir.filePath("notes.bmp");
    writeFile(notes, "no picture at all");
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");

    const BatchRun run = runProgram({"--save-all", a, gone, notes, b, "--output", out, "--name", "{stem}_{n}"});
    EXPECT_EQ(run.status, cli::kExitFailure);
    EXPECT_EQ(run.out, "saved 5, skipped 0 existing, in " + out.toStdString() + "\n");
    EXPECT_NE(run.err.find("File not found: '" + gone.toStdString() + "'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("'" + notes.toStdString() + "'"), std::string::npos) << run.err;
    EXPECT_EQ(entriesOf(out), QStringList({"a_1.bmp", "a_2.bmp", "b_1.bmp", "b_2.bmp", "b_3.bmp"}));
}

TEST(CommandLine, DryRunPrintsEachTileAndWritesNothing)
{
    QTemporaryDir dir;
    const QString sheet = QString::fromStdString(writeStrip(dir, "sheet.bmp", 70, 16));
    // More tiles than the window counts: the batch mode cuts them all.
    const QString longStrip = QString::fromStdString(writeStrip(dir, "long.bmp", 40000, 1));
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");
    writeFile(QDir(out).filePath("icon_2.bmp"), "the user's own");

    const BatchRun run = runProgram({"--save-all", sheet, "--output", out, "--prefix", "icon_", "--dry-run"});
    EXPECT_EQ(run.status, cli::kExitSuccess);
    EXPECT_EQ(run.out, "icon_1.bmp 0,0 16x16 saved\n"
                       "icon_2.bmp 16,0 16x16 existing\n"
                       "icon_3.bmp 32,0 16x16 saved\n"
                       "icon_4.bmp 48,0 16x16 saved\n");
    EXPECT_NE(run.err.find("6 pixel columns at the right"), std::string::npos) << run.err;

    const BatchRun many = runProgram({"--save-all", longStrip, "--output", out, "--dry-run", "--name", "{n:auto}"});
    EXPECT_EQ(many.status, cli::kExitSuccess) << many.err;
    EXPECT_EQ(std::count(many.out.begin(), many.out.end(), '\n'), 40000);
    EXPECT_EQ(many.out.substr(0, 24), "00001.bmp 0,0 1x1 saved\n");
    EXPECT_NE(many.out.find("\n40000.bmp 39999,0 1x1 saved\n"), std::string::npos);

    // What cannot be printed is a failure, as a write would be.
    const BatchRun full = runProgram({"--save-all", sheet, "--output", out, "--dry-run"}, "exec >/dev/full");
    EXPECT_EQ(full.status, cli::kExitFailure);
    EXPECT_NE(full.err.find("quorvel: cannot write the standard output"), std::string::npos) << full.err;

    EXPECT_EQ(entriesOf(out), QStringList({"icon_2.bmp"}));
    EXPECT_EQ(contentOf(QDir(out).filePath("icon_2.bmp")), "the user's own");
}

// A dry run is the real run without the writes: every folder is checked before
// anything is written, alike in both, and both end the same way.
struct FolderCase {
    const char* name;
    QStringList arguments; // after the sheet; folders relative to the test's own
    int status;
    const char* err; // a part of it, or "" for none
    int written;     // tiles the real run writes
};

void expectDryRunAsRealRun(const FolderCase& c)
{
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    writeStrip(dir, "strip.bmp", 64, 16);
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkdir("out") && root.mkdir("locked") && QFile::link("out", dir.filePath("linked")));
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner));
    const QString setUp = "cd '" + dir.path() + "'";
    const QStringList arguments = QStringList{"--save-all", "strip.bmp"} + c.arguments;
    const BatchRun dry = runProgram(arguments + QStringList{"--dry-run"}, setUp);
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"linked", "locked", "out", "strip.bmp"}));
    const BatchRun real = runProgram(arguments, setUp);
    EXPECT_EQ(dry.status, c.status) << dry.err;
    EXPECT_EQ(real.status, c.status) << real.err;
    EXPECT_EQ(dry.err, real.err);
    EXPECT_NE(real.err.find(c.err), std::string::npos) << real.err;
    EXPECT_EQ(std::count(dry.out.begin(), dry.out.end(), '\n'), c.status == cli::kExitSuccess ? 4 : 0) << dry.out;
    EXPECT_EQ(entriesOf(dir.filePath("out")).size(), c.written);
}

TEST(CommandLine, DryRunEndsAsTheRealRunOnTheFolders)
{
    const FolderCase cases[] = {
        {"missing output folder", {"--output", "none"}, cli::kExitFailure, "'none/1.bmp', tile 1 of", 0},
        {"output that is a file", {"--output", "strip.bmp"}, cli::kExitFailure, "'strip.bmp' is not a folder", 0},
        {"missing folder of the prefix", {"--output", "out", "--prefix", "sub/"}, cli::kExitFailure,
         "the folder 'out/sub' does not exist", 0},
        {"manifest in a missing folder", {"--output", "out", "--manifest", "none/m.json"}, cli::kExitFailure,
         "cannot write --manifest 'none/m.json' of 'strip.bmp': the folder 'none' does not exist", 0},
        {"tileset in a missing folder", {"--output", "out", "--tileset", "none/t.tsx"}, cli::kExitFailure,
         "the folder 'none' does not exist", 0},
        {"output through a link", {"--output", "linked", "--manifest", "linked/../m.json"}, cli::kExitSuccess, "", 4},
    };
    for (const FolderCase& c : cases)
        expectDryRunAsRealRun(c);
}

TEST(CommandLine, DryRunEndsAsTheRealRunOnAReadOnlyFolder)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "run as root, whom a read-only folder does not stop";
    expectDryRunAsRealRun(
        {"read-only output folder", {"--output", "locked"}, cli::kExitFailure, "the folder 'locked' is not writable",
         0});
}

// ---------------------------------------------------------------- sheets nobody measured

// A sheet of 3 x 2 cells of 20x12 framed by 1-pixel green lines, each cell
// drawn to its edges; the last cell left empty (the background's own colour).
QImage framedSheet()
{
    QImage sheet(1 + 3 * 21, 1 + 2 * 13, QImage::Format_ARGB32);
    sheet.fill(qRgb(0, 200, 0));
    for (int cell = 0; cell < 5; ++cell) {
        const int left = 1 + (cell % 3) * 21;
        const int top = 1 + (cell / 3) * 13;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 20; ++x)
                sheet.setPixel(left + x, top + y, qRgb(40 * cell + x, 7 * y, 255 - cell));
    }
    return sheet;
}

// Found, the grid is cut exactly as if it had been given, and said so.
TEST(CommandLine, AGridFoundIsCutAsItsOptionsWould)
{
    QTemporaryDir dir;
    const QString sheet = dir.filePath("units.png");
    ASSERT_TRUE(framedSheet().save(sheet));
    QImage noise(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            noise.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x + 3 * y) % 256));
    ASSERT_TRUE(noise.save(dir.filePath("noise.png")));
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkdir("found") && root.mkdir("given"));

    const BatchRun found = runProgram({"--save-all", sheet, "--output", dir.filePath("found"), "--tile", "auto",
                                       "--format", "png", "--manifest", dir.filePath("found.json")});
    EXPECT_EQ(found.status, cli::kExitSuccess) << found.err;
    EXPECT_NE(found.err.find("found the grid --tile 20x12 --margin 1 --spacing 1"), std::string::npos) << found.err;
    const BatchRun given = runProgram({"--save-all", sheet, "--output", dir.filePath("given"), "--tile", "20x12",
                                       "--margin", "1", "--spacing", "1", "--format", "png"});
    EXPECT_EQ(given.out, found.out.substr(0, found.out.find(" in ")) + " in " + dir.filePath("given").toStdString() +
                             "\n");
    const QStringList files = entriesOf(dir.filePath("given"));
    EXPECT_EQ(files.size(), 6);
    EXPECT_EQ(entriesOf(dir.filePath("found")), files);
    for (const QString& file : files)
        EXPECT_EQ(contentOf(dir.filePath("found/" + file)), contentOf(dir.filePath("given/" + file)))
            << file.toStdString();
    const QJsonObject manifest = QJsonDocument::fromJson(contentOf(dir.filePath("found.json"))).object();
    const QJsonObject grid = manifest["grid"].toObject();
    EXPECT_EQ(grid["found"].toString(), "--tile 20x12 --margin 1 --spacing 1");

    const BatchRun refused =
        runProgram({"--save-all", dir.filePath("noise.png"), "--output", dir.filePath("given"), "--tile", "auto"});
    EXPECT_EQ(refused.status, cli::kExitUsage);
    EXPECT_NE(refused.err.find("cannot find the grid of '" + dir.filePath("noise.png").toStdString() + "'"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("give it with --tile WxH"), std::string::npos) << refused.err;
}

// A packed sheet on a transparent ground: each picture is a tile of its own
// box, holding its own pixels only, numbered in rows; specks are counted.
TEST(CommandLine, IslandsAreCutEachWithItsOwnPixels)
{
    QImage sheet(24, 16, QImage::Format_ARGB32);
    sheet.fill(Qt::transparent);
    const QRgb red = qRgb(220, 0, 0);
    const QRgb blue = qRgb(0, 0, 220);
    // An L whose foot reaches under the box of the bar beside it.
    for (int y = 1; y < 9; ++y)
        sheet.setPixel(2, y, red);
    for (int x = 2; x < 12; ++x)
        sheet.setPixel(x, 9, red);
    // A bar over the L's foot, 1 pixel above it, its box holding part of the foot.
    for (int y = 2; y < 8; ++y)
        for (int x = 6; x < 9; ++x)
            sheet.setPixel(x, y, blue);
    // Lower, a second row: a square, and a speck.
    for (int y = 12; y < 15; ++y)
        for (int x = 16; x < 19; ++x)
            sheet.setPixel(x, y, blue);
    sheet.setPixel(22, 1, red);
    QTemporaryDir dir;
    ASSERT_TRUE(sheet.save(dir.filePath("packed.png")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");

    const BatchRun run = runProgram({"--save-all", dir.filePath("packed.png"), "--output", out, "--islands",
                                     "--format", "png", "--name", "{row}_{col}", "--manifest",
                                     dir.filePath("packed.json"), "--overlay", dir.filePath("cut.png")});
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(run.out, "saved 3, skipped 0 existing, left out 1 specks, in " + out.toStdString() + "\n");
    const struct {
        const char* file;
        QRect box;
        QRgb colour;
    } tiles[] = {{"1_1.png", {2, 1, 10, 9}, red}, {"1_2.png", {6, 2, 3, 6}, blue}, {"2_1.png", {16, 12, 3, 3}, blue}};
    EXPECT_EQ(entriesOf(out), QStringList({"1_1.png", "1_2.png", "2_1.png"}));
    for (const auto& tile : tiles) {
        SCOPED_TRACE(tile.file);
        const QImage image = QImage(QDir(out).filePath(tile.file)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), tile.box.size());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb original = sheet.pixel(tile.box.x() + x, tile.box.y() + y);
                EXPECT_EQ(image.pixel(x, y), original == tile.colour ? original : qRgba(0, 0, 0, 0))
                    << x << "," << y;
            }
    }
    const QJsonObject manifest = QJsonDocument::fromJson(contentOf(dir.filePath("packed.json"))).object();
    EXPECT_FALSE(manifest.contains("grid"));
    const QJsonArray listed = manifest["tiles"].toArray();
    ASSERT_EQ(listed.size(), 4);
    EXPECT_EQ(listed[3].toObject()["status"].toString(), "speck");
    EXPECT_EQ(listed[3].toObject()["x"].toInt(), 22);
    const QImage overlay(dir.filePath("cut.png"));
    EXPECT_FALSE(overlay.isNull());
    EXPECT_EQ(overlay.width() % sheet.width(), 0);
    EXPECT_EQ(overlay.width() / sheet.width(), overlay.height() / sheet.height());
}

// ---------------------------------------------------------------- empty and repeated tiles, manifest

namespace {

// A GIF sheet of 4x2 tiles of 16 pixels, row by row: a pattern, transparent,
// the first pattern again, a second pattern, magenta, the second again, a
// third pattern, transparent.
QString writeSheetWithBlanksAndRepeats(const QTemporaryDir& dir)
{
    QImage sheet(64, 32, QImage::Format_ARGB32);
    const auto fill = [&](int tile, auto colourAt) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                sheet.setPixel(tile % 4 * 16 + x, tile / 4 * 16 + y, colourAt(x, y));
    };
    const auto pattern = [](int seed) {
        // Few colours, as a GIF holds at most 255.
        return [seed](int x, int y) { return qRgb(x / 4 * 60, y / 4 * 60, seed * 40); };
    };
    const auto plain = [](QRgb colour) { return [colour](int, int) { return colour; }; };
    fill(0, pattern(1));
    fill(1, plain(qRgba(0, 0, 0, 0)));
    fill(2, pattern(1));
    fill(3, pattern(2));
    fill(4, plain(qRgb(255, 0, 255)));
    fill(5, pattern(2));
    fill(6, pattern(3));
    fill(7, plain(qRgba(0, 0, 0, 0)));
    const QString path = dir.filePath("sheet.gif");
    writeFile(path, gif::encode(sheet));
    return path;
}

} // namespace

TEST(CommandLine, SkipEmptyAndUniqueLeaveTilesOut)
{
    QTemporaryDir dir;
    const QString sheet = writeSheetWithBlanksAndRepeats(dir);
    const struct Case {
        QStringList options;
        QStringList files;
        std::string last; // between "skipped 0 existing" and ", in"
    } cases[] = {
        {{}, {"1", "2", "3", "4", "5", "6", "7", "8"}, ""},
        {{"--skip-empty"}, {"1", "3", "4", "5", "6", "7"}, ", left out 2 empty"},
        {{"--skip-empty", "--empty-colour", "FF00ff"}, {"1", "3", "4", "6", "7"}, ", left out 3 empty"},
        {{"--unique"}, {"1", "2", "4", "5", "7"}, ", left out 3 repeated"},
        {{"--unique", "--skip-empty"}, {"1", "4", "5", "7"}, ", left out 2 empty and 2 repeated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        QTemporaryDir out;
        const BatchRun run = runProgram(QStringList{"--save-all", sheet, "--output", out.path(), "--tile", "16x16"} +
                                        c.options);
        EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
        EXPECT_EQ(run.out, "saved " + std::to_string(c.files.size()) + ", skipped 0 existing" + c.last + ", in " +
                               out.path().toStdString() + "\n");
        QStringList names;
        for (const QString& number : c.files)
            names << number + ".bmp";
        EXPECT_EQ(entriesOf(out.path()), names);
    }
}
TEST(CommandLine, ManifestListsEveryTileOnceAsTheFilesAre)
{
    QTemporaryDir dir;
    const QString sheet = writeSheetWithBlanksAndRepeats(dir);
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");
    writeFile(QDir(out).filePath("t07.png"), "the user's own");
    writeFile(dir.filePath("sheet.json"), "an earlier manifest");
    const QStringList arguments = {"--save-all", sheet, "--output", out, "--tile", "16x16", "--skip-empty",
                                   "--empty-colour", "ff00ff", "--unique", "--name", "t{n:2}", "--format", "png",
                                   "--manifest", dir.filePath("{stem}.json"), "--tileset", dir.filePath("{stem}.tsx")};
    // A dry run tells the fates the run then meets, and writes nothing.
    const BatchRun dry = runProgram(arguments + QStringList{"--dry-run"});
    EXPECT_EQ(dry.status, cli::kExitSuccess) << dry.err;
    EXPECT_EQ(dry.out, "t01.png 0,0 16x16 saved\n"
                       "t02.png 16,0 16x16 empty\n"
                       "t03.png 32,0 16x16 repeat of 1\n"
                       "t04.png 48,0 16x16 saved\n"
                       "t05.png 0,16 16x16 empty\n"
                       "t06.png 16,16 16x16 repeat of 4\n"
                       "t07.png 32,16 16x16 existing\n"
                       "t08.png 48,16 16x16 empty\n");
    EXPECT_EQ(entriesOf(out), QStringList({"t07.png"}));
    EXPECT_EQ(contentOf(dir.filePath("sheet.json")), "an earlier manifest");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("sheet.tsx")));

    const BatchRun run = runProgram(arguments);
    EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
    EXPECT_EQ(run.out, "saved 2, skipped 1 existing, left out 3 empty and 2 repeated, in " + out.toStdString() + "\n");
    EXPECT_EQ(entriesOf(out), QStringList({"t01.png", "t04.png", "t07.png"}));
    EXPECT_EQ(contentOf(QDir(out).filePath("t07.png")), "the user's own");
    EXPECT_NE(contentOf(dir.filePath("sheet.tsx")).indexOf("tilecount=\"8\""), -1);

    const QJsonObject manifest = QJsonDocument::fromJson(contentOf(dir.filePath("sheet.json"))).object();
    EXPECT_EQ(manifest["sheet"]["path"].toString(), "sheet.gif");
    EXPECT_EQ(manifest["output"].toString(), "out");
    EXPECT_EQ(manifest["sheet"]["format"].toString(), "gif");
    EXPECT_EQ(manifest["grid"]["columns"].toInt(), 4);
    EXPECT_EQ(manifest["grid"]["rows"].toInt(), 2);
    const QJsonArray tiles = manifest["tiles"].toArray();
    ASSERT_EQ(tiles.size(), 8);
    const QStringList statuses = {"saved", "empty", "repeat", "saved", "empty", "repeat", "existing", "empty"};
    const QImage pixels(sheet);
    QStringList present;
    for (int i = 0; i < tiles.size(); ++i) {
        const QJsonObject tile = tiles[i].toObject();
        SCOPED_TRACE(i);
        EXPECT_EQ(tile["number"].toInt(), i + 1);
        EXPECT_EQ(tile["row"].toInt(), i / 4 + 1);
        EXPECT_EQ(tile["column"].toInt(), i % 4 + 1);
        EXPECT_EQ(tile["file"].toString(), QString("t%1.png").arg(i + 1, 2, 10, QChar('0')));
        EXPECT_EQ(tile["status"].toString(), statuses[i]);
        const QRect rect(tile["x"].toInt(), tile["y"].toInt(), tile["width"].toInt(), tile["height"].toInt());
        EXPECT_EQ(rect, QRect(i % 4 * 16, i / 4 * 16, 16, 16));
        if (tile["status"] == "repeat")
            EXPECT_EQ(tile["repeatOf"].toInt(), i - 1);
        if (tile["status"] == "saved")
            EXPECT_EQ(QImage(QDir(out).filePath(tile["file"].toString())).convertToFormat(QImage::Format_ARGB32),
                      pixels.copy(rect).convertToFormat(QImage::Format_ARGB32));
        if (tile["status"] == "saved" || tile["status"] == "existing")
            present << tile["file"].toString();
    }
    EXPECT_EQ(entriesOf(out), present);
}

TEST(CommandLine, PngTilesKeepTheSheetsOwnPixels)
{
    const struct Case {
        const char* what;
        PngPattern pattern;
    } cases[] = {
        {"grey, 8 bits", {kPngGrey, 8, 20, 10}},
        {"grey, 16 bits", {kPngGrey, 16, 20, 10}},
        {"grey and alpha", {kPngGreyAlpha, 8, 20, 10}},
        {"RGB, 16 bits", {kPngRgb, 16, 20, 10}},
        {"RGBA, 8 bits, interlaced", {kPngRgba, 8, 20, 10, true}},
        {"RGBA, 16 bits", {kPngRgba, 16, 20, 10}},
        {"palette with translucent entries", {kPngPalette, 8, 20, 10, false, 200}},
    };
    constexpr int kColourTypeAt = 25; // in the header chunk, after the signature
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString sheet = dir.filePath("sheet.png");
        const QByteArray file = pngFile(c.pattern);
        ASSERT_FALSE(file.isEmpty());
        writeFile(sheet, file);
        ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
        const QString out = dir.filePath("out");
        const BatchRun run = runProgram(
            {"--save-all", sheet, "--output", out, "--format", "png", "--tile", "8x8", "--partial", "--name", "{n}"});
        EXPECT_EQ(run.status, cli::kExitSuccess) << run.err;
        const QImage stored = platform::LoadPicture(sheet.toStdString(), platform::Pixels::AsStored).image();
        const QRect rects[] = {{0, 0, 8, 8}, {8, 0, 8, 8}, {16, 0, 4, 8}, {0, 8, 8, 2}, {8, 8, 8, 2}, {16, 8, 4, 2}};
        EXPECT_EQ(entriesOf(out).size(), 6);
        for (int i = 0; i < 6; ++i) {
            const QByteArray tile = contentOf(QDir(out).filePath(QString("%1.png").arg(i + 1)));
            ASSERT_GT(tile.size(), kColourTypeAt) << i + 1;
            EXPECT_EQ(tile[kColourTypeAt], file[kColourTypeAt]) << i + 1;
            const formats::DecodedPng decoded = formats::decodePng(tile, 1 << 20);
            EXPECT_EQ(decoded.image.convertToFormat(QImage::Format_RGBA64),
                      stored.copy(rects[i]).convertToFormat(QImage::Format_RGBA64))
                << i + 1;
        }
    }
}

TEST(CommandLine, ATileThatCannotBeWrittenEndsTheCutThere)
{
    // Tiles of one colour each make files of a hundred bytes or so; the tile
    // of noise makes one of more than a kilobyte, which a limit of 512 bytes a
    // file refuses. It comes after more tiles than are encoded ahead of the writes.
    constexpr int kColumns = 30;
    constexpr int kRows = 20;
    constexpr int kNoisy = 301;
    QImage sheet(kColumns * 16, kRows * 16, QImage::Format_ARGB32);
    quint32 noise = 12345;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x) {
            const int number = y / 16 * kColumns + x / 16 + 1;
            noise = noise * 1103515245 + 12345;
            sheet.setPixel(x, y, number == kNoisy ? noise : qRgba(number % 256, number / 256, 90, 200));
        }
    QTemporaryDir dir;
    const QString path = dir.filePath("sheet.png");
    writeFile(path, formats::encodePng(sheet));
    ASSERT_TRUE(QDir(dir.path()).mkdir("out"));
    const QString out = dir.filePath("out");

    // The write past the limit fails with EFBIG instead of ending the program.
    const BatchRun run = runProgram({"--save-all", path, "--output", out, "--format", "png", "--tile", "16x16"},
                                    "trap '' XFSZ; ulimit -f 1");
    EXPECT_EQ(run.status, cli::kExitFailure);
    const std::string noisy = QDir(out).filePath(QString("%1.png").arg(kNoisy)).toStdString();
    EXPECT_NE(run.err.find("'" + noisy + "': File too large"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "saved " + std::to_string(kNoisy - 1) + ", skipped 0 existing, in " + out.toStdString() + "\n");
    QStringList written;
    for (int number = 1; number < kNoisy; ++number) {
        written << QString("%1.png").arg(number);
        const QByteArray tile = contentOf(QDir(out).filePath(written.back()));
        const QRect rect((number - 1) % kColumns * 16, (number - 1) / kColumns * 16, 16, 16);
        EXPECT_EQ(formats::decodePng(tile, 1 << 20).image, sheet.copy(rect)) << number;
    }
    written.sort();
    EXPECT_EQ(entriesOf(out), written);
}
