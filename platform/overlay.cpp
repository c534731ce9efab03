#include "platform/overlay.h"

#include "platform/errors.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace platform {

namespace {

// Strong colours, in the order that settles a tie.
constexpr QRgb kCandidates[] = {
    qRgb(0xFF, 0x00, 0x00), // red
    qRgb(0xFF, 0x00, 0xFF), // magenta
    qRgb(0x00, 0xFF, 0xFF), // cyan
    qRgb(0xFF, 0xFF, 0x00), // yellow
    qRgb(0x00, 0xFF, 0x00), // lime
};
constexpr int kCandidateCount = int(sizeof(kCandidates) / sizeof(kCandidates[0]));

// Light, so that dark sprites and dark halos read on it, and plainly not a colour.
constexpr QRgb kCheckerLight = qRgb(0xFF, 0xFF, 0xFF);
constexpr QRgb kCheckerDark = qRgb(0xD0, 0xD0, 0xD0);
// A checkerboard square, in overlay pixels at least; always whole sheet pixels,
// so that every sheet pixel stays one square of one colour.
constexpr int kCheckerSquare = 8;
// Behind the numbers, one pixel wide, so they read on any sheet.
constexpr QRgb kHalo = qRgb(0x00, 0x00, 0x00);

// How many sheet pixels decide the colours: enough to see a sheet's few
// colours, few enough to cost nothing beside the drawing.
constexpr int64_t kColourSamples = 65536;
constexpr int kMaxChannel = 255;
constexpr int64_t kLightnessScale = 10000 * kMaxChannel;
// A difference in hue alone counts as a quarter of the whole range of lightness.
constexpr int64_t kHueShare = 4;
// Bits kept below the integer part of the fourth root.
constexpr int kRootPrecisionBits = 16;

// An outline as wide as this many overlay pixels of the smallest tile's side.
constexpr int64_t kTilePixelsPerOutlinePixel = 32;
constexpr int kThickestOutline = 4;
// The dashes of a left-out tile, in outline widths.
constexpr int kDashLength = 3;

// Digits of 3x5 pixels, top row first, the leftmost pixel the highest bit.
constexpr int kGlyphWidth = 3;
constexpr int kGlyphHeight = 5;
constexpr uint8_t kDigits[10][kGlyphHeight] = {
    {0b111, 0b101, 0b101, 0b101, 0b111}, // 0
    {0b010, 0b110, 0b010, 0b010, 0b111}, // 1
    {0b111, 0b001, 0b111, 0b100, 0b111}, // 2
    {0b111, 0b001, 0b111, 0b001, 0b111}, // 3
    {0b101, 0b101, 0b111, 0b001, 0b001}, // 4
    {0b111, 0b100, 0b111, 0b001, 0b111}, // 5
    {0b111, 0b100, 0b111, 0b101, 0b111}, // 6
    {0b111, 0b001, 0b001, 0b001, 0b001}, // 7
    {0b111, 0b101, 0b111, 0b101, 0b111}, // 8
    {0b111, 0b101, 0b111, 0b001, 0b111}, // 9
};
constexpr uint8_t kMinus[kGlyphHeight] = {0b000, 0b000, 0b111, 0b000, 0b000};
// Digits grow by whole factors with the tile, about this many tile pixels per factor.
constexpr int kTilePixelsPerDigitScale = 24;

// A rectangle of overlay pixels, right and bottom excluded.
struct Span {
    int64_t left, top, right, bottom;
    int64_t width() const { return right - left; }
    int64_t height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
};

// The overlay's pixels, reached without Qt's checks on every row.
class Surface {
public:
    explicit Surface(QImage& image)
        : mBits(reinterpret_cast<QRgb*>(image.bits())), mStride(image.bytesPerLine() / int64_t(sizeof(QRgb)))
    {
    }
    QRgb* row(int64_t y) const { return mBits + y * mStride; }

private:
    QRgb* mBits;
    int64_t mStride;
};

// The sheet's pixels as 32-bit ARGB; null when there is no memory for a copy.
QImage argbPixels(const QImage& sheet)
{
    if (sheet.format() == QImage::Format_ARGB32 || sheet.format() == QImage::Format_RGB32)
        return sheet;
    return sheet.convertToFormat(QImage::Format_ARGB32);
}

[[noreturn]] void throwNoMemory(int64_t width, int64_t height)
{
    throw RuntimeError(OutOfMemory, "Out of memory: no room for an overlay of " + std::to_string(width) + "x" +
                                        std::to_string(height) + " pixels");
}

// The checkerboard square a sheet pixel falls in, light or dark.
QRgb checkerAt(int x, int y, int square) { return ((x / square + y / square) & 1) ? kCheckerDark : kCheckerLight; }

// The pixel as seen over the ground: its alpha mixes the two.
QRgb over(QRgb pixel, QRgb ground)
{
    const int alpha = qAlpha(pixel);
    if (alpha == kMaxChannel)
        return pixel;
    const auto mix = [alpha](int top, int below) {
        return (top * alpha + below * (kMaxChannel - alpha) + kMaxChannel / 2) / kMaxChannel;
    };
    return qRgb(mix(qRed(pixel), qRed(ground)), mix(qGreen(pixel), qGreen(ground)), mix(qBlue(pixel), qBlue(ground)));
}

// The exact integer square root: the same on every machine, whatever its floating point.
uint64_t squareRoot(uint64_t n)
{
    uint64_t root = uint64_t(std::sqrt(double(n)));
    while (root * root > n)
        --root;
    while ((root + 1) * (root + 1) <= n)
        ++root;
    return root;
}

// Lightness, 0 to kLightnessScale, as the eye weighs the channels.
int64_t lightness(QRgb c) { return 2126 * qRed(c) + 7152 * qGreen(c) + 722 * qBlue(c); }

// How much a line of one colour stands out on the other: their distance as the
// eye weighs the channels ("redmean"), scaled by their difference in
// lightness, as a line reads by contrast more than by hue. The fourth root of
// it, so that a few close pixels weigh more than many far ones gain: an
// outline must read everywhere it runs. In integers, so that near ties fall
// the same way on every machine.
int64_t standOut(QRgb a, QRgb b)
{
    const int64_t meanRed = (qRed(a) + qRed(b)) / 2;
    const int64_t dr = qRed(a) - qRed(b);
    const int64_t dg = qGreen(a) - qGreen(b);
    const int64_t db = qBlue(a) - qBlue(b);
    const int64_t distance =
        int64_t(squareRoot(uint64_t((((512 + meanRed) * dr * dr) >> 8) + 4 * dg * dg +
                                    (((767 - meanRed) * db * db) >> 8))));
    const int64_t contrast = kLightnessScale / kHueShare + std::abs(lightness(a) - lightness(b));
    return int64_t(squareRoot(squareRoot(uint64_t(distance * contrast) << kRootPrecisionBits)));
}

void fill(const Surface& surface, const Span& span, QRgb colour)
{
    for (int64_t y = span.top; y < span.bottom; ++y)
        std::fill(surface.row(y) + span.left, surface.row(y) + span.right, colour);
}

// A band of an outline, running across or down; dashed, counted from the
// tile's corner so that every corner is marked.
void band(const Surface& surface, const Span& span, bool across, QRgb colour, int dash, const Span& tile)
{
    if (span.isEmpty())
        return;
    if (dash == 0) {
        fill(surface, span, colour);
        return;
    }
    for (int64_t y = span.top; y < span.bottom; ++y) {
        QRgb* row = surface.row(y);
        for (int64_t x = span.left; x < span.right; ++x) {
            const int64_t along = across ? x - tile.left : y - tile.top;
            if ((along / dash) % 2 == 0)
                row[x] = colour;
        }
    }
}

void outline(const Surface& surface, const Span& tile, int thickness, QRgb colour, int dash)
{
    const int64_t t = std::min<int64_t>(thickness, std::min(tile.width(), tile.height()));
    band(surface, {tile.left, tile.top, tile.right, tile.top + t}, true, colour, dash, tile);
    band(surface, {tile.left, tile.bottom - t, tile.right, tile.bottom}, true, colour, dash, tile);
    band(surface, {tile.left, tile.top + t, tile.left + t, tile.bottom - t}, false, colour, dash, tile);
    band(surface, {tile.right - t, tile.top + t, tile.right, tile.bottom - t}, false, colour, dash, tile);
}

const uint8_t* glyphOf(char c) { return c == '-' ? kMinus : kDigits[c - '0']; }

// The number in the tile's upper left corner, inside its outline, its digits
// growing with the tile; nothing when even the smallest do not fit.
void number(const Surface& surface, const Span& tile, int thickness, int32_t value, QRgb colour)
{
    const std::string text = std::to_string(value);
    const int64_t count = int64_t(text.size());
    // A pixel between the outline and the halo, and the halo round the digits.
    const int64_t inset = thickness + 1;
    const int64_t roomX = tile.width() - 2 * inset - 2;
    const int64_t roomY = tile.height() - 2 * inset - 2;
    int64_t scale = std::max<int64_t>(1, std::min(tile.width(), tile.height()) / kTilePixelsPerDigitScale);
    const auto textWidth = [count](int64_t s) { return count * (kGlyphWidth + 1) * s - s; };
    while (scale > 0 && (textWidth(scale) > roomX || kGlyphHeight * scale > roomY))
        --scale;
    if (scale == 0)
        return;
    const int64_t left = tile.left + inset + 1;
    const int64_t top = tile.top + inset + 1;
    // The halo first, one pixel round every lit square, then the digits over it.
    for (const bool halo : {true, false}) {
        const int64_t grow = halo ? 1 : 0;
        for (int64_t i = 0; i < count; ++i) {
            const uint8_t* glyph = glyphOf(text[size_t(i)]);
            const int64_t glyphLeft = left + i * (kGlyphWidth + 1) * scale;
            for (int gy = 0; gy < kGlyphHeight; ++gy) {
                for (int gx = 0; gx < kGlyphWidth; ++gx) {
                    if (!(glyph[gy] & (1 << (kGlyphWidth - 1 - gx))))
                        continue;
                    const int64_t x = glyphLeft + gx * scale;
                    const int64_t y = top + gy * scale;
                    fill(surface, {x - grow, y - grow, x + scale + grow, y + scale + grow}, halo ? kHalo : colour);
                }
            }
        }
    }
}

// The sheet enlarged, each pixel a factor x factor square over the checkerboard.
void drawSheet(const Surface& overlay, const QImage& sheet, int factor)
{
    const bool opaque = !sheet.hasAlphaChannel();
    const int square = std::max(1, kCheckerSquare / factor);
    const size_t rowBytes = size_t(sheet.width()) * size_t(factor) * sizeof(QRgb);
    for (int y = 0; y < sheet.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(sheet.constScanLine(y));
        QRgb* out = overlay.row(int64_t(y) * factor);
        for (int x = 0; x < sheet.width(); ++x) {
            // RGB32's unused byte is not trusted to be 0xFF.
            QRgb pixel = opaque ? in[x] | 0xFF000000 : in[x];
            if (qAlpha(pixel) != kMaxChannel)
                pixel = over(pixel, checkerAt(x, y, square));
            std::fill(out + x * factor, out + (x + 1) * factor, pixel);
        }
        for (int k = 1; k < factor; ++k)
            std::memcpy(overlay.row(int64_t(y) * factor + k), out, rowBytes);
    }
}

} // namespace

