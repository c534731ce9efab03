#pragma once
// The App object and the start of the runtime.

#include <string>

namespace platform {

class AppObject {
public:
    // The program's folder.
    std::string Path() const;
    std::string ProductName() const { return "Quorvel"; }
};

extern AppObject App;

// Call once after the QApplication exists: pictures, screen metrics, font.
void startRuntime();

} // namespace platform
