#include "platform/form.h"

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/qt_support.h"
#include "platform/screen.h"
#include "platform/settings_store.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QElapsedTimer>
#include <QIcon>
#include <QPalette>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <utility>

namespace platform {

namespace {

// Borders and title bar as the form is designed with them, used until the
// window manager shows the real ones.
constexpr float kNominalBorder = 60;
constexpr float kNominalTitleAndBorder = 345;

// The window manager's frame around the window as it tells it now; none
// before the window is shown.
QMargins frameOf(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    return window->isVisible() && handle ? handle->frameMargins() : QMargins();
}

// The twips that were set stay while the window has the pixels they give, so
// a value is read back exactly as it was set.
float keptTwips(float twips, int pixels, double twipsPerPixel)
{
    return toWidgetPixels(twips, twipsPerPixel) == pixels ? twips : float(pixels * twipsPerPixel);
}

// The classic light look whatever the desktop's theme, so that texts keep the
// contrast they were designed with (navy labels on a light face). Every role is
// the window's own: none is taken from the desktop, not even later.
QPalette classicPalette()
{
    const QColor face = qcolor(kButtonFace);
    const QColor text = qcolor(kWindowText);
    const QColor base = qcolor(kWindowBackground);
    // The shades of the face are the ones the Fusion style draws bevels and frames with.
    QPalette palette(text, face, face.lighter(150), face.darker(150), face.darker(130), text, base, base, face);
    palette.setColor(QPalette::Highlight, qcolor(kHighlight));
    palette.setColor(QPalette::HighlightedText, qcolor(kHighlightText));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, qcolor(kGrayText));
    palette.setResolveMask(~QPalette::ResolveMask(0));
    return palette;
}

std::vector<std::string> localFilesOf(const QMimeData& data)
{
    std::vector<std::string> files;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile())
            files.push_back(str(url.toLocalFile()));
    return files;
}

enum UnloadModeValue : int16_t { vbFormControlMenu = 0, vbAppWindows = 2 };

// Screens that do not say how often they refresh are taken to show this many frames a second.
constexpr double kUsualFramesPerSecond = 60;
constexpr double kMsPerSecond = 1000;

qint64 frameMsOf(const QScreen* screen)
{
    const double rate = screen && screen->refreshRate() > 0 ? screen->refreshRate() : kUsualFramesPerSecond;
    return qint64(std::ceil(kMsPerSecond / rate));
}

} // namespace

class FormWidget : public QWidget {
public:
    explicit FormWidget(Form* form) : mForm(form)
    {
        mNextFrame.setSingleShot(true);
        mNextFrame.setTimerType(Qt::PreciseTimer);
        QObject::connect(&mNextFrame, &QTimer::timeout, this, [this] {
            mSinceFrame.invalidate();
            ++mHeldFramesPainted;
            QEvent paint(QEvent::UpdateRequest);
            QCoreApplication::sendEvent(this, &paint);
        });
    }

    bool holdsRepaint() const { return mNextFrame.isActive(); }
    // Lets events run until the repaint held now is painted, at most a frame
    // from now; one asked for meanwhile, which waits for the frame after, is
    // not waited for.
    void paintHeldRepaint()
    {
        const quint64 painted = mHeldFramesPainted;
        while (holdsRepaint() && mHeldFramesPainted == painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }

protected:
    // A long run asks for a repaint after every step, far more often than a
    // screen can show one: a repaint that comes within a frame of the last
    // waits for the next frame and takes in whatever changed meanwhile.
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::UpdateRequest) {
            const qint64 wait = mSinceFrame.isValid() ? frameMs() - mSinceFrame.elapsed() : 0;
            if (wait > 0) {
                if (!mNextFrame.isActive())
                    mNextFrame.start(int(wait));
                return true;
            }
            mSinceFrame.start();
        }
        return QWidget::event(e);
    }
    void resizeEvent(QResizeEvent*) override { mForm->windowResized(); }
    void moveEvent(QMoveEvent*) override { mForm->windowChanged(); }
    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::WindowStateChange)
            mForm->windowStateChanged(static_cast<QWindowStateChangeEvent*>(e)->oldState() & Qt::WindowMaximized);
        QWidget::changeEvent(e);
    }
    // A drag that carries files or folders of this machine may be dropped.
    // They are read once, as it enters: a source may fail to hand them over
    // a second time at the drop (a Qt window driven by xdotool does).
    void dragEnterEvent(QDragEnterEvent* e) override
    {
        mDraggedFiles = mForm->OLEDragDrop ? localFilesOf(*e->mimeData()) : std::vector<std::string>();
        if (!mDraggedFiles.empty())
            e->acceptProposedAction();
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { mDraggedFiles.clear(); }
    void dropEvent(QDropEvent* e) override
    {
        const std::vector<std::string> files = std::exchange(mDraggedFiles, {});
        if (files.empty())
            return;
        int32_t effect = vbDropEffectCopy;
        raiseEvent(mForm->OLEDragDrop, files, effect);
        if (effect != vbDropEffectNone) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        }
    }
    void closeEvent(QCloseEvent* e) override
    {
        bool accept = true;
        mForm->closeRequest(vbFormControlMenu, accept);
        e->setAccepted(accept);
    }

private:
    qint64 frameMs() const { return frameMsOf(screen()); }

    Form* mForm;
    std::vector<std::string> mDraggedFiles;
    QElapsedTimer mSinceFrame;
    QTimer mNextFrame;
    quint64 mHeldFramesPainted = 0;
};

// Swallows clicks, keys and drops meant for the form while it is held.
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
        case QEvent::Shortcut:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
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
    mWindow->setPalette(classicPalette());
    mWindow->setAcceptDrops(true);
    setAccessibleRole(AccessibleRole::Window);
    storeGeometry(0, 0, clientWidth + 2 * kNominalBorder, clientHeight + kNominalTitleAndBorder + kNominalBorder);
    placeWidget();
}

