#include "cli/command_line.h"

#include "cli/batch.h"
#include "platform/screen.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <iostream>
#include <unistd.h>

namespace cli {

namespace {

const std::string kUsage = "Usage: quorvel [FILE | FOLDER]\n"
                           "       quorvel --save-all STRIP --output FOLDER [--prefix TEXT]\n";

// The window's Save all at 96 DPI, the common desktop's.
constexpr float kTwipsPerPixelAt96Dpi = 15;

struct Options {
    QCommandLineOption help{{"h", "help"}, "Show this help and exit."};
    QCommandLineOption version{{"v", "version"}, "Show the version and exit."};
    QCommandLineOption saveAll{"save-all",
                               "Save every tile of STRIP into the output folder, with no window: the names are "
                               "TEXT, the tile's number and .bmp; a name that exists is skipped, never replaced.",
                               "STRIP"};
    QCommandLineOption output{"output", "The folder the tiles go to (with --save-all).", "FOLDER"};
    QCommandLineOption prefix{"prefix", "What each tile's name starts with (with --save-all; none by default).",
                              "TEXT"};
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

void setUp(QCommandLineParser& parser, const Options& options)
{
    parser.setApplicationDescription(
        "Cuts a strip image, a BMP or GIF file holding a row of equal square pictures,\n"
        "into tiles and saves them as BMP files. A tile is as wide as the strip is high\n"
        "(a strip 15 pixels high gives tiles 16 wide); a strip narrower than two tiles\n"
        "is one tile. Without --save-all, the window opens.");
    parser.addOptions({options.help, options.version, options.saveAll, options.output, options.prefix});
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
    for (const QCommandLineOption* option : {&options.saveAll, &options.output, &options.prefix})
        if (parser.values(*option).size() > 1)
            return misuse("--" + toBytes(option->names().constFirst()) + " is given more than once.");
    const QStringList names = parser.positionalArguments();
    if (!parser.isSet(options.saveAll)) {
        if (parser.isSet(options.output) || parser.isSet(options.prefix))
            return misuse("--output and --prefix go with --save-all.");
        if (names.size() > 1)
            return misuse("The window opens one file or folder, not " + std::to_string(names.size()) + ".");
        return commandTo(Action::OpenWindow, toBytes(names.value(0)));
    }
    if (!names.isEmpty())
        return misuse("--save-all cuts one strip; '" + toBytes(names.constFirst()) + "' is one too many.");
    if (parser.value(options.output).isEmpty())
        return misuse("--save-all needs the output folder: --output FOLDER.");
    Command command = commandTo(Action::SaveAll, toBytes(parser.value(options.saveAll)));
    command.output = toBytes(parser.value(options.output));
    command.prefix = toBytes(parser.value(options.prefix));
    return command;
}

std::string helpText()
{
    QCommandLineParser parser;
    const Options options;
    setUp(parser, options);
    // Qt's usage line knows one form of the command; ours has two.
    return kUsage + "\n" + toBytes(parser.helpText().section('\n', 1));
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
    }
    return kExitUsage;
}

} // namespace cli
