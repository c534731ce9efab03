#include "bench/process.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr size_t kReadChunk = 4096;
constexpr double kMsPerSecond = 1000;
constexpr double kMsPerMicrosecond = 0.001;

double msOf(const timeval& t) { return t.tv_sec * kMsPerSecond + t.tv_usec * kMsPerMicrosecond; }

// Reads both pipes until the child closes them, so neither can fill up and stall it.
void drain(int outFd, int errFd, std::string& out, std::string& err)
{
    std::array<pollfd, 2> fds{{{outFd, POLLIN, 0}, {errFd, POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&out, &err};
    int open = 2;
    char buffer[kReadChunk];
    while (open > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, size_t(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, bool discardOut)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    ProcessResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0)
        return {kCannotStart, 0, 0, 0, {}, "pipe failed"};
    if (pipe(errPipe) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return {kCannotStart, 0, 0, 0, {}, "pipe failed"};
    }

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int nowhere = discardOut ? open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
        dup2(nowhere >= 0 ? nowhere : outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(outPipe[1]);
        close(errPipe[0]);
        close(errPipe[1]);
        execvp(args[0], args.data());
        _exit(kCannotStart);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return {kCannotStart, 0, 0, 0, {}, "fork failed"};
    }
    drain(outPipe[0], errPipe[0], result.out, result.err);

    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const auto end = std::chrono::steady_clock::now();
    result.wallMs = std::chrono::duration<double, std::milli>(end - start).count();
    result.cpuMs = msOf(usage.ru_utime) + msOf(usage.ru_stime);
    result.peakRssKiB = usage.ru_maxrss;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace bench
