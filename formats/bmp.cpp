#include "formats/bmp.h"

#include "formats/large_memory.h"
#include "formats/sizes.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

namespace formats {

namespace {

constexpr qint64 kFileHeaderSize = 14;
constexpr qint64 kDataOffsetAt = 10;
constexpr qint64 kInfoSizeAt = 14;

// Info header sizes: the OS/2 1.x core header, OS/2 2.x (any length from 16 to
// 64, shorter ones leaving out the later fields), and Windows' info header and
// its versions 2 to 5.
constexpr quint32 kCoreHeader = 12;
constexpr quint32 kOs2ShortestHeader = 16;
constexpr quint32 kOs2LongestHeader = 64;
constexpr quint32 kInfoHeader = 40;
constexpr quint32 kV2Header = 52;
constexpr quint32 kV3Header = 56;
constexpr quint32 kV4Header = 108;
constexpr quint32 kV5Header = 124;

// Fields, from the start of the file. The core header's are 16-bit.
constexpr qint64 kCoreWidthAt = 18;
constexpr qint64 kCoreHeightAt = 20;
constexpr qint64 kCorePlanesAt = 22;
constexpr qint64 kCoreBitsAt = 24;
constexpr qint64 kWidthAt = 18;
constexpr qint64 kHeightAt = 22;
constexpr qint64 kPlanesAt = 26;
constexpr qint64 kBitsAt = 28;
constexpr qint64 kCompressionAt = 30;
constexpr qint64 kImageSizeAt = 34;
constexpr qint64 kXPixelsPerMetreAt = 38;
constexpr qint64 kYPixelsPerMetreAt = 42;
constexpr qint64 kColoursUsedAt = 46;
// Red, green, blue and alpha masks: inside a v2 to v5 header, or right after an info header.
constexpr qint64 kMasksAt = 54;
constexpr qint64 kMaskSize = 4;
constexpr int kRgbMasks = 3;
constexpr int kRgbaMasks = 4;

enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, Jpeg = 4, Png = 5, AlphaBitFields = 6 };
// OS/2 2.x gives 3 and 4 meanings of its own.
constexpr quint32 kOs2Huffman = 3;
constexpr quint32 kOs2Rle24 = 4;

constexpr std::array<int, 7> kUncompressedBits{1, 2, 4, 8, 16, 24, 32};
constexpr int kMaxPaletteBits = 8;
constexpr int kPaletteSize = 1 << kMaxPaletteBits;
constexpr qint64 kCorePaletteEntry = 3;
constexpr qint64 kPaletteEntry = 4;
// The masks 16-bit and 32-bit pixels have without bit fields: 5-5-5 and 8-8-8.
constexpr std::array<quint32, kRgbMasks> kDefault16Masks{0x7C00, 0x03E0, 0x001F};
constexpr std::array<quint32, kRgbMasks> kDefault32Masks{0xFF0000, 0x00FF00, 0x0000FF};
constexpr QRgb kBlack = 0xFF000000;
constexpr quint64 kChannelMax = 255;

// Run-length escapes: a zero count followed by one of these.
constexpr quint8 kEndOfLine = 0;
constexpr quint8 kEndOfBitmap = 1;
constexpr quint8 kDelta = 2;

constexpr qint64 kBitsPerByte = 8;

constexpr int kEncodedBits = 24;
constexpr qint64 kEncodedHeadersSize = kFileHeaderSize + kInfoHeader;

// A file turned down; the cause follows the file's name in the message.
struct Refused {
    std::string cause;
};

[[noreturn]] void damaged(const std::string& what) { throw Refused{"is a damaged BMP file (" + what + ")"}; }

[[noreturn]] void notRead(const std::string& what)
{
    throw Refused{"is a kind of BMP file this program does not read (" + what + ")"};
}

[[noreturn]] void cutShort(const std::string& what) { throw Refused{"is cut short (" + what + ")"}; }

class Bytes {
public:
    explicit Bytes(const QByteArray& file) : mData(reinterpret_cast<const uchar*>(file.constData())), mSize(file.size()) {}
    const uchar* at(qint64 offset) const { return mData + offset; }
    quint8 u8(qint64 offset) const { return mData[offset]; }
    quint16 u16(qint64 offset) const { return qFromLittleEndian<quint16>(mData + offset); }
    quint32 u32(qint64 offset) const { return qFromLittleEndian<quint32>(mData + offset); }
    qint32 i32(qint64 offset) const { return qFromLittleEndian<qint32>(mData + offset); }
    // Whether [offset, offset + length) lies in the file.
    bool holds(qint64 offset, qint64 length) const { return offset >= 0 && length >= 0 && offset <= mSize - length; }

private:
    const uchar* mData;
    qint64 mSize;
};

struct Header {
    quint32 size = 0;
    bool core = false;
    bool os2 = false;
    qint64 width = 0;
    qint64 height = 0;
    bool topDown = false;
    int bits = 0;
    quint32 compression = Rgb;
    quint32 coloursUsed = 0;
};

bool isOs2Size(quint32 size)
{
    return size >= kOs2ShortestHeader && size <= kOs2LongestHeader && size != kInfoHeader && size != kV2Header &&
           size != kV3Header;
}

Header readHeader(const Bytes& file)
{
    if (!file.holds(kInfoSizeAt, sizeof(quint32)))
        cutShort("its headers end early");
    Header h;
    h.size = file.u32(kInfoSizeAt);
    h.core = h.size == kCoreHeader;
    h.os2 = isOs2Size(h.size);
    if (!h.core && !h.os2 && h.size != kInfoHeader && h.size != kV2Header && h.size != kV3Header &&
        h.size != kV4Header && h.size != kV5Header)
        damaged("an info header of " + std::to_string(h.size) + " bytes");
    if (!file.holds(kInfoSizeAt, h.size))
        cutShort("its headers end early");
    const qint64 headerEnd = kInfoSizeAt + h.size;
    // A short OS/2 2.x header leaves out its later fields, which then count as 0.
    const auto field = [&](qint64 at) { return at + qint64(sizeof(quint32)) <= headerEnd ? file.u32(at) : 0; };
    qint64 planes = 0;
    if (h.core) {
        h.width = file.u16(kCoreWidthAt);
        h.height = file.u16(kCoreHeightAt);
        planes = file.u16(kCorePlanesAt);
        h.bits = file.u16(kCoreBitsAt);
    } else {
        h.width = file.i32(kWidthAt);
        h.height = file.i32(kHeightAt);
        planes = file.u16(kPlanesAt);
        h.bits = file.u16(kBitsAt);
        h.compression = field(kCompressionAt);
        h.coloursUsed = field(kColoursUsedAt);
    }
    if (planes != 1)
        damaged(std::to_string(planes) + " planes");
    if (h.width <= 0 || h.height == 0)
        damaged("a size of " + std::to_string(h.width) + "x" + std::to_string(h.height) + " pixels");
    // A negative height means the rows are stored top down.
    h.topDown = h.height < 0;
    h.height = std::abs(h.height);
    return h;
}

bool isBitFields(quint32 compression) { return compression == BitFields || compression == AlphaBitFields; }

bool isRle(quint32 compression) { return compression == Rle8 || compression == Rle4; }

void checkCompression(const Header& h)
{
    const std::string depth = std::to_string(h.bits) + "-bit pixels";
    if (h.os2 && h.compression == kOs2Huffman)
        notRead("Huffman compression");
    if (h.os2 && h.compression == kOs2Rle24)
        notRead("RLE24 compression");
    if (h.compression == Jpeg)
        notRead("JPEG data inside");
    if (h.compression == Png)
        notRead("PNG data inside");
    if ((h.os2 && h.compression > Rle4) || h.compression > AlphaBitFields)
        damaged("compression " + std::to_string(h.compression));
    if (h.compression == Rgb &&
        std::find(kUncompressedBits.begin(), kUncompressedBits.end(), h.bits) == kUncompressedBits.end())
        damaged(depth);
    if ((h.compression == Rle8 && h.bits != 8) || (h.compression == Rle4 && h.bits != 4))
        damaged((h.compression == Rle8 ? "RLE8" : "RLE4") + std::string(" data of ") + depth);
    if (isBitFields(h.compression) && h.bits != 16 && h.bits != 32)
        damaged("bit fields for " + depth);
    if (isRle(h.compression) && h.topDown)
        damaged("run-length data stored top down");
}

// One colour channel of a 16-bit or 32-bit pixel, scaled to 8 bits as v x 255 / max,
// rounded, so that a channel's largest value is 255 whatever its width.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint64 max = 0;

