#pragma once
// A sheet put together from tiles, in the kind of pixels they bring: the old
// sheet's own (palette, grey, 16 bits, alpha) while every pixel still fits in
// it, else the nearest kind that holds them all. No pixel ever changes on the
// way: a colour a palette lacks takes a free entry, and more than 256 colours,
// a colour in a grey sheet or a translucent pixel in an opaque one make the
// whole sheet the deeper kind first.

#include <QImage>
#include <optional>
#include <QList>
#include <bitset>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace cli {

class SheetPixels {
public:
    // Starts from the old sheet's pixels, every one of them covered.
    explicit SheetPixels(const QImage& sheet);
    // Starts with no pixel covered; the first tile decides the kind of pixels.
    SheetPixels(int width, int height);

    // Puts the tile's pixels at (x, y); what lies past the sheet's edges (a
    // picture's pad) is left out. With overOnly, the tile's fully transparent
    // pixels, and those of the colour behind (0xAARRGGBB) when given, leave
    // what is beneath, as an island's neighbours may share its rectangle.
    // Errors: std::bad_alloc.
    void place(const QImage& tile, int x, int y, bool overOnly, std::optional<QRgb> behind = std::nullopt);
    // Gives every pixel that no tile covered this colour and alpha.
    void fillUncovered(QRgb colour);
    // Whether some pixel is not covered yet.
    bool hasUncovered() const;
    // The pixels, their palette in place.
    QImage image();

private:
    // The palette of an Indexed8 sheet: which entries pixels may use, and the
    // first entry of each colour, so that a tile keeps its own indexes when
    // they mean the same colours.
    struct Palette {
        QList<QRgb> colours;
        std::bitset<256> taken;
        std::unordered_map<QRgb, int> first;
        // The entry for colour c that a tile holds at index i; -1 when full.
        int indexFor(int i, QRgb c);
        // Any entry of this colour, or a new one; -1 when full.
        int indexOf(QRgb c);
        int take(int i, QRgb c);
    };

    void begin(QImage::Format format);
    // Makes the sheet a kind of pixels that also holds what the tile needs.
    void widenFor(const QImage& tile);
    // The tile as indexes into the palette, or a null image when the palette
    // cannot hold it.
    QImage asIndexes(const QImage& tile);
    void copy(const QImage& pixels, const QImage& tile, int x, int y, bool overOnly, std::optional<QRgb> behind);

    QImage mImage;
    Palette mPalette;
    int mWidth;
    int mHeight;
    // One byte a pixel, 1 where no tile has been; empty when all are covered.
    std::vector<uint8_t> mUncovered;
};

} // namespace cli
