#pragma once
// Colours the program fixes whatever the desktop's theme.

#include "platform/control.h"

namespace platform {

// What the preview box shows where a tile has no pixels of its own (transparent
// ones of a GIF): the saved tiles carry it, so it must not follow the desktop.
constexpr OLE_COLOR kPreviewBackground = 0x00EFEFEF;

} // namespace platform
