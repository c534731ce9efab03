#pragma once
// A picture of how a sheet is cut: the sheet enlarged by a whole factor, each
// tile outlined and numbered. Drawn pixel by pixel with a font of its own, so
// it needs no display and no fonts, and gives the same pixels on every machine.

#include "platform/picture.h"

#include <QRgb>
#include <cstdint>
#include <vector>

namespace platform {

struct OverlayTile {
    // The tile's rectangle of the sheet, in pixels; it may reach past the
    // sheet's edge, where nothing of it is drawn.
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t number = 0;
    // Not saved (empty, a repeat, existing): outlined dashed, in another colour.
    bool leftOut = false;
};

// The largest an overlay is drawn: on a side, and in all.
constexpr int64_t kOverlayMaxSide = 8192;
constexpr int64_t kOverlayMaxPixels = int64_t(64) * 1024 * 1024;
// The shorter side of the smallest tile, enlarged, when the limit allows.
constexpr int32_t kOverlaySmallestTile = 24;

// The whole factor a sheet of this size is enlarged by: the smallest one that
// makes the smallest tile not left out (of any, when all are) kOverlaySmallestTile pixels on its shorter side,
// lowered to keep within the limit, never below 1.
int OverlayFactor(int32_t sheetWidth, int32_t sheetHeight, const std::vector<OverlayTile>& tiles);

struct OverlayColours {
    QRgb outline;
    QRgb leftOut;
};

// Two of a few strong colours, those farthest from the sheet's own (its
// transparent pixels count as the checkerboard they are drawn over).
OverlayColours OverlayColoursFor(const Picture& sheet);

// The sheet enlarged by OverlayFactor, every pixel an exact square, its
// transparent pixels over a light checkerboard; each tile outlined in
// OverlayColoursFor's outline colour, or dashed in its left-out colour, and
// numbered in its upper left corner where the number fits. Opaque 32-bit
// pixels. Error 7 when there is no memory for it. An empty sheet gives an
// empty picture.
Picture CutOverlay(const Picture& sheet, const std::vector<OverlayTile>& tiles);

} // namespace platform
