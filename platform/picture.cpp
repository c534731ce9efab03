#include "platform/picture.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/qt_support.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdlib>

namespace platform {

namespace {

const QImage& emptyImage()
{
    static const QImage empty;
    return empty;
}

// What LoadPicture reads of a file before decoding it: a BMP's file header and
// info header (the old OS/2 "core" info header is shorter), a GIF's screen size.
constexpr int kBmpFileHeaderSize = 14;
constexpr int kBmpCoreHeaderSize = 12;
constexpr int kBmpInfoHeaderSize = 40;
constexpr int kHeadSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;
constexpr int kBmpDataOffsetAt = 10;
constexpr int kBmpInfoSizeAt = kBmpFileHeaderSize;
struct BmpFieldOffsets {
    int width;
    int height;
    int planes;
    int bitsPerPixel;
};
constexpr BmpFieldOffsets kBmpCoreFields{18, 20, 22, 24};
constexpr BmpFieldOffsets kBmpInfoFields{18, 22, 26, 28};
constexpr int kBmpCompressionAt = 30;
constexpr std::array<qint64, 6> kBmpBitsPerPixel{1, 4, 8, 16, 24, 32};
// Compressions whose rows are stored as they are.
constexpr qint64 kBmpRgb = 0;
constexpr qint64 kBmpBitFields = 3;
// BMP rows are padded to whole 32-bit words.
constexpr qint64 kRowAlignBits = 32;
constexpr qint64 kRowAlignBytes = 4;
constexpr int kGifScreenWidthAt = 6;
constexpr int kGifScreenHeightAt = 8;
constexpr int kGifHeadSize = 10;
// However deep the file's colours, the picture is held and drawn as 32-bit pixels.
constexpr qint64 kBytesPerHeldPixel = 4;
constexpr qint64 kBytesPerMegabyte = 1024 * 1024;
// What a picture's pixels are before the decoder sets them.
constexpr int kMaxPaletteDepth = 8;
constexpr uint kFirstPaletteIndex = 0;
constexpr uint kOpaqueBlack = 0xFF000000;

template <class T>
qint64 little(const QByteArray& head, int at)
{
    return qFromLittleEndian<T>(head.constData() + at);
}

struct Header {
    // "bmp" or "gif", told apart by their signatures; empty for anything else.
    QByteArray format;
    // The size the decoder sets aside, as the header gives it; 0 when not known.
    qint64 width = 0;
    qint64 height = 0;
    // An uncompressed BMP's rows, rowBytes each, start at dataOffset; rowBytes is 0 otherwise.
    qint64 dataOffset = 0;
    qint64 rowBytes = 0;
    // Where a BMP's headers end, as its info header gives its own size.
    qint64 headersEnd = 0;
};

// The size is taken only from a header that reads as one: garbage after "BM" is
// left for the decoder to turn down.
Header bmpHeader(const QByteArray& head)
{
    Header header{"bmp"};
    if (head.size() < kBmpFileHeaderSize + kBmpCoreHeaderSize)
        return header;
    header.headersEnd = kBmpFileHeaderSize + little<quint32>(head, kBmpInfoSizeAt);
    const bool core = little<quint32>(head, kBmpInfoSizeAt) == kBmpCoreHeaderSize;
    if (!core && head.size() < kHeadSize)
        return header;
    const BmpFieldOffsets& at = core ? kBmpCoreFields : kBmpInfoFields;
    const qint64 bits = little<quint16>(head, at.bitsPerPixel);
    if (little<quint16>(head, at.planes) != 1 ||
        std::find(kBmpBitsPerPixel.begin(), kBmpBitsPerPixel.end(), bits) == kBmpBitsPerPixel.end())
        return header;
    header.width = core ? little<qint16>(head, at.width) : little<qint32>(head, at.width);
    // A negative height means the rows run top down.
    header.height = std::abs(core ? little<qint16>(head, at.height) : little<qint32>(head, at.height));
    const qint64 compression = core ? kBmpRgb : little<quint32>(head, kBmpCompressionAt);
    if ((compression == kBmpRgb || compression == kBmpBitFields) && header.width > 0) {
        header.dataOffset = little<quint32>(head, kBmpDataOffsetAt);
        header.rowBytes = (header.width * bits + kRowAlignBits - 1) / kRowAlignBits * kRowAlignBytes;
    }
    return header;
}

// Qt's GIF decoder sets aside the whole logical screen, however small the first picture.
Header gifHeader(const QByteArray& head)
{
    Header header{"gif"};
    if (head.size() >= kGifHeadSize) {
        header.width = little<quint16>(head, kGifScreenWidthAt);
        header.height = little<quint16>(head, kGifScreenHeightAt);
    }
    return header;
}

Header headerOf(const QByteArray& head)
{
    if (head.startsWith("BM"))
        return bmpHeader(head);
    if (head.startsWith("GIF8"))
        return gifHeader(head);
    return {};
}

// Qt fills what a short BMP lacks (header fields, rows) with whatever memory
// held, so such a file is turned down rather than shown.
bool isCutShort(const Header& header, qint64 fileSize, qint64 height)
{
    if (fileSize < header.headersEnd)
        return true;
    return header.rowBytes > 0 &&
           (fileSize < header.dataOffset || height > (fileSize - header.dataOffset) / header.rowBytes);
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
    // Opening a pipe or a device could wait for ever.
    if (!info.isFile())
        throw RuntimeError(PathFileAccessError, "Path/File access error: " + quoted(fileName) + " is not a file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(PathFileAccessError,
                           "Path/File access error: cannot read " + quoted(fileName) + ": " + str(file.errorString()));

    // Only the BMP and GIF decoders ever see a user's file.
    const Header header = headerOf(file.peek(kHeadSize));
    if (header.format.isEmpty())
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " is neither a BMP nor a GIF file");
    QImageReader reader(&file, header.format);
    reader.setAutoDetectImageFormat(false);

