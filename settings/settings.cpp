// Restoring and storing the window, the browsing lists and the output folder.
#include "platform/app.h"
#include "platform/errors.h"
#include "platform/numbers.h"
#include "platform/screen.h"
#include "platform/settings_store.h"
#include "window/f_main.h"

using platform::App;
using platform::GetSetting;
using platform::SaveSetting;
using platform::Screen;
using platform::toSingle;
using platform::toText;

namespace {

const std::string kPathSection = "Setting";

} // namespace

void f_Main::LoadSettings()
{
    // A value that no longer fits (a folder since removed, a number edited by
    // hand) is skipped on its own: the others still come back, so the next close
    // does not overwrite them with what the window happened to start with.
    platform::ResumeNext step;
    step([this] { setWindowState(platform::toInt16(GetSetting(App.ProductName(), Name(), "WindowState", "0"))); });
    if (WindowState() != platform::vbMinimized) {
        float left = Left();
        float top = Top();
        float width = Width();
        float height = Height();
        step([&] { left = toSingle(GetSetting(App.ProductName(), Name(), "WindowLeft", "0")); });
        step([&] { top = toSingle(GetSetting(App.ProductName(), Name(), "WindowTop", "0")); });
        step([&] { width = toSingle(GetSetting(App.ProductName(), Name(), "WindowWidth", toText(Width()))); });
        step([&] { height = toSingle(GetSetting(App.ProductName(), Name(), "WindowHeight", toText(Height()))); });
        // Stored on other screens or edited by hand, the geometry is brought onto these first.
        Screen.FitWindow(left, top, width, height);
        Move(left, top, width, height);
    }
    step([this] { Drive1.setDrive(GetSetting(App.ProductName(), kPathSection, "DrivePath", platform::SystemDrive())); });
    step([this] { Dir1.setPath(GetSetting(App.ProductName(), kPathSection, "DirPath", App.Path())); });
    lbDir.setCaption(GetSetting(App.ProductName(), kPathSection, "OutputPath", App.Path()));
}

void f_Main::SaveSettings()
{
    SaveSetting(App.ProductName(), Name(), "WindowState", toText(WindowState()));
    SaveSetting(App.ProductName(), Name(), "WindowWidth", toText(Width()));
    SaveSetting(App.ProductName(), Name(), "WindowHeight", toText(Height()));
    // Where the window system does not tell the window's place (Wayland), the
    // place stored by another session stays for the next one that can use it.
    if (PositionKnown()) {
        SaveSetting(App.ProductName(), Name(), "WindowLeft", toText(Left()));
        SaveSetting(App.ProductName(), Name(), "WindowTop", toText(Top()));
    }
    SaveSetting(App.ProductName(), kPathSection, "DrivePath", Drive1.Drive());
    SaveSetting(App.ProductName(), kPathSection, "DirPath", Dir1.Path());
    SaveSetting(App.ProductName(), kPathSection, "OutputPath", lbDir.Caption());
}
