// Draws the sample strips that lie beside the program, so that a first run has
// something to cut, and converts the window icon to PNGs for the desktop.
//
//   make_samples <folder>                   writes toolbar16.bmp, tall15.bmp and sprites32.gif
//   make_samples --icon <xpm> <theme> <png> <size>...
//                                           writes the XPM picture as <theme>/NxN/apps/<png>
//                                           at each size, a whole multiple of the picture's
//
// Only QImage and QPainter on raster images are used, which need no application object.
#include "gif_writer.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

constexpr int kToolbarTile = 16;
// A strip 15 pixels high is cut into tiles 16 pixels wide; this sample shows that.
constexpr int kTallHeight = 15;
constexpr int kTallTileWidth = 16;
constexpr int kTallTiles = 8;
constexpr int kSpriteTile = 32;

constexpr char kIconOption[] = "--icon";
constexpr int kSampleArgs = 2;
constexpr int kIconArgs = 6;
constexpr int kUsageError = 2;

using DrawTile = void (*)(QPainter&);

// Black outlines around a flat fill, the look of a 16-colour toolbar.
void outlined(QPainter& painter, const QColor& fill)
{
    painter.setPen(Qt::black);
    painter.setBrush(fill);
}

const DrawTile kToolbarPictures[] = {
    [](QPainter& p) { // new page
        outlined(p, Qt::white);
        p.drawRect(3, 1, 9, 13);
    },
    [](QPainter& p) { // folder
        outlined(p, Qt::yellow);
        p.drawRect(1, 3, 5, 2);
        p.drawRect(1, 5, 13, 8);
    },
    [](QPainter& p) { // disk
        outlined(p, Qt::darkYellow);
        p.drawRect(1, 1, 13, 13);
        outlined(p, Qt::white);
        p.drawRect(4, 1, 7, 5);
        p.fillRect(5, 10, 5, 4, Qt::lightGray);
    },
    [](QPainter& p) { // scissors
        outlined(p, Qt::red);
        p.drawLine(5, 9, 11, 1);
        p.drawLine(10, 9, 4, 1);
        p.drawEllipse(1, 9, 5, 5);
        p.drawEllipse(9, 9, 5, 5);
    },
    [](QPainter& p) { // copy
        outlined(p, Qt::white);
        p.drawRect(1, 1, 8, 10);
        p.drawRect(6, 4, 8, 10);
    },
    [](QPainter& p) { // paste
        outlined(p, Qt::darkYellow);
        p.drawRect(2, 2, 11, 13);
        outlined(p, Qt::white);
        p.drawRect(5, 6, 7, 8);
        p.fillRect(5, 1, 6, 3, Qt::darkGray);
    },
    [](QPainter& p) { // undo
        outlined(p, Qt::blue);
        p.drawArc(3, 4, 10, 10, 0, 180 * 16);
        p.drawPolygon(QPolygon({QPoint(0, 8), QPoint(6, 8), QPoint(3, 12)}));
    },
    [](QPainter& p) { // find
        outlined(p, Qt::cyan);
        p.drawEllipse(1, 1, 8, 8);
        p.setPen(QPen(Qt::darkRed, 2));
        p.drawLine(9, 9, 14, 14);
    },
    [](QPainter& p) { // print
        outlined(p, Qt::white);
        p.drawRect(4, 1, 7, 6);
        outlined(p, Qt::lightGray);
        p.drawRect(1, 6, 13, 6);
        outlined(p, Qt::white);
        p.drawRect(4, 11, 7, 3);
    },
    [](QPainter& p) { // delete
        p.setPen(QPen(Qt::red, 2));
        p.drawLine(3, 3, 12, 12);
        p.drawLine(12, 3, 3, 12);
    },
};

const DrawTile kSprites[] = {
    [](QPainter& p) { // ball
        outlined(p, Qt::red);
        p.drawEllipse(3, 3, 25, 25);
        p.fillRect(10, 9, 4, 4, Qt::white);
    },
    [](QPainter& p) { // diamond
        outlined(p, Qt::blue);
        p.drawPolygon(QPolygon({QPoint(16, 1), QPoint(30, 16), QPoint(16, 30), QPoint(1, 16)}));
    },
    [](QPainter& p) { // star
        outlined(p, Qt::yellow);
        p.drawPolygon(QPolygon({QPoint(16, 1), QPoint(20, 11), QPoint(30, 12), QPoint(22, 19),
                                QPoint(25, 30), QPoint(16, 24), QPoint(7, 30), QPoint(10, 19),
                                QPoint(2, 12), QPoint(12, 11)}));
    },
    [](QPainter& p) { // ring: the hole shows the transparency
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::green, 6));
        p.drawEllipse(5, 5, 21, 21);
    },
    [](QPainter& p) { // arrow
        outlined(p, Qt::magenta);
        p.drawPolygon(QPolygon({QPoint(2, 12), QPoint(16, 12), QPoint(16, 3), QPoint(29, 16),
                                QPoint(16, 28), QPoint(16, 19), QPoint(2, 19)}));
    },
    [](QPainter& p) { // house
        outlined(p, Qt::darkCyan);
        p.drawRect(6, 14, 19, 15);
        outlined(p, Qt::darkRed);
        p.drawPolygon(QPolygon({QPoint(2, 15), QPoint(16, 2), QPoint(29, 15)}));
        outlined(p, Qt::yellow);
        p.drawRect(13, 19, 6, 10);
    },
};

