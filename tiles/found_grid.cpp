#include "tiles/found_grid.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tiles {

namespace {

constexpr int32_t kSmallestTile = 8;
constexpr int32_t kLargestTile = 128;
constexpr int32_t kLargestGap = 4; // margin and spacing
// Fill is weighed on at most this many cells, spread over the sheet: enough to
// tell a majority, and a sheet of 8x8 tiles stays one cheap pass.
constexpr int64_t kCellsWeighed = 4096;
// Colours of uniform lines kept as candidate gutter colours, most lines first.
constexpr size_t kGutterColours = 3;
constexpr size_t kColoursTracked = 64;

// The range of each channel (channel i is bits 8i..8i+7) over one row or column.
struct Spread {
    std::array<uint8_t, 4> lo{255, 255, 255, 255};
    std::array<uint8_t, 4> hi{0, 0, 0, 0};
};

struct Spreads {
    std::vector<Spread> rows;
    std::vector<Spread> columns;
};

// The one pass over the pixels: each row's and column's channel ranges.
Spreads measure(const SheetPixels& sheet)
{
    const int32_t width = sheet.width;
    std::vector<uint8_t> columnLo(size_t(width) * 4, 255);
    std::vector<uint8_t> columnHi(size_t(width) * 4, 0);
    Spreads spreads;
    spreads.rows.resize(size_t(sheet.height));
    for (int32_t y = 0; y < sheet.height; ++y) {
        const uint32_t* row = sheet.row(y);
        Spread& spread = spreads.rows[size_t(y)];
        int32_t x = 0;
#if defined(__SSE2__)
        // Four pixels a step; x86 keeps channel i in byte i of each pixel.
        __m128i rowLo = _mm_set1_epi8(char(0xFF));
        __m128i rowHi = _mm_setzero_si128();
        for (; x + 4 <= width; x += 4) {
            const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
            __m128i* lo = reinterpret_cast<__m128i*>(columnLo.data() + size_t(x) * 4);
            __m128i* hi = reinterpret_cast<__m128i*>(columnHi.data() + size_t(x) * 4);
            _mm_storeu_si128(lo, _mm_min_epu8(_mm_loadu_si128(lo), pixels));
            _mm_storeu_si128(hi, _mm_max_epu8(_mm_loadu_si128(hi), pixels));
            rowLo = _mm_min_epu8(rowLo, pixels);
            rowHi = _mm_max_epu8(rowHi, pixels);
        }
        alignas(16) uint8_t lanesLo[16];
        alignas(16) uint8_t lanesHi[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanesLo), rowLo);
        _mm_store_si128(reinterpret_cast<__m128i*>(lanesHi), rowHi);
        for (int i = 0; i < 16; ++i) {
            spread.lo[size_t(i % 4)] = std::min(spread.lo[size_t(i % 4)], lanesLo[i]);
            spread.hi[size_t(i % 4)] = std::max(spread.hi[size_t(i % 4)], lanesHi[i]);
        }
#endif
        for (; x < width; ++x) {
            const uint32_t pixel = row[x];
            for (size_t c = 0; c < 4; ++c) {
                const uint8_t value = uint8_t(pixel >> (8 * c));
                uint8_t& lo = columnLo[size_t(x) * 4 + c];
                uint8_t& hi = columnHi[size_t(x) * 4 + c];
                lo = std::min(lo, value);
                hi = std::max(hi, value);
                spread.lo[c] = std::min(spread.lo[c], value);
                spread.hi[c] = std::max(spread.hi[c], value);
            }
        }
    }
    spreads.columns.resize(size_t(width));
    for (int32_t x = 0; x < width; ++x)
        for (size_t c = 0; c < 4; ++c) {
            spreads.columns[size_t(x)].lo[c] = columnLo[size_t(x) * 4 + c];
            spreads.columns[size_t(x)].hi[c] = columnHi[size_t(x) * 4 + c];
        }
    return spreads;
}

// The gutter colour: transparent, or a colour every gutter pixel is alike.
struct Gutter {
    bool transparent = false;
    uint32_t argb = 0;
    int32_t lines = 0; // rows and columns that are all gutter
};

