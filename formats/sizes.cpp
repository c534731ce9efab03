#include "formats/sizes.h"

#include <QtNumeric>

namespace formats {

qint64 sizeProduct(qint64 a, qint64 b)
{
    qint64 product = 0;
    return a < 0 || b < 0 || qMulOverflow(a, b, &product) ? kBeyondAnySize : product;
}

qint64 sizeSum(qint64 a, qint64 b)
{
    qint64 sum = 0;
    return a < 0 || b < 0 || qAddOverflow(a, b, &sum) ? kBeyondAnySize : sum;
}

qint64 paddedRowBytes(qint64 width, qint64 bitsPerPixel)
{
    constexpr qint64 kWordBits = 32;
    constexpr qint64 kWordBytes = 4;
    return sizeSum(sizeProduct(width, bitsPerPixel), kWordBits - 1) / kWordBits * kWordBytes;
}

} // namespace formats
