#include "formats/png.h"

#include "formats/large_memory.h"
#include "formats/sizes.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// libpng reports errors by longjmp() out of its own code. The functions that
// call setjmp() below hold nothing with a destructor, and no C++ exception
// ever passes through libpng: the C++ objects (the picture, the scratch rows)
// live in the callers, which libpng never jumps over.

namespace formats {

namespace {

// The pixel layouts below are those of Qt's formats on a little-endian machine.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "PNG pixels are laid out for a little-endian machine");

constexpr size_t kSignatureSize = 8;
constexpr int kMaxPaletteBits = 8;
constexpr int kPaletteSize = 1 << kMaxPaletteBits;
constexpr QRgb kBlack = 0xFF000000;
constexpr quint8 kOpaque = 0xFF;
constexpr int kDeep = 16;
constexpr int kMessageSize = 200;
// Sizes are ours to limit (maxPixels); libpng's own limits go up to what the format allows.
constexpr png_uint_32 kLargestSide = PNG_UINT_31_MAX;
// libpng turns a chunk longer than its limit down as soon as it reads the
// chunk's length, even one it is to skip, and editors embed text, colour
// profiles and Exif of megabytes. Nothing we keep needs that limit: libpng
// holds the palette and its transparency in arrays of their largest size (a
// longer one is damage it reports), the image data streams through, and every
// other chunk is skipped unread. So any length the format allows is read past.
constexpr png_alloc_size_t kLongestChunk = PNG_UINT_31_MAX;

// ---------------------------------------------------------------- reading

// What the reading functions share with libpng's callbacks: plain data only.
struct Reader {
    const png_byte* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    bool ranOut = false;
    char error[kMessageSize] = {};
    char warning[kMessageSize] = {};
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    bool transparentColour = false;
    std::array<QRgb, kPaletteSize> colours{};
};

void copyMessage(char (&to)[kMessageSize], png_const_charp message)
{
    std::snprintf(to, kMessageSize, "%s", message ? message : "");
}

void onReadError(png_structp png, png_const_charp message)
{
    copyMessage(static_cast<Reader*>(png_get_error_ptr(png))->error, message);
    png_longjmp(png, 1);
}

void onReadWarning(png_structp png, png_const_charp message)
{
    auto* reader = static_cast<Reader*>(png_get_error_ptr(png));
    if (reader->warning[0] == '\0')
        copyMessage(reader->warning, message);
}

void onRead(png_structp png, png_bytep out, size_t length)
{
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->at) {
        reader->ranOut = true;
        png_error(png, "the file ends early");
    }
    std::memcpy(out, reader->data + reader->at, length);
    reader->at += length;
}

// The header and every chunk up to the image data, and the palette. False when libpng gave up.
bool readHeader(Reader& r)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    png_set_read_fn(r.png, &r, onRead);
    png_set_user_limits(r.png, kLargestSide, kLargestSide);
    png_set_chunk_malloc_max(r.png, kLongestChunk);
    // Colour spaces, text and the like change no pixel of ours: skipped unread,
    // nothing in them inflated. A bad CRC in one of them is libpng's warning,
    // not an error: the chunk is dropped and the pixels stand.
    png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // What libpng would let pass with a warning (a tRNS chunk that makes no
    // sense, data after the picture's end) is damage all the same.
    png_set_benign_errors(r.png, 0);
    png_read_info(r.png, r.info);
    int interlace = 0;
    png_get_IHDR(r.png, r.info, &r.width, &r.height, &r.bitDepth, &r.colourType, &interlace, nullptr, nullptr);
    r.transparentColour = r.colourType != PNG_COLOR_TYPE_PALETTE && png_get_valid(r.png, r.info, PNG_INFO_tRNS);
    r.colours.fill(kBlack);
    png_colorp palette = nullptr;
    int count = 0;
    png_bytep alpha = nullptr;
    int alphaCount = 0;
    if (r.colourType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(r.png, r.info, &palette, &count)) {
        if (!png_get_tRNS(r.png, r.info, &alpha, &alphaCount, nullptr))
            alphaCount = 0;
        for (int i = 0; i < std::min(count, kPaletteSize); ++i)
            r.colours[size_t(i)] =
                qRgba(palette[i].red, palette[i].green, palette[i].blue, i < alphaCount ? alpha[i] : kOpaque);
    }
    return true;
}

