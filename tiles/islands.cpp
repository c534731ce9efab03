#include "tiles/islands.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace tiles {

namespace {

// Border colours weighed as the background when the border is opaque: the
// most frequent few, each counted with the pixels alike it.
constexpr size_t kBorderColoursWeighed = 16;

// Disjoint sets over a flat parent array; the smaller index is the root, so a
// set's root is the first of it ever made.
struct Sets {
    std::vector<int32_t> parent;

    int32_t add()
    {
        parent.push_back(int32_t(parent.size()));
        return parent.back();
    }
    int32_t find(int32_t a)
    {
        while (parent[size_t(a)] != a) {
            parent[size_t(a)] = parent[size_t(parent[size_t(a)])];
            a = parent[size_t(a)];
        }
        return a;
    }
    bool join(int32_t a, int32_t b)
    {
        a = find(a);
        b = find(b);
        if (a == b)
            return false;
        parent[size_t(std::max(a, b))] = std::min(a, b);
        return true;
    }
};

// A box kept as inclusive bounds while it grows, with what it holds.
struct Extent {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0; // inclusive
    int32_t bottom = 0;
    int64_t area = 0;
    int64_t first = 0; // the first pixel in reading order: the tie-break for equal boxes

    void add(const Extent& e)
    {
        left = std::min(left, e.left);
        top = std::min(top, e.top);
        right = std::max(right, e.right);
        bottom = std::max(bottom, e.bottom);
        area += e.area;
        first = std::min(first, e.first);
    }
    PixelRect rect() const { return PixelRect{left, top, right - left + 1, bottom - top + 1}; }
};

struct Background {
    bool transparent = false;
    uint32_t argb = 0;
};

Background backgroundOf(const SheetPixels& sheet, const IslandOptions& options, int32_t tolerance)
{
    if (options.background == BackgroundKind::Transparent)
        return {true, 0};
    if (options.background == BackgroundKind::Colour)
        return {false, 0xFF000000u | (options.colour & 0xFFFFFFu)};
    std::vector<uint32_t> border;
    for (int32_t x = 0; x < sheet.width; ++x) {
        border.push_back(sheet.at(x, 0));
        if (sheet.height > 1)
            border.push_back(sheet.at(x, sheet.height - 1));
    }
    for (int32_t y = 1; y + 1 < sheet.height; ++y) {
        border.push_back(sheet.at(0, y));
        if (sheet.width > 1)
            border.push_back(sheet.at(sheet.width - 1, y));
    }
    if (std::any_of(border.begin(), border.end(), [&](uint32_t p) { return alphaOf(p) <= tolerance; }))
        return {true, 0};
    std::unordered_map<uint32_t, int64_t> counts;
    for (uint32_t p : border)
        ++counts[p];
    std::vector<std::pair<uint32_t, int64_t>> colours(counts.begin(), counts.end());
    std::sort(colours.begin(), colours.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    colours.resize(std::min(colours.size(), kBorderColoursWeighed));
    Background best;
    int64_t bestAlike = -1;
    for (const auto& colour : colours) {
        const int64_t alikeCount = std::count_if(border.begin(), border.end(),
                                                 [&](uint32_t p) { return alike(p, colour.first, tolerance); });
        if (alikeCount > bestAlike) {
            bestAlike = alikeCount;
            best.argb = colour.first;
        }
    }
    return best;
}

// Joins pictures whose boxes come within `merge` pixels along both axes, over
// and over as joined boxes grow, until none does.
void mergeNear(const std::vector<Extent>& parts, int32_t merge, Sets& groups)
{
    std::vector<Extent> boxes;
    std::vector<int32_t> roots;
    for (bool joined = true; joined;) {
        joined = false;
        boxes.clear();
        roots.clear();
        std::vector<int32_t> slot(parts.size(), -1);
        for (size_t i = 0; i < parts.size(); ++i) {
            const int32_t root = groups.find(int32_t(i));
            if (slot[size_t(root)] < 0) {
                slot[size_t(root)] = int32_t(boxes.size());
                boxes.push_back(parts[i]);
                roots.push_back(root);
            } else {
                boxes[size_t(slot[size_t(root)])].add(parts[i]);
            }
        }
        std::vector<int32_t> byLeft(boxes.size());
        std::iota(byLeft.begin(), byLeft.end(), 0);
        std::sort(byLeft.begin(), byLeft.end(), [&](int32_t a, int32_t b) {
            return boxes[size_t(a)].left != boxes[size_t(b)].left ? boxes[size_t(a)].left < boxes[size_t(b)].left
                                                                  : a < b;
        });
        for (size_t i = 0; i < byLeft.size(); ++i) {
            const Extent& a = boxes[size_t(byLeft[i])];
            for (size_t j = i + 1; j < byLeft.size(); ++j) {
                const Extent& b = boxes[size_t(byLeft[j])];
                if (int64_t(b.left) - a.right - 1 > merge)
                    break; // sorted by left: none further along comes near
                const int64_t gapY = std::max(int64_t(b.top) - a.bottom, int64_t(a.top) - b.bottom) - 1;
                if (gapY <= merge && groups.join(roots[size_t(byLeft[i])], roots[size_t(byLeft[j])]))
                    joined = true;
            }
        }
    }
}

// Reading order: rows from the top, a picture joining the row while its
// extent overlaps the row's (which grows as pictures join), left to right in
// a row. Returns each one's row, from firstRow, in the order it leaves.
std::vector<int32_t> sortForReading(std::vector<int32_t>& order, const std::vector<Extent>& boxes, int32_t firstRow)
{
    const auto box = [&](int32_t i) -> const Extent& { return boxes[size_t(i)]; };
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        if (box(a).top != box(b).top)
            return box(a).top < box(b).top;
        if (box(a).left != box(b).left)
            return box(a).left < box(b).left;
        return box(a).first < box(b).first;
    });
    size_t rowStart = 0;
    int32_t rowBottom = 0;
    const auto sortRow = [&](size_t end) {
        const auto leftFirst = [&](int32_t a, int32_t b) {
            if (box(a).left != box(b).left)
                return box(a).left < box(b).left;
            if (box(a).top != box(b).top)
                return box(a).top < box(b).top;
            return box(a).first < box(b).first;
        };
        std::sort(order.begin() + std::ptrdiff_t(rowStart), order.begin() + std::ptrdiff_t(end), leftFirst);
    };
    std::vector<int32_t> rows(order.size());
    int32_t row = firstRow;
    for (size_t i = 0; i < order.size(); ++i) {
        const Extent& e = box(order[i]);
        if (i > rowStart && e.top > rowBottom) {
            sortRow(i);
            rowStart = i;
            ++row;
        }
        rows[i] = row;
        rowBottom = i == rowStart ? e.bottom : std::max(rowBottom, e.bottom);
    }
    sortRow(order.size());
    return rows;
}

} // namespace

