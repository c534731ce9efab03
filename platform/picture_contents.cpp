#include "platform/picture_contents.h"

#include <QHashFunctions>
#include <QRgba64>
#include <cstring>

namespace platform {

namespace {

constexpr uint32_t kRgbBits = 0xFFFFFF;
constexpr QRgb kOpaque = 0xFF000000;

// Formats with more than 8 bits a channel, looked at as 16-bit RGBA.
bool isDeep(QImage::Format format)
{
    switch (format) {
    case QImage::Format_BGR30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_RGB30:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

// Premultiplied or not, a pixel of alpha 0 is transparent and one of full
// alpha holds its colour as it is, so these are read as they are.
bool isRgba64(QImage::Format format)
{
    return format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64 ||
           format == QImage::Format_RGBA64_Premultiplied;
}

bool isArgb32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

template <typename Pixel, typename Test>
bool everyPixel(const QImage& image, Test blank)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const Pixel*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (!blank(row[x]))
                return false;
        }
    }
    return true;
}

bool isBlank64(const QImage& image, std::optional<uint32_t> rgb)
{
    // Each byte spread over 16 bits: 0xAB becomes 0xABAB, 257 times it.
    const QRgba64 colour = QRgba64::fromArgb32(kOpaque | (rgb.value_or(0) & kRgbBits));
    return everyPixel<QRgba64>(image, [&](QRgba64 pixel) { return pixel.alpha() == 0 || (rgb && pixel == colour); });
}

bool isBlank32(const QImage& image, std::optional<uint32_t> rgb)
{
    const QRgb colour = kOpaque | (rgb.value_or(0) & kRgbBits);
    // RGB32's unused byte is not trusted to be 0xFF.
    const QRgb forced = image.format() == QImage::Format_RGB32 ? kOpaque : 0;
    return everyPixel<QRgb>(image, [&](QRgb pixel) {
        pixel |= forced;
        return qAlpha(pixel) == 0 || (rgb && pixel == colour);
    });
}

// The pixels in another format. The copy can find no memory where the tile's
// own pixels did, and an empty copy would read as blank or as a repeat.
QImage converted(const QImage& image, QImage::Format format)
{
    const Picture copy(image.convertToFormat(format));
    return copy.checkedImage();
}

// Pixels whose bytes are their colour: an index into a colour table is not
// (two entries may hold one colour), so such pictures are compared as ARGB32.
QImage comparable(const QImage& image)
{
    return image.colorCount() > 0 || image.depth() < 8 ? converted(image, QImage::Format_ARGB32) : image;
}

size_t rowBytes(const QImage& image) { return size_t(image.width()) * size_t(image.depth()) / 8; }

} // namespace

Picture OwnPixels(const Picture& picture, int x, int y, int width, int height, const int32_t* owners, int32_t label,
                  std::optional<PixelAt> blank)
{
    const QImage& sheet = picture.checkedImage();
    // Pixels past the sheet's edges come out as zero bytes, overwritten below.
    QImage tile = sheet.copy(x, y, width, height);
    // Whole bytes a pixel, or no pixel to copy: then 32 bits, and transparent.
    if (!blank || tile.depth() % 8 != 0) {
        tile = tile.convertToFormat(tile.depth() > 32 ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
        blank.reset();
    }
    // With no memory for it, the tile is an empty picture, refused where it is used.
    if (tile.isNull())
        return Picture(tile);
    const size_t bytes = size_t(tile.depth() / 8);
    const QByteArray filler = blank ? QByteArray(reinterpret_cast<const char*>(sheet.constScanLine(blank->y)) +
                                                     size_t(blank->x) * bytes,
                                                 qsizetype(bytes))
                                    : QByteArray(qsizetype(bytes), '\0');
    for (int ty = 0; ty < height; ++ty) {
        const int sy = y + ty;
        uchar* row = tile.scanLine(ty);
        for (int tx = 0; tx < width; ++tx) {
            const int sx = x + tx;
            const bool inside = sx >= 0 && sy >= 0 && sx < sheet.width() && sy < sheet.height();
            if (!inside || owners[size_t(sy) * size_t(sheet.width()) + size_t(sx)] != label)
                std::memcpy(row + size_t(tx) * bytes, filler.constData(), bytes);
        }
    }
    return Picture(tile);
}

bool IsBlank(const Picture& tile, std::optional<uint32_t> rgb)
{
    const QImage& image = tile.checkedImage();
    if (isRgba64(image.format()))
        return isBlank64(image, rgb);
    if (isDeep(image.format()))
        return isBlank64(converted(image, QImage::Format_RGBA64), rgb);
    if (isArgb32(image.format()))
        return isBlank32(image, rgb);
    return isBlank32(converted(image, QImage::Format_ARGB32), rgb);
}

size_t PictureIndex::pixelHash(const QImage& pixels)
{
    size_t hash = 0;
    for (int y = 0; y < pixels.height(); ++y)
        hash = qHashBits(pixels.constScanLine(y), rowBytes(pixels), hash);
    return hash;
}

int32_t PictureIndex::firstSame(const Picture& tile, int32_t number)
{
    const QImage pixels = comparable(tile.checkedImage());
    const size_t bytes = rowBytes(pixels);
    const size_t hash = mHash(pixels);
    const auto sameAs = [&](const Seen& seen) {
        if (seen.width != pixels.width() || seen.height != pixels.height() || seen.format != pixels.format())
            return false;
        for (int y = 0; y < pixels.height(); ++y) {
            if (std::memcmp(seen.pixels.constData() + y * bytes, pixels.constScanLine(y), bytes) != 0)
                return false;
        }
        return true;
    };
    const auto [from, to] = mSeen.equal_range(hash);
    for (auto it = from; it != to; ++it) {
        if (sameAs(it->second))
            return it->second.number;
    }
    QByteArray packed;
    packed.reserve(qsizetype(bytes) * pixels.height());
    for (int y = 0; y < pixels.height(); ++y)
        packed.append(reinterpret_cast<const char*>(pixels.constScanLine(y)), qsizetype(bytes));
    mSeen.emplace(hash, Seen{number, pixels.width(), pixels.height(), pixels.format(), packed});
    return 0;
}

} // namespace platform