QImage::Format storedFormatOf(const Reader& r)
{
    const bool deep = r.bitDepth == kDeep;
    switch (r.colourType) {
    case PNG_COLOR_TYPE_PALETTE:
        return QImage::Format_Indexed8;
    case PNG_COLOR_TYPE_GRAY:
        if (!r.transparentColour)
            return deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
        break;
    case PNG_COLOR_TYPE_RGB:
        if (!r.transparentColour)
            return deep ? QImage::Format_RGBX64 : QImage::Format_RGB32;
        break;
    default:
        break;
    }
    return deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32;
}

// Asks libpng for the rows of the picture's format: one byte a palette index,
// grey scaled to 8 bits, Qt's byte order for 32-bit pixels (B, G, R, A) and
// little-endian 16-bit samples (R, G, B, A) for 64-bit ones.
void askForFormat(const Reader& r, QImage::Format format)
{
    const bool grey = !(r.colourType & PNG_COLOR_MASK_COLOR);
    const bool fourChannels = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                              format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64;
    if (r.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(r.png);
        return;
    }
    if (grey && r.bitDepth < CHAR_BIT)
        png_set_expand_gray_1_2_4_to_8(r.png);
    if (r.transparentColour)
        png_set_tRNS_to_alpha(r.png);
    if (grey && fourChannels)
        png_set_gray_to_rgb(r.png);
    if (r.bitDepth == kDeep)
        png_set_swap(r.png);
    else if (fourChannels)
        png_set_bgr(r.png);
    if (format == QImage::Format_RGB32 || format == QImage::Format_RGBX64)
        png_set_filler(r.png, 0xFFFF, PNG_FILLER_AFTER);
}

// Every row of every pass into the picture's rows. False when libpng gave up.
bool readRows(Reader& r, QImage::Format format, uchar* rows, qsizetype bytesPerLine, size_t rowBytes)
{
    if (setjmp(png_jmpbuf(r.png)))
        return false;
    askForFormat(r, format);
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != rowBytes)
        png_error(r.png, "rows of an unexpected size");
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < r.height; ++y)
            png_read_row(r.png, rows + qsizetype(y) * bytesPerLine, nullptr);
    return true;
}

std::string causeOf(const Reader& r)
{
    if (r.ranOut)
        return "is cut short";
    std::string what = r.error;
    // A header libpng finds wrong is told in the warning before the error.
    if (what == "Invalid IHDR data" && r.warning[0] != '\0')
        what = r.warning;
    // libpng names the chunk first ("IDAT: CRC error"); the cause reads better with it last.
    constexpr size_t kChunkName = 4;
    if (what.size() > kChunkName + 2 && what.compare(kChunkName, 2, ": ") == 0)
        what = what.substr(kChunkName + 2) + " in " + what.substr(0, kChunkName);
    return "is a damaged PNG file (" + what + ")";
}

// libpng's own buffers, a row or two, can fail to come even though the picture
// did; that is no damage of the file.
DecodedPng refused(const Reader& r)
{
    return std::strstr(r.error, "memory") ? DecodedPng::tooLarge(r.width, r.height)
                                          : DecodedPng::invalid(causeOf(r));
}

struct ReadStructs {
    Reader reader;
    ReadStructs() { reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, onReadError, onReadWarning); }
    ~ReadStructs() { png_destroy_read_struct(&reader.png, &reader.info, nullptr); }
};

// ---------------------------------------------------------------- writing

// The file as it grows, in memory of its own: nothing that can throw runs inside libpng.
struct Writer {
    char* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

void onWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void onWriteWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep bytes, size_t length)
{
    auto* w = static_cast<Writer*>(png_get_io_ptr(png));
    if (length > w->capacity - w->size) {
        const size_t capacity = std::max(w->capacity * 2, w->size + length);
        char* grown = static_cast<char*>(std::realloc(w->data, capacity));
        if (!grown)
            png_error(png, "out of memory");
        w->data = grown;
        w->capacity = capacity;
    }
    std::memcpy(w->data + w->size, bytes, length);
    w->size += length;
}

struct WriteStructs {
    Writer writer;
    WriteStructs()
    {
        writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &writer, onWriteError, onWriteWarning);
    }
    ~WriteStructs()
    {
        png_destroy_write_struct(&writer.png, &writer.info);
        std::free(writer.data);
    }
};

