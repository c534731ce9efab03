#pragma once
// What the project checks of a GIF file itself; Qt's reader decodes it.

#include <QByteArray>

namespace formats {

// Whether the file ends, or the first picture's data ends, before that picture
// has all its pixels. Qt's reader would show the missing ones as background.
// Files it cannot make sense of up to that picture are left to the reader.
bool gifFirstFrameEndsEarly(const QByteArray& file);

} // namespace formats
