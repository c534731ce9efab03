#pragma once
// What a tile's pixels hold, for leaving out empty and repeated tiles: both
// decided on every pixel and its alpha, whatever the picture's format.

#include "platform/picture.h"

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace platform {

// True when every pixel is fully transparent, or, given rgb (0xRRGGBB), either
// fully transparent or exactly that colour and opaque. A picture deeper than 8
// bits a channel matches only where each channel is the colour's byte times 257.
// Error 7 for an empty tile (see Picture::checkedImage).
bool IsBlank(const Picture& tile, std::optional<uint32_t> rgb);

// A rectangle of the picture, which may reach past its edges, holding only
// the pixels that owners (one label a pixel of the picture, row by row) gives
// to label. Every other pixel is a copy of the picture's pixel at blank, in
// the picture's own kind of pixels, or, with no such pixel, transparent. So a
// neighbour reaching into a picture's box never shows in its tile.
struct PixelAt {
    int x = 0;
    int y = 0;
};
Picture OwnPixels(const Picture& picture, int x, int y, int width, int height, const int32_t* owners, int32_t label,
                  std::optional<PixelAt> blank);

// The tiles seen so far, to find a tile whose pixels equal an earlier one's.
// It keeps a copy of the pixels of each distinct tile.
class PictureIndex {
public:
    // Which tiles are compared pixel by pixel; a weaker hash only costs time.
    using Hash = size_t (*)(const QImage& pixels);
    // The hash of the pixel bytes row by row, without the rows' padding.
    static size_t pixelHash(const QImage& pixels);

    explicit PictureIndex(Hash hash = pixelHash) : mHash(hash) {}

    // The number of the earliest tile given before with exactly these pixels
    // and alpha, or 0 when there is none; then the tile is kept under number.
    // Error 7 for an empty tile, which is not kept.
    int32_t firstSame(const Picture& tile, int32_t number);

private:
    struct Seen {
        int32_t number;
        int width;
        int height;
        QImage::Format format;
        // The rows, packed.
        QByteArray pixels;
    };

    const Hash mHash;
    std::unordered_multimap<size_t, Seen> mSeen;
};

} // namespace platform