int32_t channelOf(uint32_t argb, size_t c) { return int32_t((argb >> (8 * c)) & 0xFFu); }

bool isGutterLine(const Spread& s, const Gutter& g, int32_t tolerance)
{
    if (g.transparent)
        return s.hi[3] <= tolerance;
    for (size_t c = 0; c < 4; ++c)
        if (s.hi[c] - channelOf(g.argb, c) > tolerance || channelOf(g.argb, c) - s.lo[c] > tolerance)
            return false;
    return true;
}

bool isGutterPixel(uint32_t pixel, const Gutter& g, int32_t tolerance)
{
    return g.transparent ? alphaOf(pixel) <= tolerance : alike(pixel, g.argb, tolerance);
}

// The candidate gutter colours: transparent when a line is all transparent,
// and the colours of lines that are one colour, lines whose colours are alike
// taken together. Most lines first.
std::vector<Gutter> gutterColours(const Spreads& spreads, int32_t tolerance)
{
    struct Cluster {
        std::array<int32_t, 4> lo; // the colours alike every line of the cluster
        std::array<int32_t, 4> hi;
        int32_t lines = 0;
    };
    Gutter transparent;
    transparent.transparent = true;
    std::vector<Cluster> clusters;
    const auto take = [&](const Spread& s) {
        if (s.hi[3] <= tolerance) {
            ++transparent.lines;
            return;
        }
        Cluster line;
        for (size_t c = 0; c < 4; ++c) {
            line.lo[c] = std::max(0, s.hi[c] - tolerance);
            line.hi[c] = std::min(255, s.lo[c] + tolerance);
            if (line.lo[c] > line.hi[c])
                return; // more than one colour
        }
        for (Cluster& cluster : clusters) {
            Cluster both = cluster;
            bool meet = true;
            for (size_t c = 0; c < 4 && meet; ++c) {
                both.lo[c] = std::max(cluster.lo[c], line.lo[c]);
                both.hi[c] = std::min(cluster.hi[c], line.hi[c]);
                meet = both.lo[c] <= both.hi[c];
            }
            if (meet) {
                cluster = both;
                ++cluster.lines;
                return;
            }
        }
        if (clusters.size() < kColoursTracked) {
            line.lines = 1;
            clusters.push_back(line);
        }
    };
    for (const Spread& s : spreads.rows)
        take(s);
    for (const Spread& s : spreads.columns)
        take(s);

    std::stable_sort(clusters.begin(), clusters.end(),
                     [](const Cluster& a, const Cluster& b) { return a.lines > b.lines; });
    std::vector<Gutter> gutters;
    if (transparent.lines > 0)
        gutters.push_back(transparent);
    for (size_t i = 0; i < clusters.size() && i < kGutterColours; ++i) {
        Gutter g;
        for (size_t c = 0; c < 4; ++c)
            g.argb |= uint32_t((clusters[i].lo[c] + clusters[i].hi[c]) / 2) << (8 * c);
        g.lines = clusters[i].lines;
        if (alphaOf(g.argb) > tolerance) // else it is the transparent candidate
            gutters.push_back(g);
    }
    std::stable_sort(gutters.begin(), gutters.end(),
                     [](const Gutter& a, const Gutter& b) { return a.lines > b.lines; });
    return gutters;
}

// The tiles along one axis.
struct AxisCut {
    int32_t tile = 0;
    int32_t margin = 0;
    int32_t spacing = 0;
    int32_t count = 0;
};

// Gutter flags of one axis, and how many come before each line.
struct Lines {
    std::vector<uint8_t> gutter;
    std::vector<int32_t> before;

    explicit Lines(std::vector<uint8_t> flags) : gutter(std::move(flags)), before(gutter.size() + 1, 0)
    {
        for (size_t i = 0; i < gutter.size(); ++i)
            before[i + 1] = before[i] + gutter[i];
    }
    int32_t length() const { return int32_t(gutter.size()); }
    bool allGutter(int32_t from, int32_t to) const { return before[size_t(to)] - before[size_t(from)] == to - from; }
};