    explicit Channel(quint32 m) : mask(m)
    {
        while (mask && !((mask >> shift) & 1))
            ++shift;
        max = mask >> shift;
    }
    quint32 operator()(quint32 pixel) const { return quint32((((pixel & mask) >> shift) * kChannelMax + max / 2) / max); }
};

struct Masks {
    std::array<quint32, kRgbaMasks> rgba{};
    // Where what follows the masks (a palette) starts.
    qint64 end = 0;
};

// The masks of 16-bit and 32-bit pixels. Alpha is read only to be checked: the
// picture is opaque, whatever a pixel's fourth channel holds.
Masks readMasks(const Bytes& file, const Header& h)
{
    Masks m;
    m.end = kFileHeaderSize + h.size;
    if (!isBitFields(h.compression)) {
        const auto& defaults = h.bits == 16 ? kDefault16Masks : kDefault32Masks;
        std::copy(defaults.begin(), defaults.end(), m.rgba.begin());
        return m;
    }
    const int count = h.compression == AlphaBitFields || h.size >= kV3Header ? kRgbaMasks : kRgbMasks;
    // An info header is followed by the masks; later versions hold them.
    if (h.size == kInfoHeader)
        m.end += count * kMaskSize;
    if (!file.holds(kMasksAt, count * kMaskSize))
        cutShort("its bit fields end early");
    for (int i = 0; i < count; ++i)
        m.rgba[size_t(i)] = file.u32(kMasksAt + i * kMaskSize);
    const quint32 pixel = h.bits == 32 ? 0xFFFFFFFFu : 0xFFFFu;
    quint32 taken = 0;
    for (int i = 0; i < kRgbaMasks; ++i) {
        const quint32 mask = m.rgba[size_t(i)] & (i < kRgbMasks ? 0xFFFFFFFFu : pixel);
        if (i < kRgbMasks && mask == 0)
            damaged("an empty bit field");
        if (mask & ~pixel)
            damaged("a bit field wider than the pixel");
        if (mask & taken)
            damaged("bit fields that overlap");
        const Channel c(mask);
        if (mask && (c.max & (c.max + 1)))
            damaged("a bit field with gaps");
        taken |= mask;
    }
    return m;
}

