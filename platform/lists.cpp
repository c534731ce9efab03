#include "platform/lists.h"

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/qt_support.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QListView>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const std::string kRoot = "/";
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
    return QStringList{qstr(kRoot)} + volumes;
}

// The drive that holds a folder: the longest mount point it lies under.
std::string driveOf(const std::string& folder)
{
    std::string drive = kRoot;
    for (const QString& candidate : presentDrives()) {
        const std::string point = str(candidate);
        if ((folder == point || folder.rfind(point + "/", 0) == 0) && point.size() > drive.size())
            drive = point;
    }
    return drive;
}

// An absolute path with "." and ".." worked out and no doubled or trailing
// separators, by its bytes: a name that is not UTF-8 stays the name it is.
std::string cleanPath(const std::string& path)
{
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        std::unique_ptr<char, decltype(&free)> current(getcwd(nullptr, 0), &free);
        absolute = std::string(current ? current.get() : "") + "/" + absolute;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= absolute.size()) {
        const size_t end = std::min(absolute.find('/', start), absolute.size());
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& part : parts)
        clean += "/" + part;
    return clean.empty() ? kRoot : clean;
}

bool isFolder(const std::string& path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool canList(const std::string& folder) { return access(folder.c_str(), R_OK | X_OK) == 0; }

// A folder that exists and can be listed, as a clean absolute path; error 76 or 75 otherwise.
std::string readableFolder(const std::string& path)
{
    if (!isFolder(path))
        throw RuntimeError(PathNotFound, "Path not found: " + quoted(path));
    if (!canList(path))
        throw RuntimeError(PathFileAccessError,
                           "Path/File access error: no permission to read the folder " + quoted(path));
    return cleanPath(path);
}

// The folder the program was started in, as the classic lists start; the root
// when that folder cannot be listed.
std::string startFolder()
{
    const std::string current = cleanPath(".");
    return isFolder(current) && canList(current) ? current : kRoot;
}

char lowered(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The first count bytes of a and b are alike, any case of the ASCII letters.
bool alike(const char* a, const char* b, size_t count)
{
    return std::equal(a, a + count, b, [](char x, char y) { return lowered(x) == lowered(y); });
}

// A wildcard pattern ("*" any run of bytes, "?" one byte) against a name, any
// case of the ASCII letters.
bool matches(const char* pattern, const char* name)
{
    // "*.bmp", the form's kind of pattern, is its tail alone: a folder of
    // 100,000 files is matched without backtracking.
    if (pattern[0] == '*' && !std::strpbrk(pattern + 1, "*?")) {
        const size_t tail = std::strlen(pattern + 1);
        const size_t length = std::strlen(name);
        return length >= tail && alike(pattern + 1, name + length - tail, tail);
    }
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && lowered(*pattern) == lowered(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

bool matchesAny(const std::vector<std::string>& patterns, const char* name)
{
    return std::any_of(patterns.begin(), patterns.end(),
                       [name](const std::string& pattern) { return matches(pattern.c_str(), name); });
}

// Names by their ASCII letters in any case, then by their bytes. Each name's
// folded form is made once, and its first eight bytes as one number settle
// most comparisons; the sort moves those and row numbers, not strings.
void sortByName(std::vector<std::string>& names)
{
    struct Key {
        uint64_t head;
        uint32_t row;
    };
    std::vector<std::string> folded(names);
    std::vector<Key> keys(names.size());
    for (uint32_t row = 0; row < keys.size(); ++row) {
        std::string& name = folded[row];
        std::transform(name.begin(), name.end(), name.begin(), lowered);
        uint64_t head = 0;
        for (size_t i = 0; i < sizeof head; ++i)
            head = head << 8 | (i < name.size() ? uint8_t(name[i]) : 0);
        keys[row] = {head, row};
    }
    std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int byFolded = folded[a.row].compare(folded[b.row]);
        return byFolded != 0 ? byFolded < 0 : names[a.row] < names[b.row];
    });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const Key& key : keys)
        sorted.push_back(std::move(names[key.row]));
    names = std::move(sorted);
}

enum class EntryKind { Files, Folders };

struct CloseFolder {
    void operator()(DIR* folder) const { closedir(folder); }
};

// The visible (not dot-named) entries of a folder of one kind, in the order
// readdir gives them, so that every name keeps its bytes. Links count as what they
// lead to; files must match one of the patterns. Error 75 when the folder cannot be read.
std::vector<std::string> entriesOf(const std::string& folder, EntryKind kind,
                                   const std::vector<std::string>& patterns = {})
{
    const std::unique_ptr<DIR, CloseFolder> dir(opendir(folder.c_str()));
    if (!dir)
        throw RuntimeError(PathFileAccessError, "Path/File access error: cannot read the folder " + quoted(folder));
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.' || (kind == EntryKind::Files && !matchesAny(patterns, name)))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat info{};
            if (fstatat(dirfd(dir.get()), name, &info, 0) != 0)
                continue;
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == (kind == EntryKind::Files ? DT_REG : DT_DIR))
            names.emplace_back(name);
    }
    return names;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(separator, start), text.size());
        if (end > start)
            parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The rows of a list: each a name as the bytes the folder holds, shown with
