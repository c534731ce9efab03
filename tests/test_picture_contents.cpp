// The pixel tests behind leaving out empty and repeated tiles, over the
// picture formats a sheet may come in.
#include "platform/picture_contents.h"

#include <QList>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr QRgb kGrey = qRgb(0x80, 0x80, 0x80);
constexpr uint32_t kGreyRgb = 0x808080;

// A 4x3 picture of the given pixels, left to right and top to bottom, the rest
// as the last one.
QImage pictureOf(std::initializer_list<QRgb> pixels)
{
    QImage image(4, 3, QImage::Format_ARGB32);
    int i = 0;
    QRgb last = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x, ++i) {
            if (i < int(pixels.size()))
                last = pixels.begin()[i];
            image.setPixel(x, y, last);
        }
    }
    return image;
}

// The picture in another format, every pixel kept: Qt's own conversions to an
// indexed or grey picture pick near colours and drop alpha.
QImage exactlyAs(const QImage& picture, QImage::Format format)
{
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> colours;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (!colours.contains(picture.pixel(x, y)))
                    colours.append(picture.pixel(x, y));
            }
        }
        QImage indexed(picture.size(), format);
        indexed.setColorTable(colours);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x)
                indexed.setPixel(x, y, uint(colours.indexOf(picture.pixel(x, y))));
        }
        return indexed;
    }
    if (format == QImage::Format_Grayscale8 || format == QImage::Format_Grayscale16) {
        // From the red channel: the pictures given are grey or transparent black.
        QImage grey(picture.size(), format);
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const int red = qAlpha(picture.pixel(x, y)) == 0 ? 0 : qRed(picture.pixel(x, y));
                if (format == QImage::Format_Grayscale8)
                    grey.scanLine(y)[x] = uchar(red);
                else
                    reinterpret_cast<quint16*>(grey.scanLine(y))[x] = quint16(red * 257);
            }
        }
        return grey;
    }
    return picture.convertToFormat(format);
}

TEST(PictureContents, BlankMeansTransparentOrOneOpaqueColourInEveryFormat)
{
    const QImage grey = pictureOf({kGrey});
    const QImage clear = pictureOf({0});
    const QImage greyAndClear = pictureOf({kGrey, 0});
    const QImage oneHalfAlpha = pictureOf({qRgba(0x80, 0x80, 0x80, 0x7f), kGrey});
    const QImage oneOtherColour = pictureOf({qRgb(0x80, 0x80, 0x81), kGrey});
    const std::optional<uint32_t> none;
    // Formats without alpha turn transparent pixels opaque black and drop a
    // half alpha; the expectations name both.
    const struct {
        const char* name;
        QImage picture;
        std::optional<uint32_t> rgb;
        bool withAlpha;
        bool withoutAlpha;
    } cases[] = {
        {"all transparent", clear, none, true, false},
        {"all transparent, colour given", clear, kGreyRgb, true, false},
        {"all transparent, black given", clear, 0x000000, true, true},
        {"all the colour", grey, kGreyRgb, true, true},
        {"all a colour, none given", grey, none, false, false},
        {"all another colour", grey, 0x808081, false, false},
        {"colour and transparent", greyAndClear, kGreyRgb, true, false},
        {"one pixel half transparent", oneHalfAlpha, kGreyRgb, false, true},
        {"one pixel of another colour", oneOtherColour, kGreyRgb, false, false},
    };
    const QImage::Format formats[] = {QImage::Format_Indexed8, QImage::Format_Grayscale8,
                                      QImage::Format_Grayscale16, QImage::Format_RGB32,
                                      QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_RGB888, QImage::Format_RGBX64,
                                      QImage::Format_RGBA64, QImage::Format_RGBA64_Premultiplied};
    for (const QImage::Format format : formats) {
        for (const auto& c : cases) {
            const QImage picture = exactlyAs(c.picture, format);
            // Grey scales hold no other colour than grey.
            const bool greyOnly = format == QImage::Format_Grayscale8 || format == QImage::Format_Grayscale16;
            if (greyOnly && c.picture.pixel(0, 0) == qRgb(0x80, 0x80, 0x81))
                continue;
            const bool expected = picture.hasAlphaChannel() ? c.withAlpha : c.withoutAlpha;
            EXPECT_EQ(platform::IsBlank(platform::Picture(picture), c.rgb), expected)
                << c.name << " as format " << format;
        }
    }
}

