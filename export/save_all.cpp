// Saving every tile of the strip into the output folder as prefix + number + ".bmp".
#include "platform/files.h"
#include "platform/held_input.h"
#include "platform/screen.h"
#include "tiles/tile_rules.h"
#include "window/f_main.h"

using platform::Screen;

namespace {

// Each pass picks its tile as a plain left click on the image's top row would.
constexpr int16_t kLeftButton = 1;
constexpr int16_t kNoShift = 0;
constexpr float kPickY = 1;

} // namespace

void f_Main::cmdSaveAll_Click()
{
    if (lbDir.Caption().empty())
        cmdDir_Click();
    if (lbDir.Caption().empty())
        return;
    const int32_t pixelWidth = tiles::pixelsOf(Image1.Width(), Screen.TwipsPerPixelX());
    const int32_t pixelHeight = tiles::pixelsOf(Image1.Height(), Screen.TwipsPerPixelY());
    const int32_t baseWidth = tiles::baseTileWidth(pixelHeight);
    // At least one pass: a strip narrower than two tiles is picked, and saved, whole.
    const int16_t passes = tiles::tileCount(pixelWidth, baseWidth);
    // Until the run ends, clicks and keys cannot change the preview or the name
    // between a pick and its write, nor start a second run; a close waits for
    // the tile in progress.
    const platform::HeldInput held(*this);
    for (int16_t i = 0; i < passes && !closeRequested(); ++i) {
        int16_t Button = kLeftButton;
        int16_t Shift = kNoShift;
        float X = tiles::pickX(i, baseWidth, Screen.TwipsPerPixelX());
        float Y = kPickY;
        Image1_MouseDown(Button, Shift, X, Y);
        platform::DoEvents();
        const std::string target = tiles::tileFileName(lbDir.Caption(), txtPref.Text(), i);
        if (!platform::FileExists(target)) {
            Picture2.setPicture(Picture2.Image());
            platform::DoEvents();
            platform::SaveNewPicture(Picture2.picture(), target);
            platform::DoEvents();
        }
    }
}