// replacement characters where they are not UTF-8, and the path it stands for.
// One row costs a few dozen bytes, so a folder of 100,000 files stays small.
class EntryModel : public QAbstractListModel {
public:
    struct Entry {
        std::string name;
        std::string path;
        int level = 0;
        QIcon icon;
    };

    void setEntries(std::vector<Entry> entries)
    {
        beginResetModel();
        mEntries = std::move(entries);
        endResetModel();
    }
    const Entry& entry(int row) const { return mEntries[size_t(row)]; }
    // The same rows, shown afresh: no selection, at the top.
    void restart()
    {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(mEntries.size()); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= rowCount())
            return {};
        const Entry& e = entry(index.row());
        if (role == Qt::DisplayRole)
            return QString(e.level * kIndentPerLevel, ' ') + QString::fromUtf8(e.name);
        if (role == Qt::DecorationRole && !e.icon.isNull())
            return e.icon;
        return {};
    }

    // Typing a name's first letters searches every row from the current one
    // on, round to it again, by the names alone: a folder's row is indented,
    // yet typing its name finds it. ASCII text is compared on the rows' bytes
    // rather than made into texts one by one. Other searches go the general way.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override
    {
        if (role != Qt::DisplayRole || hits != 1 || flags != (Qt::MatchStartsWith | Qt::MatchWrap))
            return QAbstractListModel::match(start, role, value, hits, flags);
        const QString typed = value.toString();
        bool ascii = true;
        for (QChar c : typed)
            ascii = ascii && c.unicode() < 0x80;
        const std::string prefix = typed.toStdString();
        const int rows = rowCount();
        for (int i = 0; i < rows; ++i) {
            const int row = (start.row() + i) % rows;
            const std::string& name = mEntries[size_t(row)].name;
            if (ascii ? startsWith(name, prefix) : QString::fromUtf8(name).startsWith(typed, Qt::CaseInsensitive))
                return {index(row)};
        }
        return {};
    }

private:
    static bool startsWith(const std::string& name, const std::string& prefix)
    {
        return name.size() >= prefix.size() && alike(name.data(), prefix.data(), prefix.size());
    }

    std::vector<Entry> mEntries;
};

// A list of equal rows drawn from a model, chosen with the left button only, as
// the classic lists are: the other buttons neither select nor open an entry.
class EntryView : public QListView {
public:
    EntryView()
    {
        setModel(&entries);
        setUniformItemSizes(true);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    EntryModel entries;
    // Pressing the entry that is already chosen changes no selection, yet it is
    // a click all the same.
    std::function<void()> chosenAgain;

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        const QModelIndex pressed = indexAt(e->position().toPoint());
        const bool wasChosen = pressed.isValid() && selectionModel()->isSelected(pressed);
        QListView::mousePressEvent(e);
        if (wasChosen && selectionModel()->isSelected(pressed) && chosenAgain)
            chosenAgain();
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            QListView::mouseReleaseEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton)
            QListView::mouseDoubleClickEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (e->buttons() == Qt::NoButton || (e->buttons() & Qt::LeftButton))
            QListView::mouseMoveEvent(e);
    }
};

EntryView* viewOf(const Control& list) { return static_cast<EntryView*>(list.widget()); }

class DriveCombo : public QComboBox {
public:
    DriveCombo()
    {
        // The open list takes the left button only, as the list boxes do.
        view()->viewport()->installEventFilter(this);
    }
    std::function<void()> aboutToShowPopup;

protected:
    // Volumes come and go: the list is read again each time it opens.
    void showPopup() override
    {
        aboutToShowPopup();
        QComboBox::showPopup();
    }
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(e)->button() != Qt::LeftButton)
                return true;
            break;
        default:
            break;
        }
        return QComboBox::eventFilter(watched, e);
    }
};

} // namespace

