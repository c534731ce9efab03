#pragma once
// The image control and the picture box.

#include "platform/control.h"
#include "platform/picture.h"

namespace platform {

class Canvas;

// Key codes of the keys the runtime delivers to KeyDown.
enum KeyCodeConstants : int16_t { vbKeyEnd = 35, vbKeyHome = 36, vbKeyLeft = 37, vbKeyUp = 38, vbKeyRight = 39,
                                  vbKeyDown = 40 };

// Shows its picture at the picture's natural size (no stretching): assigning a
// picture sizes the control to it.
class Image : public Control {
public:
    explicit Image(Control& container);
    const Picture& picture() const { return mPicture; }
    void setPicture(const Picture& picture);
    void Refresh();

    // (Button, Shift, X, Y), X and Y in twips from the control's top-left corner.
    std::function<void(int16_t&, int16_t&, float&, float&)> MouseDown;
    // (KeyCode, Shift) for the arrow keys, Home and End while the control has
    // the focus; it takes the focus only by Tab, and only when it is a tab stop.
    std::function<void(int16_t&, int16_t&)> KeyDown;
    void setTabStop(bool v);

protected:
    void geometryChanged() override;

private:
    Picture mPicture;
};

// A picture box without border. Drawing goes to a canvas of the box's size in
// pixels, cleared to the preview background, that Image() returns and repaints
// come from; AutoRedraw is kept as the form sets it.
class PictureBox : public Control {
public:
    explicit PictureBox(Control& container);
    ~PictureBox() override;

    bool AutoRedraw() const { return mAutoRedraw; }
    void setAutoRedraw(bool v) { mAutoRedraw = v; }
    const Picture& picture() const { return mPicture; }
    void setPicture(const Picture& picture);
    // The drawn surface, as a picture.
    Picture Image() const;

    // Clears the surface to the preview background (kPreviewBackground).
    void Cls();
    void Refresh();
    // Copies a rectangle of the source picture (twips) to a rectangle of the box
    // (twips), stretching when their sizes differ: the plain source copy, the
    // only raster operation the form uses. Source pixels outside the picture
    // draw nothing, and transparent ones leave what is below.
    void PaintPicture(const Picture& source, float destX, float destY, float destWidth,
                      float destHeight, float srcX, float srcY, float srcWidth, float srcHeight);

protected:
    void geometryChanged() override;

private:
    // The canvas lives in the widget that shows it.
    Canvas& canvas() const;
    Picture mPicture;
    bool mAutoRedraw = false;
};

} // namespace platform