TEST(PictureContents, SixteenBitChannelsMatchOnlyTheColourTimes257)
{
    const struct {
        QImage::Format format;
        quint16 channel;
        bool blank;
    } cases[] = {
        {QImage::Format_RGBA64, 0x8080, true},
        {QImage::Format_RGBA64, 0x8081, false},
        {QImage::Format_RGBA64, 0x807f, false},
        {QImage::Format_Grayscale16, 0x8080, true},
        {QImage::Format_Grayscale16, 0x8081, false},
    };
    for (const auto& c : cases) {
        QImage picture = exactlyAs(pictureOf({kGrey}), c.format);
        const QRgba64 last = QRgba64::fromRgba64(c.channel, c.channel, c.channel, 0xFFFF);
        if (c.format == QImage::Format_Grayscale16)
            reinterpret_cast<quint16*>(picture.scanLine(2))[3] = c.channel;
        else
            reinterpret_cast<QRgba64*>(picture.scanLine(2))[3] = last;
        EXPECT_EQ(platform::IsBlank(platform::Picture(picture), kGreyRgb), c.blank)
            << "format " << c.format << " channel " << c.channel;
    }
}

// The same pixels seen through another row length, with other bytes in the padding.
QImage withPadding(const QImage& picture, std::vector<uchar>& buffer)
{
    const qsizetype rowBytes = picture.bytesPerLine() + 8;
    buffer.assign(size_t(rowBytes * picture.height()), 0xA5);
    const size_t pixelBytes = size_t(picture.width() * picture.depth() / 8);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(buffer.data() + y * rowBytes, picture.constScanLine(y), pixelBytes);
    QImage view(buffer.data(), picture.width(), picture.height(), rowBytes, picture.format());
    view.setColorTable(picture.colorTable());
    return view;
}

size_t oneBucket(const QImage&) { return 0; }

TEST(PictureContents, IndexFindsTheFirstTileWithTheSamePixels)
{
    QImage a = pictureOf({kGrey, qRgba(10, 20, 30, 200), qRgb(1, 2, 3)});
    QImage alphaDiffers = a;
    alphaDiffers.setPixel(1, 0, qRgba(10, 20, 30, 201));
    QImage smaller = a.copy(0, 0, 3, 3);
    const QImage::Format formats[] = {QImage::Format_Indexed8, QImage::Format_RGB888, QImage::Format_ARGB32,
                                      QImage::Format_RGBA64};
    for (const auto hash : {platform::PictureIndex::Hash(platform::PictureIndex::pixelHash),
                            platform::PictureIndex::Hash(oneBucket)}) {
        for (const QImage::Format format : formats) {
            std::vector<uchar> buffer;
            const QImage picture = exactlyAs(a, format);
            const QImage other = exactlyAs(alphaDiffers, format);
            const bool keepsAlpha = other.hasAlphaChannel();
            const struct {
                int32_t number;
                QImage tile;
                int32_t firstSame;
            } steps[] = {
                {3, picture, 0},
                {4, other, keepsAlpha ? 0 : 3},
                {5, picture, 3},
                {6, withPadding(picture, buffer), 3},
                {7, exactlyAs(smaller, format), 0},
                {8, other, keepsAlpha ? 4 : 3},
            };
            platform::PictureIndex index(hash);
            for (const auto& step : steps) {
                EXPECT_EQ(index.firstSame(platform::Picture(step.tile), step.number), step.firstSame)
                    << "tile " << step.number << " as format " << format
                    << (hash == oneBucket ? " in one bucket" : "");
            }
        }
    }
}

TEST(PictureContents, IndexComparesColoursNotPaletteEntries)
{
    QImage first(2, 2, QImage::Format_Indexed8);
    first.setColorTable({kGrey, kGrey, qRgb(0, 0, 0)});
    first.fill(0);
    QImage second = first;
    second.fill(1);
    QImage third = first;
    third.fill(2);
    platform::PictureIndex index;
    EXPECT_EQ(index.firstSame(platform::Picture(first), 1), 0);
    EXPECT_EQ(index.firstSame(platform::Picture(second), 2), 1);
    EXPECT_EQ(index.firstSame(platform::Picture(third), 3), 0);
}

} // namespace
