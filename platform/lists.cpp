#include "platform/lists.h"

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/qt_support.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>

namespace platform {

namespace {

const QString kRoot = "/";
// Where removable and extra volumes are mounted.
const QStringList kVolumeFolders = {"/media/", "/mnt/", "/run/media/"};
constexpr int kIndentPerLevel = 2;

// The root first, then the mount points of mounted volumes, by name.
QStringList presentDrives()
{
    QStringList volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString point = volume.rootPath();
        const bool isVolume = std::any_of(kVolumeFolders.begin(), kVolumeFolders.end(),
                                          [&point](const QString& folder) { return point.startsWith(folder); });
        if (isVolume && !volumes.contains(point))
            volumes << point;
    }
    volumes.sort();
    return QStringList{kRoot} + volumes;
}

// The drive that holds a folder: the longest mount point it lies under.
QString driveOf(const QString& folder)
{
    QString drive = kRoot;
    for (const QString& candidate : presentDrives())
        if ((folder == candidate || folder.startsWith(candidate + "/")) && candidate.size() > drive.size())
            drive = candidate;
    return drive;
}

bool canList(const QFileInfo& folder) { return folder.isReadable() && folder.isExecutable(); }

// A folder that exists and can be listed, as a clean absolute path; error 76 or 75 otherwise.
QString readableFolder(const std::string& path)
{
    const QFileInfo info(qstr(path));
    if (!info.isDir())
        throw RuntimeError(PathNotFound, "Path not found: " + quoted(path));
    if (!canList(info))
        throw RuntimeError(PathFileAccessError,
                           "Path/File access error: no permission to read the folder " + quoted(path));
    return QDir::cleanPath(info.absoluteFilePath());
}

// The folder the program was started in, as the classic lists start; the root
// when that folder cannot be listed.
QString startFolder()
{
    const QFileInfo current(QDir::currentPath());
    return current.isDir() && canList(current) ? QDir::cleanPath(current.absoluteFilePath()) : kRoot;
}

class DriveCombo : public QComboBox {
public:
    std::function<void()> aboutToShowPopup;

protected:
    // Volumes come and go: the list is read again each time it opens.
    void showPopup() override
    {
        aboutToShowPopup();
        QComboBox::showPopup();
    }
};

class FileListWidget : public QListWidget {
public:
    std::function<void()> chosenAgain;

protected:
    // Pressing the entry that is already chosen changes no selection, yet it is
    // a click all the same.
    void mousePressEvent(QMouseEvent* e) override
    {
        const QListWidgetItem* pressed = itemAt(e->position().toPoint());
        const bool wasChosen = pressed && pressed->isSelected();
        QListWidget::mousePressEvent(e);
        if (wasChosen && pressed->isSelected())
            chosenAgain();
    }
};

} // namespace

DriveListBox::DriveListBox(Control& container) : Control(new DriveCombo, &container), mDrive(str(driveOf(startFolder())))
{
    auto* combo = static_cast<DriveCombo*>(widget());
    combo->aboutToShowPopup = [this] { fill(); };
    fill();
    QObject::connect(combo, &QComboBox::activated, [this, combo](int index) {
        const std::string chosen = str(combo->itemText(index));
        raiseEvent([this, &chosen] { setDrive(chosen); });
    });
}

void DriveListBox::fill()
{
    auto* combo = static_cast<QComboBox*>(widget());
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
    combo->clear();
    for (const QString& drive : presentDrives())
        combo->addItem(icon, drive);
    combo->setCurrentIndex(combo->findText(qstr(mDrive)));
}

void DriveListBox::setDrive(const std::string& drive)
{
    auto* combo = static_cast<QComboBox*>(widget());
    if (!presentDrives().contains(qstr(drive))) {
        combo->setCurrentIndex(combo->findText(qstr(mDrive)));
        throw RuntimeError(DeviceUnavailable, "Device unavailable: " + quoted(drive) + " is not a mounted drive");
    }
    if (drive == mDrive)
        return;
    mDrive = drive;
    if (combo->findText(qstr(drive)) < 0)
        fill(); // mounted since the list was last read
    else
        combo->setCurrentIndex(combo->findText(qstr(drive)));
    if (Change)
        Change();
}

