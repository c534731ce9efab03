#pragma once
// File names on this platform.

#include <string>

namespace platform {

// What the form puts between a folder and a name; plain concatenation, so the
// root folder gives two in a row, which the system accepts.
inline const std::string PathSeparator = "/";

} // namespace platform
