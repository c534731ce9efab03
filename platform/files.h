#pragma once
// File names on this platform, and the file tests the form makes.

#include <string>

namespace platform {

// What the form puts between a folder and a name; plain concatenation, so the
// root folder gives two in a row, which the system accepts.
inline const std::string PathSeparator = "/";

// Whether an ordinary file (not a folder) of exactly this name exists. The name
// is never a pattern: "*" and "?" are characters like any other.
bool FileExists(const std::string& fileName);

// Whether a folder of this name exists (a link to one counts).
bool FolderExists(const std::string& name);

// The folder part of a full file name, without a trailing separator. A name
// directly in the root gives the root itself ("/"), so that an empty folder
// keeps meaning "none". Error 76 for a name without any folder part.
std::string FolderOf(const std::string& fileName);

} // namespace platform
