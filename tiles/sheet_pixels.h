#pragma once
// A read-only view of a sheet's pixels for the rules that look at them: 32-bit
// straight ARGB values 0xAARRGGBB, row by row, as QImage::Format_ARGB32 holds
// them (the caller converts and passes bits(); opaque sheets have alpha 0xFF).

#include <cstdint>
#include <cstdlib>

namespace tiles {

struct SheetPixels {
    const uint32_t* argb = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int64_t stride = 0; // pixels from one row to the next

    uint32_t at(int32_t x, int32_t y) const { return argb[int64_t(y) * stride + x]; }
    const uint32_t* row(int32_t y) const { return argb + int64_t(y) * stride; }
};

// Lossless sheets still carry editors' dust: alpha 1 to 3 left by an eraser,
// a background repainted a shade off. 8 of 255 is below what the eye tells
// apart and well above that dust.
constexpr int32_t kDefaultTolerance = 8;

inline int32_t channel(uint32_t argb, int shift) { return int32_t((argb >> shift) & 0xFFu); }
inline int32_t alphaOf(uint32_t argb) { return int32_t(argb >> 24); }

// Alike: every channel, alpha included, within the tolerance; two pixels
// transparent within the tolerance are alike whatever colour they hide.
inline bool alike(uint32_t a, uint32_t b, int32_t tolerance)
{
    if (alphaOf(a) <= tolerance && alphaOf(b) <= tolerance)
        return true;
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(channel(a, shift) - channel(b, shift)) > tolerance)
            return false;
    return true;
}

} // namespace tiles