// How a picture goes into the file.
struct Layout {
    QImage image;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = CHAR_BIT;
    // Palette: its entries, the count the pixels use and how many carry alpha.
    std::array<png_color, kPaletteSize> palette{};
    std::array<png_byte, kPaletteSize> alpha{};
    int paletteCount = 0;
    int alphaCount = 0;
    // Grey with alpha is written from rows made for it, the rest from the picture's own.
    bool greyWithAlpha = false;
};

// The picture in one of the formats the file can take as they are.
QImage inWritableFormat(const QImage& picture)
{
    switch (picture.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_ARGB32:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return picture;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return picture.convertToFormat(QImage::Format_Indexed8);
    default:
        break;
    }
    const bool alpha = picture.hasAlphaChannel();
    if (picture.pixelFormat().redSize() > CHAR_BIT)
        return picture.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    return picture.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

template <typename Pixel, typename IsGrey>
bool everyPixel(const QImage& image, IsGrey isGrey)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const Pixel*>(image.constScanLine(y));
        if (!std::all_of(row, row + image.width(), isGrey))
            return false;
    }
    return true;
}

bool isGrey(const QImage& image)
{
    if (image.format() == QImage::Format_ARGB32)
        return everyPixel<QRgb>(image, [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); });
    return everyPixel<QRgba64>(
        image, [](QRgba64 c) { return c.red() == c.green() && c.green() == c.blue(); });
}

// The fewest bits a palette index needs.
int indexBitsFor(int count)
{
    int bits = 1;
    while (bits < kMaxPaletteBits && count > 1 << bits)
        bits *= 2;
    return bits;
}

// The palette of the entries the pixels use; an index past the colour table is
// transparent black, as Qt gives it.
void takePalette(Layout& l)
{
    int highest = 0;
    for (int y = 0; y < l.image.height(); ++y) {
        const uchar* row = l.image.constScanLine(y);
        highest = std::max<int>(highest, *std::max_element(row, row + l.image.width()));
    }
    const QList<QRgb> table = l.image.colorTable();
    l.paletteCount = highest + 1;
    for (int i = 0; i < l.paletteCount; ++i) {
        const QRgb c = i < table.size() ? table[i] : 0;
        l.palette[size_t(i)] = {png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))};
        l.alpha[size_t(i)] = png_byte(qAlpha(c));
        if (qAlpha(c) != kOpaque)
            l.alphaCount = i + 1;
    }
    l.colourType = PNG_COLOR_TYPE_PALETTE;
    l.bitDepth = indexBitsFor(l.paletteCount);
}

Layout layoutOf(const QImage& picture)
{
    Layout l;
    l.image = inWritableFormat(picture);
    switch (l.image.format()) {
    case QImage::Format_Indexed8:
        takePalette(l);
        break;
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        l.colourType = PNG_COLOR_TYPE_GRAY;
        l.bitDepth = l.image.depth();
        break;
    case QImage::Format_ARGB32:
    case QImage::Format_RGBA64:
        l.greyWithAlpha = isGrey(l.image);
        l.colourType = l.greyWithAlpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_RGB_ALPHA;
        l.bitDepth = l.image.format() == QImage::Format_RGBA64 ? kDeep : CHAR_BIT;
        break;
    default:
        l.colourType = PNG_COLOR_TYPE_RGB;
        l.bitDepth = l.image.format() == QImage::Format_RGBX64 ? kDeep : CHAR_BIT;
        break;
    }
    return l;
}

// One row of grey with alpha, each sample big-endian as the file holds it.
void greyWithAlphaRow(const QImage& image, int y, png_bytep out)
{
    if (image.format() == QImage::Format_ARGB32) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            out[2 * x] = png_byte(qGreen(in[x]));
            out[2 * x + 1] = png_byte(qAlpha(in[x]));
        }
        return;
    }
    const auto* in = reinterpret_cast<const QRgba64*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
        png_save_uint_16(out + 4 * x, in[x].green());
        png_save_uint_16(out + 4 * x + 2, in[x].alpha());
    }
}

// Measured on 65,536 RGBA tiles of 16x16 cut from sprite sheets: rows left
// unfiltered and deflate at level 1 with a small hash table (little memory to
// set up and clear per tile) encode the sheet's tiles in 0.3 s less than at
// level 3 (a seventh of the whole cut), into files 4 per cent larger, which
// still take one block each on disk. The filters cost more than they save on
// rows of 16 pixels (Sub or Up: a quarter larger and slower), and so does
// run-length coding (three quarters larger, no faster). Level 6 gives files
// 10 to 15 per cent smaller in twice the time.
constexpr int kCompressionLevel = 1;
constexpr int kMemLevel = 4;

