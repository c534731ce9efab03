#pragma once
// PNG files, bytes in and bytes out, through libpng. Decoding gives the same
// guarantees as our BMP decoder: the size is checked before anything is
// allocated, every pixel of the picture is set from the file, and a damaged or
// cut file is turned down with the cause, never shown in part.

#include "formats/decoded.h"

#include <QByteArray>
#include <QImage>

namespace formats {

// A decoded PNG picture keeps the file's kind of pixels:
// - palette (1, 2, 4 or 8 bits): Format_Indexed8, its colour table holding the
//   file's alpha; indexes past the palette are opaque black;
// - grey of 1 to 8 bits: Format_Grayscale8 (values scaled to 0-255); 16 bits:
//   Format_Grayscale16;
// - RGB: Format_RGB32, or Format_RGBX64 for 16 bits;
// - RGBA and grey with alpha: Format_ARGB32 (not premultiplied), or
//   Format_RGBA64 for 16 bits;
// - grey or RGB with a transparent colour (tRNS): the alpha format of its depth.
using DecodedPng = DecodedPicture;

// Decodes a whole PNG file, interlaced or not. A picture of more than
// maxPixels pixels is TooLarge, told before anything is allocated. The file
// may end after its last image data; what comes after is not read. Chunks
// other than the header, the palette, its transparency and the image data are
// skipped unread, however long.
DecodedPng decodePng(const QByteArray& file, qint64 maxPixels);

// A PNG of exactly the picture's pixels and alpha, in the kind of pixels the
// picture holds (the decoder's formats above come back as they were):
// Indexed8 as a palette of the entries the pixels use, at the fewest bits a
// pixel that holds them; Grayscale8 and 16 as grey; RGB32 and RGB888 as RGB;
// ARGB32 as RGBA (grey with alpha when every pixel is grey); RGBX64 and RGBA64
// likewise at 16 bits. Other formats are converted first: premultiplied ones
// to their straight form, the rest to the nearest of these. Empty for an empty
// picture.
QByteArray encodePng(const QImage& picture);

} // namespace formats
