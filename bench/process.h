#pragma once
// Runs a program as a child process and measures it as a whole: wall time from
// fork to the end of wait4, and the child's own processor time and peak
// resident size.

#include <string>
#include <vector>

namespace bench {

// Exit code when the program could not be started at all (as the shell uses).
constexpr int kCannotStart = 127;

struct ProcessResult {
    int exitCode = 0;      // the child's exit code, or 128 + signal when it was killed
    double wallMs = 0;
    double cpuMs = 0;      // user and system time of this child alone
    long peakRssKiB = 0;   // ru_maxrss of this child alone
    std::string out;       // what it wrote to stdout
    std::string err;       // what it wrote to stderr
    bool ok() const { return exitCode == 0; }
};

// argv[0] is looked up on PATH unless it holds a slash. With discardOut, the
// child's stdout goes to /dev/null, as a user's would when only the files count.
ProcessResult runProcess(const std::vector<std::string>& argv, bool discardOut = false);

} // namespace bench
