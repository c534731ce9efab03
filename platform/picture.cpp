#include "platform/picture.h"

#include "formats/bmp.h"
#include "formats/gif.h"
#include "formats/large_memory.h"
#include "formats/png.h"
#include "formats/sizes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/qt_support.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const QImage& emptyImage()
{
    static const QImage empty;
    return empty;
}

// However deep the file's colours, the picture is held and drawn as 32-bit pixels.
constexpr qint64 kBytesPerHeldPixel = 4;
// The most a pixel takes in a file: 16-bit RGBA in a PNG, with a row's filter
// byte when a row is one pixel wide.
constexpr qint64 kMostBytesPerFilePixel = 9;
constexpr qint64 kBytesPerMegabyte = 1024 * 1024;
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
// Headers, palettes and such that a file holds besides its pixels.
constexpr qint64 kBytesBesidesPixels = kBytesPerMegabyte;
// A GIF's logical screen size.
constexpr int kGifScreenWidthAt = 6;
constexpr int kGifScreenHeightAt = 8;
constexpr int kGifScreenEnd = 10;

// The most a picture may take, in megabytes: the limit Qt's decoders keep (0 for none).
qint64 limitMegabytes() { return QImageReader::allocationLimit(); }

qint64 maxPixels()
{
    return limitMegabytes() > 0 ? limitMegabytes() * kBytesPerMegabyte / kBytesPerHeldPixel
                                : std::numeric_limits<qint64>::max();
}

// No picture within the limit needs more of its file than this.
qint64 maxFileBytes()
{
    return limitMegabytes() > 0 ? maxPixels() * kMostBytesPerFilePixel + kBytesBesidesPixels
                                : std::numeric_limits<qint64>::max();
}

[[noreturn]] void throwTooLarge(const std::string& fileName, qint64 width, qint64 height)
{
    throw RuntimeError(OutOfMemory, "Out of memory: the picture " + quoted(fileName) + " is " + std::to_string(width) +
                                        "x" + std::to_string(height) + " pixels, more than the " +
                                        std::to_string(limitMegabytes()) + " MB a picture may take");
}

[[noreturn]] void throwCannotRead(const std::string& fileName, int error)
{
    throw RuntimeError(PathFileAccessError,
                       "Path/File access error: cannot read " + quoted(fileName) + ": " + std::strerror(error));
}

// A file's bytes, in a block of their own (a large file in huge pages).
struct FileBytes {
    formats::Block block;
    // The block's bytes that the file filled, not copied.
    QByteArray bytes;
};

// The file's bytes, opened by the exact name given (which need not be UTF-8).
// A pipe or a device is never read: opening without blocking and checking
// first, so nothing waits for ever. Bytes past what any picture within the
// limit can use are left unread.
FileBytes readPictureFile(const std::string& fileName)
{
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw RuntimeError(FileNotFound, "File not found: " + quoted(fileName));
        throwCannotRead(fileName, errno);
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        throw RuntimeError(PathFileAccessError, "Path/File access error: " + quoted(fileName) + " is not a file");
    }
    formats::Block block(std::min<qint64>(status.st_size, maxFileBytes()));
    qint64 got = 0;
    while (got < block.size()) {
        const ssize_t n = read(fd, block.data() + got, size_t(block.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            throwCannotRead(fileName, error);
        }
        if (n == 0)
            break;
        got += n;
    }
    close(fd);
    const QByteArray bytes = block.bytes(got);
    return {std::move(block), bytes};
}

// The picture one of our decoders gave, or its error.
QImage decodedPicture(const formats::DecodedPicture& decoded, const std::string& fileName)
{
    if (decoded.outcome == formats::DecodedPicture::TooLarge)
        throwTooLarge(fileName, decoded.width, decoded.height);
    if (decoded.outcome == formats::DecodedPicture::Invalid)
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " " + decoded.cause);
    return decoded.image;
}

// Transparent pixels stay transparent, so they draw over what is beneath. The
// copy can find no memory where the file's own pixels did (16-bit ones).
QImage asDrawn(const QImage& image, const std::string& fileName)
{
    const QImage drawn =
        image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (drawn.isNull())
        throwTooLarge(fileName, image.width(), image.height());
    return drawn;
}

// Qt's GIF reader; its 32-bit pixels.
QImage loadGif(const QByteArray& bytes, const std::string& fileName)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    reader.setAutoDetectImageFormat(false);
    // Checked before decoding: Qt's reader sets aside the whole logical screen,
    // however small the first picture (or the picture's size when the screen has none).
    if (bytes.size() >= kGifScreenEnd) {
        const qint64 width = std::max<qint64>(qFromLittleEndian<quint16>(bytes.constData() + kGifScreenWidthAt),
                                              reader.size().width());
        const qint64 height = std::max<qint64>(qFromLittleEndian<quint16>(bytes.constData() + kGifScreenHeightAt),
                                               reader.size().height());
        if (formats::sizeProduct(width, height) > maxPixels())
            throwTooLarge(fileName, width, height);
    }
    if (formats::gifFirstFrameEndsEarly(bytes))
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " is cut short");
    // An animated GIF gives its first picture.
    const QImage image = reader.read();
    if (image.isNull())
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " is a damaged GIF file (" +
                                               str(reader.errorString()) + ")");
    return image;
}

