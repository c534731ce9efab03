// Keeps the three frames tiling the window at any size.
#include "window/f_main.h"

namespace {

// The file list and the output folder label keep this gap to their frame's edges.
constexpr float kFrameMargin = 60;

} // namespace

void f_Main::Form_Resize()
{
    if (WindowState() == platform::vbMinimized)
        return;
    if (Width() < kMinimumWidth)
        setWidth(kMinimumWidth);
    if (Height() < kMinimumHeight)
        setHeight(kMinimumHeight);
    Frame2.Move(0, 0, ScaleWidth(), Frame2.Height());
    File1.Move(File1.Left(), File1.Top(), Frame2.Width() - File1.Left() - kFrameMargin);
    Frame3.Move(ScaleWidth() - Frame3.Width(), Frame2.Height(), Frame3.Width(), ScaleHeight() - Frame2.Height());
    Frame1.Move(0, Frame2.Height(), ScaleWidth() - Frame3.Width(), ScaleHeight() - Frame2.Height());
    lbDir.Move(kFrameMargin, lbDir.Top(), Frame1.Width() - 2 * kFrameMargin);
    Picture1.Move(Frame1.Width() - Picture1.Width() - Label1.Left());
}
