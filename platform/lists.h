#pragma once
// The drive, folder and file lists. Their Change events come both from the
// user's choices and from the program's assignments.

#include "platform/control.h"

namespace platform {

// "/" first, then mounted volumes (mount points under /media, /mnt, /run/media).
class DriveListBox : public Control {
public:
    explicit DriveListBox(Control& container);
    std::string Drive() const;
    // Error 68 ("Device unavailable") for a drive that is not present.
    void setDrive(const std::string& drive);
    std::function<void()> Change;

private:
    void fill();
    std::string mDrive;
};

// The path from the root down to the current folder, then its subfolders.
class DirListBox : public Control {
public:
    explicit DirListBox(Control& container);
    std::string Path() const { return mPath; }
    // Error 76 for a folder that does not exist, 75 for one that cannot be read;
    // the list stays as it was.
    void setPath(const std::string& path);
    std::function<void()> Change;

private:
    std::string mPath;
};

// The ordinary files of Path that match Pattern ("*.bmp;*.gif"), by name.
class FileListBox : public Control {
public:
    explicit FileListBox(Control& container);
    std::string Path() const { return mPath; }
    void setPath(const std::string& path);
    std::string Pattern() const { return mPattern; }
    void setPattern(const std::string& pattern);
    // The selected entry, or empty.
    std::string FileName() const;
    // Reads the folder again (error 76 or 75 when it cannot; the list keeps what it showed).
    void Refresh();
    std::function<void()> Click;

private:
    std::string mPath;
    std::string mPattern = "*.*";
};

} // namespace platform
