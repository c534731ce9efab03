#include "platform/control.h"

#include "platform/events.h"
#include "platform/form.h"
#include "platform/qt_support.h"
#include "platform/screen.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QToolButton>

namespace platform {

namespace {

// The pixels from one edge to the other. Edges are rounded rather than sizes,
// so controls that touch in twips touch on screen.
int pixelSpan(float start, float length, double twipsPerPixel)
{
    return std::max(0, toWidgetPixels(double(start) + length, twipsPerPixel) - toWidgetPixels(start, twipsPerPixel));
}

// The role a control gave its widget, read whenever a screen reader asks.
const char* const kAccessibleRoleProperty = "accessibleRole";

class AccessibleControl : public QAccessibleWidget {
public:
    explicit AccessibleControl(QWidget* w) : QAccessibleWidget(w) {}
    QAccessible::Role role() const override
    {
        return QAccessible::Role(widget()->property(kAccessibleRoleProperty).toInt());
    }
};

QAccessibleInterface* accessibleControl(const QString& className, QObject* object)
{
    auto* w = qobject_cast<QWidget*>(object);
    if (className != QLatin1String("QWidget") || !w || !w->property(kAccessibleRoleProperty).isValid())
        return nullptr;
    return new AccessibleControl(w);
}

QAccessible::Role qtRole(AccessibleRole role)
{
    switch (role) {
    case AccessibleRole::Window:
        return QAccessible::Window;
    case AccessibleRole::ToolBar:
        return QAccessible::ToolBar;
    default:
        return QAccessible::Graphic;
    }
}

} // namespace

Control::Control(QWidget* widget, Control* container) : mWidget(widget), mContainer(container)
{
    // Qt asks this for the interface of a widget it knows no role for; once is enough.
    [[maybe_unused]] static const bool rolesKnown = (QAccessible::installFactory(accessibleControl), true);
    if (mContainer) {
        mWidget->setParent(mContainer->widget());
        mWidget->show();
    }
    if (Form* f = form())
        f->registerControl(this);
}

// Controls go before their containers (they are built after them), so each
// can delete its own widget.
Control::~Control() { delete mWidget; }

Form* Control::form() const
{
    const Control* c = this;
    while (c->mContainer)
        c = c->mContainer;
    return dynamic_cast<Form*>(const_cast<Control*>(c));
}

void Control::Move(float left, std::optional<float> top, std::optional<float> width,
                   std::optional<float> height)
{
    mLeft = left;
    mTop = top.value_or(mTop);
    mWidth = width.value_or(mWidth);
    mHeight = height.value_or(mHeight);
    placeWidget();
    geometryChanged();
}

void Control::storeGeometry(float left, float top, float width, float height)
{
    mLeft = left;
    mTop = top;
    mWidth = width;
    mHeight = height;
}

void Control::placeWidget()
{
    const double tx = Screen.TwipsPerPixelX();
    const double ty = Screen.TwipsPerPixelY();
    mWidget->setGeometry(toWidgetPixels(mLeft, tx), toWidgetPixels(mTop, ty), pixelSpan(mLeft, mWidth, tx),
                         pixelSpan(mTop, mHeight, ty));
}

void Control::setVisible(bool v)
{
    mVisible = v;
    mWidget->setVisible(v);
}

std::string Control::ToolTipText() const { return str(mWidget->toolTip()); }

void Control::setToolTipText(const std::string& text) { mWidget->setToolTip(qstr(text)); }

void Control::ZOrder(int position)
{
    if (position == 0)
        mWidget->raise();
    else
        mWidget->lower();
}

void Control::setAccessibleName(const std::string& name)
{
    mWidget->setAccessibleName(qstr(name));
    // On Linux Qt announces a drop-down list by the entry it shows, and takes
    // its name from a label that names it as its buddy; this one is never shown.
    if (auto* list = qobject_cast<QComboBox*>(mWidget)) {
        auto* label = new QLabel(qstr(name), mWidget->parentWidget());
        label->hide();
        label->setBuddy(list);
    }
}

void Control::setAccessibleRole(AccessibleRole role)
{
    mWidget->setProperty(kAccessibleRoleProperty, int(qtRole(role)));
}

void Control::describeAgain()
{
    QStringList captions;
    for (const Label* label : mDescribedBy)
        captions << qstr(label->Caption());
    mWidget->setAccessibleDescription(captions.join(", "));
}

namespace {

// The classic frame: a thin border whose top line runs through the caption. The
// caption starts at the frame's top edge, so none of it is cut off. Drawn here
// rather than by a style sheet, which would give what the frame holds the
// desktop's palette instead of the window's.
class FrameWidget : public QGroupBox {
public:
    static constexpr int kCaptionLeft = 6;
    static constexpr int kCaptionPadding = 2;