void describe(const Writer& w, const Layout& l)
{
    png_set_IHDR(w.png, w.info, png_uint_32(l.image.width()), png_uint_32(l.image.height()), l.bitDepth,
                 l.colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (l.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(w.png, w.info, l.palette.data(), l.paletteCount);
        if (l.alphaCount > 0)
            png_set_tRNS(w.png, w.info, l.alpha.data(), l.alphaCount, nullptr);
    }
    png_set_compression_level(w.png, kCompressionLevel);
    png_set_compression_mem_level(w.png, kMemLevel);
    png_set_filter(w.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
}

// The rows go out as the picture holds them, libpng packing palette indexes,
// dropping the filler of 32-bit and 64-bit pixels and putting the samples in
// the file's order. False when libpng gave up.
bool writeRows(Writer& w, const Layout& l, png_bytep scratch)
{
    if (setjmp(png_jmpbuf(w.png)))
        return false;
    png_set_write_fn(w.png, &w, onWrite, nullptr);
    describe(w, l);
    png_write_info(w.png, w.info);
    const QImage::Format format = l.image.format();
    if (l.colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_packing(w.png);
    if (l.bitDepth == kDeep && !l.greyWithAlpha)
        png_set_swap(w.png);
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32)
        png_set_bgr(w.png);
    if (format == QImage::Format_RGB32 || format == QImage::Format_RGBX64)
        png_set_filler(w.png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < l.image.height(); ++y) {
        if (l.greyWithAlpha) {
            greyWithAlphaRow(l.image, y, scratch);
            png_write_row(w.png, scratch);
        } else {
            png_write_row(w.png, l.image.constScanLine(y));
        }
    }
    png_write_end(w.png, nullptr);
    return true;
}

} // namespace

DecodedPng decodePng(const QByteArray& file, qint64 maxPixels)
{
    if (size_t(file.size()) < kSignatureSize ||
        png_sig_cmp(reinterpret_cast<png_const_bytep>(file.constData()), 0, kSignatureSize) != 0)
        return DecodedPng::invalid("is not a PNG file");
    ReadStructs structs;
    Reader& r = structs.reader;
    if (r.png)
        r.info = png_create_info_struct(r.png);
    if (!r.png || !r.info)
        return DecodedPng::tooLarge(0, 0);
    r.data = reinterpret_cast<const png_byte*>(file.constData());
    r.size = size_t(file.size());
    if (!readHeader(r))
        return refused(r);
    if (sizeProduct(r.width, r.height) > maxPixels)
        return DecodedPng::tooLarge(r.width, r.height);
    const QImage::Format format = storedFormatOf(r);
    DecodedPng result;
    result.image = newPicture(int(r.width), int(r.height), format);
    if (result.image.isNull())
        return DecodedPng::tooLarge(r.width, r.height);
    // The padding at the end of each row is no pixel, but is set all the same.
    const size_t rowBytes = size_t(sizeProduct(r.width, result.image.depth())) / CHAR_BIT;
    uchar* rows = result.image.bits();
    const qsizetype bytesPerLine = result.image.bytesPerLine();
    for (png_uint_32 y = 0; y < r.height; ++y)
        std::memset(rows + qsizetype(y) * bytesPerLine + rowBytes, 0, size_t(bytesPerLine) - rowBytes);
    if (!readRows(r, format, rows, bytesPerLine, rowBytes))
        return refused(r);
    if (format == QImage::Format_Indexed8)
        result.image.setColorTable(QList<QRgb>(r.colours.begin(), r.colours.begin() + (1 << r.bitDepth)));
    result.outcome = DecodedPng::Picture;
    return result;
}

QByteArray encodePng(const QImage& picture)
{
    if (picture.isNull())
        return {};
    const Layout layout = layoutOf(picture);
    WriteStructs structs;
    Writer& w = structs.writer;
    if (w.png)
        w.info = png_create_info_struct(w.png);
    if (!w.png || !w.info)
        return {};
    std::vector<png_byte> scratch(layout.greyWithAlpha ? size_t(layout.image.bytesPerLine()) : 0);
    if (!writeRows(w, layout, scratch.data()))
        return {};
    return QByteArray(w.data, qsizetype(w.size));
}

} // namespace formats
