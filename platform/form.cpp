#include "platform/form.h"

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// Borders and title bar as the form is designed with them, used until the
// window manager shows the real ones.
constexpr float kNominalBorder = 60;
constexpr float kNominalTitleAndBorder = 345;

// Twips to whole pixels, within what a window can have: a stored geometry may
// hold any number.
int windowPixels(double twips, double twipsPerPixel)
{
    const double limit = QWIDGETSIZE_MAX;
    return static_cast<int>(std::nearbyint(std::clamp(twips / twipsPerPixel, -limit, limit)));
}

// The twips that were set stay while the window has the pixels they give, so
// a value is read back exactly as it was set.
float twipsOf(float twips, int pixels, double twipsPerPixel)
{
    return windowPixels(twips, twipsPerPixel) == pixels ? twips : float(pixels * twipsPerPixel);
}

enum UnloadModeValue : int16_t { vbFormControlMenu = 0, vbAppWindows = 2 };

} // namespace

class FormWidget : public QWidget {
public:
    explicit FormWidget(Form* form) : mForm(form) {}

protected:
    void resizeEvent(QResizeEvent*) override { mForm->windowResized(); }
    void moveEvent(QMoveEvent*) override { mForm->windowMoved(); }
    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::WindowStateChange)
            mForm->windowStateChanged(static_cast<QWindowStateChangeEvent*>(e)->oldState() & Qt::WindowMaximized);
        QWidget::changeEvent(e);
    }
    void closeEvent(QCloseEvent* e) override
    {
        bool accept = true;
        mForm->closeRequest(vbFormControlMenu, accept);
        e->setAccepted(accept);
    }

private:
    Form* mForm;
};

// Swallows clicks and keys meant for the form while it is held.
class Form::InputHold : public QObject {
public:
    explicit InputHold(QWidget* window) : mWindow(window) { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* target, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut: {
            auto* w = qobject_cast<QWidget*>(target);
            return w && (w == mWindow || mWindow->isAncestorOf(w));
        }
        default:
            return false;
        }
    }

private:
    QWidget* mWindow;
};

Form::Form(const std::string& name, float clientWidth, float clientHeight)
    : Control(new FormWidget(this), nullptr), mWindow(static_cast<FormWidget*>(widget())), mName(name)
{
    storeGeometry(0, 0, clientWidth + 2 * kNominalBorder, clientHeight + kNominalTitleAndBorder + kNominalBorder);
    placeWidget();
}

Form::~Form() = default;

std::string Form::Caption() const { return str(mWindow->windowTitle()); }

void Form::setCaption(const std::string& caption) { mWindow->setWindowTitle(qstr(caption)); }

void Form::setIcon(const std::string& pictureResource) { mWindow->setWindowIcon(QIcon(qstr(pictureResource))); }

bool Form::decorationKnown() const
{
    return mWindow->isVisible() && mWindow->frameGeometry().size() != mWindow->geometry().size();
}

int Form::decorationWidth() const
{
    if (decorationKnown())
        return mWindow->frameGeometry().width() - mWindow->geometry().width();
    return 2 * toPixels(kNominalBorder, Screen.TwipsPerPixelX());
}

int Form::decorationHeight() const
{
    if (decorationKnown())
        return mWindow->frameGeometry().height() - mWindow->geometry().height();
    return toPixels(kNominalTitleAndBorder, Screen.TwipsPerPixelY()) +
           toPixels(kNominalBorder, Screen.TwipsPerPixelY());
}

float Form::ScaleWidth() const { return Width() - decorationWidth() * Screen.TwipsPerPixelX(); }

float Form::ScaleHeight() const { return Height() - decorationHeight() * Screen.TwipsPerPixelY(); }

void Form::placeWidget()
{
    const bool normal = WindowState() == vbNormal;
    // Until the window manager has shown its frame, and while it owns the window
    // (minimised or maximised), the geometry is kept to be given again later.
    if (normal && decorationKnown())
        mPendingPlacement.reset();
    else
        mPendingPlacement = Geometry{Left(), Top(), Width(), Height()};
    if (normal || !mWindow->isVisible())
        placeWindow();
}

void Form::placeWindow()
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    const int width = std::max(1, windowPixels(Width(), tx) - decorationWidth());
    const int height = std::max(1, windowPixels(Height(), ty) - decorationHeight());
    mWindow->move(windowPixels(Left(), tx), windowPixels(Top(), ty));
    mWindow->resize(width, height);
}

bool Form::placeWhenFrameKnown()
{
    if (!mPendingPlacement || WindowState() != vbNormal || !decorationKnown())
        return false;
    const Geometry g = *mPendingPlacement;
    mPendingPlacement.reset();
    storeGeometry(g.left, g.top, g.width, g.height);
    placeWindow();
    return true;
}

void Form::windowResized()
{
    if (WindowState() != vbMinimized && !placeWhenFrameKnown()) {
        const double tx = Screen.TwipsPerPixelX();
        const double ty = Screen.TwipsPerPixelY();
        storeGeometry(Left(), Top(), twipsOf(Width(), mWindow->width() + decorationWidth(), tx),
                      twipsOf(Height(), mWindow->height() + decorationHeight(), ty));
    }
    raiseEvent(Resize);
}

void Form::windowStateChanged(bool wasMaximized)
{
    // Back from maximised, the window manager sizes the window again and tells
    // the frame with it; back from minimised the frame is the one it has now.
    if (!wasMaximized)
        placeWhenFrameKnown();
    raiseEvent(Resize);
}

void Form::windowMoved()
{
    if (WindowState() == vbMinimized || placeWhenFrameKnown())
        return;
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    const QPoint pos = mWindow->pos();
    storeGeometry(twipsOf(Left(), pos.x(), tx), twipsOf(Top(), pos.y(), ty), Width(), Height());
}

int16_t Form::WindowState() const
{
    const Qt::WindowStates state = mWindow->windowState();
    if (state & Qt::WindowMinimized)
        return vbMinimized;
    if (state & Qt::WindowMaximized)
        return vbMaximized;
    return vbNormal;
}

void Form::setWindowState(int16_t state)
{
    switch (state) {
    case vbNormal:
        mWindow->setWindowState(Qt::WindowNoState);
        break;
    case vbMinimized:
        mWindow->setWindowState(Qt::WindowMinimized);
        break;
    case vbMaximized:
        mWindow->setWindowState(Qt::WindowMaximized);
        break;
    default:
        throw RuntimeError(InvalidPropertyValue);
    }
}

void Form::applyTabOrder()
{
    std::vector<Control*> order = mControls;
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });
    QWidget* previous = nullptr;
    for (Control* c : order) {
        if (c->widget()->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, c->widget());
        previous = c->widget();
    }
}

void Form::Show()
{
    applyTabOrder();
    raiseEvent(Load);
    mLoaded = true;
    mWindow->show();
}

void Form::Unload() { mWindow->close(); }

void Form::closeRequest(int16_t unloadMode, bool& accept)
{
    if (mInputHold) {
        // A long procedure is running; it ends after its current step and closes then.
        mCloseRequested = true;
        accept = false;
        return;
    }
    if (mUnloading) {
        accept = true;
        return;
    }
    int16_t cancel = 0;
    raiseEvent(QueryUnload, cancel, unloadMode);
    accept = cancel == 0;
    mUnloading = accept;
}

void Form::holdInput(bool hold)
{
    if (hold) {
        mInputHold = std::make_unique<InputHold>(mWindow);
        return;
    }
    mInputHold.reset();
    if (mCloseRequested) {
        mCloseRequested = false;
        Unload();
    }
}

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

} // namespace platform
