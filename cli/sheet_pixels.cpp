#include "cli/sheet_pixels.h"

#include <QRgba64>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>

namespace cli {

namespace {

constexpr int kPaletteSize = 256;
constexpr int kOpaque = 255;
constexpr quint16 kOpaqueDeep = 0xFFFF;
// An 8-bit sample v is held in 16 bits as v * 257; any other 16-bit sample needs 16 bits.
constexpr int kEightInSixteen = 257;

// What a picture's pixels ask of the kind of pixels that holds them.
struct Needs {
    bool colour = false; // a pixel that is not grey
    bool alpha = false;  // a pixel that is not opaque
    bool deep = false;   // a sample that 8 bits cannot hold
    Needs operator|(const Needs& o) const { return {colour || o.colour, alpha || o.alpha, deep || o.deep}; }
    bool within(const Needs& held) const
    {
        return (held.colour || !colour) && (held.alpha || !alpha) && (held.deep || !deep);
    }
};

bool isDeep(QImage::Format format)
{
    return format == QImage::Format_Grayscale16 || format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64;
}

// What each kind of pixels the sheet is kept in can hold, a palette's 256
// entries aside.
Needs heldBy(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
        return {};
    case QImage::Format_Grayscale16:
        return {false, false, true};
    case QImage::Format_RGB32:
        return {true, false, false};
    case QImage::Format_RGBX64:
        return {true, false, true};
    case QImage::Format_RGBA64:
        return {true, true, true};
    default:
        return {true, true, false};
    }
}

// The narrowest of the decoders' kinds that holds what is needed.
QImage::Format formatFor(const Needs& needs)
{
    if (!needs.colour && !needs.alpha)
        return needs.deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    if (needs.deep)
        return needs.alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
    return needs.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
}

// The kinds of pixels the decoders give; anything else becomes the nearest of them.
QImage normalised(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return image;
    default:
        break;
    }
    const bool alpha = image.hasAlphaChannel();
    if (image.pixelFormat().redSize() > CHAR_BIT)
        return image.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    return image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

std::bitset<kPaletteSize> usedIndexes(const QImage& indexed)
{
    std::bitset<kPaletteSize> used;
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar* row = indexed.constScanLine(y);
        for (int x = 0; x < indexed.width(); ++x)
            used.set(row[x]);
    }
    return used;
}

// An index past the colour table is transparent black, as Qt and our encoder take it.
QRgb colourAt(const QList<QRgb>& table, int index) { return index < table.size() ? table[index] : 0; }

Needs needsOfColour(QRgb c) { return {qRed(c) != qGreen(c) || qGreen(c) != qBlue(c), qAlpha(c) != kOpaque, false}; }

Needs needsOf(const QImage& image)
{
    Needs needs;
    switch (image.format()) {
    case QImage::Format_Grayscale8:
        return needs;
    case QImage::Format_Indexed8: {
        const std::bitset<kPaletteSize> used = usedIndexes(image);
        for (int i = 0; i < kPaletteSize; ++i)
            if (used[size_t(i)])
                needs = needs | needsOfColour(colourAt(image.colorTable(), i));
        return needs;
    }
    default:
        break;
    }
    if (!isDeep(image.format())) {
        const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < pixels.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            for (int x = 0; x < pixels.width(); ++x)
                needs = needs | needsOfColour(row[x]);
        }
        return needs;
    }
    const QImage pixels = image.convertToFormat(QImage::Format_RGBA64);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgba64*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            const QRgba64 c = row[x];
            needs.colour |= c.red() != c.green() || c.green() != c.blue();
            needs.alpha |= c.alpha() != kOpaqueDeep;
            for (const quint16 sample : {c.red(), c.green(), c.blue(), c.alpha()})
                needs.deep |= sample % kEightInSixteen != 0;
        }
    }
    return needs;
}

// The image in another kind of pixels that holds all of them. Qt's own way
// to grey weighs the channels for the eye; these pixels are grey already, so
// any channel is the grey itself.
QImage inFormat(const QImage& image, QImage::Format to)
{
    if (image.format() == to)
        return image;
    if (to != QImage::Format_Grayscale8 && to != QImage::Format_Grayscale16) {
        const QImage converted = image.convertToFormat(to);
        if (converted.isNull())
            throw std::bad_alloc();
        return converted;
    }
    const bool deep = to == QImage::Format_Grayscale16;
    const QImage from = image.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    QImage grey(image.size(), to);
    if (from.isNull() || grey.isNull())
        throw std::bad_alloc();
    for (int y = 0; y < grey.height(); ++y) {
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            if (deep)
                reinterpret_cast<quint16*>(out)[x] = reinterpret_cast<const QRgba64*>(from.constScanLine(y))[x].red();
            else
                out[x] = uchar(qRed(reinterpret_cast<const QRgb*>(from.constScanLine(y))[x]));
        }
    }
    return grey;
}

} // namespace

