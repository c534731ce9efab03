#pragma once
// What the command line asks for: the window, with a file or folder to open,
// the batch Save all, or a text to print.

#include <optional>
#include <string>
#include <vector>

namespace cli {

// Exit status: done; a picture could not be read or a tile not written; the
// command line itself was wrong.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

enum class Action { OpenWindow, ShowHelp, ShowVersion, SaveAll, Misuse };

struct Command {
    Action action = Action::OpenWindow;
    // OpenWindow: the file or folder to open, or empty. SaveAll: the strip.
    std::string name;
    // SaveAll: the output folder and the prefix of the names.
    std::string output;
    std::string prefix;
    // Misuse: what is wrong.
    std::string problem;
};

// The arguments as the program got them, its own name first; any bytes, so a
// file name that is no valid text still names its file.
Command parse(const std::vector<std::string>& arguments);

// The full help, for --help; the short usage, for a wrong command line.
std::string helpText();
std::string usageText();
std::string versionText();

// Runs what needs no window (prints a text, or cuts a strip) and returns the
// exit status; nothing for the window.
std::optional<int> runWithoutWindow(const Command& command, int& argc, char** argv);

} // namespace cli
