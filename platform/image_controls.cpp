#include "platform/image_controls.h"

#include "platform/events.h"
#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

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

OLE_COLOR oleColor(const QColor& c) { return OLE_COLOR(c.red()) | OLE_COLOR(c.green()) << 8 | OLE_COLOR(c.blue()) << 16; }

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

class PictureBox::Surface {
public:
    explicit Surface(PictureBoxWidget* widget) : widget(widget) {}
    PictureBoxWidget* widget;
    QColor background;
};

PictureBox::PictureBox(Control& container)
    : Control(new PictureBoxWidget, &container), mSurface(std::make_unique<Surface>(static_cast<PictureBoxWidget*>(widget())))
{
    mSurface->background = widget()->palette().color(QPalette::Button);
    mBackColor = oleColor(mSurface->background);
    geometryChanged();
}

PictureBox::~PictureBox() = default;

void PictureBox::setBackColor(OLE_COLOR color)
{
    mBackColor = color;
    mSurface->background = qcolor(color);
}

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
    // The surface follows the box's size; what was drawn stays where it was.
    QImage& surface = mSurface->widget->surface;
    const QSize size = widget()->size();
    if (surface.size() == size)
        return;
    QImage resized(size, QImage::Format_RGB32);
    resized.fill(mSurface->background);
    QPainter(&resized).drawImage(0, 0, surface);
    surface = resized;
}

void PictureBox::PaintPicture(const Picture& source, float destX, float destY, float destWidth,
                              float destHeight, float srcX, float srcY, float srcWidth, float srcHeight,
                              int32_t /*rasterOp: only the plain copy is used*/)
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    const QRect src(toPixels(srcX, tx), toPixels(srcY, ty), toPixels(srcWidth, tx), toPixels(srcHeight, ty));
    const QRect dest(toPixels(destX, tx), toPixels(destY, ty), toPixels(destWidth, tx), toPixels(destHeight, ty));
    // Only pixels inside the picture are read; the rest of the destination keeps what it had.
    const QRect inside = src.intersected(source.image().rect());
    if (inside.isEmpty() || dest.isEmpty())
        return;
    const double scaleX = double(dest.width()) / src.width();
    const double scaleY = double(dest.height()) / src.height();
    const QRectF target(dest.x() + (inside.x() - src.x()) * scaleX, dest.y() + (inside.y() - src.y()) * scaleY,
                        inside.width() * scaleX, inside.height() * scaleY);
    QPainter painter(&mSurface->widget->surface);
    painter.drawImage(target, source.image(), QRectF(inside));
    widget()->update();
}

} // namespace platform
