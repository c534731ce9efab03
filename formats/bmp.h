#pragma once
// BMP files, bytes in and bytes out. The decoder is small and strict: it reads
// the format's documented fields, turns down what it does not understand with
// the cause, and sets every pixel of the picture it gives, so nothing that the
// file does not say can show.

#include <QByteArray>
#include <QImage>
#include <QtGlobal>

#include <string>

namespace formats {

struct DecodedBmp {
    enum Outcome { Picture, TooLarge, Invalid };
    Outcome outcome = Invalid;
    // Picture: opaque 32-bit pixels (QImage::Format_RGB32), whatever the file's depth.
    QImage image;
    // Invalid: what is wrong, worded to follow the file's name: "is cut short (its palette ends early)".
    std::string cause;
    // TooLarge: the size the header gives.
    qint64 width = 0;
    qint64 height = 0;
};

// Decodes a whole BMP file. A picture of more than maxPixels pixels is
// TooLarge, told before anything is allocated.
DecodedBmp decodeBmp(const QByteArray& file, qint64 maxPixels);

// A 24-bit BMP of exactly the picture's pixels (alpha dropped): rows bottom up,
// each padded to 4 bytes, a 40-byte info header and the picture's resolution.
// Empty for an empty picture.
QByteArray encodeBmp(const QImage& picture);

} // namespace formats
