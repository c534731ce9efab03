#pragma once
// The runtime's controls. Each keeps its geometry in twips (float, relative to
// its container) exactly as set, and places its widget at the nearest pixel.

#include "platform/colors.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

class Form;
class Label;

// How a screen reader announces a control whose widget has no role of its own.
enum class AccessibleRole { Window, Graphic, ToolBar };

class Control {
public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    float Left() const { return mLeft; }
    float Top() const { return mTop; }
    float Width() const { return mWidth; }
    float Height() const { return mHeight; }
    void setWidth(float v) { Move(mLeft, mTop, v); }
    void setHeight(float v) { Move(mLeft, mTop, mWidth, v); }
    // Omitted arguments keep their value.
    void Move(float left, std::optional<float> top = {}, std::optional<float> width = {},
              std::optional<float> height = {});

    bool Visible() const { return mVisible; }
    void setVisible(bool v);
    std::string ToolTipText() const;
    void setToolTipText(const std::string& text);
    int TabIndex() const { return mTabIndex; }
    void setTabIndex(int v) { mTabIndex = v; }
    // 0 brings the control in front of its siblings, 1 sends it to the back.
    void ZOrder(int position = 0);

    // What a screen reader announces for the control, beside its role.
    void setAccessibleName(const std::string& name);
    void setAccessibleRole(AccessibleRole role);

    Control* container() const { return mContainer; }
    // For the runtime itself and for tests: the widget behind the control.
    QWidget* widget() const { return mWidget; }

    // Places the widget again from the twips geometry (after the twips per pixel changed).
    virtual void placeWidget();

protected:
    Control(QWidget* widget, Control* container);
    virtual void geometryChanged() {}
    // Keeps new twips without placing the widget (when the window system moved it).
    void storeGeometry(float left, float top, float width, float height);
    Form* form() const;

private:
    friend class Label;
    // The description a screen reader reads: the captions of the labels that
    // describe the control, in the order they were given.
    void describeAgain();
    std::vector<const Label*> mDescribedBy;

    QWidget* mWidget;
    Control* mContainer;
    float mLeft = 0;
    float mTop = 0;
    float mWidth = 0;
    float mHeight = 0;
    bool mVisible = true;
    int mTabIndex = 0;
};

class Frame : public Control {
public:
    Frame(Control& container, const std::string& caption);
    std::string Caption() const;
    void setCaption(const std::string& caption);
};

class Label : public Control {
public:
    Label(Control& container, const std::string& caption = {});
    std::string Caption() const;
    void setCaption(const std::string& caption);
    void setForeColor(OLE_COLOR color);
    // When set, a caption longer than the label shows whole: the label reaches
    // to the right as far as the caption needs. Width stays as set.
    void setWidensToCaption(bool v);
    // The caption becomes part of the control's accessible description, and
    // stays so as it changes.
    void describe(Control& control);

    void placeWidget() override;

private:
    void fitCaption();
    std::string mCaption;
    std::vector<Control*> mDescribes;
    bool mWidensToCaption = false;
};

class TextBox : public Control {
public:
    explicit TextBox(Control& container);
    std::string Text() const;
    void setText(const std::string& text);
};

// A graphical command button: its 16x16 picture centred, no caption.
class CommandButton : public Control {
public:
    CommandButton(Control& container, const std::string& pictureResource);
    std::function<void()> Click;
};

// A rectangle outline with a solid one-pixel border and a transparent inside;
// mouse presses pass through it to whatever lies below.
class Shape : public Control {
public:
    explicit Shape(Control& container);
    void setBorderColor(OLE_COLOR color);
};

} // namespace platform
