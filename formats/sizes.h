#pragma once
// Sizes worked out from what a file claims. A header can claim anything, so
// every product and sum of sizes saturates instead of overflowing: a size that
// does not fit in 64 bits comes out as kBeyondAnySize, which is more than any
// limit, file or memory, and every check against those turns it down.

#include <QtGlobal>

#include <limits>

namespace formats {

constexpr qint64 kBeyondAnySize = std::numeric_limits<qint64>::max();

// a x b for sizes (neither negative), or kBeyondAnySize.
qint64 sizeProduct(qint64 a, qint64 b);

// a + b for sizes (neither negative), or kBeyondAnySize.
qint64 sizeSum(qint64 a, qint64 b);

// The bytes of a row of width pixels of bitsPerPixel each, padded to whole
// 32-bit words: how BMP files and QImage both lay out their rows.
qint64 paddedRowBytes(qint64 width, qint64 bitsPerPixel);

} // namespace formats
