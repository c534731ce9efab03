// Keeping the drive, folder and file lists in step, and loading the chosen strip.
#include "platform/files.h"
#include "platform/numbers.h"
#include "platform/screen.h"
#include "tiles/tile_rules.h"
#include "window/f_main.h"

using platform::Screen;

void f_Main::Drive1_Change()
{
    Dir1.setPath(Drive1.Drive());
    File1.setPath(Dir1.Path());
    File1.Refresh();
}

void f_Main::Dir1_Change()
{
    File1.setPath(Dir1.Path());
    File1.Refresh();
}

void f_Main::File1_Click()
{
    if (File1.FileName().empty())
        return;
    const std::string path = File1.Path() + platform::PathSeparator + File1.FileName();
    Image1.setPicture(platform::LoadPicture(path));
    const int32_t width = tiles::pixelsOf(Image1.Width(), Screen.TwipsPerPixelX());
    const int32_t height = tiles::pixelsOf(Image1.Height(), Screen.TwipsPerPixelY());
    Image1.Refresh();
    Label1.setCaption("Size: " + platform::toText(width) + "x" + platform::toText(height));
    Shape1.setVisible(false);
}
