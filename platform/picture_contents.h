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
