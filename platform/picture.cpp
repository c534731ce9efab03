#include "platform/picture.h"

#include "platform/errors.h"
#include "platform/qt_support.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

namespace platform {

namespace {

const QImage& emptyImage()
{
    static const QImage empty;
    return empty;
}

std::string quoted(const std::string& fileName) { return "'" + fileName + "'"; }

// Only BMP and GIF are read, told apart by their signatures, so that no other
// decoder ever sees a user's file.
QByteArray formatOf(const QByteArray& head)
{
    if (head.startsWith("BM"))
        return "bmp";
    if (head.startsWith("GIF8"))
        return "gif";
    return {};
}

} // namespace

Picture::Picture() = default;

Picture::Picture(const QImage& image) : mImage(std::make_shared<const QImage>(image)) {}

bool Picture::isEmpty() const { return !mImage || mImage->isNull(); }

int Picture::pixelWidth() const { return isEmpty() ? 0 : mImage->width(); }

int Picture::pixelHeight() const { return isEmpty() ? 0 : mImage->height(); }

const QImage& Picture::image() const { return mImage ? *mImage : emptyImage(); }

Picture LoadPicture(const std::string& fileName)
{
    const QString path = qstr(fileName);
    const QFileInfo info(path);
    if (!info.exists())
        throw RuntimeError(FileNotFound, "File not found: " + quoted(fileName));
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw RuntimeError(PathFileAccessError, "Cannot read " + quoted(fileName) + ": " + str(file.errorString()));
    const QByteArray format = formatOf(file.peek(4));
    if (format.isEmpty())
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " is not a BMP or GIF file");

    QImageReader reader(&file, format);
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid() && QImageReader::allocationLimit() > 0 &&
        qint64(size.width()) * size.height() * 4 > qint64(QImageReader::allocationLimit()) * 1024 * 1024)
        throw RuntimeError(OutOfMemory, "Out of memory: the picture " + quoted(fileName) + " is too large (" +
                                            std::to_string(size.width()) + "x" + std::to_string(size.height()) + ")");
    QImage image;
    if (!reader.read(&image) || image.isNull())
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + ": " + str(reader.errorString()));
    return Picture(image);
}

void SavePicture(const Picture& picture, const std::string& fileName)
{
    // Written beside the target and renamed over it in one step, so a failed
    // write never leaves an emptied or half-written file.
    QSaveFile file(qstr(fileName));
    if (!file.open(QIODevice::WriteOnly))
        throw RuntimeError(PathFileAccessError, "Cannot write " + quoted(fileName) + ": " + str(file.errorString()));
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture.image().convertToFormat(QImage::Format_RGB32)) || !file.commit())
        throw RuntimeError(PathFileAccessError, "Cannot write " + quoted(fileName) + ": " + str(file.errorString()));
}

} // namespace platform
