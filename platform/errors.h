#pragma once
// Numbered run-time errors, the way the form procedures expect to see failures.

#include <stdexcept>
#include <string>

namespace platform {

enum ErrorNumber : int {
    Overflow = 6,
    OutOfMemory = 7,
    DivisionByZero = 11,
    TypeMismatch = 13,
    FileNotFound = 53,
    DeviceUnavailable = 68,
    PathFileAccessError = 75,
    PathNotFound = 76,
    InvalidPropertyValue = 380,
    InvalidPicture = 481,
    DialogCancelled = 32755,
};

// The classic text of an error number ("Overflow", "File not found", ...).
std::string errorText(int number);

class RuntimeError : public std::runtime_error {
public:
    // Without a description the classic text of the number is used.
    explicit RuntimeError(int number, const std::string& description = {});
    int number() const { return mNumber; }
    const std::string& description() const { return mDescription; }

private:
    int mNumber;
    std::string mDescription;
};

// "On Error Resume Next": each statement runs; a failing one is skipped and its
// error number kept, so the procedure can look at Number() afterwards.
class ResumeNext {
public:
    template <class Statement>
    void operator()(Statement&& statement)
    {
        try {
            statement();
        } catch (const RuntimeError& e) {
            mNumber = e.number();
            mDescription = e.description();
        }
    }
    int Number() const { return mNumber; }
    const std::string& Description() const { return mDescription; }

private:
    int mNumber = 0;
    std::string mDescription;
};

} // namespace platform