// Every grid whose margin and spacings are all gutter and whose tiles no
// content runs across, and whether it is tight (see the header).
struct Fit {
    AxisCut cut;
    bool tight = false;
    int32_t held = 0; // tiles that hold anything
};

std::vector<Fit> fittingCuts(const Lines& lines)
{
    const int32_t length = lines.length();
    const std::vector<uint8_t>& gutter = lines.gutter;
    std::vector<Fit> fits;
    for (int32_t tile = kSmallestTile; tile <= std::min(kLargestTile, length); ++tile)
        for (int32_t margin = 0; margin <= kLargestGap && margin + tile <= length; ++margin) {
            if (!lines.allGutter(0, margin))
                break;
            for (int32_t spacing = 0; spacing <= kLargestGap; ++spacing) {
                const int32_t period = tile + spacing;
                const int32_t count = (length - margin + spacing) / period;
                if (count < 2)
                    continue;
                bool fitting = true;
                bool tight = true;
                int32_t held = 0;
                for (int32_t k = 0; k < count && fitting; ++k) {
                    const int32_t start = margin + k * period;
                    const int32_t end = start + tile;
                    if (!lines.allGutter(start, end)) {
                        tight = tight && !gutter[size_t(start)] && !gutter[size_t(end - 1)];
                        ++held;
                    }
                    if (spacing > 0) // the spacing after it, also after the last tile as far as the sheet goes
                        fitting = lines.allGutter(end, std::min(length, end + spacing));
                    else if (end < length) // no content on both sides of the line between two tiles
                        fitting = gutter[size_t(end - 1)] || gutter[size_t(end)];
                }
                if (fitting && held > 0)
                    fits.push_back(Fit{AxisCut{tile, margin, spacing, count}, tight, held});
            }
        }
    return fits;
}

// Whether each tile of `other` holds the same run of `cut`'s tiles, one or
// more, as `cut` numbers them: its tiles grown over their spacing (16 with
// spacing 2 as 18 with none), or several joined (32 as two 16s and their
// spacing). Only tiles that hold anything count: where nothing is drawn, any
// grid cuts the same nothing. Anything else cuts the sheet another way.
bool grownFrom(const AxisCut& other, const AxisCut& cut, const Lines& lines)
{
    const int32_t period = cut.tile + cut.spacing;
    const int32_t otherPeriod = other.tile + other.spacing;
    const int32_t otherEnd = other.margin + (other.count - 1) * otherPeriod + other.tile;
    for (int32_t run = 1; run * period - cut.spacing <= other.tile; ++run) {
        bool holds = true;
        for (int32_t i = 0; i < cut.count && holds; ++i) {
            const int32_t start = cut.margin + i * period;
            const int32_t end = start + cut.tile;
            if (lines.allGutter(start, end))
                continue;
            const int32_t k = i / run;
            const int32_t otherStart = other.margin + k * otherPeriod;
            // In its tile of `other`, or past the last one, which leaves it out whole.
            holds = k < other.count ? otherStart <= start && end <= otherStart + other.tile : start >= otherEnd;
        }
        if (holds)
            return true;
    }
    return false;
}

std::string pairText(int32_t x, int32_t y)
{
    return x == y ? std::to_string(x) : std::to_string(x) + "," + std::to_string(y);
}

// "tiles of 14x14 (margin 1, spacing 2)", the options as the command line spells them.
std::string gridText(const AxisCut& across, const AxisCut& down)
{
    std::string text = "tiles of " + std::to_string(across.tile) + "x" + std::to_string(down.tile) + " (";
    if (across.margin > 0 || down.margin > 0)
        text += "margin " + pairText(across.margin, down.margin) + ", ";
    if (across.spacing == 0 && down.spacing == 0)
        return text + "no spacing)";
    return text + "spacing " + pairText(across.spacing, down.spacing) + ")";
}

std::string axisText(const AxisCut& cut, const char* extent)
{
    std::string text = "tiles " + std::to_string(cut.tile) + " " + extent + " (";
    if (cut.margin > 0)
        text += "margin " + std::to_string(cut.margin) + ", ";
    if (cut.spacing == 0)
        return text + "no spacing)";
    return text + "spacing " + std::to_string(cut.spacing) + ")";
}