int OverlayFactor(int32_t sheetWidth, int32_t sheetHeight, const std::vector<OverlayTile>& tiles)
{
    // The tiles kept set the scale: a speck left out must not blow the sheet up
    // to 24 times its size. All of them when none is kept.
    const bool anyKept = std::any_of(tiles.begin(), tiles.end(), [](const OverlayTile& t) { return !t.leftOut; });
    int64_t smallest = std::numeric_limits<int64_t>::max();
    for (const OverlayTile& tile : tiles) {
        if (tile.width > 0 && tile.height > 0 && (!anyKept || !tile.leftOut))
            smallest = std::min<int64_t>(smallest, std::min(tile.width, tile.height));
    }
    if (sheetWidth <= 0 || sheetHeight <= 0 || smallest >= kOverlaySmallestTile)
        return 1;
    int64_t factor = (kOverlaySmallestTile + smallest - 1) / smallest;
    const auto fits = [&](int64_t f) {
        return sheetWidth * f <= kOverlayMaxSide && sheetHeight * f <= kOverlayMaxSide &&
               int64_t(sheetWidth) * sheetHeight * f * f <= kOverlayMaxPixels;
    };
    while (factor > 1 && !fits(factor))
        --factor;
    return int(factor);
}

OverlayColours OverlayColoursFor(const Picture& sheet)
{
    const QImage pixels = argbPixels(sheet.image());
    if (pixels.isNull() && !sheet.isEmpty())
        throwNoMemory(sheet.pixelWidth(), sheet.pixelHeight());
    int64_t score[kCandidateCount] = {};
    const int64_t total = int64_t(pixels.width()) * pixels.height();
    const int64_t samples = std::min(total, kColourSamples);
    const bool opaque = !pixels.hasAlphaChannel();
    for (int64_t i = 0; i < samples; ++i) {
        // Spread by the golden ratio, so that no grid of tiles lines up with the samples.
        const uint64_t fraction = uint64_t(i) * 0x9E3779B97F4A7C15ULL;
        const int64_t at = samples == total ? i : int64_t((unsigned __int128)fraction * uint64_t(total) >> 64);
        const QRgb* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(int(at / pixels.width())));
        const QRgb pixel = row[at % pixels.width()] | (opaque ? 0xFF000000 : 0);
        for (int c = 0; c < kCandidateCount; ++c) {
            // Transparent ground is seen as the checkerboard, both its squares.
            score[c] += qAlpha(pixel) == 0
                            ? (standOut(kCandidates[c], kCheckerLight) + standOut(kCandidates[c], kCheckerDark)) / 2
                            : standOut(kCandidates[c], over(pixel, kCheckerLight));
        }
    }
    int best = 0;
    for (int c = 1; c < kCandidateCount; ++c) {
        if (score[c] > score[best])
            best = c;
    }
    int second = best == 0 ? 1 : 0;
    for (int c = 0; c < kCandidateCount; ++c) {
        if (c != best && score[c] > score[second])
            second = c;
    }
    return {kCandidates[best], kCandidates[second]};
}

