#pragma once
// PNG files of every colour type and depth, written through libpng itself so
// that no reader or writer of ours decides what they hold, and the means to
// damage them chunk by chunk.

#include <QByteArray>

// Colour types, as the PNG header names them.
enum PngColourType : int { kPngGrey = 0, kPngRgb = 2, kPngPalette = 3, kPngGreyAlpha = 4, kPngRgba = 6 };

struct PngPattern {
    int colourType = kPngRgb;
    int bitDepth = 8;
    int width = 13;
    int height = 7;
    bool interlaced = false;
    // Palette pictures: a palette of this many entries, some translucent.
    int paletteSize = 0;
    // Grey and RGB pictures: a tRNS chunk making the first pixel's colour transparent.
    bool transparentColour = false;
};

// A PNG of the pattern: every sample differs from its neighbours and the whole
// range of the depth is used. Empty when libpng refuses the pattern.
QByteArray pngFile(const PngPattern& pattern);

// The file with its chunk of this type (the first one) given other data, the
// CRC made right; a file with no such chunk gets one before its image data.
QByteArray withChunkData(const QByteArray& png, const char* type, const QByteArray& data);

// The file with one more chunk of this type and data, the CRC right, put in
// before its first chunk of type before: "IDAT" or, for after the image data, "IEND".
QByteArray withChunkBefore(const QByteArray& png, const char* before, const char* type, const QByteArray& data);

// The file with the CRC of its chunk of this type wrong.
QByteArray withBadCrc(const QByteArray& png, const char* type);

// The file with its header claiming another size.
QByteArray withSize(const QByteArray& png, quint32 width, quint32 height);

// The data of the first chunk of this type.
QByteArray chunkData(const QByteArray& png, const char* type);