Form::~Form() = default;

std::string Form::Caption() const { return str(mWindow->windowTitle()); }

void Form::setCaption(const std::string& caption) { mWindow->setWindowTitle(qstr(caption)); }

void Form::setIcon(const std::string& pictureResource) { mWindow->setWindowIcon(QIcon(qstr(pictureResource))); }

bool Form::decorationKnown() const { return !frameOf(mWindow).isNull(); }

int Form::decorationWidth() const
{
    if (decorationKnown())
        return frameOf(mWindow).left() + frameOf(mWindow).right();
    return 2 * toWidgetPixels(kNominalBorder, Screen.TwipsPerPixelX());
}

int Form::decorationHeight() const
{
    if (decorationKnown())
        return frameOf(mWindow).top() + frameOf(mWindow).bottom();
    return toWidgetPixels(kNominalTitleAndBorder, Screen.TwipsPerPixelY()) +
           toWidgetPixels(kNominalBorder, Screen.TwipsPerPixelY());
}

bool Form::PositionKnown() const { return !QGuiApplication::platformName().startsWith("wayland"); }

float Form::ScaleWidth() const { return Width() - decorationWidth() * Screen.TwipsPerPixelX(); }

float Form::ScaleHeight() const { return Height() - decorationHeight() * Screen.TwipsPerPixelY(); }

void Form::placeWidget()
{
    // Until the window manager has shown its frame, and while it owns the window
    // (minimised or maximised), the geometry is kept to be given again later.
    const bool normal = WindowState() == vbNormal;
    if (normal && decorationKnown())
        mPendingPlacement.reset();
    else
        mPendingPlacement = Geometry{Left(), Top(), Width(), Height()};
    // Placing a maximised window, even one not shown yet, would end that state.
    if (normal)
        placeWindow();
}

void Form::setMinimumSize(float width, float height)
{
    mMinimumWidth = width;
    mMinimumHeight = height;
    applyMinimumSize();
}

void Form::applyMinimumSize()
{
    // Qt takes the client's minimum; the frame around it is the one known now.
    mWindow->setMinimumSize(std::max(0, toWidgetPixels(mMinimumWidth, Screen.TwipsPerPixelX()) - decorationWidth()),
                            std::max(0, toWidgetPixels(mMinimumHeight, Screen.TwipsPerPixelY()) - decorationHeight()));
}

void Form::placeWindow()
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    const QScopedValueRollback<bool> placing(mPlacing, true);
    applyMinimumSize();
    mWindow->move(toWidgetPixels(Left(), tx), toWidgetPixels(Top(), ty));
    mWindow->resize(std::max(1, toWidgetPixels(Width(), tx) - decorationWidth()),
                    std::max(1, toWidgetPixels(Height(), ty) - decorationHeight()));
}

bool Form::placeWhenFrameKnown()
{
    if (!mPendingPlacement || mPlacing || WindowState() != vbNormal || !decorationKnown())
        return false;
    const Geometry g = *mPendingPlacement;
    mPendingPlacement.reset();
    storeGeometry(g.left, g.top, g.width, g.height);
    placeWindow();
    return true;
}

void Form::windowChanged()
{
    if (mPlacing || WindowState() == vbMinimized)
        return;
    applyMinimumSize();
    if (placeWhenFrameKnown())
        return;
    // The frame can change with any move or size (it is thinner when maximised),
    // so the outer geometry is taken whole each time.
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    const QRect client = mWindow->geometry();
    const QMargins frame = frameOf(mWindow);
    const bool positionKnown = PositionKnown();
    storeGeometry(positionKnown ? keptTwips(Left(), client.x() - frame.left(), tx) : Left(),
                  positionKnown ? keptTwips(Top(), client.y() - frame.top(), ty) : Top(),
                  keptTwips(Width(), client.width() + decorationWidth(), tx),
                  keptTwips(Height(), client.height() + decorationHeight(), ty));
}

void Form::windowResized()
{
    windowChanged();
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
    // Load reads the store as it is now, not as an earlier form left it unwritten.
    ForgetSettings();
    raiseEvent(Load);
    // A window shown maximised passes through the normal state on its way, but
    // its normal geometry is for later.
    const bool normal = WindowState() == vbNormal;
    {
        const QScopedValueRollback<bool> placing(mPlacing, true);
        mWindow->show();
    }
    // Where the frame is known at once, no later event would say so.
    if (normal)
        placeWhenFrameKnown();
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
    // What the form stored as it closed reaches the file in one write.
    if (accept)
        raiseEvent(std::function<void()>(WriteSettings));
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

void DoEvents()
{
    // A repaint held for the next frame is painted at the first yield after
    // that frame, which is soon enough while yields come faster than frames.
    // A procedure that has gone a frame without yielding (a slow write) may
    // do so again right after this yield, with an old state on screen all
    // that time: so the first repaint found held after such a pause, or at a
    // procedure's first yield, is waited for. That is at most a frame once
    // per pause, which a quick run of many short steps does not notice.
    static QElapsedTimer sinceYield;
    static bool paused = true;
    if (sinceYield.isValid() && sinceYield.elapsed() >= frameMsOf(QGuiApplication::primaryScreen()))
        paused = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (paused) {
        // Windows may go while events run.
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (const QPointer<QWidget>& window : std::vector<QPointer<QWidget>>(windows.begin(), windows.end())) {
            auto* form = dynamic_cast<FormWidget*>(window.data());
            if (form && form->holdsRepaint()) {
                form->paintHeldRepaint();
                paused = false;
            }
        }
    }
    sinceYield.start();
}

} // namespace platform