    // Checked before decoding, against the same limit the decoders keep (a GIF
    // without a screen size takes its first picture's), so that a picture too
    // large to hold is told apart from a damaged one.
    const QSize first = reader.size();
    const qint64 width = std::max<qint64>(header.width, first.width());
    const qint64 height = std::max<qint64>(header.height, first.height());
    const qint64 limitMegabytes = QImageReader::allocationLimit();
    if (limitMegabytes > 0 && width * height > limitMegabytes * kBytesPerMegabyte / kBytesPerHeldPixel)
        throw RuntimeError(OutOfMemory, "Out of memory: the picture " + quoted(fileName) + " is " +
                                            std::to_string(width) + "x" + std::to_string(height) +
                                            " pixels, more than the " + std::to_string(limitMegabytes) +
                                            " MB a picture may take");
    if (isCutShort(header, file.size(), height))
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " is cut short");

    // Qt's BMP decoder leaves the pixels that the file never sets (skipped or
    // left out by run-length data) as whatever memory held. It decodes into a
    // picture of the right size and format when given one, so a cleared one
    // makes them the first palette colour, or opaque black. (A GIF's format is
    // not known before decoding; Qt clears its pictures itself.)
    QImage image(reader.size(), reader.imageFormat());
    image.fill(image.depth() > kMaxPaletteDepth ? kOpaqueBlack : kFirstPaletteIndex);
    // An animated GIF gives its first picture.
    if (!reader.read(&image))
        throw RuntimeError(InvalidPicture, "Invalid picture: " + quoted(fileName) + " is a damaged " +
                                               str(QString(header.format).toUpper()) + " file (" +
                                               str(reader.errorString()) + ")");
    return Picture(image);
}

namespace {

// The picture as the bytes of a BMP file: Qt writes 32-bit pixels as 24-bit
// ones, whatever the picture held. Encoded whole before anything is written,
// so that no file is begun for a picture that cannot be encoded.
QByteArray bmpOf(const Picture& picture, const std::string& fileName)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(picture.image().convertToFormat(QImage::Format_RGB32)))
        throw RuntimeError(PathFileAccessError, "Cannot write " + quoted(fileName) + ": " + str(writer.errorString()));
    return bytes;
}

std::string_view viewOf(const QByteArray& bytes) { return {bytes.constData(), size_t(bytes.size())}; }

} // namespace

void SavePicture(const Picture& picture, const std::string& fileName)
{
    ReplaceFile(fileName, viewOf(bmpOf(picture, fileName)));
}

bool SaveNewPicture(const Picture& picture, const std::string& fileName)
{
    // Not synced to disk one by one: Save all writes thousands of tiles.
    return WriteNewFile(fileName, viewOf(bmpOf(picture, fileName)));
}

} // namespace platform