DriveListBox::DriveListBox(Control& container) : Control(new DriveCombo, &container), mDrive(driveOf(startFolder()))
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

DirListBox::DirListBox(Control& container) : Control(new EntryView, &container)
{
    auto* view = viewOf(*this);
    // Deep paths are cut at the right edge rather than given a scroll bar that eats the short list.
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QObject::connect(view, &QListView::activated, [this, view](const QModelIndex& index) {
        const std::string target = view->entries.entry(index.row()).path;
        raiseEvent([this, &target] {
            const std::string shown = mPath;
            setPath(target);
            // The folder shown, opened again: its Path is the same, so no Change
            // came, yet the user asked to see it afresh, files and all.
            if (mPath == shown && Change)
                Change();
        });
    });
    setPath(startFolder());
}

void DirListBox::setPath(const std::string& path)
{
    const std::string folder = readableFolder(path);
    std::vector<std::string> children = entriesOf(folder, EntryKind::Folders);
    sortByName(children);

    const QIcon open = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
    // The path from the root down, open; then the folder's own subfolders one level in.
    std::vector<EntryModel::Entry> rows{{kRoot, kRoot, 0, open}};
    std::string walked;
    for (const std::string& part : split(folder, '/')) {
        walked += "/" + part;
        rows.push_back({part, walked, int(rows.size()), open});
    }
    const int current = int(rows.size()) - 1;
    const std::string parent = folder == kRoot ? std::string() : folder;
    for (const std::string& child : children)
        rows.push_back({child, parent + "/" + child, current + 1, closed});

    auto* view = viewOf(*this);
    view->entries.setEntries(std::move(rows));
    view->setCurrentIndex(view->entries.index(current));

    if (folder == mPath)
        return;
    mPath = folder;
    if (Change)
        Change();
}

FileListBox::FileListBox(Control& container) : Control(new EntryView, &container)
{
    auto* view = viewOf(*this);
    view->chosenAgain = [this] { raiseEvent(Click); };
    // The selection, not the current row: a mouse press moves the current row
    // before it selects, and FileName is the selected entry.
    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, [this] { raiseEvent(Click); });
    setPath(startFolder());
}

void FileListBox::setPath(const std::string& path) { show(readableFolder(path)); }

void FileListBox::setPattern(const std::string& pattern)
{
    mPattern = pattern;
    Refresh();
}

bool FileListBox::MatchesPattern(const std::string& path) const
{
    return matchesAny(split(mPattern, ';'), path.substr(path.rfind('/') + 1).c_str());
}

std::string FileListBox::FileName() const
{
    const EntryView* view = viewOf(*this);
    const QModelIndex current = view->currentIndex();
    return current.isValid() && view->selectionModel()->isSelected(current) ? view->entries.entry(current.row()).name
                                                                             : std::string();
}

int FileListBox::ListCount() const { return viewOf(*this)->entries.rowCount(); }

std::string FileListBox::List(int index) const
{
    const EntryModel& entries = viewOf(*this)->entries;
    return index >= 0 && index < entries.rowCount() ? entries.entry(index).name : std::string();
}

void FileListBox::setListIndex(int index)
{
    EntryView* view = viewOf(*this);
    const int count = view->entries.rowCount();
    if (index < 0 || index >= count)
        throw RuntimeError(InvalidPropertyValue, "Invalid property value: no entry " + std::to_string(index) +
                                                     " in a list of " + std::to_string(count));
    {
        // Click runs here, inside the assignment, not from the selection's signal.
        const QSignalBlocker quiet(view->selectionModel());
        view->setCurrentIndex(view->entries.index(index));
    }
    if (Click)
        Click();
}

void FileListBox::Refresh() { show(readableFolder(mPath)); }

void FileListBox::show(const std::string& folder)
{
    std::vector<std::string> names = entriesOf(folder, EntryKind::Files, split(mPattern, ';'));
    auto* view = viewOf(*this);
    const QSignalBlocker quiet(view->selectionModel());
    // A folder read again unchanged (choosing a folder points the list at it,
    // then refreshes it) gives the same names in the same order: the list
    // shows them sorted already and only starts afresh.
    if (folder == mPath && names == mNamesAsRead) {
        view->entries.restart();
        return;
    }
    mNamesAsRead = names;
    sortByName(names);
    std::vector<EntryModel::Entry> rows;
    rows.reserve(names.size());
    for (std::string& name : names)
        rows.push_back({std::move(name), {}, 0, {}});
    view->entries.setEntries(std::move(rows));
    mPath = folder;
}

} // namespace platform