// Draws each picture into its own tile of a row, the painter's origin at the tile.
template <size_t N>
void drawRow(QImage& strip, int tileWidth, const DrawTile (&pictures)[N])
{
    QPainter painter(&strip);
    int left = 0;
    for (const DrawTile draw : pictures) {
        painter.save();
        painter.translate(left, 0);
        painter.setClipRect(0, 0, tileWidth, strip.height());
        draw(painter);
        painter.restore();
        left += tileWidth;
    }
}

QImage toolbarStrip()
{
    QImage strip(kToolbarTile * int(std::size(kToolbarPictures)), kToolbarTile, QImage::Format_RGB32);
    strip.fill(Qt::lightGray);
    drawRow(strip, kToolbarTile, kToolbarPictures);
    return strip;
}

// Each tile shows its own number as dots on a colour of its own, framed on its
// exact bounds, so a wrong cut is easy to see.
QImage tallStrip()
{
    static const Qt::GlobalColor kColours[kTallTiles] = {
        Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::magenta, Qt::cyan, Qt::darkYellow, Qt::darkCyan};
    constexpr int kDotsPerRow = 4;
    constexpr int kDotSize = 2;
    constexpr int kDotPitch = 3;
    constexpr int kDotLeft = 2;
    constexpr int kDotRows[] = {4, 9};

    QImage strip(kTallTileWidth * kTallTiles, kTallHeight, QImage::Format_RGB32);
    QPainter painter(&strip);
    for (int tile = 0; tile < kTallTiles; ++tile) {
        const int left = tile * kTallTileWidth;
        outlined(painter, kColours[tile]);
        painter.drawRect(left, 0, kTallTileWidth - 1, kTallHeight - 1);
        for (int dot = 0; dot <= tile; ++dot)
            painter.fillRect(left + kDotLeft + kDotPitch * (dot % kDotsPerRow), kDotRows[dot / kDotsPerRow],
                             kDotSize, kDotSize, Qt::white);
    }
    return strip;
}

QImage spriteStrip()
{
    QImage strip(kSpriteTile * int(std::size(kSprites)), kSpriteTile, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    drawRow(strip, kSpriteTile, kSprites);
    return strip;
}

bool saveBmp(const QImage& image, const QString& path)
{
    // Qt writes 24 bits per pixel for an image without a palette.
    return image.save(path, "BMP");
}

bool saveGif(const QImage& image, const QString& path)
{
    const QByteArray bytes = gif::encode(image);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int writeSamples(const QString& folderPath)
{
    const QDir folder(folderPath);
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "make_samples: cannot create %s\n", qPrintable(folderPath));
        return 1;
    }
    const struct {
        const char* name;
        QImage image;
        bool (*save)(const QImage&, const QString&);
    } samples[] = {
        {"toolbar16.bmp", toolbarStrip(), saveBmp},
        {"tall15.bmp", tallStrip(), saveBmp},
        {"sprites32.gif", spriteStrip(), saveGif},
    };
    for (const auto& sample : samples) {
        const QString path = folder.filePath(QString::fromLatin1(sample.name));
        if (!sample.save(sample.image, path)) {
            std::fprintf(stderr, "make_samples: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

// Nearest neighbour by a whole factor: each pixel becomes a factor x factor block.
QImage enlarged(const QImage& image, int factor)
{
    QImage large(image.size() * factor, QImage::Format_ARGB32);
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            large.setPixel(x, y, image.pixel(x / factor, y / factor));
    return large;
}

// Whole multiples only, so that every pixel of the picture becomes a square
// block and the pixel art stays crisp at every size.
int convertIcon(const QString& xpmPath, const QString& themeFolder, const QString& pngName, const QStringList& sizes)
{
    const QImage icon = QImage(xpmPath, "XPM").convertToFormat(QImage::Format_ARGB32);
    for (const QString& sizeText : sizes) {
        const int size = sizeText.toInt();
        const QString folder = QString("%1/%2x%2/apps").arg(themeFolder).arg(size);
        if (icon.isNull() || size <= 0 || size % icon.width() != 0 || !QDir().mkpath(folder) ||
            !enlarged(icon, size / icon.width()).save(folder + "/" + pngName, "PNG")) {
            std::fprintf(stderr, "make_samples: cannot convert %s to a %dx%d PNG in %s\n", qPrintable(xpmPath), size,
                         size, qPrintable(folder));
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == kSampleArgs)
        return writeSamples(QString::fromLocal8Bit(argv[1]));
    if (argc >= kIconArgs && std::strcmp(argv[1], kIconOption) == 0) {
        QStringList sizes;
        for (int i = kIconArgs - 1; i < argc; ++i)
            sizes << QString::fromLocal8Bit(argv[i]);
        return convertIcon(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           QString::fromLocal8Bit(argv[4]), sizes);
    }
    std::fprintf(stderr, "usage: make_samples <folder>\n"
                         "       make_samples --icon <xpm> <theme-folder> <png-name> <size>...\n");
    return kUsageError;
}
