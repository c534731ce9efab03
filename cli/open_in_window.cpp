#include "cli/open_in_window.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "window/f_main.h"

namespace cli {

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

} // namespace cli
