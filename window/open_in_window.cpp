#include "window/open_in_window.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "window/f_main.h"

void openInWindow(f_Main& form, const std::string& name)
{
    if (platform::FolderExists(name)) {
        form.Dir1.setPath(name);
        return;
    }
    // A bare name lies in the current folder.
    const std::string path =
        name.find(platform::PathSeparator) == std::string::npos ? "." + platform::PathSeparator + name : name;
    form.Dir1.setPath(platform::FolderOf(path));
    const std::string fileName = path.substr(path.rfind(platform::PathSeparator) + 1);
    for (int i = 0; i < form.File1.ListCount(); ++i)
        if (form.File1.List(i) == fileName) {
            form.File1.setListIndex(i);
            return;
        }
    if (!platform::FileExists(path))
        throw platform::RuntimeError(platform::FileNotFound, "File not found: '" + name + "'");
    throw platform::RuntimeError(platform::InvalidPicture,
                                 "Invalid picture: '" + name + "' is not a BMP, GIF or PNG file the file list offers");
}

void f_Main::Form_OLEDragDrop(const std::vector<std::string>& Files, int32_t& Effect)
{
    // The first folder or picture the file list would show opens; anything
    // else dropped on the window is no concern of it, and the drag is told so.
    for (const std::string& name : Files)
        if (platform::FolderExists(name) || File1.MatchesPattern(name)) {
            openInWindow(*this, name);
            return;
        }
    Effect = platform::vbDropEffectNone;
}
