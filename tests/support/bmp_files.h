#pragma once
// BMP files built field by field, each field free to be wrong, for the decoder's
// tests and the damaged-file cases.

#include <QByteArray>
#include <QRgb>

#include <vector>

enum BmpCompression : quint32 { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6 };
// Info header sizes: OS/2 1.x core, Windows info, its version 5.
constexpr quint32 kCoreHeaderSize = 12;
constexpr quint32 kInfoHeaderSize = 40;
constexpr quint32 kV5HeaderSize = 124;

struct Bmp {
    qint32 width = 4;
    qint32 height = 2;
    quint16 bitsPerPixel = 24;
    quint32 compression = kRgb;
    quint32 coloursUsed = 0;
    QByteArray palette;
    QByteArray pixels = QByteArray(2 * 12, '\x40');
    // Where the pixels start; by default right after the palette.
    qint64 dataOffset = -1;
    // 12 writes the core header's 16-bit fields; any other size cuts or pads the
    // info header's fields to it.
    quint32 infoSize = kInfoHeaderSize;
    quint16 planes = 1;
    // Red, green, blue (and alpha) masks: inside a header of 52 bytes or more,
    // after a shorter one.
    std::vector<quint32> masks;
};

QByteArray bmpFile(const Bmp& b);

// Palette entry i of the test pictures.
QRgb paletteColour(int i);

// The first colours of that palette, as entries of 4 bytes (3 for a core header).
QByteArray bmpPalette(int colours, int entrySize = 4);