std::string colourText(const Gutter& g)
{
    if (g.transparent)
        return "transparent";
    char text[16];
    std::snprintf(text, sizeof text, "#%06X", unsigned(g.argb & 0xFFFFFFu));
    return text;
}

// The one grid along an axis, or why there is none.
std::variant<AxisCut, std::string> axisCut(std::vector<uint8_t> gutter, const char* extent, const char* axis)
{
    const Lines lines(std::move(gutter));
    const std::vector<Fit> fits = fittingCuts(lines);
    const auto finest = std::find_if(fits.begin(), fits.end(), [](const Fit& f) { return f.tight; });
    if (finest == fits.end())
        return std::string("the gutters ") + axis + " fit no grid of two or more tiles 8 to 128 pixels with a " +
               "margin and a spacing of 0 to 4";
    const AxisCut& cut = finest->cut; // the smallest tile: tried first
    if (finest->held < 2)
        return "the gutters " + std::string(axis) + " fit " + axisText(cut, extent) +
               ", but only one of them holds anything";
    for (const Fit& other : fits)
        if (!grownFrom(other.cut, cut, lines))
            return "the gutters fit " + axisText(cut, extent) + " and " + axisText(other.cut, extent);
    // Tiles with no spacing show no gutter between them where both are drawn
    // to the edge, so these may as well be smaller tiles that touch.
    if (cut.spacing == 0)
        return "the gutters " + std::string(axis) + " fit only " + axisText(cut, extent) +
               ", which may as well be smaller tiles that touch";
    return cut;
}

// The same tiles with the spacing given to them: what the gutters also fit
// when they are only the tiles' own background.
AxisCut widened(const AxisCut& cut)
{
    AxisCut wide = cut;
    wide.tile = cut.tile + cut.spacing;
    wide.margin = cut.margin - std::min(cut.margin, cut.spacing);
    wide.spacing = 0;
    return wide;
}

struct Fill {
    int32_t held = 0;       // cells holding anything
    int32_t fullAcross = 0; // of those, cells whose left and right edges are filled
    int32_t fullDown = 0;   // ... whose top and bottom edges are filled
};

// How many cells fill the edges of their cell (see the header), on an even
// spread of at most kCellsWeighed cells.
Fill weighFill(const SheetPixels& sheet, const Gutter& g, int32_t tolerance, const AxisCut& across,
               const AxisCut& down)
{
    const auto filledCount = [&](int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t n) {
        int32_t filled = 0;
        for (int32_t i = 0; i < n; ++i)
            filled += isGutterPixel(sheet.at(x + i * dx, y + i * dy), g, tolerance) ? 0 : 1;
        return filled;
    };
    const auto holdsAnything = [&](int32_t x0, int32_t y0) {
        for (int32_t y = y0; y < y0 + down.tile; ++y)
            for (int32_t x = x0; x < x0 + across.tile; ++x)
                if (!isGutterPixel(sheet.at(x, y), g, tolerance))
                    return true;
        return false;
    };
    Fill fill;
    const int64_t cells = int64_t(across.count) * down.count;
    const int64_t step = std::max<int64_t>(1, cells / kCellsWeighed);
    for (int64_t i = 0; i < cells; i += step) {
        const int32_t x0 = across.margin + int32_t(i % across.count) * (across.tile + across.spacing);
        const int32_t y0 = down.margin + int32_t(i / across.count) * (down.tile + down.spacing);
        const int32_t w = across.tile;
        const int32_t h = down.tile;
        const int32_t left = filledCount(x0, y0, 0, 1, h);
        const int32_t right = filledCount(x0 + w - 1, y0, 0, 1, h);
        const int32_t top = filledCount(x0, y0, 1, 0, w);
        const int32_t bottom = filledCount(x0, y0 + h - 1, 1, 0, w);
        if (left + right + top + bottom == 0 && !holdsAnything(x0, y0))
            continue;
        ++fill.held;
        fill.fullAcross += left * 4 >= h * 3 && right * 4 >= h * 3 ? 1 : 0;
        fill.fullDown += top * 4 >= w * 3 && bottom * 4 >= w * 3 ? 1 : 0;
    }
    return fill;
}