int SheetPixels::Palette::take(int i, QRgb c)
{
    colours[i] = c;
    taken.set(size_t(i));
    first.emplace(c, i);
    return i;
}

int SheetPixels::Palette::indexFor(int i, QRgb c)
{
    if (!taken[size_t(i)])
        return take(i, c);
    return colours[i] == c ? i : indexOf(c);
}

int SheetPixels::Palette::indexOf(QRgb c)
{
    if (const auto at = first.find(c); at != first.end())
        return at->second;
    for (int i = 0; i < kPaletteSize; ++i)
        if (!taken[size_t(i)])
            return take(i, c);
    return -1;
}

SheetPixels::SheetPixels(const QImage& sheet) : mWidth(sheet.width()), mHeight(sheet.height())
{
    mImage = normalised(sheet);
    if (mImage.isNull())
        throw std::bad_alloc();
    if (mImage.format() != QImage::Format_Indexed8)
        return;
    const QList<QRgb> table = mImage.colorTable();
    mPalette.colours = QList<QRgb>(kPaletteSize, 0);
    // Only the entries its pixels use are the sheet's: the rest are free for new colours.
    const std::bitset<kPaletteSize> used = usedIndexes(mImage);
    for (int i = 0; i < kPaletteSize; ++i)
        if (used[size_t(i)])
            mPalette.take(i, colourAt(table, i));
}

SheetPixels::SheetPixels(int width, int height)
    : mWidth(width), mHeight(height), mUncovered(size_t(width) * size_t(height), 1)
{
}

void SheetPixels::begin(QImage::Format format)
{
    mImage = QImage(mWidth, mHeight, format);
    if (mImage.isNull())
        throw std::bad_alloc();
    mImage.fill(0);
    if (format == QImage::Format_Indexed8)
        mPalette.colours = QList<QRgb>(kPaletteSize, 0);
}

void SheetPixels::place(const QImage& given, int x, int y, bool overOnly, std::optional<QRgb> behind)
{
    const QRect inside = QRect(x, y, given.width(), given.height()).intersected(QRect(0, 0, mWidth, mHeight));
    if (inside.isEmpty())
        return;
    const QImage tile =
        normalised(inside.size() == given.size() ? given : given.copy(inside.translated(-x, -y)));
    x = inside.x();
    y = inside.y();
    if (tile.isNull())
        throw std::bad_alloc();
    if (mImage.isNull())
        begin(tile.format());
    if (mImage.format() == QImage::Format_Indexed8) {
        const QImage indexes = asIndexes(tile);
        if (!indexes.isNull()) {
            copy(indexes, tile, x, y, overOnly, behind);
            return;
        }
    }
    widenFor(tile);
    copy(inFormat(tile, mImage.format()), tile, x, y, overOnly, behind);
}

void SheetPixels::widenFor(const QImage& tile)
{
    const QImage::Format format = mImage.format();
    if (tile.format() == format && format != QImage::Format_Indexed8)
        return;
    Needs held = heldBy(format);
    if (format == QImage::Format_Indexed8) {
        held = {};
        for (int i = 0; i < kPaletteSize; ++i)
            if (mPalette.taken[size_t(i)])
                held = held | needsOfColour(mPalette.colours[i]);
    }
    const Needs needs = needsOf(tile);
    if (format != QImage::Format_Indexed8 && needs.within(held))
        return;
    if (format == QImage::Format_Indexed8)
        mImage.setColorTable(mPalette.colours);
    mImage = inFormat(mImage, formatFor(held | needs));
}