Islands findIslands(const SheetPixels& sheet, const IslandOptions& options)
{
    const int32_t tolerance = std::clamp(options.tolerance, 0, 255);
    const int32_t width = std::max(sheet.width, 0);
    const int32_t height = std::max(sheet.height, 0);
    Islands islands;
    islands.owners.assign(size_t(width) * size_t(height), 0);
    if (width == 0 || height == 0)
        return islands;
    const Background background = backgroundOf(sheet, options, tolerance);
    islands.transparentBackground = background.transparent;
    islands.background = background.argb;
    const auto isPicture = [&](uint32_t p) {
        return background.transparent ? alphaOf(p) > tolerance : !alike(p, background.argb, tolerance);
    };

    // One pass: every picture pixel takes a label from a labelled neighbour
    // above or to the left, and labels that meet are joined.
    Sets labels;
    labels.add(); // 0: the background
    std::vector<Extent> extents(1);
    const bool corners = options.connect != 4;
    for (int32_t y = 0; y < height; ++y) {
        const uint32_t* row = sheet.row(y);
        int32_t* own = islands.owners.data() + size_t(y) * size_t(width);
        const int32_t* up = y > 0 ? own - width : nullptr;
        for (int32_t x = 0; x < width; ++x) {
            if (!isPicture(row[x]))
                continue;
            const int32_t north = up ? up[x] : 0;
            const int32_t west = x > 0 ? own[x - 1] : 0;
            int32_t label = 0;
            if (corners) {
                // North touches the other three, so it already shares their set.
                const int32_t northWest = up && x > 0 ? up[x - 1] : 0;
                const int32_t northEast = up && x + 1 < width ? up[x + 1] : 0;
                label = north ? north : west ? west : northWest ? northWest : northEast;
                if (!north && label != northEast && northEast)
                    labels.join(label, northEast);
            } else {
                label = north ? north : west;
                if (north && west && north != west)
                    labels.join(north, west);
            }
            const int64_t index = int64_t(y) * width + x;
            if (label == 0) {
                label = labels.add();
                extents.push_back(Extent{x, y, x, y, 0, index});
            }
            own[x] = label;
            Extent& e = extents[size_t(label)];
            e.left = std::min(e.left, x);
            e.right = std::max(e.right, x);
            e.bottom = y;
            ++e.area;
        }
    }

    // Each set becomes one part, numbered in the order its first pixel came.
    const size_t labelCount = labels.parent.size();
    std::vector<int32_t> partOf(labelCount, -1);
    std::vector<Extent> parts;
    for (size_t l = 1; l < labelCount; ++l) {
        const int32_t root = labels.find(int32_t(l));
        // A root is its set's smallest label, so it comes before the others.
        if (size_t(root) == l) {
            partOf[l] = int32_t(parts.size());
            parts.push_back(extents[l]);
        } else {
            partOf[l] = partOf[size_t(root)];
            parts[size_t(partOf[l])].add(extents[l]);
        }
    }

    Sets groups;
    for (size_t i = 0; i < parts.size(); ++i)
        groups.add();
    if (options.merge > 0)
        mergeNear(parts, options.merge, groups);
    std::vector<int32_t> groupOf(parts.size());
    std::vector<Extent> grouped;
    std::vector<int32_t> slot(parts.size(), -1);
    for (size_t i = 0; i < parts.size(); ++i) {
        const int32_t root = groups.find(int32_t(i));
        if (slot[size_t(root)] < 0) {
            slot[size_t(root)] = int32_t(grouped.size());
            grouped.push_back(parts[i]);
        } else {
            grouped[size_t(slot[size_t(root)])].add(parts[i]);
        }
        groupOf[i] = slot[size_t(root)];
    }

    std::vector<int32_t> whole;
    std::vector<int32_t> specks;
    for (size_t g = 0; g < grouped.size(); ++g)
        (grouped[g].area < options.minArea ? specks : whole).push_back(int32_t(g));
    const std::vector<int32_t> wholeRows = sortForReading(whole, grouped, 0);
    // The specks' rows come after the pictures', so that no two share a place.
    const std::vector<int32_t> speckRows = sortForReading(specks, grouped, wholeRows.empty() ? 0 : wholeRows.back() + 1);
    std::vector<int32_t> labelOf(grouped.size());
    for (const auto& [list, rows] : {std::pair{&whole, &wholeRows}, std::pair{&specks, &speckRows}})
        for (size_t k = 0; k < list->size(); ++k) {
            const int32_t g = (*list)[k];
            Island island;
            island.row = (*rows)[k];
            island.box = grouped[size_t(g)].rect();
            island.area = grouped[size_t(g)].area;
            island.speck = list == &specks;
            island.label = int32_t(islands.pictures.size()) + 1;
            labelOf[size_t(g)] = island.label;
            islands.pictures.push_back(island);
        }

    std::vector<int32_t> finalLabel(labelCount, 0);
    for (size_t l = 1; l < labelCount; ++l)
        finalLabel[l] = labelOf[size_t(groupOf[size_t(partOf[l])])];
    for (int32_t& owner : islands.owners)
        owner = finalLabel[size_t(owner)];
    return islands;
}

} // namespace tiles
