#include "bench/display.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr int kReadEnd = 0;
constexpr int kWriteEnd = 1;
constexpr size_t kNumberDigits = 16;

} // namespace

PrivateDisplay::PrivateDisplay()
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        mFailure = "pipe failed";
        return;
    }
    mServer = fork();
    if (mServer == 0) {
        close(pipeFds[kReadEnd]);
        // Xvfb writes the display number it chose to this descriptor once it accepts clients.
        const std::string fd = std::to_string(pipeFds[kWriteEnd]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-dpi", "96", "-nolisten",
               "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[kWriteEnd]);
    if (mServer < 0) {
        close(pipeFds[kReadEnd]);
        mFailure = "fork failed";
        return;
    }
    std::string number;
    char c = 0;
    while (number.size() < kNumberDigits && read(pipeFds[kReadEnd], &c, 1) == 1 && c != '\n')
        number += c;
    close(pipeFds[kReadEnd]);
    if (number.empty())
        mFailure = "Xvfb did not start (is it installed?)";
    else
        mName = ":" + number;
}

PrivateDisplay::~PrivateDisplay()
{
    if (mServer <= 0)
        return;
    kill(mServer, SIGTERM);
    waitpid(mServer, nullptr, 0);
}

} // namespace bench