Picture CutOverlay(const Picture& sheet, const std::vector<OverlayTile>& tiles)
{
    if (sheet.isEmpty())
        return {};
    const int64_t factor = OverlayFactor(sheet.pixelWidth(), sheet.pixelHeight(), tiles);
    const int64_t width = sheet.pixelWidth() * factor;
    const int64_t height = sheet.pixelHeight() * factor;
    const QImage pixels = argbPixels(sheet.image());
    if (pixels.isNull())
        throwNoMemory(width, height);
    QImage overlay(int(width), int(height), QImage::Format_RGB32);
    if (overlay.isNull())
        throwNoMemory(width, height);
    const OverlayColours colours = OverlayColoursFor(Picture(pixels));
    const Surface surface(overlay);
    drawSheet(surface, pixels, int(factor));

    // Each tile's rectangle in the overlay, cut at its edge.
    std::vector<Span> spans;
    spans.reserve(tiles.size());
    int64_t smallest = std::numeric_limits<int64_t>::max();
    for (const OverlayTile& tile : tiles) {
        const Span span{std::clamp<int64_t>(int64_t(tile.x) * factor, 0, width),
                        std::clamp<int64_t>(int64_t(tile.y) * factor, 0, height),
                        std::clamp<int64_t>((int64_t(tile.x) + tile.width) * factor, 0, width),
                        std::clamp<int64_t>((int64_t(tile.y) + tile.height) * factor, 0, height)};
        spans.push_back(span);
        if (tile.width > 0 && tile.height > 0)
            smallest = std::min<int64_t>(smallest, std::min(tile.width, tile.height) * factor);
    }
    const int thickness = int(std::clamp<int64_t>(smallest / kTilePixelsPerOutlinePixel, 1, kThickestOutline));
    const int dash = kDashLength * thickness;
    // Left-out tiles first, so a saved tile's outline is whole where they meet.
    for (const bool leftOut : {true, false}) {
        for (size_t i = 0; i < tiles.size(); ++i) {
            if (tiles[i].leftOut == leftOut && !spans[i].isEmpty())
                outline(surface, spans[i], thickness, leftOut ? colours.leftOut : colours.outline, leftOut ? dash : 0);
        }
    }
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (!spans[i].isEmpty())
            number(surface, spans[i], thickness, tiles[i].number,
                   tiles[i].leftOut ? colours.leftOut : colours.outline);
    }
    return Picture(overlay);
}

} // namespace platform
