#pragma once
// The drive, folder and file lists. Their events come both from the user's
// choices and from the program's assignments. An event raised by an assignment
// runs inside it, like any procedure the assigning code calls: an error it
// raises ends the assignment and reaches that code's caller.

#include "platform/control.h"

namespace platform {

// "/" first, then mounted volumes (mount points under /media, /mnt and
// /run/media). Drive is the chosen entry's text, which DirListBox::setPath
// accepts. As in every list here, only the left button chooses.
class DriveListBox : public Control {
public:
    explicit DriveListBox(Control& container);
    std::string Drive() const { return mDrive; }
    // Error 68 ("Device unavailable") for a drive that is not present. Change
    // follows only when the drive is another one.
    void setDrive(const std::string& drive);
    std::function<void()> Change;

private:
    void fill();
    std::string mDrive;
};

// The path from the root down to the current folder, then that folder's
// subfolders (hidden ones left out). Opening an entry (a double click of the
// left button, or Enter) sets Path. Paths are the bytes the system gives, UTF-8 or not.
class DirListBox : public Control {
public:
    explicit DirListBox(Control& container);
    std::string Path() const { return mPath; }
    // Error 76 for a folder that does not exist, 75 for one that cannot be read;
    // the list stays as it was. Change follows only when the folder is another one.
    void setPath(const std::string& path);
    std::function<void()> Change;

private:
    std::string mPath;
};

// The ordinary files of Path whose names match Pattern ("*.bmp;*.gif;*.png"), any
// case, sorted by name; hidden files are left out. Choosing an entry with the
// left button or the arrow keys raises Click, and so does choosing the chosen
// entry again. Names are kept as the folder's bytes: one that is not UTF-8 is
// shown with replacement characters, and FileName gives its exact bytes.
class FileListBox : public Control {
public:
    explicit FileListBox(Control& container);
    std::string Path() const { return mPath; }
    // Reads the folder (error 76 or 75 when it cannot; the list keeps what it showed).
    void setPath(const std::string& path);
    std::string Pattern() const { return mPattern; }
    void setPattern(const std::string& pattern);
    // The selected entry, or empty.
    std::string FileName() const;
    // The entries, in the list's order.
    int ListCount() const;
    std::string List(int index) const;
    // Chooses an entry as the user does, so Click follows; error 380 for an
    // index outside the list.
    void setListIndex(int index);
    // Reads the folder again, with the same errors as setPath.
    void Refresh();
    std::function<void()> Click;

private:
    // Lists the folder's matching files; the folder becomes Path only once they are read.
    void show(const std::string& folder);
    std::string mPath;
    std::string mPattern = "*.*";
    // The folder's matching names in the order the system gave them.
    std::vector<std::string> mNamesAsRead;
};

} // namespace platform
