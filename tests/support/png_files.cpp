#include "support/png_files.h"

#include <QtEndian>
#include <png.h>
#include <zlib.h>

#include <climits>
#include <vector>

namespace {

constexpr qsizetype kSignatureSize = 8;
constexpr qsizetype kLengthSize = 4;
constexpr qsizetype kTypeSize = 4;
constexpr qsizetype kCrcSize = 4;
constexpr int kDeep = 16;

int channelsOf(int colourType)
{
    switch (colourType) {
    case kPngRgb:
        return 3;
    case kPngGreyAlpha:
        return 2;
    case kPngRgba:
        return 4;
    default:
        return 1;
    }
}

// Sample c of pixel (x, y), of bits bits.
unsigned sampleAt(int x, int y, int c, int bits)
{
    return unsigned((x * 7919 + y * 104729 + c * 4099) * 2654435761u >> 7) & ((1u << bits) - 1);
}

void onWrite(png_structp png, png_bytep data, size_t length)
{
    auto* out = static_cast<std::vector<png_byte>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

bool write(png_structp png, png_infop info, const PngPattern& p, std::vector<png_byte>* out,
           const std::vector<png_bytep>& rows, png_colorp palette, png_bytep alpha, png_color_16p key)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, onWrite, nullptr);
    png_set_IHDR(png, info, png_uint_32(p.width), png_uint_32(p.height), p.bitDepth, p.colourType,
                 p.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (p.colourType == kPngPalette) {
        png_set_PLTE(png, info, palette, p.paletteSize);
        png_set_tRNS(png, info, alpha, p.paletteSize, nullptr);
    }
    if (key)
        png_set_tRNS(png, info, nullptr, 0, key);
    png_write_info(png, info);
    if (p.bitDepth < CHAR_BIT)
        png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (png_bytep row : rows)
            png_write_row(png, row);
    png_write_end(png, info);
    return true;
}

qsizetype chunkAt(const QByteArray& png, const char* type)
{
    for (qsizetype at = kSignatureSize; at + kLengthSize + kTypeSize <= png.size();) {
        if (png.mid(at + kLengthSize, kTypeSize) == type)
            return at;
        at += kLengthSize + kTypeSize + qFromBigEndian<quint32>(png.constData() + at) + kCrcSize;
    }
    return -1;
}

// A whole chunk: length, type, data and CRC.
QByteArray chunkOf(const char* type, const QByteArray& data)
{
    QByteArray chunk(kLengthSize, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += QByteArray(type) + data;
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + kLengthSize), uInt(kTypeSize + data.size()));
    QByteArray crcBytes(kCrcSize, '\0');
    qToBigEndian<quint32>(quint32(crc), crcBytes.data());
    return chunk + crcBytes;
}

} // namespace

QByteArray pngFile(const PngPattern& p)
{
    const int channels = channelsOf(p.colourType);
    // Samples of less than 8 bits one to a byte (libpng packs them), 16-bit ones big-endian.
    const int bytesPerSample = p.bitDepth == kDeep ? 2 : 1;
    const int sampleBits = p.colourType == kPngPalette ? 0 : p.bitDepth;
    std::vector<std::vector<png_byte>> pixels(size_t(p.height));
    for (int y = 0; y < p.height; ++y) {
        pixels[size_t(y)].resize(size_t(p.width * channels * bytesPerSample));
        png_bytep row = pixels[size_t(y)].data();
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < channels; ++c) {
                const unsigned v = sampleBits ? sampleAt(x, y, c, sampleBits) : unsigned(x + y * 3) % unsigned(p.paletteSize);
                png_bytep at = row + (x * channels + c) * bytesPerSample;
                if (bytesPerSample == 2)
                    png_save_uint_16(at, v);
                else
                    *at = png_byte(v);
            }
    }
    std::vector<png_bytep> rows;
    for (auto& row : pixels)
        rows.push_back(row.data());
    std::vector<png_color> palette;
    std::vector<png_byte> alpha;
    for (int i = 0; i < p.paletteSize; ++i) {
        palette.push_back({png_byte(i * 37), png_byte(255 - i * 11), png_byte(i * 5)});
        alpha.push_back(png_byte(i % 3 == 0 ? 255 : i * 53));
    }
    png_color_16 key{};
    if (p.transparentColour) {
        key.gray = png_uint_16(sampleAt(0, 0, 0, p.bitDepth));
        key.red = key.gray;
        key.green = png_uint_16(sampleAt(0, 0, 1, p.bitDepth));
        key.blue = png_uint_16(sampleAt(0, 0, 2, p.bitDepth));
    }
    std::vector<png_byte> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, nullptr);
    png_infop info = png_create_info_struct(png);
    const bool written =
        write(png, info, p, &out, rows, palette.data(), alpha.data(), p.transparentColour ? &key : nullptr);
    png_destroy_write_struct(&png, &info);
    return written ? QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size())) : QByteArray();
}

QByteArray chunkData(const QByteArray& png, const char* type)
{
    const qsizetype at = chunkAt(png, type);
    return at < 0 ? QByteArray() : png.mid(at + kLengthSize + kTypeSize, qFromBigEndian<quint32>(png.constData() + at));
}

QByteArray withChunkData(const QByteArray& png, const char* type, const QByteArray& data)
{
    const qsizetype at = chunkAt(png, type);
    if (at < 0)
        return withChunkBefore(png, "IDAT", type, data);
    const qsizetype oldLength = qFromBigEndian<quint32>(png.constData() + at);
    return png.left(at) + chunkOf(type, data) + png.mid(at + kLengthSize + kTypeSize + oldLength + kCrcSize);
}

QByteArray withChunkBefore(const QByteArray& png, const char* before, const char* type, const QByteArray& data)
{
    const qsizetype at = chunkAt(png, before);
    return png.left(at) + chunkOf(type, data) + png.mid(at);
}

QByteArray withBadCrc(const QByteArray& png, const char* type)
{
    const qsizetype at = chunkAt(png, type);
    QByteArray damaged = png;
    damaged[at + kLengthSize + kTypeSize + qFromBigEndian<quint32>(png.constData() + at)] ^= 0x01;
    return damaged;
}

QByteArray withSize(const QByteArray& png, quint32 width, quint32 height)
{
    QByteArray header = chunkData(png, "IHDR");
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + sizeof(quint32));
    return withChunkData(png, "IHDR", header);
}