DirListBox::DirListBox(Control& container) : Control(new QListWidget, &container)
{
    auto* list = static_cast<QListWidget*>(widget());
    // Deep paths are cut at the right edge rather than given a scroll bar that eats the short list.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QObject::connect(list, &QListWidget::itemActivated, [this](QListWidgetItem* item) {
        const std::string target = str(item->data(Qt::UserRole).toString());
        raiseEvent([this, &target] { setPath(target); });
    });
    setPath(str(startFolder()));
}

void DirListBox::setPath(const std::string& path)
{
    const QString folder = readableFolder(path);
    const QStringList children =
        QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);

    auto* list = static_cast<QListWidget*>(widget());
    const QIcon open = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto addEntry = [list](const QIcon& icon, const QString& name, const QString& fullPath, int level) {
        auto* item = new QListWidgetItem(icon, QString(level * kIndentPerLevel, ' ') + name, list);
        item->setData(Qt::UserRole, fullPath);
        return item;
    };
    list->clear();
    // The path from the root down, open; then the folder's own subfolders one level in.
    const QStringList parts = folder.split('/', Qt::SkipEmptyParts);
    QString walked;
    QListWidgetItem* current = addEntry(open, kRoot, kRoot, 0);
    for (int i = 0; i < parts.size(); ++i) {
        walked += "/" + parts[i];
        current = addEntry(open, parts[i], walked, i + 1);
    }
    const QString parent = folder == kRoot ? QString() : folder;
    for (const QString& child : children)
        addEntry(closed, child, parent + "/" + child, parts.size() + 1);
    list->setCurrentItem(current);

    if (str(folder) == mPath)
        return;
    mPath = str(folder);
    if (Change)
        Change();
}

FileListBox::FileListBox(Control& container) : Control(new FileListWidget, &container)
{
    auto* list = static_cast<FileListWidget*>(widget());
    list->chosenAgain = [this] { raiseEvent(Click); };
    // The selection, not the current row: a mouse press moves the current row
    // before it selects, and FileName is the selected entry.
    QObject::connect(list, &QListWidget::itemSelectionChanged, [this] { raiseEvent(Click); });
    setPath(str(startFolder()));
}

void FileListBox::setPath(const std::string& path) { show(readableFolder(path)); }

void FileListBox::setPattern(const std::string& pattern)
{
    mPattern = pattern;
    Refresh();
}

std::string FileListBox::FileName() const
{
    auto* list = static_cast<QListWidget*>(widget());
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? str(item->text()) : std::string();
}

int FileListBox::ListCount() const { return static_cast<QListWidget*>(widget())->count(); }

std::string FileListBox::List(int index) const
{
    const QListWidgetItem* item = static_cast<QListWidget*>(widget())->item(index);
    return item ? str(item->text()) : std::string();
}

void FileListBox::setListIndex(int index)
{
    auto* list = static_cast<QListWidget*>(widget());
    if (index < 0 || index >= list->count())
        throw RuntimeError(InvalidPropertyValue, "Invalid property value: no entry " + std::to_string(index) +
                                                     " in a list of " + std::to_string(list->count()));
    {
        // Click runs here, inside the assignment, not from the selection's signal.
        const QSignalBlocker quiet(list);
        list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
    if (Click)
        Click();
}

void FileListBox::Refresh() { show(readableFolder(mPath)); }

void FileListBox::show(const QString& folder)
{
    // Name filters without QDir::CaseSensitive match any case, so STRIP.BMP is listed too.
    const QStringList files = QDir(folder).entryList(qstr(mPattern).split(';', Qt::SkipEmptyParts), QDir::Files,
                                                     QDir::Name | QDir::IgnoreCase);
    auto* list = static_cast<QListWidget*>(widget());
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(files);
    mPath = str(folder);
}

} // namespace platform
