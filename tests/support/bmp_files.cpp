#include "support/bmp_files.h"

#include <QtEndian>

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kMasksInHeaderAt = 40;
constexpr quint32 kPixelsPerMetre = 2835;

void putWord(QByteArray& out, quint32 value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void putLong(QByteArray& out, quint32 value)
{
    putWord(out, value & 0xFFFF);
    putWord(out, value >> 16);
}

} // namespace

QByteArray bmpFile(const Bmp& b)
{
    QByteArray info;
    QByteArray masks;
    if (b.infoSize == kCoreHeaderSize) {
        putLong(info, b.infoSize);
        putWord(info, quint32(b.width));
        putWord(info, quint32(b.height));
        putWord(info, b.planes);
        putWord(info, b.bitsPerPixel);
    } else {
        putLong(info, b.infoSize);
        putLong(info, quint32(b.width));
        putLong(info, quint32(b.height));
        putWord(info, b.planes);
        putWord(info, b.bitsPerPixel);
        putLong(info, b.compression);
        putLong(info, quint32(b.pixels.size()));
        putLong(info, kPixelsPerMetre);
        putLong(info, kPixelsPerMetre);
        putLong(info, b.coloursUsed);
        putLong(info, 0);
        for (const quint32 mask : b.masks)
            putLong(b.infoSize > kMasksInHeaderAt ? info : masks, mask);
        info = info.leftJustified(b.infoSize, '\0', true);
    }
    const qint64 start = kFileHeaderSize + info.size() + masks.size() + b.palette.size();
    QByteArray file("BM");
    putLong(file, quint32(start + b.pixels.size()));
    putLong(file, 0);
    putLong(file, quint32(b.dataOffset >= 0 ? b.dataOffset : start));
    return file + info + masks + b.palette + b.pixels;
}

QRgb paletteColour(int i) { return qRgb(i * 7, 255 - i * 40, i * 40); }

QByteArray bmpPalette(int colours, int entrySize)
{
    QByteArray palette;
    for (int i = 0; i < colours; ++i) {
        const QRgb c = paletteColour(i);
        palette.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (entrySize == 4)
            palette.append('\0');
    }
    return palette;
}