struct Palette {
    std::array<QRgb, kPaletteSize> colours;
    qint64 end = 0;
};

// Entries past the palette's end are black, so any index gives a colour the file decides.
Palette readPalette(const Bytes& file, const Header& h, qint64 at, qint64 dataOffset)
{
    Palette p;
    p.colours.fill(kBlack);
    p.end = at;
    if (h.bits > kMaxPaletteBits)
        return p;
    const qint64 most = qint64(1) << h.bits;
    const qint64 entry = h.core ? kCorePaletteEntry : kPaletteEntry;
    qint64 count = h.coloursUsed == 0 || h.core ? most : qint64(h.coloursUsed);
    if (count > most)
        damaged("a palette of " + std::to_string(count) + " colours for " + std::to_string(h.bits) + "-bit pixels");
    // Some writers leave out the entries no pixel uses and start the data after
    // the rest, as the data offset then says.
    if (dataOffset > at && dataOffset < at + count * entry)
        count = (dataOffset - at) / entry;
    if (!file.holds(at, count * entry))
        cutShort("its palette ends early");
    for (qint64 i = 0; i < count; ++i) {
        const uchar* c = file.at(at + i * entry);
        p.colours[size_t(i)] = qRgb(c[2], c[1], c[0]);
    }
    p.end = at + count * entry;
    return p;
}

