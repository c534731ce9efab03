#include "platform/errors.h"

namespace platform {

std::string errorText(int number)
{
    switch (number) {
    case Overflow:
        return "Overflow";
    case OutOfMemory:
        return "Out of memory";
    case DivisionByZero:
        return "Division by zero";
    case TypeMismatch:
        return "Type mismatch";
    case FileNotFound:
        return "File not found";
    case PathFileAccessError:
        return "Path/File access error";
    case DeviceUnavailable:
        return "Device unavailable";
    case PathNotFound:
        return "Path not found";
    case InvalidPropertyValue:
        return "Invalid property value";
    case InvalidPicture:
        return "Invalid picture";
    case DialogCancelled:
        return "Cancel was selected.";
    default:
        return "Application-defined or object-defined error";
    }
}

namespace {

std::string describe(int number, const std::string& description)
{
    return description.empty() ? errorText(number) : description;
}

} // namespace

RuntimeError::RuntimeError(int number, const std::string& description)
    : std::runtime_error(describe(number, description))
    , mNumber(number)
    , mDescription(describe(number, description))
{
}

} // namespace platform
