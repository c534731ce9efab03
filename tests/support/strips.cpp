#include "support/strips.h"

#include "resources/gif_writer.h"
#include "support/files.h"

#include <QDir>
#include <QFile>

namespace {

// GIF holds at most 255 colours besides the transparent one: columns and rows
// are folded so a strip needs no more.
QRgb gifColour(int x, int y) { return qRgb((x % 15) * 17, (y % 17) * 15, 128); }

QRgb bmpColour(int x, int y) { return qRgb(x & 0xFF, y & 0xFF, ((x >> 8) * 37 + (y >> 8) * 91) & 0xFF); }

} // namespace

QImage makeStrip(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, bmpColour(x, y));
    return image;
}

std::string writeStrip(const QTemporaryDir& dir, const QString& name, int width, int height)
{
    const QString path = dir.filePath(name);
    if (name.endsWith(".gif", Qt::CaseInsensitive)) {
        QImage image(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, gifColour(x, y));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(gif::encode(image)) < 0)
            return {};
    } else if (!makeStrip(width, height).save(path, "BMP")) {
        return {};
    }
    return path.toStdString();
}

QImage tileOf(const QImage& strip, int x, int width) { return strip.copy(x, 0, width, strip.height()); }

QString writeFolderToOpen(const QTemporaryDir& dir)
{
    writeStrip(dir, "strip.bmp", 160, 16);
    writeStrip(dir, "tall.gif", 48, 32);
    writeFile(dir.filePath("notes.txt"), "not a picture");
    writeFile(dir.filePath("broken.bmp"), "BM and no more");
    QDir(dir.path()).mkdir("sub");
    return QDir(dir.path()).canonicalPath();
}
