#include "formats/gif.h"

#include "formats/sizes.h"

#include <QtEndian>

#include <QHash>

#include <array>

namespace formats {

namespace {

constexpr qsizetype kScreenFlagsAt = 10;
constexpr qsizetype kScreenDescriptorEnd = 13;
constexpr quint8 kPaletteFlag = 0x80;
constexpr quint8 kPaletteSizeBits = 0x07;
constexpr qsizetype kPaletteEntry = 3;
constexpr quint8 kExtension = 0x21;
constexpr quint8 kImage = 0x2C;
constexpr qsizetype kExtensionHeader = 2;
constexpr qsizetype kImageWidthAt = 5;
constexpr qsizetype kImageHeightAt = 7;
constexpr qsizetype kImageFlagsAt = 9;
constexpr qsizetype kImageDescriptorSize = 10;
// LZW: codes of at most 12 bits, a table of 4096 entries; the code size
// Qt's reader and the format accept.
constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;
constexpr int kSmallestCodeSize = 1;
constexpr int kLargestCodeSize = kMaxCodeBits - 1;
constexpr int kBitsPerByte = 8;
constexpr int kMostColours = 256;

// How many pixels the LZW data of a picture gives before it ends; -1 when a
// code makes no sense (the picture is damaged, not cut short).
qint64 pixelsIn(const QByteArray& file, qsizetype at, int codeSize, qint64 wanted)
{
    const int clear = 1 << codeSize;
    const int end = clear + 1;
    std::array<qint64, kTableSize> length{};
    length.fill(1);
    int bits = codeSize + 1;
    int next = end + 1;
    int previous = -1;
    quint32 buffer = 0;
    int buffered = 0;
    qint64 pixels = 0;
    while (at < file.size() && pixels < wanted) {
        const int block = quint8(file[at++]);
        if (block == 0)
            break;
        for (int i = 0; i < block && at < file.size() && pixels < wanted; ++i) {
            buffer |= quint32(quint8(file[at++])) << buffered;
            buffered += kBitsPerByte;
            while (buffered >= bits && pixels < wanted) {
                const int code = int(buffer & ((1u << bits) - 1));
                buffer >>= bits;
                buffered -= bits;
                if (code == clear) {
                    bits = codeSize + 1;
                    next = end + 1;
                    previous = -1;
                    continue;
                }
                if (code == end)
                    return pixels;
                if (code > next || (previous < 0 && code >= clear))
                    return -1;
                const qint64 run = code == next ? length[size_t(previous)] + 1 : length[size_t(code)];
                pixels += run;
                if (previous >= 0 && next < kTableSize) {
                    length[size_t(next)] = length[size_t(previous)] + 1;
                    if (++next == 1 << bits && bits < kMaxCodeBits)
                        ++bits;
                }
                previous = code;
            }
        }
    }
    return pixels;
}

qsizetype afterPalette(const QByteArray& file, qsizetype at, qsizetype flagsAt)
{
    const quint8 flags = quint8(file[flagsAt]);
    return flags & kPaletteFlag ? at + (kPaletteEntry << ((flags & kPaletteSizeBits) + 1)) : at;
}

} // namespace

bool gifFirstFrameEndsEarly(const QByteArray& file)
{
    if (file.size() < kScreenDescriptorEnd)
        return false;
    qsizetype at = afterPalette(file, kScreenDescriptorEnd, kScreenFlagsAt);
    // Extensions come before the picture: each a label, then blocks up to an empty one.
    while (at < file.size() && quint8(file[at]) == kExtension) {
        at += kExtensionHeader;
        while (at < file.size() && file[at] != 0)
            at += 1 + quint8(file[at]);
        ++at;
    }
    if (at >= file.size() || quint8(file[at]) != kImage)
        return false;
    if (file.size() < at + kImageDescriptorSize + 1)
        return true;
    const uchar* descriptor = reinterpret_cast<const uchar*>(file.constData() + at);
    const qint64 wanted = sizeProduct(qFromLittleEndian<quint16>(descriptor + kImageWidthAt),
                                      qFromLittleEndian<quint16>(descriptor + kImageHeightAt));
    at = afterPalette(file, at + kImageDescriptorSize, at + kImageFlagsAt);
    if (at >= file.size())
        return true;
    const int codeSize = quint8(file[at]);
    if (codeSize < kSmallestCodeSize || codeSize > kLargestCodeSize)
        return false;
    const qint64 pixels = pixelsIn(file, at + 1, codeSize, wanted);
    return pixels >= 0 && pixels < wanted;
}

QImage gifPalettePixels(const QImage& decoded)
{
    const QImage pixels = decoded.convertToFormat(QImage::Format_ARGB32);
    QImage indexed(pixels.size(), QImage::Format_Indexed8);
    if (indexed.isNull())
        return decoded;
    QList<QRgb> table;
    QHash<QRgb, int> indexOf;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < pixels.width(); ++x) {
            auto found = indexOf.constFind(in[x]);
            if (found == indexOf.cend()) {
                if (table.size() == kMostColours)
                    return decoded;
                found = indexOf.insert(in[x], int(table.size()));
                table << in[x];
            }
            out[x] = uchar(*found);
        }
    }
    indexed.setColorTable(table);
    return indexed;
}

} // namespace formats
