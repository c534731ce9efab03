#include "cli/tile_pixels.h"

#include <QImage>
#include <QRgba64>
#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace cli {

namespace {

// The bounds of the pixels whose alpha is not 0; nothing found leaves the
// bounds empty (right < left).
template <typename Pixel, typename Alpha>
tiles::PixelRect alphaBounds(const QImage& image, Alpha alphaOf)
{
    int left = image.width();
    int right = -1;
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const Pixel*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (alphaOf(row[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    return {left, top, right - left + 1, bottom - top + 1};
}

} // namespace

tiles::PixelRect shownPart(const platform::Picture& tile)
{
    const QImage& image = tile.image();
    const tiles::PixelRect whole{0, 0, image.width(), image.height()};
    if (!image.hasAlphaChannel())
        return whole;
    // An alpha of 16 bits below 257 would read as 0 in 8 bits, and its pixel
    // does show: such pictures are looked at in 16 bits.
    const tiles::PixelRect shown =
        image.depth() > 32 ? alphaBounds<QRgba64>(image.convertToFormat(QImage::Format_RGBA64),
                                                  [](QRgba64 pixel) { return pixel.alpha(); })
                           : alphaBounds<QRgb>(image.convertToFormat(QImage::Format_ARGB32),
                                               [](QRgb pixel) { return qAlpha(pixel); });
    if (shown.width <= 0 || shown.height <= 0)
        return {0, 0, std::min(1, whole.width), std::min(1, whole.height)};
    return shown;
}

platform::Picture enlarged(const platform::Picture& picture, int32_t scale)
{
    // Pixels of fewer than 8 bits share their bytes: held one a byte instead,
    // in the same palette.
    const QImage image = picture.image().depth() < 8 ? picture.image().convertToFormat(QImage::Format_Indexed8)
                                                     : picture.image();
    const int64_t width = int64_t(image.width()) * scale;
    const int64_t height = int64_t(image.height()) * scale;
    if (width > INT_MAX || height > INT_MAX)
        throw std::bad_alloc();
    QImage large(int(width), int(height), image.format());
    if (large.isNull() && !image.isNull())
        throw std::bad_alloc();
    large.setColorTable(image.colorTable());
    const size_t pixelBytes = size_t(image.depth() / 8);
    for (int y = 0; y < image.height(); ++y) {
        const uchar* from = image.constScanLine(y);
        uchar* first = large.scanLine(y * scale);
        for (int x = 0; x < image.width(); ++x)
            for (int32_t copy = 0; copy < scale; ++copy)
                std::memcpy(first + (size_t(x) * size_t(scale) + size_t(copy)) * pixelBytes,
                            from + size_t(x) * pixelBytes, pixelBytes);
        for (int32_t copy = 1; copy < scale; ++copy)
            std::memcpy(large.scanLine(y * scale + copy), first, size_t(width) * pixelBytes);
    }
    return platform::Picture(large);
}

} // namespace cli
