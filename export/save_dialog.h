#pragma once
// The save dialog as Save selected and the output-folder choice both set it up.

#include <cstdint>
#include <string>

namespace exporting {

inline const std::string kSaveDialogTitle = "Save File";
inline const std::string kBitmapFilter = "Bitmap|*.bmp";
// The filter list has one entry; the dialog starts on it.
constexpr int16_t kFirstFilter = 1;

} // namespace exporting