// What a file is by its first bytes, whatever its name: "bmp", "gif", "png", or "".
std::string kindOf(const QByteArray& bytes)
{
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.startsWith("GIF8"))
        return "gif";
    if (bytes.startsWith(kPngSignature))
        return "png";
    return {};
}

QImage loadPicture(const QByteArray& bytes, const std::string& fileName, Pixels pixels)
{
    const std::string kind = kindOf(bytes);
    if (kind == "bmp")
        return decodedPicture(formats::decodeBmp(bytes, maxPixels()), fileName);
    if (kind == "gif") {
        const QImage decoded = loadGif(bytes, fileName);
        return pixels == Pixels::AsStored ? formats::gifPalettePixels(decoded) : asDrawn(decoded, fileName);
    }
    if (kind == "png") {
        const QImage stored = decodedPicture(formats::decodePng(bytes, maxPixels()), fileName);
        return pixels == Pixels::AsStored ? stored : asDrawn(stored, fileName);
    }
    throw RuntimeError(InvalidPicture,
                       "Invalid picture: " + quoted(fileName) + " is neither a BMP, a GIF nor a PNG file");
}

} // namespace

Picture::Picture() = default;

Picture::Picture(const QImage& image) : mImage(std::make_shared<const QImage>(image)) {}

bool Picture::isEmpty() const { return !mImage || mImage->isNull(); }

int Picture::pixelWidth() const { return isEmpty() ? 0 : mImage->width(); }

int Picture::pixelHeight() const { return isEmpty() ? 0 : mImage->height(); }

const QImage& Picture::image() const { return mImage ? *mImage : emptyImage(); }

const QImage& Picture::checkedImage(const std::string& fileName) const
{
    if (isEmpty())
        throw RuntimeError(OutOfMemory, fileName.empty() ? "Out of memory: there was no memory for a picture's pixels"
                                                         : "Out of memory: cannot write " + quoted(fileName) +
                                                               ": there was no memory for its pixels");
    return *mImage;
}

Picture Picture::part(int x, int y, int width, int height) const { return Picture(image().copy(x, y, width, height)); }

Picture LoadPicture(const std::string& fileName, Pixels pixels)
{
    const FileBytes file = readPictureFile(fileName);
    return Picture(loadPicture(file.bytes, fileName, pixels));
}

Picture LoadPicture(const std::string& fileName) { return LoadPicture(fileName, Pixels::AsDrawn); }

Picture DecodePicture(const QByteArray& bytes, const std::string& fileName, Pixels pixels)
{
    return Picture(loadPicture(bytes, fileName, pixels));
}

std::string PictureFileKind(const std::string& fileName)
{
    // As for LoadPicture: a pipe or a device is never read.
    const int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat status {};
    QByteArray head(kPngSignature.size(), '\0');
    const ssize_t got = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? read(fd, head.data(), size_t(head.size()))
                                                                            : -1;
    close(fd);
    return got > 0 ? kindOf(head.left(got)) : std::string();
}

QByteArray EncodePicture(const Picture& picture, const std::string& fileName, FileFormat format)
{
    const QImage& image = picture.checkedImage(fileName);
    const QByteArray bytes = format == FileFormat::Png ? formats::encodePng(image) : formats::encodeBmp(image);
    if (bytes.isEmpty())
        throw RuntimeError(PathFileAccessError, "Path/File access error: cannot write " + quoted(fileName) +
                                                    ": the picture is too large to encode as " +
                                                    (format == FileFormat::Png ? "PNG" : "BMP"));
    return bytes;
}

namespace {

std::string_view viewOf(const QByteArray& bytes) { return {bytes.constData(), size_t(bytes.size())}; }

} // namespace

void SavePicture(const Picture& picture, const std::string& fileName)
{
    ReplaceFile(fileName, viewOf(EncodePicture(picture, fileName, FileFormat::Bmp)));
}

bool SaveNewPicture(const Picture& picture, const std::string& fileName, FileFormat format)
{
    // Encoded whole first, so that no file is begun for a picture that cannot
    // be encoded. Not synced to disk one by one: Save all writes thousands of tiles.
    return WriteNewFile(fileName, viewOf(EncodePicture(picture, fileName, format)));
}

} // namespace platform
