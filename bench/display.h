#pragma once
// A private X server for the real-window runs: Xvfb at 96 DPI on a display
// it picks itself, stopped when this object goes.

#include <string>
#include <sys/types.h>

namespace bench {

class PrivateDisplay {
public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":N" once the server accepts clients; empty when it could not start.
    const std::string& name() const { return mName; }
    // Why there is no display.
    const std::string& failure() const { return mFailure; }

private:
    pid_t mServer = -1;
    std::string mName;
    std::string mFailure;
};

} // namespace bench
