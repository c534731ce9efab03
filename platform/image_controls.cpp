#include "platform/image_controls.h"

#include "platform/canvas.h"
#include "platform/colors.h"
#include "platform/events.h"
#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <optional>

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

std::optional<int16_t> keyCodeOf(int key)
{
    switch (key) {
    case Qt::Key_End:
        return vbKeyEnd;
    case Qt::Key_Home:
        return vbKeyHome;
    case Qt::Key_Left:
        return vbKeyLeft;
    case Qt::Key_Up:
        return vbKeyUp;
    case Qt::Key_Right:
        return vbKeyRight;
    case Qt::Key_Down:
        return vbKeyDown;
    default:
        return std::nullopt;
    }
}

// A control's size in whole pixels.
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
    void keyPressEvent(QKeyEvent* e) override
    {
        std::optional<int16_t> keyCode = keyCodeOf(e->key());
        if (!keyCode) {
            QWidget::keyPressEvent(e);
            return;
        }
        int16_t shift = shiftOf(e->modifiers());
        raiseEvent(mControl->KeyDown, *keyCode, shift);
    }

private:
    Image* mControl;
};

class PictureBoxWidget : public QWidget {
public:
    // The canvas is kept at the widget's size and covers it, so the frame
    // below need not repaint each time a tile is drawn.
    PictureBoxWidget() { setAttribute(Qt::WA_OpaquePaintEvent); }
    Canvas canvas{kPreviewBackground};

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, canvas.pixels());
    }
};

} // namespace

Image::Image(Control& container) : Control(new ImageWidget(this), &container)
{
    setAccessibleRole(AccessibleRole::Graphic);
}

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

// A click leaves the focus where it was, as it always did: only Tab brings it here.
void Image::setTabStop(bool v) { widget()->setFocusPolicy(v ? Qt::TabFocus : Qt::NoFocus); }

void Image::geometryChanged()
{
    // Exactly the picture's pixels, even where the control's edges fall between
    // two: every column of the strip shows and takes clicks.
    widget()->resize(pixelSizeOf(*this));
}

PictureBox::PictureBox(Control& container) : Control(new PictureBoxWidget, &container)
{
    setAccessibleRole(AccessibleRole::Graphic);
    geometryChanged();
}

PictureBox::~PictureBox() = default;

Canvas& PictureBox::canvas() const { return static_cast<PictureBoxWidget*>(widget())->canvas; }

void PictureBox::setPicture(const Picture& picture) { mPicture = picture; }

Picture PictureBox::Image() const { return canvas().Image(); }

void PictureBox::Cls()
{
    canvas().Cls();
    widget()->update();
}

void PictureBox::Refresh() { widget()->update(); }

void PictureBox::geometryChanged()
{
    // The canvas is the box's size in twips made pixels, not the widget's
    // rounded edges, which can lose a column when the box starts half a pixel
    // off the grid: what is saved from it must be the whole tile.
    canvas().setSize(Width(), Height());
    widget()->resize(canvas().pixels().size());
}

void PictureBox::PaintPicture(const Picture& source, float destX, float destY, float destWidth,
                              float destHeight, float srcX, float srcY, float srcWidth, float srcHeight)
{
    canvas().PaintPicture(source, destX, destY, destWidth, destHeight, srcX, srcY, srcWidth, srcHeight);
    widget()->update();
}

} // namespace platform
