#pragma once
// A minimal GIF89a writer for the sample strips: Qt reads GIF but cannot write it.
// Every pixel goes into the LZW stream as a literal code, and the code table is
// restarted before it would need 10-bit codes, so all codes are 9 bits wide. The
// files come out larger than a real compressor's, but the encoder is easy to trust.
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QVector>

#include <algorithm>
#include <cstdint>

namespace gif {

// A full 256-entry palette, so that every palette index is already a literal code.
constexpr int kMinCodeSize = 8;
constexpr int kPaletteSize = 1 << kMinCodeSize;
constexpr int kClearCode = kPaletteSize;
constexpr int kEndCode = kClearCode + 1;
constexpr int kCodeBits = kMinCodeSize + 1;
// After a clear, each literal but the first adds a table entry; 254 literals fill
// the table up to code 510, one short of the switch to 10-bit codes at 512.
constexpr int kLiteralsPerClear = kPaletteSize - 2;
// Palette index 0 is kept for transparent pixels.
constexpr int kTransparentIndex = 0;
// GIF stores one bit of transparency; pixels below half opacity become transparent.
constexpr int kOpaqueFromAlpha = 128;

namespace detail {

constexpr char kSignature[] = "GIF89a";
// A global palette, 8 bits per colour channel, 256 entries.
constexpr uint8_t kGlobalPaletteFlags = 0x80 | ((kMinCodeSize - 1) << 4) | (kMinCodeSize - 1);
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kGraphicControlSize = 4;
constexpr uint8_t kHasTransparentIndex = 0x01;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr int kMaxSubBlock = 255;
constexpr int kBitsPerByte = 8;

inline void putByte(QByteArray& out, int value) { out.append(char(value & 0xFF)); }

inline void putWord(QByteArray& out, int value)
{
    putByte(out, value);
    putByte(out, value >> kBitsPerByte);
}

// Packs codes least significant bit first, as GIF wants them.
class CodePacker {
public:
    void put(int code)
    {
        mPending |= uint32_t(code) << mPendingBits;
        mPendingBits += kCodeBits;
        for (; mPendingBits >= kBitsPerByte; mPendingBits -= kBitsPerByte, mPending >>= kBitsPerByte)
            putByte(mBytes, int(mPending));
    }

    QByteArray finish()
    {
        if (mPendingBits > 0)
            putByte(mBytes, int(mPending));
        return mBytes;
    }

private:
    QByteArray mBytes;
    uint32_t mPending = 0;
    int mPendingBits = 0;
};

} // namespace detail

// The GIF file of image, or an empty array for a null image or one with more
// than 255 opaque colours.
inline QByteArray encode(const QImage& source)
{
    using namespace detail;
    if (source.isNull())
        return {};
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);

    QVector<QRgb> palette{qRgb(0, 0, 0)}; // the transparent entry
    QHash<QRgb, int> indexOfColour;
    QByteArray indexes;
    indexes.reserve(image.width() * image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < kOpaqueFromAlpha) {
                putByte(indexes, kTransparentIndex);
                continue;
            }
            const QRgb colour = qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
            auto found = indexOfColour.constFind(colour);
            if (found == indexOfColour.constEnd()) {
                if (palette.size() == kPaletteSize)
                    return {};
                found = indexOfColour.insert(colour, int(palette.size()));
                palette.append(colour);
            }
            putByte(indexes, *found);
        }
    }
    palette.resize(kPaletteSize);

    QByteArray out(kSignature);
    putWord(out, image.width());
    putWord(out, image.height());
    putByte(out, kGlobalPaletteFlags);
    putByte(out, kTransparentIndex); // background
    putByte(out, 0);                 // no pixel aspect ratio
    for (const QRgb colour : palette) {
        putByte(out, qRed(colour));
        putByte(out, qGreen(colour));
        putByte(out, qBlue(colour));
    }

    for (const int byte : {kExtensionIntroducer, kGraphicControlLabel, kGraphicControlSize,
                           kHasTransparentIndex})
        putByte(out, byte);
    putWord(out, 0); // no delay
    putByte(out, kTransparentIndex);
    putByte(out, 0); // end of the extension

    putByte(out, kImageSeparator);
    putWord(out, 0);
    putWord(out, 0);
    putWord(out, image.width());
    putWord(out, image.height());
    putByte(out, 0); // no local palette, not interlaced

    CodePacker codes;
    codes.put(kClearCode);
    int literals = 0;
    for (const char index : indexes) {
        if (literals == kLiteralsPerClear) {
            codes.put(kClearCode);
            literals = 0;
        }
        codes.put(uint8_t(index));
        ++literals;
    }
    codes.put(kEndCode);
    const QByteArray data = codes.finish();

    putByte(out, kMinCodeSize);
    for (int at = 0; at < data.size(); at += kMaxSubBlock) {
        const int length = std::min(kMaxSubBlock, int(data.size()) - at);
        putByte(out, length);
        out.append(data.constData() + at, length);
    }
    putByte(out, 0); // end of the image data
    putByte(out, kTrailer);
    return out;
}

} // namespace gif