QRgb* rowOf(QImage& image, const Header& h, qint64 storedRow)
{
    return reinterpret_cast<QRgb*>(image.scanLine(int(h.topDown ? storedRow : h.height - 1 - storedRow)));
}

qint64 rowBytesOf(const Header& h) { return paddedRowBytes(h.width, h.bits); }

// Checked before the picture is allocated: a small file that claims a large
// picture costs nothing.
void checkRowsInFile(const Bytes& file, qint64 dataAt, const Header& h)
{
    // The last row's padding may be left out.
    const qint64 lastRow = sizeSum(sizeProduct(h.width, h.bits), kBitsPerByte - 1) / kBitsPerByte;
    const qint64 needed = sizeSum(sizeProduct(rowBytesOf(h), h.height - 1), lastRow);
    if (!file.holds(dataAt, needed))
        cutShort("its pixel data ends early");
}

void decodeRows(const Bytes& file, qint64 dataAt, const Header& h, const Masks& masks, const Palette& palette,
                QImage& image)
{
    const qint64 rowBytes = rowBytesOf(h);
    const Channel red(masks.rgba[0]);
    const Channel green(masks.rgba[1]);
    const Channel blue(masks.rgba[2]);
    const quint32 indexMask = (1u << std::min(h.bits, kMaxPaletteBits)) - 1;
    for (qint64 r = 0; r < h.height; ++r) {
        const uchar* in = file.at(dataAt + r * rowBytes);
        QRgb* out = rowOf(image, h, r);
        for (qint64 x = 0; x < h.width; ++x) {
            switch (h.bits) {
            case 24:
                out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
                break;
            case 16: {
                const quint32 v = qFromLittleEndian<quint16>(in + 2 * x);
                out[x] = qRgb(red(v), green(v), blue(v));
                break;
            }
            case 32: {
                const quint32 v = qFromLittleEndian<quint32>(in + 4 * x);
                out[x] = qRgb(red(v), green(v), blue(v));
                break;
            }
            default: {
                const qint64 bit = x * h.bits;
                const int shift = int(kBitsPerByte - h.bits - bit % kBitsPerByte);
                out[x] = palette.colours[(in[bit / kBitsPerByte] >> shift) & indexMask];
            }
            }
        }
    }
}

// Run-length data, bottom up. Pixels it skips (by a delta or an early end of a
// line or of the picture) are the first palette colour; runs past a row's end
// are cut there. Data that ends before the picture is complete is turned down.
void decodeRuns(const Bytes& file, qint64 at, const Header& h, const Palette& palette, QImage& image)
{
    image.fill(palette.colours[0]);
    const bool rle8 = h.compression == Rle8;
    qint64 x = 0;
    qint64 y = 0;
    // Called only inside the picture.
    const auto put = [&](quint32 index) { rowOf(image, h, y)[x++] = palette.colours[index]; };
    while (y < h.height) {
        if (!file.holds(at, 2)) {
            if (y == h.height - 1 && x >= h.width)
                return;
            cutShort("its run-length data ends early");
        }
        const quint8 count = file.u8(at);
        const quint8 value = file.u8(at + 1);
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < h.width; ++i)
                put(rle8 ? value : i % 2 == 0 ? value >> 4 : value & 0xF);
        } else if (value == kEndOfLine) {
            x = 0;
            ++y;
        } else if (value == kEndOfBitmap) {
            return;
        } else if (value == kDelta) {
            if (!file.holds(at, 2))
                cutShort("its run-length data ends early");
            x += file.u8(at);
            y += file.u8(at + 1);
            at += 2;
        } else {
            // Literal pixels, padded to a whole 16-bit word.
            const qint64 bytes = rle8 ? value : (value + 1) / 2;
            if (!file.holds(at, bytes))
                cutShort("its run-length data ends early");
            for (int i = 0; i < value && x < h.width; ++i) {
                const quint8 b = file.u8(at + (rle8 ? i : i / 2));
                put(rle8 ? b : i % 2 == 0 ? b >> 4 : b & 0xF);
            }
            at += (bytes + 1) / 2 * 2;
        }
    }
}

} // namespace

