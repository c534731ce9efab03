#pragma once
// The window's own colours, the same on every desktop whatever its theme, as
// the classic runtime writes them: &H00BBGGRR&. No Qt here, so that code
// outside the window can compose tiles on the preview's background too.

#include <cstdint>

namespace platform {

using OLE_COLOR = uint32_t;

// The light face of the window, its frames, buttons and labels.
constexpr OLE_COLOR kButtonFace = 0x00EFEFEF;
// Texts, and the borders drawn darker than the face.
constexpr OLE_COLOR kWindowText = 0x00000000;
// Inside the lists and the text box.
constexpr OLE_COLOR kWindowBackground = 0x00FFFFFF;
// The selected entry of a list and its text.
constexpr OLE_COLOR kHighlight = 0x00C68C30;
constexpr OLE_COLOR kHighlightText = 0x00FFFFFF;
// Texts of what cannot be used now.
constexpr OLE_COLOR kGrayText = 0x00BEBEBE;

// What the preview box holds where a tile has no pixels of its own (a GIF's
// transparent ones, columns past the strip's edge): saved tiles carry it, so
// it never follows the desktop.
constexpr OLE_COLOR kPreviewBackground = kButtonFace;

} // namespace platform
