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
// From here on SIGTERM, SIGINT and SIGHUP end the program at once, until
// unloadOnTermination gives them a form to close.
void startRuntime();

// Once the event loop runs, the system's request to stop (SIGTERM, SIGINT,
// SIGHUP, or the end of the desktop session) closes the form the way its close
// button does, so that its QueryUnload runs. A second signal ends the program
// at once.
void unloadOnTermination(Form& form);

} // namespace platform
