// The command line: what it parses to, the program's answers and exit status,
// opening a file or folder in the window, and the batch Save all against the
// window's own.
#include "cli/batch.h"
#include "cli/command_line.h"
#include "cli/open_in_window.h"
#include "resources/gif_writer.h"
#include "support/error_number.h"
#include "support/files.h"
#include "support/screen_scale.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

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

struct BatchRun {
    int status;
    std::string out;
    std::string err;
};

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

// Runs the program itself with no display at all.
BatchRun runProgram(const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QUORVEL_PROGRAM, arguments);
    if (!program.waitForFinished(30000) || program.exitStatus() != QProcess::NormalExit)
        return {-1, {}, "the program did not end by itself"};
    return {program.exitCode(), program.readAllStandardOutput().toStdString(),
            program.readAllStandardError().toStdString()};
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
        {strip, out + "/missing", "'" + out + "/missing/1.bmp'", "saved 0, skipped 0 existing, in " + out + "/missing\n"},
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
    const QString folder = QDir(dir.path()).canonicalPath();
    writeStrip(dir, "strip.bmp", 160, 16);
    writeStrip(dir, "tall.gif", 48, 32);
    writeFile(dir.filePath("notes.txt"), "not a picture");
    writeFile(dir.filePath("broken.bmp"), "BM and no more");
    ASSERT_TRUE(QDir(folder).mkdir("sub"));
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
        EXPECT_EQ(errorNumberOf([&] { cli::openInWindow(form, c.name); }), c.error);
        EXPECT_EQ(form.Dir1.Path(), c.path.empty() ? before : c.path);
        EXPECT_EQ(form.File1.Path(), form.Dir1.Path());
        EXPECT_EQ(form.File1.FileName(), c.fileName);
        EXPECT_EQ(form.Label1.Caption(), c.size);
        EXPECT_TRUE(dialogs.messages().empty());
    }
    QDir::setCurrent(previous);
}
