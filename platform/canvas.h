#pragma once
// A drawing surface of whole pixels, sized and drawn on in twips. A picture box
// draws on one; the command line composes its tiles on one with no window, so
// a tile has the same pixels whichever way it was cut.

#include "platform/control.h"
#include "platform/picture.h"

#include <memory>

class QImage;

namespace platform {

class Canvas {
public:
    explicit Canvas(OLE_COLOR background);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // The size in twips, made whole pixels on each axis. What was drawn stays
    // where it was; new pixels take the background colour.
    void setSize(float width, float height);
    // Fills the surface with the background colour.
    void Cls();
    // Copies a rectangle of the source picture (twips) to a rectangle of the
    // surface (twips), stretching when their sizes differ. Source pixels outside
    // the picture draw nothing, and transparent ones leave what is below.
    void PaintPicture(const Picture& source, float destX, float destY, float destWidth, float destHeight,
                      float srcX, float srcY, float srcWidth, float srcHeight);
    // The surface as a picture.
    Picture Image() const;
    // For the picture box that shows it.
    const QImage& pixels() const { return *mSurface; }

private:
    std::unique_ptr<QImage> mSurface;
    const OLE_COLOR mBackColor;
};

// A rectangle of the picture in pixels, drawn as a Canvas draws it: over the
// background colour, at the screen's resolution. Pixels of the rectangle
// outside the picture keep the background. For the command line, which cuts
// sheets far wider than twips held in a float can place to the pixel.
Picture ComposeTile(const Picture& source, int x, int y, int width, int height, OLE_COLOR background);

} // namespace platform