    QRect captionRect() const
    {
        const QFontMetrics metrics(font());
        return QRect(kCaptionLeft, 0, metrics.horizontalAdvance(title()) + 2 * kCaptionPadding, metrics.height());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect caption = captionRect();
        const int top = caption.center().y();
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(0, top, width() - 1, height() - top - 1);
        painter.fillRect(caption, palette().window());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

} // namespace

Frame::Frame(Control& container, const std::string& caption) : Control(new FrameWidget, &container)
{
    setCaption(caption);
}

std::string Frame::Caption() const { return str(static_cast<QGroupBox*>(widget())->title()); }

void Frame::setCaption(const std::string& caption)
{
    static_cast<QGroupBox*>(widget())->setTitle(qstr(caption));
}

Label::Label(Control& container, const std::string& caption) : Control(new QLabel, &container)
{
    auto* label = static_cast<QLabel*>(widget());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    // Opaque and beneath the controls created before it, as the classic label
    // is drawn on its container: a new caption then repaints the label alone,
    // not the frame around it (Save all rewrites the index for every tile).
    label->setAutoFillBackground(true);
    label->lower();
    setCaption(caption);
}

std::string Label::Caption() const { return mCaption; }

void Label::setCaption(const std::string& caption)
{
    // Kept as it was given: a folder whose name is no UTF-8 shows with
    // replacement characters, yet the output folder is still that folder.
    mCaption = caption;
    static_cast<QLabel*>(widget())->setText(qstr(caption));
    fitCaption();
    for (Control* c : mDescribes)
        c->describeAgain();
}

void Label::describe(Control& control)
{
    mDescribes.push_back(&control);
    control.mDescribedBy.push_back(this);
    control.describeAgain();
}

void Label::setWidensToCaption(bool v)
{
    mWidensToCaption = v;
    placeWidget();
}

void Label::placeWidget()
{
    Control::placeWidget();
    fitCaption();
}

void Label::fitCaption()
{
    if (!mWidensToCaption)
        return;
    QWidget* w = widget();
    const int placed = pixelSpan(Left(), Width(), Screen.TwipsPerPixelX());
    const int needed = QFontMetrics(w->font()).horizontalAdvance(static_cast<QLabel*>(w)->text());
    w->resize(std::max(placed, needed), w->height());
}

void Label::setForeColor(OLE_COLOR color)
{
    QPalette palette = widget()->palette();
    palette.setColor(QPalette::WindowText, qcolor(color));
    widget()->setPalette(palette);
}

TextBox::TextBox(Control& container) : Control(new QLineEdit, &container) {}

std::string TextBox::Text() const { return str(static_cast<QLineEdit*>(widget())->text()); }

void TextBox::setText(const std::string& text) { static_cast<QLineEdit*>(widget())->setText(qstr(text)); }

CommandButton::CommandButton(Control& container, const std::string& pictureResource)
    : Control(new QToolButton, &container)
{
    auto* button = static_cast<QToolButton*>(widget());
    button->setIcon(QIcon(qstr(pictureResource)));
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(button, &QToolButton::clicked, [this] { raiseEvent(Click); });
}

namespace {

class ShapeWidget : public QWidget {
public:
    QColor borderColor = Qt::black;

protected:
    void paintEvent(QPaintEvent*) override
    {
        // Filled edge by edge: an outline one or two pixels high is still
        // drawn, where a rectangle of no height would draw nothing.
        QPainter painter(this);
        const int w = width();
        const int h = height();
        painter.fillRect(0, 0, w, 1, borderColor);
        painter.fillRect(0, h - 1, w, 1, borderColor);
        painter.fillRect(0, 0, 1, h, borderColor);
        painter.fillRect(w - 1, 0, 1, h, borderColor);
    }
};

} // namespace

Shape::Shape(Control& container) : Control(new ShapeWidget, &container)
{
    setAccessibleRole(AccessibleRole::Graphic);
    widget()->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::setBorderColor(OLE_COLOR color)
{
    static_cast<ShapeWidget*>(widget())->borderColor = qcolor(color);
    widget()->update();
}

} // namespace platform