// The grid under one gutter colour, or why there is none.
std::variant<GridOptions, std::string> findWith(const SheetPixels& sheet, const Spreads& spreads, const Gutter& g,
                                                int32_t tolerance)
{
    std::vector<uint8_t> columns(spreads.columns.size());
    std::vector<uint8_t> rows(spreads.rows.size());
    for (size_t x = 0; x < columns.size(); ++x)
        columns[x] = isGutterLine(spreads.columns[x], g, tolerance) ? 1 : 0;
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = isGutterLine(spreads.rows[y], g, tolerance) ? 1 : 0;

    const auto across = axisCut(std::move(columns), "wide", "across the sheet");
    if (std::holds_alternative<std::string>(across))
        return std::get<std::string>(across);
    const auto down = axisCut(std::move(rows), "high", "down the sheet");
    if (std::holds_alternative<std::string>(down))
        return std::get<std::string>(down);
    const AxisCut& x = std::get<AxisCut>(across);
    const AxisCut& y = std::get<AxisCut>(down);

    const Fill fill = weighFill(sheet, g, tolerance, x, y);
    const bool sureAcross = fill.fullAcross * 2 > fill.held;
    const bool sureDown = fill.fullDown * 2 > fill.held;
    if (!sureAcross || !sureDown) {
        const AxisCut wideX = sureAcross ? x : widened(x);
        const AxisCut wideY = sureDown ? y : widened(y);
        return "the gutters fit " + gridText(x, y) + " and " + gridText(wideX, wideY).substr(6) +
               ": too few tiles fill their cells to tell which";
    }

    GridOptions options;
    options.tileWidth = x.tile;
    options.tileHeight = y.tile;
    options.marginX = x.margin;
    options.marginY = y.margin;
    options.spacingX = x.spacing;
    options.spacingY = y.spacing;
    return options;
}

bool sameOptions(const GridOptions& a, const GridOptions& b)
{
    return a.tileWidth == b.tileWidth && a.tileHeight == b.tileHeight && a.marginX == b.marginX &&
           a.marginY == b.marginY && a.spacingX == b.spacingX && a.spacingY == b.spacingY;
}

} // namespace

std::variant<GridOptions, std::string> findGrid(const SheetPixels& sheet, int32_t tolerance)
{
    tolerance = std::clamp(tolerance, 0, 255);
    if (sheet.width < kSmallestTile || sheet.height < kSmallestTile)
        return "the sheet's " + std::to_string(sheet.width) + "x" + std::to_string(sheet.height) +
               " pixels hold no tile of 8x8 or more";
    const Spreads spreads = measure(sheet);
    const std::vector<Gutter> gutters = gutterColours(spreads, tolerance);
    if (gutters.empty())
        return std::string("no gutters: no row or column of pixels is all one colour or transparent");

    // Each candidate colour on its own; two colours that find two grids are a refusal.
    std::string refusal;
    const Gutter* foundBy = nullptr;
    GridOptions found;
    for (const Gutter& g : gutters) {
        auto result = findWith(sheet, spreads, g, tolerance);
        if (std::holds_alternative<std::string>(result)) {
            if (refusal.empty())
                refusal = std::get<std::string>(result);
            continue;
        }
        const GridOptions& options = std::get<GridOptions>(result);
        if (foundBy == nullptr) {
            foundBy = &g;
            found = options;
        } else if (!sameOptions(found, options)) {
            const AxisCut ax{found.tileWidth, found.marginX, found.spacingX, 2};
            const AxisCut ay{found.tileHeight, found.marginY, found.spacingY, 2};
            const AxisCut bx{options.tileWidth, options.marginX, options.spacingX, 2};
            const AxisCut by{options.tileHeight, options.marginY, options.spacingY, 2};
            return "the " + colourText(*foundBy) + " gutters fit " + gridText(ax, ay) + " and the " + colourText(g) +
                   " ones " + gridText(bx, by);
        }
    }
    if (foundBy == nullptr)
        return refusal;
    return found;
}

} // namespace tiles
