#pragma once
// BMP files, bytes in and bytes out. The decoder is small and strict: it reads
// the format's documented fields, turns down what it does not understand with
// the cause, and sets every pixel of the picture it gives, so nothing that the
// file does not say can show.

#include "formats/decoded.h"

#include <QByteArray>
#include <QImage>

namespace formats {

// A decoded BMP picture is opaque 32-bit pixels (QImage::Format_RGB32), whatever the file's depth.
using DecodedBmp = DecodedPicture;

// Decodes a whole BMP file. A picture of more than maxPixels pixels is
// TooLarge, told before anything is allocated.
DecodedBmp decodeBmp(const QByteArray& file, qint64 maxPixels);

// A 24-bit BMP of exactly the picture's pixels (alpha dropped): rows bottom up,
// each padded to 4 bytes, a 40-byte info header and the picture's resolution.
// Empty for an empty picture.
QByteArray encodeBmp(const QImage& picture);

} // namespace formats