DecodedBmp decodeBmp(const QByteArray& bytes, qint64 maxPixels)
{
    try {
        const Bytes file(bytes);
        const Header h = readHeader(file);
        checkCompression(h);
        if (sizeProduct(h.width, h.height) > maxPixels)
            return DecodedBmp::tooLarge(h.width, h.height);
        const Masks masks = readMasks(file, h);
        const qint64 dataOffset = file.u32(kDataOffsetAt);
        const Palette palette = readPalette(file, h, masks.end, dataOffset);
        // A data offset inside the headers or the palette (0, say) is taken to
        // mean the data follows them.
        const qint64 dataAt = std::max(dataOffset, palette.end);
        if (!isRle(h.compression))
            checkRowsInFile(file, dataAt, h);
        DecodedBmp result;
        result.image = newPicture(int(h.width), int(h.height));
        if (result.image.isNull())
            return DecodedBmp::tooLarge(h.width, h.height);
        if (isRle(h.compression))
            decodeRuns(file, dataAt, h, palette, result.image);
        else
            decodeRows(file, dataAt, h, masks, palette, result.image);
        result.outcome = DecodedBmp::Picture;
        return result;
    } catch (const Refused& refused) {
        return DecodedBmp::invalid(refused.cause);
    }
}

QByteArray encodeBmp(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const qint64 width = image.width();
    const qint64 height = image.height();
    const qint64 rowBytes = paddedRowBytes(width, kEncodedBits);
    const qint64 dataSize = sizeProduct(rowBytes, height);
    // The headers give the file's size in 32 bits.
    if (sizeSum(kEncodedHeadersSize, dataSize) > std::numeric_limits<quint32>::max())
        return {};
    QByteArray file(kEncodedHeadersSize + dataSize, '\0');
    uchar* out = reinterpret_cast<uchar*>(file.data());
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(quint32(kEncodedHeadersSize + dataSize), out + 2);
    qToLittleEndian<quint32>(quint32(kEncodedHeadersSize), out + kDataOffsetAt);
    qToLittleEndian<quint32>(kInfoHeader, out + kInfoSizeAt);
    qToLittleEndian<qint32>(qint32(width), out + kWidthAt);
    qToLittleEndian<qint32>(qint32(height), out + kHeightAt);
    qToLittleEndian<quint16>(1, out + kPlanesAt);
    qToLittleEndian<quint16>(kEncodedBits, out + kBitsAt);
    qToLittleEndian<quint32>(Rgb, out + kCompressionAt);
    qToLittleEndian<quint32>(quint32(dataSize), out + kImageSizeAt);
    // The picture's own resolution, as Qt's writer records it: a tile drawn for
    // a 96-DPI screen says so.
    qToLittleEndian<quint32>(quint32(std::max(0, image.dotsPerMeterX())), out + kXPixelsPerMetreAt);
    qToLittleEndian<quint32>(quint32(std::max(0, image.dotsPerMeterY())), out + kYPixelsPerMetreAt);
    for (qint64 y = 0; y < height; ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(int(height - 1 - y)));
        uchar* row = out + kEncodedHeadersSize + y * rowBytes;
        for (qint64 x = 0; x < width; ++x) {
            row[3 * x] = uchar(qBlue(in[x]));
            row[3 * x + 1] = uchar(qGreen(in[x]));
            row[3 * x + 2] = uchar(qRed(in[x]));
        }
    }
    return file;
}

} // namespace formats
