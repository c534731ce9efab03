// The window and toolbar pictures as the program loads them, and the GIF writer
// that draws the sample strips.
#include "resources/gif_writer.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kPictureSize = 16;
constexpr int kOpaque = 255;

const QSet<QRgb> kStandardColours = {
    qRgb(0x00, 0x00, 0x00), qRgb(0x80, 0x00, 0x00), qRgb(0x00, 0x80, 0x00), qRgb(0x80, 0x80, 0x00),
    qRgb(0x00, 0x00, 0x80), qRgb(0x80, 0x00, 0x80), qRgb(0x00, 0x80, 0x80), qRgb(0xC0, 0xC0, 0xC0),
    qRgb(0x80, 0x80, 0x80), qRgb(0xFF, 0x00, 0x00), qRgb(0x00, 0xFF, 0x00), qRgb(0xFF, 0xFF, 0x00),
    qRgb(0x00, 0x00, 0xFF), qRgb(0xFF, 0x00, 0xFF), qRgb(0x00, 0xFF, 0xFF), qRgb(0xFF, 0xFF, 0xFF),
};

QImage decodeGif(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "gif");
    return reader.read().convertToFormat(QImage::Format_ARGB32);
}

// Distinct opaque colours for indexes below 256: the red channel alone tells them apart.
QRgb colourNumber(int index) { return qRgb(index, (index * 7) & 0xFF, 0xFF - index); }

} // namespace

// Outside any namespace: the macro declares the resource's init function where it stands.
static void initResources() { Q_INIT_RESOURCE(resources); }

TEST(ResourcePictures, AreSixteenSquareWithTransparencyInStandardColours)
{
    initResources();
    for (const char* name : {":/icon.xpm", ":/open_folder.xpm", ":/save_all.xpm", ":/save.xpm"}) {
        SCOPED_TRACE(name);
        const QImage picture = QImage(QString::fromLatin1(name)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(kPictureSize, kPictureSize));
        int transparent = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb pixel = picture.pixel(x, y);
                if (qAlpha(pixel) == 0) {
                    ++transparent;
                    continue;
                }
                EXPECT_EQ(qAlpha(pixel), kOpaque) << x << "," << y;
                EXPECT_TRUE(kStandardColours.contains(qRgb(qRed(pixel), qGreen(pixel), qBlue(pixel))))
                    << x << "," << y << ": " << std::hex << pixel;
            }
        }
        EXPECT_GT(transparent, 0);
    }
}

TEST(GifWriter, ReadsBackWithTheSamePixelsAndTransparency)
{
    const struct {
        const char* name;
        int width;
        int height;
        int colours;
        int transparentEvery; // 0: no transparent pixels
    } cases[] = {
        {"one opaque pixel", 1, 1, 1, 0},
        {"one transparent pixel", 1, 1, 1, 1},
        {"odd size, some transparent", 7, 5, 3, 4},
        {"just fills the table once", gif::kLiteralsPerClear, 1, 16, 0},
        {"one past a full table", gif::kLiteralsPerClear + 1, 1, 16, 0},
        {"many table restarts", 61, 37, 50, 9},
        {"every colour a palette holds", 17, 15, gif::kPaletteSize - 1, 0},
        {"a sample strip's size", 192, 32, 6, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QImage image(c.width, c.height, QImage::Format_ARGB32);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const int n = y * c.width + x;
                const bool transparent = c.transparentEvery > 0 && n % c.transparentEvery == 0;
                image.setPixel(x, y, transparent ? qRgba(0, 0, 0, 0) : colourNumber(n % c.colours));
            }
        }

        const QImage decoded = decodeGif(gif::encode(image));

        ASSERT_EQ(decoded.size(), image.size());
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const QRgb want = image.pixel(x, y);
                const QRgb got = decoded.pixel(x, y);
                if (qAlpha(want) == 0)
                    ASSERT_EQ(qAlpha(got), 0) << x << "," << y;
                else
                    ASSERT_EQ(got, want) << x << "," << y;
            }
        }
    }
}

TEST(GifWriter, TurnsPixelsBelowHalfOpacityTransparent)
{
    const struct {
        int alpha;
        bool opaque;
    } cases[] = {{0, false}, {1, false}, {127, false}, {128, true}, {200, true}, {255, true}};
    QImage image(int(std::size(cases)), 1, QImage::Format_ARGB32);
    for (int x = 0; x < image.width(); ++x)
        image.setPixel(x, 0, qRgba(0xFF, 0, 0, cases[x].alpha));

    const QImage decoded = decodeGif(gif::encode(image));

    ASSERT_EQ(decoded.size(), image.size());
    for (int x = 0; x < image.width(); ++x) {
        SCOPED_TRACE(cases[x].alpha);
        EXPECT_EQ(qAlpha(decoded.pixel(x, 0)), cases[x].opaque ? kOpaque : 0);
        if (cases[x].opaque)
            EXPECT_EQ(qRed(decoded.pixel(x, 0)), 0xFF);
    }
}

TEST(GifWriter, RefusesWhatAGifCannotHold)
{
    auto withColours = [](int colours) {
        QImage image(colours, 1, QImage::Format_ARGB32);
        for (int x = 0; x < colours; ++x)
            image.setPixel(x, 0, colourNumber(x));
        return image;
    };
    const struct {
        const char* name;
        QImage image;
        bool encodes;
    } cases[] = {
        {"null image", QImage(), false},
        {"255 colours and room for transparency", withColours(gif::kPaletteSize - 1), true},
        {"256 colours leave no index for transparency", withColours(gif::kPaletteSize), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(!gif::encode(c.image).isEmpty(), c.encodes);
    }
}
