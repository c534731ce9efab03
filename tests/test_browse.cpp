// Browsing drives, folders and files, and loading the chosen strip: widget
// tests on real temporary folders with generated BMP and GIF strips.
#include "platform/events.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "resources/gif_writer.h"
#include "support/screen_scale.h"
#include "support/error_number.h"
#include "support/lists.h"
#include "support/png_files.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using platform::Screen;

namespace {

constexpr float kTwipsPerPixel = 15;

int rowOf(const platform::Control& control, const QString& text)
{
    return int(entries(control).indexOf(text));
}

// The user moves to an entry of the file list (a click or the arrow keys do this).
void choose(f_Main& form, const QString& name)
{
    const int row = rowOf(form.File1, name);
    ASSERT_GE(row, 0) << name.toStdString() << " is not listed";
    chooseRow(form.File1, row);
}

// The user clicks a button of the mouse on a row of a list; twice for a double click.
void clickRow(const platform::Control& list, int row, Qt::MouseButton button, bool twice = false)
{
    QAbstractItemView* view = viewOf(list);
    const QPointF at = view->visualRect(view->model()->index(row, 0)).center();
    const QPointF global = view->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, button, button, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, button, Qt::NoButton, Qt::NoModifier);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, at, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &press);
    QApplication::sendEvent(view->viewport(), &release);
    if (twice) {
        QApplication::sendEvent(view->viewport(), &doubleClick);
        QApplication::sendEvent(view->viewport(), &release);
    }
}

// The user presses the mouse on an entry of the file list.
void pressOn(f_Main& form, const QString& name)
{
    const int row = rowOf(form.File1, name);
    ASSERT_GE(row, 0) << name.toStdString() << " is not listed";
    clickRow(form.File1, row, Qt::LeftButton);
}

// The user opens an entry of the folder list with Enter; entries are indented.
void open(f_Main& form, const QString& name)
{
    QAbstractItemView* list = viewOf(form.Dir1);
    QStringList trimmed;
    for (const QString& entry : entries(form.Dir1))
        trimmed << entry.trimmed();
    const int row = int(trimmed.lastIndexOf(name));
    ASSERT_GE(row, 0) << name.toStdString() << " is not listed";
    chooseRow(form.Dir1, row);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
}

void pick(f_Main& form, float X)
{
    int16_t button = 1;
    int16_t shift = 0;
    float Y = 10;
    form.Image1_MouseDown(button, shift, X, Y);
}

std::string lastMessage(const ScriptedDialogs& dialogs)
{
    return dialogs.messages().empty() ? std::string() : dialogs.messages().back().text;
}

bool isRoot() { return geteuid() == 0; }

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

class BrowseTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::string path(const QString& name = {}) const
    {
        return (name.isEmpty() ? dir.path() : dir.filePath(name)).toStdString();
    }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // Points the folder list at the temporary folder, as the program does.
    void browseHere() { form.Dir1.setPath(path()); }

    const ScreenScale scale{kTwipsPerPixel};
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    f_Main form;
};

using BrowseLists = BrowseTest;

