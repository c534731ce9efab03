#include "platform/lists.h"

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/qt_support.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>

namespace platform {

namespace {

constexpr const char* kRoot = "/";
const char* const kVolumeFolders[] = {"/media/", "/mnt/", "/run/media/"};

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Mount points of removable and extra volumes, from /proc/mounts.
QStringList mountedVolumes()
{
    QStringList volumes;
    QFile mounts("/proc/mounts");
    if (!mounts.open(QIODevice::ReadOnly))
        return volumes;
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2)
            continue;
        // Blanks in mount points are written as \040.
        const QString point = QString::fromUtf8(fields[1]).replace("\\040", " ");
        for (const char* folder : kVolumeFolders)
            if (point.startsWith(folder) && !volumes.contains(point))
                volumes << point;
    }
    volumes.sort();
    return volumes;
}

// A folder that exists and can be listed, as a clean absolute path; error 76 or 75 otherwise.
QString readableFolder(const std::string& path)
{
    const QFileInfo info(qstr(path));
    if (path.empty() || !info.exists() || !info.isDir())
        throw RuntimeError(PathNotFound, "Path not found: " + quoted(path));
    if (!info.isReadable() || !info.isExecutable())
        throw RuntimeError(PathFileAccessError, "Path/File access error: cannot read the folder " + quoted(path));
    return QDir::cleanPath(info.absoluteFilePath());
}

class FileListWidget : public QListWidget {
public:
    std::function<void()> clickedAgain;

protected:
    // Choosing the entry that is already chosen is a click all the same.
    void mousePressEvent(QMouseEvent* e) override
    {
        const int before = currentRow();
        QListWidget::mousePressEvent(e);
        if (before >= 0 && currentRow() == before && itemAt(e->position().toPoint()))
            clickedAgain();
    }
};

} // namespace

DriveListBox::DriveListBox(Control& container) : Control(new QComboBox, &container)
{
    auto* combo = static_cast<QComboBox*>(widget());
    fill();
    mDrive = kRoot;
    QObject::connect(combo, QOverload<int>::of(&QComboBox::activated), [this, combo](int index) {
        const std::string chosen = str(combo->itemText(index));
        raiseEvent([this, &chosen] { setDrive(chosen); });
        combo->setCurrentText(qstr(mDrive));
    });
}

void DriveListBox::fill()
{
    auto* combo = static_cast<QComboBox*>(widget());
    combo->clear();
    combo->addItem(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon), kRoot);
    for (const QString& volume : mountedVolumes())
        combo->addItem(QApplication::style()->standardIcon(QStyle::SP_DriveCDIcon), volume);
}

std::string DriveListBox::Drive() const { return mDrive; }

void DriveListBox::setDrive(const std::string& drive)
{
    auto* combo = static_cast<QComboBox*>(widget());
    fill();
    const int index = combo->findText(qstr(drive));
    if (index < 0 || !QFileInfo(qstr(drive)).isDir()) {
        combo->setCurrentText(qstr(mDrive));
        throw RuntimeError(DeviceUnavailable, "Device unavailable: " + quoted(drive));
    }
    combo->setCurrentIndex(index);
    if (drive == mDrive)
        return;
    mDrive = drive;
    raiseEvent(Change);
}

DirListBox::DirListBox(Control& container) : Control(new QListWidget, &container)
{
    auto* list = static_cast<QListWidget*>(widget());
    QObject::connect(list, &QListWidget::itemActivated, [this](QListWidgetItem* item) {
        const std::string target = str(item->data(Qt::UserRole).toString());
        raiseEvent([this, &target] { setPath(target); });
    });
    // The folder the program was started in, as the classic list does.
    try {
        setPath(str(QDir::currentPath()));
    } catch (const RuntimeError&) {
        setPath(kRoot);
    }
}

void DirListBox::setPath(const std::string& path)
{
    const QString folder = readableFolder(path);
    const QStringList children = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);

    auto* list = static_cast<QListWidget*>(widget());
    const QIcon open = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
    auto addEntry = [list](const QIcon& icon, const QString& name, const QString& fullPath, int level) {
        auto* item = new QListWidgetItem(icon, QString(level * 2, ' ') + name, list);
        item->setData(Qt::UserRole, fullPath);
        return item;
    };
    list->clear();
    // The path from the root down, then the folder's own subfolders one level in.
    QStringList parts = folder.split('/', Qt::SkipEmptyParts);
    QString walked;
    QListWidgetItem* current = addEntry(open, kRoot, kRoot, 0);
    for (int i = 0; i < parts.size(); ++i) {
        walked += "/" + parts[i];
        current = addEntry(open, parts[i], walked, i + 1);
    }
    const QString prefix = folder == kRoot ? QString() : folder;
    for (const QString& child : children)
        addEntry(closed, child, prefix + "/" + child, parts.size() + 1);
    list->setCurrentItem(current);

    const std::string newPath = str(folder);
    if (newPath == mPath)
        return;
    mPath = newPath;
    raiseEvent(Change);
}

FileListBox::FileListBox(Control& container) : Control(new FileListWidget, &container)
{
    auto* list = static_cast<FileListWidget*>(widget());
    list->clickedAgain = [this] { raiseEvent(Click); };
    QObject::connect(list, &QListWidget::currentRowChanged, [this](int row) {
        if (row >= 0)
            raiseEvent(Click);
    });
}

void FileListBox::setPath(const std::string& path)
{
    mPath = str(readableFolder(path));
    Refresh();
}

void FileListBox::setPattern(const std::string& pattern)
{
    mPattern = pattern;
    if (!mPath.empty())
        Refresh();
}

std::string FileListBox::FileName() const
{
    auto* list = static_cast<QListWidget*>(widget());
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? str(item->text()) : std::string();
}

void FileListBox::Refresh()
{
    const QString folder = readableFolder(mPath);
    const QStringList files = QDir(folder, QString(), QDir::Name | QDir::IgnoreCase, QDir::Files)
                                  .entryList(qstr(mPattern).split(';', Qt::SkipEmptyParts));
    auto* list = static_cast<QListWidget*>(widget());
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(files);
}

} // namespace platform
