#pragma once
// The form: one top-level window. Left, Top, Width and Height are its outer
// geometry in twips (title bar and borders included), ScaleWidth and
// ScaleHeight its client area.

#include "platform/control.h"

#include <memory>
#include <optional>

namespace platform {

enum WindowStateValue : int16_t { vbNormal = 0, vbMinimized = 1, vbMaximized = 2 };
// What a drop did, as its source is told: nothing, or a copy.
enum DropEffect : int32_t { vbDropEffectNone = 0, vbDropEffectCopy = 1 };

class FormWidget;

class Form : public Control {
public:
    Form(const std::string& name, float clientWidth, float clientHeight);
    ~Form() override;

    std::string Name() const { return mName; }
    std::string Caption() const;
    void setCaption(const std::string& caption);
    void setIcon(const std::string& pictureResource);

    // False where the window system keeps the window's place on screen to
    // itself (Wayland): Left and Top then stay as they were last set.
    bool PositionKnown() const;

    float ScaleWidth() const;
    float ScaleHeight() const;
    int16_t WindowState() const;
    // Error 380 ("Invalid property value") for anything but 0, 1 and 2.
    void setWindowState(int16_t state);

    // The smallest outer size of the window, in twips. The window manager is
    // told it, so a user's drag stops there instead of going below and being
    // corrected afterwards.
    void setMinimumSize(float width, float height);

    // Delivers Load, then shows the window.
    void Show();
    // Asks the window to close, as the title-bar button does.
    void Unload();

    // While input is held, clicks, keys and drops do not reach the form or its
    // controls and a close request waits until the hold ends; repaints go on.
    void holdInput(bool hold);
    bool closeRequested() const { return mCloseRequested; }

    std::function<void()> Load;
    std::function<void()> Resize;
    // (Cancel, UnloadMode)
    std::function<void(int16_t&, int16_t)> QueryUnload;
    // (Files, Effect): the local files and folders dropped on the window, in
    // order; Effect starts as vbDropEffectCopy.
    std::function<void(const std::vector<std::string>&, int32_t&)> OLEDragDrop;

    void placeWidget() override;

private:
    friend class FormWidget;
    // The window system moved or sized the window, or changed its frame.
    void windowChanged();
    void windowResized();
    void windowStateChanged(bool wasMaximized);
    bool placeWhenFrameKnown();
    void placeWindow();
    void closeRequest(int16_t unloadMode, bool& accept);
    friend class Control;
    void registerControl(Control* control) { mControls.push_back(control); }
    void applyTabOrder();
    void applyMinimumSize();
    bool decorationKnown() const;
    int decorationWidth() const;
    int decorationHeight() const;

    struct Geometry {
        float left, top, width, height;
    };

    FormWidget* mWindow;
    // Geometry the window still has to be given: it was placed around a nominal
    // frame, or not at all while minimised or maximised.
    std::optional<Geometry> mPendingPlacement;
    std::vector<Control*> mControls;
    float mMinimumWidth = 0;
    float mMinimumHeight = 0;
    class InputHold;
    std::unique_ptr<InputHold> mInputHold;
    std::string mName;
    bool mCloseRequested = false;
    bool mUnloading = false;
    // Set while the window is being placed or shown: its events then carry
    // nothing the form does not know.
    bool mPlacing = false;
};

// Lets pending input and repaints run. At a procedure's first yield, and
// after it went a frame without yielding, a repaint held for the next frame
// is waited for, so that what the procedure shows is on screen while its next
// step runs.
void DoEvents();

} // namespace platform
