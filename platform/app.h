#pragma once
// The App object and the start of the runtime.

#include <string>

namespace platform {

class Form;

class AppObject {
public:
    // The program's folder.
    std::string Path() const;
    std::string ProductName() const { return "Quorvel"; }
};

extern AppObject App;

// The drive the system runs from, as the drive list shows it: "/" here, as
// "C:" is on Windows.
std::string SystemDrive();

// Call once after the QApplication exists: pictures, screen metrics, font.
void startRuntime();

// When the system asks the program to stop (SIGTERM, SIGINT, SIGHUP, or the end
// of the desktop session), the form is closed the way its close button does it,
// so that its QueryUnload runs. A second signal ends the program at once.
void unloadOnTermination(Form& form);

} // namespace platform