QImage SheetPixels::asIndexes(const QImage& tile)
{
    QImage indexes(tile.size(), QImage::Format_Indexed8);
    if (indexes.isNull())
        throw std::bad_alloc();
    if (tile.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = tile.colorTable();
        const std::bitset<kPaletteSize> used = usedIndexes(tile);
        std::array<uchar, kPaletteSize> entry{};
        bool same = true;
        for (int i = 0; i < kPaletteSize; ++i) {
            if (!used[size_t(i)])
                continue;
            const int index = mPalette.indexFor(i, colourAt(table, i));
            if (index < 0)
                return {};
            entry[size_t(i)] = uchar(index);
            same &= index == i;
        }
        // The usual case: the tile's palette is the sheet's.
        if (same)
            return tile;
        for (int y = 0; y < tile.height(); ++y) {
            const uchar* in = tile.constScanLine(y);
            uchar* out = indexes.scanLine(y);
            for (int x = 0; x < tile.width(); ++x)
                out[x] = entry[in[x]];
        }
        return indexes;
    }
    if (isDeep(tile.format()) && needsOf(tile).deep)
        return {};
    // A tile saved in full colour (a BMP tile, or one an editor wrote so):
    // its colours looked up one by one.
    const QImage colours = tile.convertToFormat(QImage::Format_ARGB32);
    if (colours.isNull())
        throw std::bad_alloc();
    QRgb last = 0;
    int lastIndex = -1;
    for (int y = 0; y < colours.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(colours.constScanLine(y));
        uchar* out = indexes.scanLine(y);
        for (int x = 0; x < colours.width(); ++x) {
            if (lastIndex < 0 || in[x] != last) {
                last = in[x];
                lastIndex = mPalette.indexOf(last);
                if (lastIndex < 0)
                    return {};
            }
            out[x] = uchar(lastIndex);
        }
    }
    return indexes;
}

void SheetPixels::copy(const QImage& pixels, const QImage& tile, int x, int y, bool overOnly,
                       std::optional<QRgb> behind)
{
    const QRgba64 skipped = QRgba64::fromArgb32(behind.value_or(0));
    const size_t bytes = size_t(mImage.depth()) / CHAR_BIT;
    const qsizetype stride = mImage.bytesPerLine();
    uchar* base = mImage.bits();
    // Over: the tile's own alpha says which pixels are its own.
    const QImage alpha = overOnly ? tile.convertToFormat(QImage::Format_RGBA64) : QImage();
    for (int row = 0; row < pixels.height(); ++row) {
        uchar* out = base + (y + row) * stride + size_t(x) * bytes;
        const uchar* in = pixels.constScanLine(row);
        uint8_t* uncovered = mUncovered.empty() ? nullptr : &mUncovered[size_t(y + row) * size_t(mWidth) + size_t(x)];
        if (!overOnly) {
            std::memcpy(out, in, size_t(pixels.width()) * bytes);
            if (uncovered)
                std::memset(uncovered, 0, size_t(pixels.width()));
            continue;
        }
        const auto* alphas = reinterpret_cast<const QRgba64*>(alpha.constScanLine(row));
        for (int column = 0; column < pixels.width(); ++column) {
            if (alphas[column].alpha() == 0 || (behind && alphas[column] == skipped))
                continue;
            std::memcpy(out + size_t(column) * bytes, in + size_t(column) * bytes, bytes);
            if (uncovered)
                uncovered[column] = 0;
        }
    }
}

bool SheetPixels::hasUncovered() const
{
    return std::find(mUncovered.begin(), mUncovered.end(), 1) != mUncovered.end();
}

void SheetPixels::fillUncovered(QRgb colour)
{
    if (!hasUncovered())
        return;
    if (mImage.isNull())
        begin(qAlpha(colour) == kOpaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    QImage dot(1, 1, QImage::Format_ARGB32);
    if (dot.isNull())
        throw std::bad_alloc();
    dot.setPixel(0, 0, colour);
    QImage pixel;
    if (mImage.format() == QImage::Format_Indexed8) {
        int index = -1;
        // Transparent is transparent, whatever colour an entry gives it.
        for (int i = 0; i < kPaletteSize && index < 0 && qAlpha(colour) == 0; ++i)
            if (mPalette.taken[size_t(i)] && qAlpha(mPalette.colours[i]) == 0)
                index = i;
        if (index < 0)
            index = mPalette.indexOf(colour);
        if (index >= 0) {
            pixel = QImage(1, 1, QImage::Format_Indexed8);
            if (pixel.isNull())
                throw std::bad_alloc();
            *pixel.bits() = uchar(index);
        }
    }
    if (pixel.isNull()) {
        widenFor(dot);
        pixel = inFormat(dot, mImage.format());
    }
    const size_t bytes = size_t(mImage.depth()) / CHAR_BIT;
    const uchar* value = pixel.constScanLine(0);
    for (int y = 0; y < mHeight; ++y) {
        uchar* out = mImage.scanLine(y);
        const uint8_t* uncovered = &mUncovered[size_t(y) * size_t(mWidth)];
        for (int x = 0; x < mWidth; ++x)
            if (uncovered[x])
                std::memcpy(out + size_t(x) * bytes, value, bytes);
    }
    mUncovered.clear();
}

QImage SheetPixels::image()
{
    if (mImage.format() == QImage::Format_Indexed8)
        mImage.setColorTable(mPalette.colours);
    return mImage;
}

} // namespace cli