TEST_F(BrowseLists, FileListShowsOnlyVisibleBmpGifAndPngFilesOfAnyCaseByName)
{
    for (const QString& name : {"b.bmp", "STRIP.BMP", "A.GIF", "c.Gif", "d.png", "E.PNG"})
        writeStrip(dir, name, 32, 16);
    for (const QString& name : {".hidden.bmp", "notes.txt", "image.jpg", "bmp", "strip.bmp.txt", "png"})
        write(name, "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));

    browseHere();

    EXPECT_EQ(entries(form.File1), QStringList({"A.GIF", "b.bmp", "c.Gif", "d.png", "E.PNG", "STRIP.BMP"}));
    EXPECT_EQ(form.File1.Path(), path());
    EXPECT_EQ(form.File1.FileName(), "");
}

TEST_F(BrowseLists, FolderListShowsThePathDownThenTheVisibleSubfolders)
{
    for (const QString& name : {"beta", "Alpha", ".git"})
        ASSERT_TRUE(QDir(dir.path()).mkdir(name));

    browseHere();

    const QStringList shown = entries(form.Dir1);
    const QStringList folders = QDir(dir.path()).absolutePath().split('/', Qt::SkipEmptyParts);
    ASSERT_EQ(shown.size(), 1 + folders.size() + 2);
    EXPECT_EQ(shown.front(), "/");
    for (int level = 0; level < folders.size(); ++level) {
        EXPECT_EQ(shown[level + 1].trimmed(), folders[level]);
        EXPECT_GT(shown[level + 1].size() - shown[level + 1].trimmed().size(),
                  shown[level].size() - shown[level].trimmed().size())
            << "each level is indented further";
    }
    EXPECT_EQ(shown[shown.size() - 2].trimmed(), "Alpha");
    EXPECT_EQ(shown.back().trimmed(), "beta");
    EXPECT_EQ(viewOf(form.Dir1)->currentIndex().row(), folders.size()) << "the current folder is the chosen entry";
}

TEST_F(BrowseLists, OpeningFoldersKeepsTheFileListInStep)
{
    writeStrip(dir, "top.bmp", 32, 16);
    ASSERT_TRUE(QDir(dir.path()).mkpath("inner/deeper"));
    writeStrip(dir, "inner/in.gif", 32, 16);
    browseHere();
    const std::string top = path();
    const std::string inner = path("inner");
    const std::string deeper = path("inner/deeper");

    struct Step {
        QString entry;
        std::string folder;
        QStringList files;
    };
    const Step steps[] = {
        {"inner", inner, {"in.gif"}},
        {"deeper", deeper, {}},
        {QDir(dir.path()).dirName(), top, {"top.bmp"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.entry.toStdString());
        open(form, step.entry);
        EXPECT_EQ(form.Dir1.Path(), step.folder);
        EXPECT_EQ(form.File1.Path(), step.folder);
        EXPECT_EQ(entries(form.File1), step.files);
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BrowseLists, DriveChangeMovesBothListsToTheDrive)
{
    browseHere();
    EXPECT_EQ(form.Drive1.Drive(), "/");

    platform::raiseEvent([this] { form.Drive1_Change(); });

    EXPECT_EQ(form.Dir1.Path(), "/");
    EXPECT_EQ(form.File1.Path(), "/");
    for (const QString& name : entries(form.File1))
        EXPECT_TRUE(name.endsWith(".bmp", Qt::CaseInsensitive) || name.endsWith(".gif", Qt::CaseInsensitive))
            << name.toStdString();
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BrowseLists, PickingTheDriveAlreadyShownKeepsTheFolder)
{
    browseHere();
    auto* drives = qobject_cast<QComboBox*>(form.Drive1.widget());
    ASSERT_EQ(drives->itemText(0), "/");

    emit drives->activated(0);

    EXPECT_EQ(form.Drive1.Drive(), "/");
    EXPECT_EQ(form.Dir1.Path(), path());
    EXPECT_EQ(form.File1.Path(), path());
}

TEST_F(BrowseLists, DriveThatIsNotPresentIsError68AndChangesNothing)
{
    writeStrip(dir, "a.bmp", 32, 16);
    browseHere();
    const std::string drive = form.Drive1.Drive();

    for (const std::string& absent : {std::string("/no/such/drive"), dir.path().toStdString(), std::string()}) {
        SCOPED_TRACE(absent);
        EXPECT_EQ(errorNumberOf([&] { form.Drive1.setDrive(absent); }), platform::DeviceUnavailable);
        EXPECT_EQ(form.Drive1.Drive(), drive);
        EXPECT_EQ(qobject_cast<QComboBox*>(form.Drive1.widget())->currentText().toStdString(), drive);
        EXPECT_EQ(form.Dir1.Path(), path());
        EXPECT_EQ(entries(form.File1), QStringList{"a.bmp"});
    }
}

// The user opens a folder that the list shows but that cannot be read any more.
void expectUnreadableFolderKeepsTheLists(f_Main& form, const ScriptedDialogs& dialogs, const QString& entry,
                                         const std::string& folder, int number)
{
    const std::string before = form.Dir1.Path();
    const QStringList folders = entries(form.Dir1);
    const QStringList files = entries(form.File1);

    open(form, entry);

    ASSERT_EQ(dialogs.messages().size(), 1u);
    const std::string message = lastMessage(dialogs);
    EXPECT_EQ(message.rfind("Run-time error '" + std::to_string(number) + "':\n\n", 0), 0u) << message;
    EXPECT_NE(message.find(folder), std::string::npos) << message;
    EXPECT_EQ(form.Dir1.Path(), before);
    EXPECT_EQ(form.File1.Path(), before);
    EXPECT_EQ(entries(form.Dir1), folders);
    EXPECT_EQ(entries(form.File1), files);
}

TEST_F(BrowseLists, FolderGoneSinceListedIsError76AndKeepsTheLists)
{
    writeStrip(dir, "a.bmp", 32, 16);
    ASSERT_TRUE(QDir(dir.path()).mkdir("gone"));
    browseHere();
    ASSERT_TRUE(QDir(dir.filePath("gone")).removeRecursively());

    expectUnreadableFolderKeepsTheLists(form, dialogs, "gone", path("gone"), platform::PathNotFound);
}

TEST_F(BrowseLists, FolderWithoutReadPermissionIsError75AndKeepsTheLists)
{
    if (isRoot())
        GTEST_SKIP() << "running as root: permissions do not stop root from reading a folder";
    writeStrip(dir, "a.bmp", 32, 16);
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    browseHere();
    ASSERT_EQ(chmod(path("locked").c_str(), 0), 0);

    expectUnreadableFolderKeepsTheLists(form, dialogs, "locked", path("locked"), platform::PathFileAccessError);
    chmod(path("locked").c_str(), S_IRWXU);
}

TEST_F(BrowseLists, FileListThatCannotReadItsFolderKeepsWhatItShowed)
{
    writeStrip(dir, "a.bmp", 32, 16);
    browseHere();
    ASSERT_TRUE(dir.remove());

    EXPECT_EQ(errorNumberOf([this] { form.File1.Refresh(); }), platform::PathNotFound);
    EXPECT_EQ(errorNumberOf([this] { form.File1.setPath(path()); }), platform::PathNotFound);
    EXPECT_EQ(form.File1.Path(), path());
    EXPECT_EQ(entries(form.File1), QStringList{"a.bmp"});
}

// Names are bytes on this system, and not every name is UTF-8.
TEST_F(BrowseLists, NamesThatAreNotUtf8AreListedOpenedAndLoadedByTheirBytes)
{
    const std::string folderName = "dir\xff";
    // In the order the list shows them: by their bytes, as they show alike.
    const std::string names[] = {"bad\xfe\xff.bmp", "bad\xff\xfe.bmp"};
    ASSERT_EQ(mkdir(path().append("/" + folderName).c_str(), S_IRWXU), 0);
    const std::string folder = path() + "/" + folderName;
    for (const std::string& name : names) {
        writeStrip(dir, "strip.bmp", 32, 16);
        ASSERT_EQ(rename(path("strip.bmp").c_str(), (folder + "/" + name).c_str()), 0);
    }
    browseHere();

    const QString shownFolder = QString("dir") + QChar(QChar::ReplacementCharacter);
    QStringList trimmed;
    for (const QString& entry : entries(form.Dir1))
        trimmed << entry.trimmed();
    const int folderRow = int(trimmed.indexOf(shownFolder));
    ASSERT_GE(folderRow, 0) << "the folder is not listed";
    clickRow(form.Dir1, folderRow, Qt::LeftButton, true);
    EXPECT_EQ(form.Dir1.Path(), folder);
    EXPECT_EQ(form.File1.Path(), folder);

    // Two names that show alike, each still its own file.
    const QString shownName = QString("bad") + QChar(QChar::ReplacementCharacter) +
                              QChar(QChar::ReplacementCharacter) + ".bmp";
    ASSERT_EQ(entries(form.File1), QStringList({shownName, shownName}));
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        chooseRow(form.File1, row);
        EXPECT_EQ(form.File1.FileName(), names[row]);
    }
    ASSERT_TRUE(dialogs.messages().empty()) << lastMessage(dialogs);
    EXPECT_EQ(form.Label1.Caption(), "Size: 32x16");

    // Tiles go into such a folder by its bytes too.
    form.lbDir.setCaption(folder);
    EXPECT_EQ(form.lbDir.Caption(), folder);
    platform::raiseEvent(form.cmdSaveAll.Click);
    EXPECT_TRUE(dialogs.messages().empty()) << lastMessage(dialogs);
    EXPECT_TRUE(platform::FileExists(folder + "/2.bmp"));
}

TEST_F(BrowseLists, OnlyTheLeftButtonChoosesAnEntry)
{
    writeStrip(dir, "a.bmp", 32, 16);
    ASSERT_TRUE(QDir(dir.path()).mkdir("inner"));
    struct Row {
        Qt::MouseButton button;
        bool chooses;
    };
    const Row rows[] = {{Qt::RightButton, false}, {Qt::MiddleButton, false}, {Qt::LeftButton, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button);
        f_Main fresh;
        fresh.Dir1.setPath(path());

        clickRow(fresh.File1, 0, row.button);
        EXPECT_EQ(fresh.File1.FileName(), row.chooses ? "a.bmp" : "");
        EXPECT_EQ(fresh.Image1.picture().isEmpty(), !row.chooses);

        const int innerRow = int(entries(fresh.Dir1).size()) - 1;
        const int currentRow = viewOf(fresh.Dir1)->currentIndex().row();
        clickRow(fresh.Dir1, innerRow, row.button, true);
        EXPECT_EQ(fresh.Dir1.Path(), row.chooses ? path("inner") : path());
        if (!row.chooses)
            EXPECT_EQ(viewOf(fresh.Dir1)->currentIndex().row(), currentRow);

        auto* drives = qobject_cast<QComboBox*>(fresh.Drive1.widget());
        int activated = 0;
        QObject::connect(drives, &QComboBox::activated, [&activated] { ++activated; });
        drives->showPopup();
        QAbstractItemView* popup = drives->view();
        const QPointF at = popup->visualRect(popup->model()->index(0, 0)).center();
        QMouseEvent press(QEvent::MouseButtonPress, at, popup->viewport()->mapToGlobal(at), row.button, row.button,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, popup->viewport()->mapToGlobal(at), row.button,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(popup->viewport(), &press);
        QApplication::sendEvent(popup->viewport(), &release);
        EXPECT_EQ(activated, row.chooses ? 1 : 0);
        drives->hidePopup();
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BrowseLists, TypingANamesFirstLettersChoosesIt)
{
    for (const QString& name : {"a.bmp", "b1.bmp", "B2.bmp", "c.gif"})
        writeStrip(dir, name, 32, 16);
    struct Row {
        const char* typed;
        int fromRow; // the entry chosen before, or -1
        std::string chosen;
    };
    const Row rows[] = {
        {"b", -1, "b1.bmp"},  {"B2", -1, "B2.bmp"}, {"C", -1, "c.gif"},
        {"a", 3, "a.bmp"},    // on from the chosen entry, round to the top
        {"z", 1, "b1.bmp"},   // nothing begins so: the choice stays
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        f_Main fresh;
        fresh.Dir1.setPath(path());
        if (row.fromRow >= 0)
            chooseRow(fresh.File1, row.fromRow);
        viewOf(fresh.File1)->keyboardSearch(row.typed);
        EXPECT_EQ(fresh.File1.FileName(), row.chosen);
    }
    EXPECT_TRUE(dialogs.messages().empty());
}

using BrowseLoad = BrowseTest;

TEST_F(BrowseLoad, ShowsTheStripAtItsNaturalSizeWithItsPixelSize)
{
    struct Case {
        QString name;
        int width;
        int height;
        float twipsPerPixel;
        float controlWidth;
        float controlHeight;
        std::string label;
    };
    const Case cases[] = {
        {"strip.bmp", 256, 16, 15, 3840, 240, "Size: 256x16"},
        {"strip.gif", 100, 16, 15, 1500, 240, "Size: 100x16"},
        {"STRIP.BMP", 48, 15, 12, 576, 180, "Size: 48x15"},
        {"wide.bmp", 1000, 32, 20, 20000, 640, "Size: 1000x32"},
    };
    for (const Case& c : cases)
        writeStrip(dir, c.name, c.width, c.height);
    browseHere();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        Screen.setTwipsPerPixel(c.twipsPerPixel, c.twipsPerPixel);
        form.Shape1.setVisible(true);
        choose(form, c.name);
        EXPECT_EQ(form.File1.FileName(), c.name.toStdString());
        EXPECT_EQ(form.Image1.Width(), c.controlWidth);
        EXPECT_EQ(form.Image1.Height(), c.controlHeight);
        EXPECT_EQ(form.Image1.picture().pixelWidth(), c.width);
        EXPECT_EQ(form.Label1.Caption(), c.label);
        EXPECT_FALSE(form.Shape1.Visible());
    }
    EXPECT_EQ(form.Image1.picture().image().convertToFormat(QImage::Format_RGB32), makeStrip(1000, 32));
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BrowseLoad, ClickWithNoEntrySelectedChangesNothing)
{
    writeStrip(dir, "a.bmp", 32, 16);
    browseHere();
    form.Shape1.setVisible(true);
    ASSERT_EQ(form.File1.FileName(), "");

    platform::raiseEvent(form.File1.Click);

    EXPECT_TRUE(form.Image1.picture().isEmpty());
    EXPECT_EQ(form.Label1.Caption(), "Size:");
    EXPECT_TRUE(form.Shape1.Visible());
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BrowseLoad, FailedLoadKeepsPictureLabelAndOutlineAndNamesTheFile)
{
    writeStrip(dir, "good.bmp", 64, 16);
    writeStrip(dir, "deleted.gif", 32, 16);
    write("corrupt.bmp", "BM this is no picture at all, only text that starts like one");
    write("cut.png", encoded(makeStrip(32, 16), "PNG").chopped(20));
    browseHere();
    choose(form, "good.bmp");
    pick(form, 10);
    ASSERT_TRUE(form.Shape1.Visible());
    const QImage shown = form.Image1.picture().image();
    ASSERT_TRUE(QFile::remove(dir.filePath("deleted.gif")));

    const struct {
        QString name;
        int number;
    } cases[] = {
        {"corrupt.bmp", platform::InvalidPicture},
        {"cut.png", platform::InvalidPicture},
        {"deleted.gif", platform::FileNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        choose(form, c.name);
        const std::string message = lastMessage(dialogs);
        EXPECT_EQ(message.rfind("Run-time error '" + std::to_string(c.number) + "':\n\n", 0), 0u) << message;
        EXPECT_NE(message.find(path(c.name)), std::string::npos) << message;
        EXPECT_EQ(form.Image1.picture().image(), shown);
        EXPECT_EQ(form.Image1.Width(), 64 * kTwipsPerPixel);
        EXPECT_EQ(form.Label1.Caption(), "Size: 64x16");
        EXPECT_TRUE(form.Shape1.Visible());
    }
    EXPECT_EQ(dialogs.messages().size(), std::size(cases));
}

TEST_F(BrowseLoad, SecondLoadAfterAPickKeepsIndexAndPreviewButHidesTheOutline)
{
    writeStrip(dir, "first.bmp", 64, 16);
    writeStrip(dir, "second.gif", 32, 16);
    browseHere();
    choose(form, "first.bmp");
    pick(form, 16 * kTwipsPerPixel + 10);
    ASSERT_TRUE(form.Shape1.Visible());
    const std::string index = form.Label2.Caption();
    const QImage preview = form.Picture2.Image().image();
    ASSERT_EQ(form.CurrentIndex(), 2);

    choose(form, "second.gif");

    EXPECT_EQ(form.Label1.Caption(), "Size: 32x16");
    EXPECT_FALSE(form.Shape1.Visible());
    EXPECT_EQ(form.Label2.Caption(), index);
    EXPECT_EQ(form.CurrentIndex(), 2);
    EXPECT_EQ(form.Picture2.Image().image(), preview);
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST_F(BrowseLoad, ChoosingTheChosenEntryAgainLoadsItAgain)
{
    writeStrip(dir, "a.bmp", 64, 16);
    browseHere();
    pressOn(form, "a.bmp");
    ASSERT_EQ(form.Label1.Caption(), "Size: 64x16");
    pick(form, 10);
    writeStrip(dir, "a.bmp", 48, 16);

    pressOn(form, "a.bmp");

    EXPECT_EQ(form.Label1.Caption(), "Size: 48x16");
    EXPECT_EQ(form.Image1.Width(), 48 * kTwipsPerPixel);
    EXPECT_FALSE(form.Shape1.Visible());
}

TEST_F(BrowseLoad, BrowsingLeavesTheLoadedStripAlone)
{
    writeStrip(dir, "a.bmp", 64, 16);
    ASSERT_TRUE(QDir(dir.path()).mkdir("empty"));
    browseHere();
    choose(form, "a.bmp");
    pick(form, 10);

    open(form, "empty");
    platform::raiseEvent([this] { form.Drive1_Change(); });

    EXPECT_EQ(form.Label1.Caption(), "Size: 64x16");
    EXPECT_EQ(form.Image1.picture().pixelWidth(), 64);
    EXPECT_TRUE(form.Shape1.Visible());
    EXPECT_EQ(form.CurrentIndex(), 1);
}

// A BMP file header and info header declaring a size, with a few bytes of pixels.
QByteArray bmpHeader(qint32 width, qint32 height)
{
    constexpr int kHeaders = 54;
    constexpr int kInfoHeader = 40;
    constexpr int kBitsPerPixel = 24;
    QByteArray bytes(kHeaders, '\0');
    char* p = bytes.data();
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(kHeaders, p + 10);
    qToLittleEndian<quint32>(kInfoHeader, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(kBitsPerPixel, p + 28);
    return bytes + QByteArray(16, '\x7f');
}

// A small GIF whose logical screen claims another size.
QByteArray gifWithScreen(quint16 width, quint16 height)
{
    constexpr int kScreenAt = 6;
    QByteArray bytes = gif::encode(makeStrip(2, 2));
    qToLittleEndian<quint16>(width, bytes.data() + kScreenAt);
    qToLittleEndian<quint16>(height, bytes.data() + kScreenAt + 2);
    return bytes;
}

// Two pictures in one GIF: the second's image data follows the first's.
QByteArray animatedGif(const QImage& first, const QImage& second)
{
    constexpr int kHeaderAndPalette = 6 + 7 + 3 * 256;
    QByteArray bytes = gif::encode(first);
    bytes.chop(1); // the trailer
    return bytes + gif::encode(second).mid(kHeaderAndPalette);
}

// The same BMP with its rows stored from the top down, which a negative height says.
QByteArray topDownBmp(const QImage& image)
{
    constexpr int kDataOffsetAt = 10;
    constexpr int kHeightAt = 22;
    const QByteArray bottomUp = encoded(image, "BMP");
    const int dataAt = int(qFromLittleEndian<quint32>(bottomUp.constData() + kDataOffsetAt));
    const int rowBytes = int(bottomUp.size() - dataAt) / image.height();
    QByteArray bytes = bottomUp.left(dataAt);
    for (int row = image.height() - 1; row >= 0; --row)
        bytes += bottomUp.mid(dataAt + row * rowBytes, rowBytes);
    qToLittleEndian<qint32>(-image.height(), bytes.data() + kHeightAt);
    return bytes;
}

using BrowseLoadPicture = BrowseTest;

TEST_F(BrowseLoadPicture, ReadsBmpPngAndTheFirstPictureOfAGifExactly)
{
    const QImage strip = makeStrip(40, 20);
    const QImage indexed = strip.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QImage gifStrip(40, 20, QImage::Format_RGB32);
    gifStrip.fill(qRgb(10, 200, 30));
    gifStrip.setPixel(3, 4, qRgb(250, 1, 2));
    QImage later = gifStrip.copy();
    later.fill(qRgb(0, 0, 255));
    // Megabytes of file and of picture, which are held in memory of another kind.
    const QImage large = makeStrip(16000, 48);

    const struct {
        QString name;
        QByteArray bytes;
        QImage expected;
    } cases[] = {
        {"rgb.bmp", encoded(strip, "BMP"), strip},
        {"top-down.bmp", topDownBmp(strip), strip},
        {"indexed.bmp", encoded(indexed, "BMP"), indexed},
        {"strip.gif", gif::encode(gifStrip), gifStrip},
        {"animated.gif", animatedGif(gifStrip, later), gifStrip},
        {"gif named.bmp", gif::encode(gifStrip), gifStrip},
        {"strip.png", encoded(strip, "PNG"), strip},
        {"png named.gif", encoded(indexed, "PNG"), indexed},
        {"large.bmp", encoded(large, "BMP"), large},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        write(c.name, c.bytes);
        const platform::Picture picture = platform::LoadPicture(path(c.name));
        EXPECT_EQ(picture.image().convertToFormat(QImage::Format_RGB32),
                  c.expected.convertToFormat(QImage::Format_RGB32));
    }
}

TEST_F(BrowseLoadPicture, RootFolderJoinGivesTwoSeparatorsThatStillLoad)
{
    writeStrip(dir, "a.bmp", 32, 16);
    const platform::Picture picture = platform::LoadPicture("/" + path("a.bmp"));
    EXPECT_EQ(picture.pixelWidth(), 32);
}

TEST_F(BrowseLoadPicture, ANameThatIsNoUtf8IsOpenedByItsBytes)
{
    const QByteArray bytes = encoded(makeStrip(32, 16), "BMP");
    const std::string name = path() + "/strip-\xff\xfe.bmp";
    FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file), size_t(bytes.size()));
    std::fclose(file);
    EXPECT_EQ(platform::LoadPicture(name).image(), makeStrip(32, 16));
}

TEST_F(BrowseLoadPicture, FailuresGiveTheirNumberAndNameTheFileAndTheCause)
{
    const QByteArray strip = encoded(makeStrip(64, 16), "BMP");
    write("empty.bmp", {});
    write("short.bmp", strip.left(strip.size() / 2));
    write("text.bmp", "BM, but then only text");
    write("text.gif", QByteArray("GIF89a\x04\x00\x04\x00", 10) + "then only text");
    write("picture.jpg", encoded(makeStrip(4, 4), "JPG"));
    write("cut.png", encoded(makeStrip(64, 16), "PNG").chopped(20));
    write("huge.png", withSize(encoded(makeStrip(4, 4), "PNG"), 30000, 30000));
    write("huge.bmp", bmpHeader(20000, 20000));
    write("too-big.bmp", bmpHeader(8000, -8000));
    write("huge-screen.gif", gifWithScreen(30000, 30000));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.bmp"));
    ASSERT_EQ(mkfifo(path("pipe.bmp").c_str(), S_IRUSR | S_IWUSR), 0);

    const struct {
        QString name;
        int number;
        std::string cause;
    } cases[] = {
        {"missing.bmp", platform::FileNotFound, "not found"},
        {"folder.bmp", platform::PathFileAccessError, "not a file"},
        {"pipe.bmp", platform::PathFileAccessError, "not a file"},
        {"empty.bmp", platform::InvalidPicture, "neither a BMP, a GIF nor a PNG"},
        {"picture.jpg", platform::InvalidPicture, "neither a BMP, a GIF nor a PNG"},
        {"cut.png", platform::InvalidPicture, "cut short"},
        {"text.bmp", platform::InvalidPicture, "damaged BMP"},
        {"text.gif", platform::InvalidPicture, "damaged GIF"},
        {"short.bmp", platform::InvalidPicture, "cut short"},
        {"huge.bmp", platform::OutOfMemory, "20000x20000 pixels"},
        {"too-big.bmp", platform::OutOfMemory, "8000x8000 pixels"},
        {"huge-screen.gif", platform::OutOfMemory, "30000x30000 pixels"},
        {"huge.png", platform::OutOfMemory, "30000x30000 pixels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        try {
            platform::LoadPicture(path(c.name));
            ADD_FAILURE() << "loaded";
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_NE(e.description().find("'" + path(c.name) + "'"), std::string::npos) << e.description();
            EXPECT_NE(e.description().find(c.cause), std::string::npos) << e.description();
        }
    }
}

TEST_F(BrowseLoadPicture, GivesThePixelsAsTheFileStoresThemOrAsTheWindowDrawsThem)
{
    QImage transparent(6, 4, QImage::Format_ARGB32);
    for (int y = 0; y < transparent.height(); ++y)
        for (int x = 0; x < transparent.width(); ++x)
            transparent.setPixel(x, y, (x + y) % 3 == 0 ? qRgba(0, 0, 0, 0) : qRgb(x * 40, y * 60, 90));
    QImage grey(6, 4, QImage::Format_Grayscale16);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            reinterpret_cast<quint16*>(grey.scanLine(y))[x] = quint16(x * 9001 + y * 17);
    const QImage indexed = makeStrip(6, 4).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    using F = QImage::Format;
    const struct {
        QString name;
        QByteArray bytes;
        QImage pixels;
        QImage::Format stored;
        QImage::Format drawn;
    } cases[] = {
        {"strip.bmp", encoded(makeStrip(6, 4), "BMP"), makeStrip(6, 4), F::Format_RGB32, F::Format_RGB32},
        {"transparent.gif", gif::encode(transparent), transparent, F::Format_Indexed8, F::Format_ARGB32},
        {"transparent.png", encoded(transparent, "PNG"), transparent, F::Format_ARGB32, F::Format_ARGB32},
        {"grey.png", encoded(grey, "PNG"), grey, F::Format_Grayscale16, F::Format_RGB32},
        {"palette.png", encoded(indexed, "PNG"), indexed, F::Format_Indexed8, F::Format_RGB32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        write(c.name, c.bytes);
        const QImage stored = platform::LoadPicture(path(c.name), platform::Pixels::AsStored).image();
        const QImage drawn = platform::LoadPicture(path(c.name), platform::Pixels::AsDrawn).image();
        EXPECT_EQ(stored.format(), c.stored);
        EXPECT_EQ(drawn.format(), c.drawn);
        EXPECT_EQ(stored.convertToFormat(F::Format_RGBA64), c.pixels.convertToFormat(F::Format_RGBA64));
        EXPECT_EQ(drawn, c.pixels.convertToFormat(c.drawn));
        EXPECT_EQ(platform::LoadPicture(path(c.name)).image(), drawn);
    }
}

TEST_F(BrowseLoadPicture, UnreadableFileIsError75)
{
    if (isRoot())
        GTEST_SKIP() << "running as root: permissions do not stop root from reading a file";
    writeStrip(dir, "locked.bmp", 32, 16);
    ASSERT_EQ(chmod(path("locked.bmp").c_str(), 0), 0);
    EXPECT_EQ(errorNumberOf([this] { platform::LoadPicture(path("locked.bmp")); }), platform::PathFileAccessError);
}

} // namespace
