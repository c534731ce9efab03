#include "platform/image_controls.h"

#include "platform/events.h"
#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace platform {

namespace {

enum MouseButton : int16_t { vbLeftButton = 1, vbRightButton = 2, vbMiddleButton = 4 };
enum ShiftMask : int16_t { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };

int16_t buttonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton:
        return vbRightButton;
    case Qt::MiddleButton:
        return vbMiddleButton;
    default:
        return vbLeftButton;
    }
}

int16_t shiftOf(Qt::KeyboardModifiers modifiers)
{
    int16_t shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= vbShiftMask;
    if (modifiers & Qt::ControlModifier)
        shift |= vbCtrlMask;
    if (modifiers & Qt::AltModifier)
        shift |= vbAltMask;
    return shift;
}

// A twips rectangle in pixels. Position and size are converted each on its
// own, so equal sizes in twips stay equal in pixels and a copy between them is
// one to one wherever the rectangles lie.
QRectF pixelRect(double x, double y, double width, double height)
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    return QRectF(toPicturePixels(x, tx), toPicturePixels(y, ty), toPicturePixels(width, tx),
                  toPicturePixels(height, ty));
}

// A control's size in pixels, converted the same way.
QSize pixelSizeOf(const Control& control)
{
    return QSize(std::max(0, toWidgetPixels(control.Width(), Screen.TwipsPerPixelX())),
                 std::max(0, toWidgetPixels(control.Height(), Screen.TwipsPerPixelY())));
}

class ImageWidget : public QWidget {
public:
    explicit ImageWidget(Image* control) : mControl(control) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (mControl->picture().isEmpty())
            return;
        QPainter painter(this);
        painter.drawImage(0, 0, mControl->picture().image());
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        int16_t button = buttonOf(e->button());
        int16_t shift = shiftOf(e->modifiers());
        float x = float(e->position().x() * Screen.TwipsPerPixelX());
        float y = float(e->position().y() * Screen.TwipsPerPixelY());
        raiseEvent(mControl->MouseDown, button, shift, x, y);
    }

private:
    Image* mControl;
};

class PictureBoxWidget : public QWidget {
public:
    // The surface is kept at the widget's size and covers it, so the frame
    // below need not repaint each time a tile is drawn.
    PictureBoxWidget() { setAttribute(Qt::WA_OpaquePaintEvent); }
    QImage surface;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, surface);
    }
};

} // namespace

Image::Image(Control& container) : Control(new ImageWidget(this), &container) {}

void Image::setPicture(const Picture& picture)
{
    mPicture = picture;
    // Natural size: the control takes the picture's size.
    if (!picture.isEmpty())
        Move(Left(), Top(), picture.pixelWidth() * Screen.TwipsPerPixelX(),
             picture.pixelHeight() * Screen.TwipsPerPixelY());
    widget()->update();
}

void Image::Refresh() { widget()->update(); }

void Image::geometryChanged()
{
    // Exactly the picture's pixels, even where the control's edges fall between
    // two: every column of the strip shows and takes clicks.
    widget()->resize(pixelSizeOf(*this));
}

class PictureBox::Surface {
public:
    explicit Surface(PictureBoxWidget* widget) : widget(widget) {}
    PictureBoxWidget* widget;
    // Fixed, not the desktop's: what a saved tile holds where the strip has no pixels.
    const QColor background = qcolor(kPreviewBackground);
};

PictureBox::PictureBox(Control& container)
    : Control(new PictureBoxWidget, &container), mSurface(std::make_unique<Surface>(static_cast<PictureBoxWidget*>(widget())))
{
    geometryChanged();
}

PictureBox::~PictureBox() = default;

void PictureBox::setPicture(const Picture& picture) { mPicture = picture; }

Picture PictureBox::Image() const { return Picture(mSurface->widget->surface); }

void PictureBox::Cls()
{
    mSurface->widget->surface.fill(mSurface->background);
    widget()->update();
}

void PictureBox::Refresh() { widget()->update(); }

void PictureBox::geometryChanged()
{
    // The surface is the box's size in twips made pixels, not the widget's
    // rounded edges, which can lose a column when the box starts half a pixel
    // off the grid: what is saved from the surface must be the whole tile.
    QImage& surface = mSurface->widget->surface;
    const QSize size = pixelSizeOf(*this);
    widget()->resize(size);
    if (surface.size() == size)
        return;
    // What was drawn stays where it was.
    QImage resized(size, QImage::Format_RGB32);
    resized.fill(mSurface->background);
    if (!resized.isNull() && !surface.isNull())
        QPainter(&resized).drawImage(0, 0, surface);
    surface = resized;
}

void PictureBox::PaintPicture(const Picture& source, float destX, float destY, float destWidth,
                              float destHeight, float srcX, float srcY, float srcWidth, float srcHeight)
{
    QImage& surface = mSurface->widget->surface;
    const QRectF src = pixelRect(srcX, srcY, srcWidth, srcHeight);
    const QRectF dest = pixelRect(destX, destY, destWidth, destHeight);
    // Only pixels inside the picture are read; the rest of the destination keeps
    // what it had (the background after Cls). An empty picture draws nothing.
    // A rectangle of no or negative size draws nothing (no mirroring).
    const QRectF inside = src.intersected(QRectF(source.image().rect()));
    if (src.isEmpty() || dest.isEmpty() || inside.isEmpty() || surface.isNull())
        return;
    const double scaleX = dest.width() / src.width();
    const double scaleY = dest.height() / src.height();
    const QRectF target(dest.x() + (inside.x() - src.x()) * scaleX, dest.y() + (inside.y() - src.y()) * scaleY,
                        inside.width() * scaleX, inside.height() * scaleY);
    // Drawn over what is there, so transparent pixels of a GIF leave the background.
    QPainter painter(&surface);
    painter.drawImage(target, source.image(), inside);
    widget()->update();
}

} // namespace platform
