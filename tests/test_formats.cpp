// The picture formats: the BMP decoder against the layouts a BMP file can
// take, the BMP encoder against Qt's writer and ImageMagick, the check for
// GIFs cut short against a real LZW compressor's files, the PNG decoder
// against Qt's reading of files libpng wrote, and PNG files written and read back.
#include "formats/bmp.h"
#include "formats/gif.h"
#include "formats/png.h"
#include "support/bmp_files.h"
#include "support/png_files.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr qint64 kManyPixels = 1 << 20;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;

using Rows = std::vector<std::vector<QRgb>>;

// Bytes of no pattern, the same on every run; no zlib stream either.
QByteArray noise(qsizetype size)
{
    QByteArray bytes(size, '\0');
    quint32 state = 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
    }
    return bytes;
}

// Two megabytes, as editors embed text and profiles: past any small limit on a chunk's length.
constexpr qsizetype kLargeChunk = 2 << 20;

QImage imageOf(const Rows& rows)
{
    QImage image(int(rows.front().size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rows[size_t(y)][size_t(x)]);
    return image;
}

Bmp layout(quint32 infoSize, qint32 width, qint32 height, quint16 bits, const char* hexPixels)
{
    Bmp b;
    b.infoSize = infoSize;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = bits;
    b.pixels = QByteArray::fromHex(hexPixels);
    return b;
}

Bmp withPalette(Bmp b, int colours, quint32 coloursUsed = 0)
{
    b.palette = bmpPalette(colours, b.infoSize == kCoreHeaderSize ? 3 : 4);
    b.coloursUsed = coloursUsed;
    return b;
}

Bmp withMasks(Bmp b, quint32 compression, std::vector<quint32> masks)
{
    b.compression = compression;
    b.masks = std::move(masks);
    return b;
}

TEST(BmpDecoder, EveryHeaderAndPixelLayoutGivesTheColoursItStores)
{
    const QRgb c0 = paletteColour(0);
    const QRgb c1 = paletteColour(1);
    const QRgb c2 = paletteColour(2);
    const QRgb c3 = paletteColour(3);
    const QRgb blue = qRgb(0, 0, 255);
    // Rows are stored bottom up unless the height is negative; the expected rows are top first.
    const struct {
        const char* what;
        Bmp bmp;
        Rows expected;
    } cases[] = {
        {"1 bit, core header, 3-byte palette", withPalette(layout(12, 2, 2, 1, "80000000" "40000000"), 2),
         {{c0, c1}, {c1, c0}}},
        {"1 bit, info header", withPalette(layout(40, 2, 2, 1, "80000000" "40000000"), 2), {{c0, c1}, {c1, c0}}},
        {"2 bits", withPalette(layout(40, 4, 1, 2, "1b000000"), 4), {{c0, c1, c2, c3}}},
        {"4 bits, 16-byte OS/2 2.x header", withPalette(layout(16, 3, 1, 4, "12300000"), 16), {{c1, c2, c3}}},
        {"4 bits, indexes past a palette of 2 are black", withPalette(layout(40, 3, 1, 4, "01f00000"), 2, 2),
         {{c0, c1, kBlack}}},
        {"8 bits, 64-byte OS/2 2.x header", withPalette(layout(64, 2, 1, 8, "03010000"), 4), {{c3, c1}}},
        {"8 bits, v5 header, top down", withPalette(layout(124, 2, -2, 8, "00010000" "02030000"), 4),
         {{c0, c1}, {c2, c3}}},
        {"16 bits 5-5-5: white is white", layout(40, 2, 1, 16, "ff7f" "0040"), {{kWhite, qRgb(132, 0, 0)}}},
        {"16 bits 5-6-5 bit fields after an info header",
         withMasks(layout(40, 2, 1, 16, "ffff" "0004"), kBitFields, {0xF800, 0x07E0, 0x001F}),
         {{kWhite, qRgb(0, 130, 0)}}},
        {"16 bits 5-5-5 bit fields in a v3 header, alpha ignored",
         withMasks(layout(56, 2, 1, 16, "ff7f" "1f00"), kBitFields, {0x7C00, 0x03E0, 0x001F, 0x8000}),
         {{kWhite, blue}}},
        {"16 bits 4-4-4-4 alpha bit fields, alpha 0 is opaque",
         withMasks(layout(40, 2, 1, 16, "ff0f" "0f00"), kAlphaBitFields, {0x0F00, 0x00F0, 0x000F, 0xF000}),
         {{kWhite, blue}}},
        {"24 bits, core header", layout(12, 2, 1, 24, "0102030a0b0c0000"), {{qRgb(3, 2, 1), qRgb(12, 11, 10)}}},
        {"24 bits, v2 header", layout(52, 1, 2, 24, "01020300" "04050600"), {{qRgb(6, 5, 4)}, {qRgb(3, 2, 1)}}},
        {"32 bits, the fourth byte ignored", layout(40, 2, 1, 32, "ff000000" "010203ff"), {{blue, qRgb(3, 2, 1)}}},
        {"32 bits, v4 header, alpha bit field: blue of alpha 0 stays blue",
         withMasks(layout(108, 2, 1, 32, "ff000000" "ffffff00"), kBitFields,
                   {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}),
         {{blue, kWhite}}},
        {"32 bits 10-10-10 bit fields",
         withMasks(layout(40, 2, 1, 32, "ffffff3f" "00000020"), kBitFields, {0x3FF00000, 0x000FFC00, 0x000003FF}),
         {{kWhite, qRgb(128, 0, 0)}}},
        {"RLE8: runs, a literal run, a jump, the first colour where nothing is set",
         withMasks(withPalette(layout(40, 4, 2, 8, "0201" "00030203" "01" "00" "0000" "00020100" "0103" "0001"), 4),
                   kRle8, {}),
         {{c0, c3, c0, c0}, {c1, c1, c2, c3}}},
        {"RLE4: runs of two colours, a literal run",
         withMasks(withPalette(layout(40, 6, 1, 4, "0312" "00031320" "0001"), 4), kRle4, {}),
         {{c1, c2, c1, c1, c3, c2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const formats::DecodedBmp decoded = formats::decodeBmp(bmpFile(c.bmp), kManyPixels);
        ASSERT_EQ(decoded.outcome, formats::DecodedBmp::Picture) << decoded.cause;
        EXPECT_EQ(decoded.image.format(), QImage::Format_RGB32);
        EXPECT_EQ(decoded.image, imageOf(c.expected));
    }
}

TEST(Decoders, WhatTheyCannotReadIsTurnedDownWithTheCause)
{
    Bmp rle8 = withMasks(withPalette(layout(40, 2, 1, 8, "0201" "0001"), 2), kRle8, {});
    const auto changed = [](Bmp b, auto change) {
        change(b);
        return bmpFile(b);
    };
    const Bmp rgb32 = layout(40, 1, 1, 32, "00000000");
    const QByteArray png = pngFile({kPngRgb, 8, 40, 30});
    const QByteArray palettePng = pngFile({kPngPalette, 8, 4, 4, false, 16});
    const QByteArray rgbaPng = pngFile({kPngRgba, 8, 4, 4});
    const auto idatOf = [&](const QByteArray& pixels) { return withChunkData(png, "IDAT", qCompress(pixels).mid(4)); };
    constexpr qint64 kNoLimit = std::numeric_limits<qint64>::max();
    using Decoder = formats::DecodedPicture (*)(const QByteArray&, qint64);
    const struct {
        const char* what;
        QByteArray file;
        const char* cause;
        Decoder decode = formats::decodeBmp;
        qint64 maxPixels = kManyPixels;
        formats::DecodedPicture::Outcome outcome = formats::DecodedPicture::Invalid;
    } cases[] = {
        {"run-length data stored top down", changed(rle8, [](Bmp& b) { b.height = -1; }), "stored top down"},
        {"JPEG inside", changed(rgb32, [](Bmp& b) { b.compression = kJpeg; }), "JPEG"},
        {"PNG inside", changed(rgb32, [](Bmp& b) { b.compression = kPng; }), "PNG"},
        {"OS/2 Huffman", changed(layout(64, 8, 1, 1, "00000000"), [](Bmp& b) { b.compression = 3; }), "Huffman"},
        {"OS/2 RLE24", changed(layout(64, 1, 1, 24, "00000000"), [](Bmp& b) { b.compression = 4; }), "RLE24"},
        {"RLE8 of 4-bit pixels", changed(rle8, [](Bmp& b) { b.bitsPerPixel = 4; }), "RLE8 data of 4-bit pixels"},
        {"bit fields of 24-bit pixels", bmpFile(withMasks(layout(40, 1, 1, 24, "00000000"), kBitFields, {1, 2, 4})),
         "bit fields for 24-bit pixels"},
        {"an empty mask", bmpFile(withMasks(rgb32, kBitFields, {0xFF0000, 0, 0xFF})), "empty bit field"},
        {"masks that overlap", bmpFile(withMasks(rgb32, kBitFields, {0xFF0000, 0x1FF00, 0xFF})), "overlap"},
        {"alpha over a colour", bmpFile(withMasks(rgb32, kAlphaBitFields, {0xFF0000, 0xFF00, 0xFF, 0xFF})),
         "overlap"},
        {"a mask wider than 16 bits", bmpFile(withMasks(layout(40, 1, 1, 16, "0000"), kBitFields, {0x1F0000, 0x3E0, 0x1F})),
         "wider than the pixel"},
        {"a mask with gaps", bmpFile(withMasks(rgb32, kBitFields, {0xF0F000, 0xF00, 0xFF})), "gaps"},
        {"masks cut short", bmpFile(withMasks(rgb32, kBitFields, {})).left(58), "bit fields end early"},
        {"palette cut short", changed(withPalette(layout(40, 1, 1, 8, ""), 2, 16), [](Bmp& b) { b.dataOffset = 0; }),
         "palette ends early"},
        {"pixel data cut short", bmpFile(layout(40, 2, 2, 24, "000000000000" "0000")), "pixel data ends early"},
        {"RLE data cut short", changed(rle8, [](Bmp& b) { b.pixels.chop(2); b.width = 3; }),
         "run-length data ends early"},
        {"an info header of 0 bytes (found by fuzzing)",
         QByteArray::fromBase64("Qk1iWwB5AGMAAAAAAAAAAAAAEAAA/wEAGAAAAAAAAAAAAAA="), "info header of 0 bytes"},
        {"a palette of 300 colours for 8-bit pixels", bmpFile(withPalette(layout(40, 1, 1, 8, "00"), 2, 300)),
         "300 colours"},
        {"with no size limit, a size whose rows overflow 64 bits",
         bmpFile(layout(40, std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::min(), 32, "")),
         "pixel data ends early", formats::decodeBmp, kNoLimit},
        {"a BMP header too large", bmpFile(layout(40, 20000, 20000, 24, "")), "", formats::decodeBmp, kManyPixels,
         formats::DecodedPicture::TooLarge},
        {"PNG: no signature", png.mid(1), "is not a PNG file", formats::decodePng},
        {"PNG: cut inside the image data", png.left(png.size() / 2), "is cut short", formats::decodePng},
        {"PNG: cut after the header", png.left(33), "is cut short", formats::decodePng},
        {"PNG: a bad CRC in the image data", withBadCrc(png, "IDAT"), "(CRC error in IDAT)", formats::decodePng},
        {"PNG: a bad CRC in the header", withBadCrc(png, "IHDR"), "(CRC error in IHDR)", formats::decodePng},
        {"PNG: image data that is no zlib stream", withChunkData(png, "IDAT", "not zlib at all"), "in IDAT)",
         formats::decodePng},
        {"PNG: image data inflating to too few rows", idatOf(QByteArray(10 * 121, '\0')), "Not enough image data",
         formats::decodePng},
        {"PNG: a row with an unknown filter", idatOf(QByteArray(30 * 121, '\x07')), "filter", formats::decodePng},
        {"PNG: a size of 0 pixels", withSize(png, 0, 30), "Image width is zero in IHDR", formats::decodePng},
        {"PNG: a size past the format's", withSize(png, 40, 0x80000000u), "out of range",
         formats::decodePng},
        {"PNG: a palette picture with no palette", withChunkData(palettePng, "PLTE", {}), "palette",
         formats::decodePng},
        {"PNG: transparency for pixels that have alpha", withChunkData(rgbaPng, "tRNS", "\x01\x02"), "tRNS",
         formats::decodePng},
        {"PNG: a palette of 2 MB", withChunkData(palettePng, "PLTE", noise(kLargeChunk)), "(invalid in PLTE)",
         formats::decodePng},
        {"PNG: transparency of 2 MB", withChunkData(palettePng, "tRNS", noise(kLargeChunk)), "(invalid in tRNS)",
         formats::decodePng},
        {"PNG: cut inside a text chunk of 2 MB",
         withChunkBefore(png, "IDAT", "iTXt", noise(kLargeChunk)).left(kLargeChunk / 2), "is cut short",
         formats::decodePng},
        {"PNG: a header too large", withSize(png, 30000, 30000), "", formats::decodePng, kManyPixels,
         formats::DecodedPicture::TooLarge},
        {"PNG: with no size limit, the most the format allows", withSize(png, 0x7FFFFFFF, 0x7FFFFFFF), "",
         formats::decodePng, kNoLimit, formats::DecodedPicture::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const formats::DecodedPicture decoded = c.decode(c.file, c.maxPixels);
        ASSERT_EQ(decoded.outcome, c.outcome) << decoded.cause;
        EXPECT_TRUE(decoded.image.isNull());
        EXPECT_NE(decoded.cause.find(c.cause), std::string::npos) << decoded.cause;
    }
}

// ---------------------------------------------------------------- ImageMagick

bool haveImageMagick() { return !QStandardPaths::findExecutable("convert").isEmpty(); }

// Runs ImageMagick's convert; its standard output, or nothing when it fails.
QByteArray convert(const QStringList& arguments)
{
    QProcess process;
    process.start("convert", arguments);
    if (!process.waitForFinished() || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// Red, green and blue bytes of each pixel, top row first: what `convert file rgb:-` gives.
QByteArray rgbBytes(const QImage& image)
{
    QByteArray bytes;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            bytes.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        }
    return bytes;
}

// Colours from few to many, some runs, some noise: what a strip of icons looks like to a compressor.
QImage testPicture(int width, int height, int colours)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int index = ((x / 3) * 7 + (y / 2) * 13 + ((x * y) % 11)) % colours;
            image.setPixel(x, y, qRgb(index * 37 % 256, index * 91 % 256, index));
        }
    return image;
}

QByteArray writtenByQt(const QImage& image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "bmp").write(image);
    return buffer.data();
}

TEST(BmpEncoder, WritesTheBytesQtWritesAndReadsBackAsThePicture)
{
    QImage translucent(3, 2, QImage::Format_ARGB32);
    translucent.fill(qRgba(10, 20, 30, 40));
    constexpr int kDotsPerMetreAt96Dpi = 3780;
    constexpr int kDotsPerMetreAt72Dpi = 2835;
    QImage at96Dpi = testPicture(4, 4, 16);
    at96Dpi.setDotsPerMeterX(kDotsPerMetreAt96Dpi);
    at96Dpi.setDotsPerMeterY(kDotsPerMetreAt72Dpi);
    const struct {
        const char* what;
        QImage picture;
    } cases[] = {
        {"rows padded to 4 bytes", testPicture(5, 3, 200)},
        {"one pixel", testPicture(1, 1, 2)},
        {"a wide strip", testPicture(160, 16, 256)},
        {"alpha is dropped", translucent},
        {"the picture's own resolution", at96Dpi},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray file = formats::encodeBmp(c.picture);
        const QImage pixels = c.picture.convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(file, writtenByQt(pixels));
        EXPECT_EQ(formats::decodeBmp(file, kManyPixels).image, pixels);
        if (!haveImageMagick())
            continue;
        const QString path = dir.filePath("tile.bmp");
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
        out.close();
        EXPECT_EQ(convert({path, "-depth", "8", "rgb:-"}), rgbBytes(pixels));
    }
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick's convert is not installed: the files were not read back with it";
}

// ---------------------------------------------------------------- GIF

TEST(GifCheck, CompleteFilesFromARealCompressorPassAndEveryCutInsideTheirDataIsSeen)
{
    if (!haveImageMagick())
        GTEST_SKIP() << "ImageMagick's convert is not installed: it makes the GIF files";
    QTemporaryDir dir;
    const struct {
        const char* what;
        QImage picture;
    } cases[] = {
        {"2 colours", testPicture(40, 30, 2)},
        {"16 colours", testPicture(64, 48, 16)},
        {"256 colours, the code table filled and cleared", testPicture(320, 200, 256)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString bmp = dir.filePath("picture.bmp");
        QFile out(bmp);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(formats::encodeBmp(c.picture));
        out.close();
        const QByteArray gif = convert({bmp, "gif:-"});
        ASSERT_FALSE(gif.isEmpty());
        EXPECT_FALSE(formats::gifFirstFrameEndsEarly(gif));
        EXPECT_FALSE(formats::gifFirstFrameEndsEarly(gif.chopped(1))) << "no trailer, but every pixel";
        // The last two bytes end the data and the file; the data of a picture
        // this size is more than the last 100 bytes.
        for (const qsizetype cut : {qsizetype(20), qsizetype(100), gif.size() / 2})
            EXPECT_TRUE(formats::gifFirstFrameEndsEarly(gif.chopped(cut))) << cut;
    }
}

} // namespace

// ---------------------------------------------------------------- PNG

namespace {

QImage readByQt(const QByteArray& file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

// Every format compared at 16 bits a channel, which holds each of them exactly.
QImage deep(const QImage& image) { return image.convertToFormat(QImage::Format_RGBA64); }

// Red, green, blue and alpha of each pixel, 16-bit big-endian, top row first:
// what `convert file -depth 16 -endian MSB rgba:-` gives.
QByteArray rgba16Bytes(const QImage& image)
{
    const QImage pixels = deep(image);
    QByteArray bytes;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x) {
            const QRgba64 c = reinterpret_cast<const QRgba64*>(pixels.constScanLine(y))[x];
            for (const quint16 v : {c.red(), c.green(), c.blue(), c.alpha()})
                bytes.append(char(v >> 8)).append(char(v & 0xFF));
        }
    return bytes;
}

TEST(PngDecoder, EveryColourTypeAndDepthGivesWhatQtReadsInTheFilesKindOfPixels)
{
    using F = QImage::Format;
    // Qt 6.4 misreads 16-bit RGB with a transparent colour (its pixels come out
    // shifted by a sample); ImageMagick reads those files instead.
    constexpr bool kQtMisreads = true;
    const struct {
        const char* what;
        PngPattern pattern;
        QImage::Format format;
        bool qtMisreads = false;
    } cases[] = {
        {"grey, 1 bit", {kPngGrey, 1}, F::Format_Grayscale8},
        {"grey, 2 bits", {kPngGrey, 2}, F::Format_Grayscale8},
        {"grey, 4 bits", {kPngGrey, 4}, F::Format_Grayscale8},
        {"grey, 8 bits, interlaced", {kPngGrey, 8, 13, 7, true}, F::Format_Grayscale8},
        {"grey, 16 bits", {kPngGrey, 16}, F::Format_Grayscale16},
        {"grey, 2 bits, a transparent grey", {kPngGrey, 2, 13, 7, false, 0, true}, F::Format_ARGB32},
        {"grey, 16 bits, a transparent grey", {kPngGrey, 16, 13, 7, false, 0, true}, F::Format_RGBA64},
        {"RGB, 8 bits", {kPngRgb, 8}, F::Format_RGB32},
        {"RGB, 8 bits, interlaced, 1x1", {kPngRgb, 8, 1, 1, true}, F::Format_RGB32},
        {"RGB, 16 bits, interlaced", {kPngRgb, 16, 13, 7, true}, F::Format_RGBX64},
        {"RGB, 8 bits, a transparent colour", {kPngRgb, 8, 13, 7, false, 0, true}, F::Format_ARGB32},
        {"RGB, 16 bits, a transparent colour", {kPngRgb, 16, 13, 7, false, 0, true}, F::Format_RGBA64, kQtMisreads},
        {"palette, 1 bit", {kPngPalette, 1, 13, 7, false, 2}, F::Format_Indexed8},
        {"palette, 2 bits, interlaced", {kPngPalette, 2, 13, 7, true, 3}, F::Format_Indexed8},
        {"palette, 4 bits", {kPngPalette, 4, 13, 7, false, 11}, F::Format_Indexed8},
        {"palette, 8 bits", {kPngPalette, 8, 40, 9, false, 200}, F::Format_Indexed8},
        {"grey with alpha, 8 bits", {kPngGreyAlpha, 8}, F::Format_ARGB32},
        {"grey with alpha, 16 bits, interlaced", {kPngGreyAlpha, 16, 13, 7, true}, F::Format_RGBA64},
        {"RGBA, 8 bits, interlaced, 5x3", {kPngRgba, 8, 5, 3, true}, F::Format_ARGB32},
        {"RGBA, 16 bits", {kPngRgba, 16}, F::Format_RGBA64},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray file = pngFile(c.pattern);
        ASSERT_FALSE(file.isEmpty());
        const formats::DecodedPng decoded = formats::decodePng(file, kManyPixels);
        ASSERT_EQ(decoded.outcome, formats::DecodedPng::Picture) << decoded.cause;
        EXPECT_EQ(decoded.image.format(), c.format);
        if (c.qtMisreads && !haveImageMagick()) {
            ADD_FAILURE() << "ImageMagick's convert is not installed: it reads the file Qt misreads";
        } else if (c.qtMisreads) {
            QTemporaryDir dir;
            QFile out(dir.filePath("picture.png"));
            ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(file) == file.size());
            out.close();
            EXPECT_EQ(convert({out.fileName(), "-depth", "16", "-endian", "MSB", "rgba:-"}), rgba16Bytes(decoded.image));
        } else {
            const QImage byQt = readByQt(file);
            ASSERT_FALSE(byQt.isNull());
            EXPECT_EQ(deep(decoded.image), deep(byQt));
        }
        if (c.pattern.transparentColour)
            EXPECT_EQ(decoded.image.pixelColor(0, 0).alpha(), 0) << "the first pixel has the transparent colour";
        constexpr qsizetype kEndChunkSize = 12;
        EXPECT_EQ(formats::decodePng(file.chopped(kEndChunkSize), kManyPixels).image, decoded.image)
            << "a file whose end chunk is missing still holds every pixel";
    }
}

TEST(PngDecoder, AncillaryChunksOfAnyLengthAreSkippedBeforeAndAfterTheImageData)
{
    const QByteArray plain = pngFile({kPngRgba, 8});
    const formats::DecodedPng expected = formats::decodePng(plain, kManyPixels);
    ASSERT_EQ(expected.outcome, formats::DecodedPng::Picture) << expected.cause;
    // What follows each chunk's header fields is no zlib stream: a compressed
    // chunk that were inflated would turn the file down.
    const QByteArray filler = noise(kLargeChunk);
    const struct {
        const char* type;
        QByteArray data;
    } cases[] = {
        // An XMP packet's fields: its keyword, compressed by deflate, no language, no translated keyword.
        {"iTXt", QByteArray("XML:com.adobe.xmp\0\1\0\0\0", 22) + filler},
        {"zTXt", QByteArray("Comment\0\0", 9) + filler},
        {"iCCP", QByteArray("ICC profile\0\0", 13) + filler},
        {"eXIf", QByteArray("MM\0*", 4) + filler},
        {"prVt", filler},
    };
    for (const auto& c : cases) {
        for (const char* before : {"IDAT", "IEND"}) {
            SCOPED_TRACE(std::string(c.type) + " before " + before);
            const formats::DecodedPng decoded =
                formats::decodePng(withChunkBefore(plain, before, c.type, c.data), kManyPixels);
            ASSERT_EQ(decoded.outcome, formats::DecodedPng::Picture) << decoded.cause;
            EXPECT_EQ(decoded.image, expected.image);
        }
    }
}

// Colours of a fixed pattern, grey where asked, some translucent where the format holds alpha.
QImage patternPicture(QImage::Format format, bool grey, int colours = 0)
{
    QImage image(11, 6, QImage::Format_RGBA64);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const quint16 v = quint16((x * 7919 + y * 3301) * 2654435761u >> 11);
            const quint16 alpha = (x + y) % 4 == 0 ? quint16(v / 3) : quint16(0xFFFF);
            image.setPixel(x, y, 0);
            reinterpret_cast<QRgba64*>(image.scanLine(y))[x] =
                QRgba64::fromRgba64(v, grey ? v : quint16(v * 3), grey ? v : quint16(v ^ 0x5A5A), alpha);
        }
    if (format != QImage::Format_Indexed8)
        return image.convertToFormat(format);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table << qRgba(i * 41 % 256, i * 97 % 256, i * 13 % 256, i % 3 ? 255 : i * 7 % 256);
    QImage indexed(image.size(), QImage::Format_Indexed8);
    indexed.setColorTable(table);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            indexed.setPixel(x, y, uint((x * 5 + y * 3) % colours));
    return indexed;
}

TEST(PngEncoder, EveryFormatReadsBackWithItsPixelsAndFormat)
{
    using F = QImage::Format;
    constexpr qsizetype kColourTypeAt = 25;
    constexpr qsizetype kBitDepthAt = 24;
    const struct {
        const char* what;
        QImage picture;
        QImage::Format format;
        int colourType;
        int bitDepth;
    } cases[] = {
        {"RGB32", patternPicture(F::Format_RGB32, false), F::Format_RGB32, kPngRgb, 8},
        {"RGB888", patternPicture(F::Format_RGB888, false), F::Format_RGB32, kPngRgb, 8},
        {"ARGB32", patternPicture(F::Format_ARGB32, false), F::Format_ARGB32, kPngRgba, 8},
        {"ARGB32, all grey", patternPicture(F::Format_ARGB32, true), F::Format_ARGB32, kPngGreyAlpha, 8},
        {"ARGB32 premultiplied", patternPicture(F::Format_ARGB32_Premultiplied, false), F::Format_ARGB32, kPngRgba,
         8},
        {"Grayscale8", patternPicture(F::Format_Grayscale8, true), F::Format_Grayscale8, kPngGrey, 8},
        {"Grayscale16", patternPicture(F::Format_Grayscale16, true), F::Format_Grayscale16, kPngGrey, 16},
        {"RGBX64", patternPicture(F::Format_RGBX64, false), F::Format_RGBX64, kPngRgb, 16},
        {"RGBA64", patternPicture(F::Format_RGBA64, false), F::Format_RGBA64, kPngRgba, 16},
        {"RGBA64, all grey", patternPicture(F::Format_RGBA64, true), F::Format_RGBA64, kPngGreyAlpha, 16},
        {"Mono", patternPicture(F::Format_RGB32, false).convertToFormat(F::Format_Mono), F::Format_Indexed8,
         kPngPalette, 1},
        {"Indexed8 of 2 colours", patternPicture(F::Format_Indexed8, false, 2), F::Format_Indexed8, kPngPalette, 1},
        {"Indexed8 of 5 colours", patternPicture(F::Format_Indexed8, false, 5), F::Format_Indexed8, kPngPalette, 4},
        {"Indexed8 of 40 colours", patternPicture(F::Format_Indexed8, false, 40), F::Format_Indexed8, kPngPalette,
         8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray file = formats::encodePng(c.picture);
        ASSERT_GT(file.size(), kColourTypeAt);
        EXPECT_EQ(file[kColourTypeAt], c.colourType);
        EXPECT_EQ(file[kBitDepthAt], c.bitDepth);
        const formats::DecodedPng decoded = formats::decodePng(file, kManyPixels);
        ASSERT_EQ(decoded.outcome, formats::DecodedPng::Picture) << decoded.cause;
        EXPECT_EQ(decoded.image.format(), c.format);
        EXPECT_EQ(decoded.image, c.picture.convertToFormat(c.format));
        EXPECT_EQ(deep(readByQt(file)), deep(c.picture.convertToFormat(c.format)));
    }
    EXPECT_TRUE(formats::encodePng(QImage()).isEmpty());
}

TEST(PngEncoder, APaletteHoldsTheEntriesThePixelsUseAndTheAlphaUpToTheLastTranslucentOne)
{
    QImage picture(3, 1, QImage::Format_Indexed8);
    picture.setColorTable({qRgba(1, 2, 3, 0), qRgb(4, 5, 6), qRgba(7, 8, 9, 10), qRgb(10, 11, 12), qRgb(0, 0, 0)});
    const struct {
        const char* what;
        std::vector<uint> indexes;
        const char* palette;
        const char* alpha;
    } cases[] = {
        {"the first two entries", {1, 0, 1}, "010203" "040506", "00"},
        {"up to the fourth entry", {3, 0, 0}, "010203" "040506" "070809" "0a0b0c", "00ff0a"},
        {"opaque entries only", {1, 1, 1}, "010203" "040506", "00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (int x = 0; x < 3; ++x)
            picture.setPixel(x, 0, c.indexes[size_t(x)]);
        const QByteArray file = formats::encodePng(picture);
        EXPECT_EQ(chunkData(file, "PLTE").toHex(), c.palette);
        EXPECT_EQ(chunkData(file, "tRNS").toHex(), c.alpha);
    }
}

} // namespace
