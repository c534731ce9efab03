// Saving every tile of the strip into the output folder as prefix + number + ".bmp".
#include "platform/files.h"
#include "platform/held_input.h"
#include "platform/screen.h"
#include "tiles/tile_rules.h"
#include "window/f_main.h"

using platform::Screen;

void f_Main::cmdSaveAll_Click()
{
    if (lbDir.Caption().empty())
        cmdDir_Click();
    if (lbDir.Caption().empty())
        return;
    // At least one pass: a strip narrower than two tiles is picked, and saved, whole.
    const tiles::StripTiles strip =
        tiles::stripTiles(Image1.Width(), Image1.Height(), Screen.TwipsPerPixelX(), Screen.TwipsPerPixelY());
    // Until the run ends, clicks and keys cannot change the preview or the name
    // between a pick and its write, nor start a second run; a close waits for
    // the tile in progress.
    const platform::HeldInput held(*this);
    for (int16_t i = 0; i < strip.count && !closeRequested(); ++i) {
        PickTile(i, strip.baseWidth);
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
