#pragma once
// What the project checks of a GIF file itself; Qt's reader decodes it.

#include <QByteArray>
#include <QImage>

namespace formats {

// Whether the file ends, or the first picture's data ends, before that picture
// has all its pixels. Qt's reader would show the missing ones as background.
// Files it cannot make sense of up to that picture are left to the reader.
bool gifFirstFrameEndsEarly(const QByteArray& file);

// Qt's reader gives a GIF's pixels as 32-bit ones; this gives them back as
// palette pixels (Format_Indexed8), an entry for each colour in the order the
// colours first appear, every pixel the colour and alpha it had. A picture of
// more than 256 colours, which no GIF frame holds, is given as it is.
QImage gifPalettePixels(const QImage& decoded);

} // namespace formats
