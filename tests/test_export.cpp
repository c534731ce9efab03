// Choosing the output folder, saving the selected tile and saving every tile,
// through the form as the user drives it, plus the runtime's dialogs and files.
#include "formats/png.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/picture.h"
#include "platform/picture_contents.h"
#include "platform/screen.h"
#include "support/screen_scale.h"
#include "support/error_number.h"
#include "support/files.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr float kDefaultTwipsPerPixel = 15;
const QByteArray kOldContent = "the user's own file";


std::string pathIn(const QTemporaryDir& dir, const QString& name) { return dir.filePath(name).toStdString(); }

bool writeFileOk(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(kOldContent) == kOldContent.size();
}

QImage readBmp(const QString& path) { return QImage(path, "BMP").convertToFormat(QImage::Format_RGB32); }

// Bits per pixel from the BMP's info header.
int bmpBitsPerPixel(const QString& path)
{
    constexpr int kBitCountAt = 28;
    const QByteArray head = contentOf(path).left(kBitCountAt + 2);
    if (!head.startsWith("BM") || head.size() < kBitCountAt + 2)
        return 0;
    return qFromLittleEndian<quint16>(head.constData() + kBitCountAt);
}

// Root may write whatever the permission bits say.
bool permissionsStopWrites(const QTemporaryDir& dir)
{
    const QString probe = dir.filePath("probe");
    writeFile(probe, "x");
    QFile::setPermissions(probe, QFile::ReadOwner);
    QFile file(probe);
    const bool stopped = !file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.close();
    QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(probe);
    return stopped;
}

void pick(f_Main& form, float X)
{
    int16_t button = 1;
    int16_t shift = 0;
    float y = 1;
    form.Image1_MouseDown(button, shift, X, y);
}

// A form with a strip loaded, the output folder and the prefix set.
struct StripForm {
    StripForm(const QTemporaryDir& strips, int width, int height, const std::string& folder,
              const std::string& prefix)
        : strip(makeStrip(width, height))
    {
        form.Image1.setPicture(platform::LoadPicture(writeStrip(strips, "strip.bmp", width, height)));
        form.lbDir.setCaption(folder);
        form.txtPref.setText(prefix);
    }
    f_Main form;
    QImage strip;
};

void expectSaveDialog(const platform::SaveDialogRequest& request, const std::string& fileName, int32_t flags)
{
    EXPECT_EQ(request.title, "Save File");
    EXPECT_EQ(request.fileName, fileName);
    EXPECT_EQ(request.filter, "Bitmap|*.bmp");
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_EQ(request.flags, flags);
}

} // namespace

// ---------------------------------------------------------------- output folder

TEST(ExportOutputFolder, KeepsTheFolderOfTheChosenName)
{
    struct Case {
        std::optional<std::string> answer; // nothing: cancelled
        std::string before;
        std::string after;
    } cases[] = {
        {"/home/ann/pics/icon1.bmp", "", "/home/ann/pics"},
        {"/home/ann/pics/icon1.bmp", "/old", "/home/ann/pics"},
        {"/icon1.bmp", "/old", "/"},
        {"//server/share/icon1.bmp", "", "//server/share"},
        {"icon1.bmp", "/old", "icon1.bmp"},
        {std::nullopt, "/old", "/old"},
        {std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.value_or("(cancelled)") + " over '" + c.before + "'");
        ScriptedDialogs dialogs;
        c.answer ? dialogs.answerSave(*c.answer) : dialogs.cancelSave();
        f_Main form;
        form.lbDir.setCaption(c.before);
        form.txtPref.setText("icon");
        form.cmdDir_Click();
        EXPECT_EQ(form.lbDir.Caption(), c.after);
        ASSERT_EQ(dialogs.saveRequests().size(), 1u);
        expectSaveDialog(dialogs.saveRequests()[0], "icon*", platform::cdlOFNNoValidate);
        EXPECT_TRUE(dialogs.messages().empty());
    }
}

TEST(ExportOutputFolder, OffersTheBarePatternWithoutPrefix)
{
    ScriptedDialogs dialogs;
    dialogs.cancelSave();
    f_Main form;
    form.cmdDir_Click();
    ASSERT_EQ(dialogs.saveRequests().size(), 1u);
    EXPECT_EQ(dialogs.saveRequests()[0].fileName, "*");
}

// ---------------------------------------------------------------- save selected

TEST(ExportSaveSelected, WarnsWhenNothingIsSelected)
{
    ScriptedDialogs dialogs;
    f_Main form;
    form.cmdSave_Click();
    EXPECT_TRUE(dialogs.saveRequests().empty());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].text, "Please select index of picture!");
    EXPECT_EQ(dialogs.messages()[0].style, platform::vbExclamation);
    EXPECT_EQ(dialogs.messages()[0].title, "Quorvel");
}

TEST(ExportSaveSelected, WritesThePreviewUnderTheChosenNameReplacingAnOldFile)
{
    QTemporaryDir dir;
    StripForm s(dir, 160, 16, "", "");
    pick(s.form, 40 * kDefaultTwipsPerPixel);
    // Without ".bmp" the name is used as it is; the old file is replaced.
    const QString target = dir.filePath("third tile");
    writeFile(target, kOldContent);
    ScriptedDialogs dialogs;
    dialogs.answerSave(target.toStdString());
    s.form.cmdSave_Click();

    ASSERT_EQ(dialogs.saveRequests().size(), 1u);
    expectSaveDialog(dialogs.saveRequests()[0], "", platform::cdlOFNOverwritePrompt);
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(bmpBitsPerPixel(target), 24);
    EXPECT_EQ(readBmp(target), tileOf(s.strip, 32, 16));
    EXPECT_EQ(s.form.Picture2.picture().image().convertToFormat(QImage::Format_RGB32), tileOf(s.strip, 32, 16));
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"strip.bmp", "third tile"}));
}

// A chosen name that is a link stays a link, as after saving in an editor: the
// file it leads to gets the tile, and keeps its permissions.
TEST(ExportSaveSelected, WritesThroughALinkToTheFileItLeadsTo)
{
    const struct {
        const char* what;
        QString link;   // relative to the folder of the chosen name
        QString target; // the file that gets the tile, relative to the other folder
        bool targetExists;
    } cases[] = {
        {"a link to a file", "../elsewhere/x.bmp", "x.bmp", true},
        {"a link to a link to a file", "chain", "x.bmp", true},
        {"a link that points nowhere yet", "../elsewhere/new.bmp", "new.bmp", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        QTemporaryDir strips;
        StripForm s(strips, 160, 16, "", "");
        pick(s.form, 0);
        ASSERT_TRUE(QDir(root.path()).mkdir("chosen") && QDir(root.path()).mkdir("elsewhere"));
        const QString chosen = root.filePath("chosen/tile.bmp");
        const QString target = root.filePath("elsewhere/" + c.target);
        if (c.targetExists) {
            writeFile(target, kOldContent);
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        }
        ASSERT_EQ(symlink("../elsewhere/x.bmp", QFile::encodeName(root.filePath("chosen/chain")).constData()), 0);
        ASSERT_EQ(symlink(QFile::encodeName(c.link).constData(), QFile::encodeName(chosen).constData()), 0);
        ScriptedDialogs dialogs;
        dialogs.answerSave(chosen.toStdString());

        s.form.cmdSave_Click();

        EXPECT_TRUE(dialogs.messages().empty());
        EXPECT_TRUE(QFileInfo(chosen).isSymLink());
        EXPECT_EQ(readBmp(target), tileOf(s.strip, 0, 16));
        EXPECT_EQ(entriesOf(root.filePath("chosen")), QStringList({"chain", "tile.bmp"}));
        EXPECT_EQ(entriesOf(root.filePath("elsewhere")), QStringList({c.target}));
        struct stat status {};
        ASSERT_EQ(stat(QFile::encodeName(target).constData(), &status), 0);
        if (c.targetExists)
            EXPECT_EQ(status.st_mode & 07777, 0604u);
    }
}

TEST(ExportSaveSelected, CancellingWritesNothing)
{
    QTemporaryDir dir;
    StripForm s(dir, 160, 16, "", "");
    pick(s.form, 0);
    ScriptedDialogs dialogs;
    dialogs.cancelSave();
    s.form.cmdSave_Click();
    EXPECT_TRUE(s.form.Picture2.picture().isEmpty());
    EXPECT_TRUE(dialogs.messages().empty());
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"strip.bmp"}));
}

namespace {

// Saves the first tile of a strip over the target that prepare makes in a
// fresh folder, and checks that the folder is as it was and the user is told.
void expectFailedSaveKeepsTheFolder(const std::function<QString(const QString& folder)>& prepare)
{
    QTemporaryDir strips;
    StripForm s(strips, 160, 16, "", "");
    pick(s.form, 0);
    QTemporaryDir dir;
    const QString target = prepare(dir.path());
    const QStringList before = entriesOf(dir.path());
    ScriptedDialogs dialogs;
    dialogs.answerSave(target.toStdString());
    s.form.cmdSave_Click();
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    EXPECT_EQ(entriesOf(dir.path()), before);
    if (QFileInfo(target).isFile())
        EXPECT_EQ(contentOf(target), kOldContent);
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_EQ(dialogs.messages()[0].style, platform::vbExclamation);
    EXPECT_NE(dialogs.messages()[0].text.find(target.toStdString()), std::string::npos) << dialogs.messages()[0].text;
}

} // namespace

TEST(ExportSaveSelected, KeepsAReadOnlyFileAndSaysSo)
{
    QTemporaryDir probe;
    if (!permissionsStopWrites(probe))
        GTEST_SKIP() << "permission bits do not stop this user (root) from writing";
    const struct {
        const char* what;
        QFile::Permissions file;
        QFile::Permissions folder;
    } cases[] = {
        {"a read-only file", QFile::ReadOwner, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner},
        {"a file in a read-only folder", QFile::ReadOwner | QFile::WriteOwner, QFile::ReadOwner | QFile::ExeOwner},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectFailedSaveKeepsTheFolder([&](const QString& folder) {
            const QString target = folder + "/tile.bmp";
            writeFile(target, kOldContent);
            QFile::setPermissions(target, c.file);
            QFile::setPermissions(folder, c.folder);
            return target;
        });
    }
}

TEST(ExportSaveSelected, KeepsAFolderOfTheChosenNameAndSaysSo)
{
    expectFailedSaveKeepsTheFolder([](const QString& folder) {
        QDir(folder).mkdir("tile.bmp");
        return folder + "/tile.bmp";
    });
}

// ---------------------------------------------------------------- save all

TEST(ExportSaveAll, WritesFileNumberNWithTileNAtAnyScale)
{
    struct Case {
        int width;
        int height;
        float tpp;
        int files;
        int tileWidth;
        bool oneToOne; // whole twips per pixel: the copy is an exact crop
    } cases[] = {
        {100, 16, 15, 6, 16, true}, {100, 16, 12, 6, 16, true}, {100, 16, 10, 6, 16, true},
        {160, 15, 15, 10, 16, true}, {160, 15, 12, 10, 16, true}, {160, 15, 10, 10, 16, true},
        {10, 20, 15, 1, 10, true}, {10, 20, 12, 1, 10, true}, {10, 20, 10, 1, 10, true},
        {30, 16, 15, 1, 30, true}, {30, 16, 12, 1, 30, true}, {30, 16, 10, 1, 30, true},
        // At 7.5 the strip is measured with 8 twips per pixel: 100x16 counts as
        // 93x15, 160x15 as 150x14, 10x20 as 9x18, 30x16 as 28x15.
        {100, 16, 7.5, 5, 16, false}, {160, 15, 7.5, 10, 14, false},
        {10, 20, 7.5, 1, 9, false}, {30, 16, 7.5, 1, 28, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + std::to_string(c.tpp));
        const ScreenScale scale(c.tpp);
        QTemporaryDir strips;
        QTemporaryDir out;
        StripForm s(strips, c.width, c.height, out.path().toStdString(), "t");
        s.form.cmdSaveAll_Click();

        QStringList expected;
        for (int n = 1; n <= c.files; ++n)
            expected << QString("t%1.bmp").arg(n);
        expected.sort();
        ASSERT_EQ(entriesOf(out.path()), expected);
        for (int n = 1; n <= c.files; ++n) {
            SCOPED_TRACE("file " + std::to_string(n));
            const QImage tile = readBmp(out.filePath(QString("t%1.bmp").arg(n)));
            const int left = (n - 1) * c.tileWidth;
            if (c.oneToOne)
                EXPECT_EQ(tile, tileOf(s.strip, left, c.tileWidth));
            // Every column of the file is the strip's column of tile n (the
            // strip's red channel counts the columns).
            ASSERT_GE(tile.width(), c.tileWidth);
            for (int x = 0; x < c.tileWidth; ++x)
                ASSERT_EQ(qRed(tile.pixel(x, 0)), left + x) << "column " << x;
        }
        EXPECT_EQ(s.form.CurrentIndex(), c.files);
    }
}

TEST(ExportSaveAll, LeavesExistingFilesAloneAndFillsInTheMissingOnes)
{
    QTemporaryDir strips;
    QTemporaryDir out;
    writeFile(out.filePath("t2.bmp"), kOldContent);
    writeFile(out.filePath("t5.bmp"), kOldContent);
    StripForm s(strips, 100, 16, out.path().toStdString(), "t");
    s.form.cmdSaveAll_Click();
    EXPECT_EQ(entriesOf(out.path()), QStringList({"t1.bmp", "t2.bmp", "t3.bmp", "t4.bmp", "t5.bmp", "t6.bmp"}));
    EXPECT_EQ(contentOf(out.filePath("t2.bmp")), kOldContent);
    EXPECT_EQ(contentOf(out.filePath("t5.bmp")), kOldContent);
    EXPECT_EQ(readBmp(out.filePath("t6.bmp")), tileOf(s.strip, 80, 16));

    // A second run writes nothing, yet picks every tile again.
    const QByteArray first = contentOf(out.filePath("t1.bmp"));
    pick(s.form, 0);
    s.form.cmdSaveAll_Click();
    EXPECT_EQ(contentOf(out.filePath("t1.bmp")), first);
    EXPECT_EQ(s.form.CurrentIndex(), 6);
}

TEST(ExportSaveAll, BuildsNamesFromTheExactPrefix)
{
    struct Case {
        std::string prefix;
        QStringList existing;
        QStringList written;
    } cases[] = {
        {"", {}, {"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp", "6.bmp"}},
        // A wildcard is a character of the name, not a pattern that matches x1.bmp.
        {"*", {"x1.bmp"}, {"*1.bmp", "*2.bmp", "*3.bmp", "*4.bmp", "*5.bmp", "*6.bmp"}},
        {"?", {"a1.bmp", "b2.bmp"}, {"?1.bmp", "?2.bmp", "?3.bmp", "?4.bmp", "?5.bmp", "?6.bmp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("prefix '" + c.prefix + "'");
        QTemporaryDir strips;
        QTemporaryDir out;
        for (const QString& name : c.existing)
            writeFile(out.filePath(name), kOldContent);
        StripForm s(strips, 100, 16, out.path().toStdString(), c.prefix);
        s.form.cmdSaveAll_Click();
        QStringList all = c.existing + c.written;
        all.sort();
        EXPECT_EQ(entriesOf(out.path()), all);
        EXPECT_EQ(readBmp(out.filePath(c.written[0])), tileOf(s.strip, 0, 16));
    }
}

TEST(ExportSaveAll, AsksForTheFolderFirstWhenNoneIsChosen)
{
    QTemporaryDir strips;
    QTemporaryDir out;
    {
        StripForm s(strips, 100, 16, "", "t");
        ScriptedDialogs dialogs;
        dialogs.cancelSave();
        s.form.cmdSaveAll_Click();
        EXPECT_EQ(s.form.lbDir.Caption(), "");
        EXPECT_EQ(s.form.CurrentIndex(), 0);
    }
    StripForm s(strips, 100, 16, "", "t");
    ScriptedDialogs dialogs;
    dialogs.answerSave(pathIn(out, "anything.bmp"));
    s.form.cmdSaveAll_Click();
    EXPECT_EQ(s.form.lbDir.Caption(), out.path().toStdString());
    EXPECT_EQ(entriesOf(out.path()).size(), 6);
}

TEST(ExportSaveAll, StopsWithAMessageNamingTheFileItCannotWrite)
{
    struct Case {
        const char* what;
        std::function<std::string(const QTemporaryDir& out)> prepare; // returns the output folder
        QStringList writtenBefore;
        QString failing;
    } cases[] = {
        {"a folder under a regular file",
         [](const QTemporaryDir& out) {
             writeFile(out.filePath("plain"), kOldContent);
             return pathIn(out, "plain");
         },
         {}, "plain/t1.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir strips;
        QTemporaryDir out;
        StripForm s(strips, 100, 16, c.prepare(out), "t");
        ScriptedDialogs dialogs;
        platform::raiseEvent(s.form.cmdSaveAll.Click);

        ASSERT_EQ(dialogs.messages().size(), 1u);
        const std::string& text = dialogs.messages()[0].text;
        EXPECT_NE(text.find(pathIn(out, c.failing)), std::string::npos) << text;
        EXPECT_EQ(text.rfind("Run-time error '", 0), 0u) << text;
        for (const QString& name : c.writtenBefore)
            EXPECT_TRUE(QFileInfo(out.filePath(name)).isFile()) << name.toStdString();
        EXPECT_FALSE(QFileInfo::exists(out.filePath("t4.bmp")));
        // No scratch file is left behind.
        EXPECT_EQ(entriesOf(out.path()), QStringList({"plain"}));

        // The hold ended with the run: typing reaches the prefix again.
        QCoreApplication::postEvent(s.form.txtPref.widget(),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
        platform::DoEvents();
        EXPECT_EQ(s.form.txtPref.Text(), "tx");
    }
}

TEST(ExportSaveAll, EndsBeforeAnyPickOnAStripWithoutHeight)
{
    QTemporaryDir strips;
    QTemporaryDir out;
    StripForm s(strips, 100, 16, out.path().toStdString(), "t");
    s.form.Image1.setHeight(0);
    EXPECT_EQ(errorNumberOf([&] { s.form.cmdSaveAll_Click(); }), platform::DivisionByZero);
    EXPECT_EQ(s.form.CurrentIndex(), 0);
    EXPECT_TRUE(entriesOf(out.path()).isEmpty());
}

TEST(ExportSaveAll, KeepsClicksAndKeysAwayWhileItRuns)
{
    QTemporaryDir strips;
    QTemporaryDir out;
    StripForm s(strips, 100, 16, out.path().toStdString(), "t");
    // Queued before the run, delivered at its first yield: a click on the fifth
    // tile, a key for the prefix and a second click on Save all.
    const QPointF fifthTile(4 * 16 + 1, 1);
    const QPointF button(s.form.cmdSaveAll.widget()->rect().center());
    auto post = [](QWidget* widget, QEvent::Type type, QPointF at) {
        QCoreApplication::postEvent(widget, new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
    };
    post(s.form.Image1.widget(), QEvent::MouseButtonPress, fifthTile);
    QCoreApplication::postEvent(s.form.txtPref.widget(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
    post(s.form.cmdSaveAll.widget(), QEvent::MouseButtonPress, button);
    post(s.form.cmdSaveAll.widget(), QEvent::MouseButtonRelease, button);
    ScriptedDialogs dialogs;
    s.form.cmdSaveAll_Click();

    EXPECT_EQ(entriesOf(out.path()), QStringList({"t1.bmp", "t2.bmp", "t3.bmp", "t4.bmp", "t5.bmp", "t6.bmp"}));
    EXPECT_EQ(readBmp(out.filePath("t1.bmp")), tileOf(s.strip, 0, 16));
    EXPECT_EQ(s.form.txtPref.Text(), "t");
    EXPECT_TRUE(dialogs.messages().empty());
}

TEST(ExportSaveAll, ACloseEndsTheRunAfterTheTileInProgressAndThenCloses)
{
    QTemporaryDir strips;
    QTemporaryDir out;
    StripForm s(strips, 100, 16, "", "t");
    s.form.Show();
    s.form.lbDir.setCaption(out.path().toStdString());
    QTimer::singleShot(0, [&] { s.form.Unload(); });
    s.form.cmdSaveAll_Click();
    EXPECT_EQ(entriesOf(out.path()), QStringList({"t1.bmp"}));
    EXPECT_FALSE(s.form.widget()->isVisible());
}

// ---------------------------------------------------------------- the runtime

// Save all tests for a file first; these are the names that hold something
// else, or that appear after that test. None is written through or replaced.
TEST(ExportFiles, SaveNewPictureSkipsANameThatExistsInAnyForm)
{
    const platform::Picture picture(makeStrip(16, 16));
    const struct {
        const char* what;
        std::function<bool(const QString& folder, const QString& elsewhere)> plant;
    } cases[] = {
        {"a file", [](const QString& folder, const QString&) { return writeFileOk(folder + "/tile.bmp"); }},
        {"a folder", [](const QString& folder, const QString&) { return QDir(folder).mkdir("tile.bmp"); }},
        {"a link to a file",
         [](const QString& folder, const QString& elsewhere) {
             return writeFileOk(elsewhere + "/x.bmp") && QFile::link(elsewhere + "/x.bmp", folder + "/tile.bmp");
         }},
        {"a link to a folder",
         [](const QString& folder, const QString& elsewhere) { return QFile::link(elsewhere, folder + "/tile.bmp"); }},
        {"a link that points nowhere",
         [](const QString& folder, const QString& elsewhere) {
             return QFile::link(elsewhere + "/x.bmp", folder + "/tile.bmp");
         }},
        {"a pipe",
         [](const QString& folder, const QString&) {
             return mkfifo(QFile::encodeName(folder + "/tile.bmp").constData(), 0600) == 0;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        QTemporaryDir elsewhere;
        ASSERT_TRUE(c.plant(folder.path(), elsewhere.path()));
        const QStringList before = entriesOf(folder.path());
        const QStringList beforeElsewhere = entriesOf(elsewhere.path());
        const QByteArray content = contentOf(elsewhere.filePath("x.bmp"));

        EXPECT_FALSE(platform::SaveNewPicture(picture, pathIn(folder, "tile.bmp")));

        EXPECT_EQ(entriesOf(folder.path()), before);
        EXPECT_EQ(entriesOf(elsewhere.path()), beforeElsewhere);
        EXPECT_EQ(contentOf(elsewhere.filePath("x.bmp")), content);
    }

    QTemporaryDir dir;
    EXPECT_EQ(errorNumberOf([&] { platform::SaveNewPicture(picture, pathIn(dir, "missing/tile.bmp")); }),
              platform::PathNotFound);
    EXPECT_TRUE(platform::SaveNewPicture(picture, pathIn(dir, "new.bmp")));
    EXPECT_EQ(readBmp(dir.filePath("new.bmp")), makeStrip(16, 16));
    // A PNG keeps the picture's alpha, through the same path.
    QImage translucent = makeStrip(16, 16).convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(3, 4, qRgba(10, 20, 30, 40));
    EXPECT_TRUE(platform::SaveNewPicture(platform::Picture(translucent), pathIn(dir, "new.png"),
                                         platform::FileFormat::Png));
    EXPECT_FALSE(platform::SaveNewPicture(picture, pathIn(dir, "new.png"), platform::FileFormat::Png));
    EXPECT_EQ(formats::decodePng(contentOf(dir.filePath("new.png")), translucent.width() * translucent.height()).image,
              translucent);
    EXPECT_EQ(entriesOf(dir.path()), QStringList({"new.bmp", "new.png"}));
}

TEST(ExportFiles, APictureThatCouldNotBeAllocatedIsOutOfMemoryAndWritesNothing)
{
    // Wider than Qt holds a picture: the copy comes back null, as when its memory cannot be had.
    const platform::Picture null = platform::Picture(makeStrip(16, 16)).part(0, 0, 1 << 29, 1);
    ASSERT_TRUE(null.isEmpty());
    QTemporaryDir dir;
    const std::string file = pathIn(dir, "tile.bmp");
    const struct {
        const char* what;
        std::function<void()> use;
        bool namesFile;
    } cases[] = {
        {"encode", [&] { platform::EncodePicture(null, file, platform::FileFormat::Png); }, true},
        {"save", [&] { platform::SavePicture(null, file); }, true},
        {"save new", [&] { platform::SaveNewPicture(null, file); }, true},
        {"blank test", [&] { platform::IsBlank(null, std::nullopt); }, false},
        {"repeat test", [&] { platform::PictureIndex().firstSame(null, 1); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.use();
            ADD_FAILURE() << "no error";
        } catch (const platform::RuntimeError& e) {
            EXPECT_EQ(e.number(), platform::OutOfMemory);
            EXPECT_EQ(e.description().find(file) != std::string::npos, c.namesFile) << e.description();
        }
        EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
    }
}

// ---------------------------------------------------------------- another reader

TEST(ExportImageMagick, ReadsEveryTileAsItsOwnCropOfTheStrip)
{
    if (QStandardPaths::findExecutable("convert").isEmpty() || QStandardPaths::findExecutable("compare").isEmpty())
        GTEST_SKIP() << "ImageMagick is not installed (scripts/install-deps.sh installs it)";
    QTemporaryDir strips;
    QTemporaryDir out;
    StripForm s(strips, 100, 16, out.path().toStdString(), "t");
    s.form.cmdSaveAll_Click();
    auto run = [](const QString& program, const QStringList& arguments) {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished();
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
    };
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE("tile " + std::to_string(n));
        const QString tile = out.filePath(QString("t%1.bmp").arg(n));
        const QString crop = strips.filePath(QString("crop%1.bmp").arg(n));
        run("convert", {strips.filePath("strip.bmp"), "-crop", QString("16x16+%1+0").arg((n - 1) * 16), "+repage",
                        crop});
        EXPECT_EQ(run("compare", {"-metric", "AE", tile, crop, "null:"}), "0");
        EXPECT_EQ(run("identify", {"-format", "%m %wx%h", tile}), "BMP3 16x16");
        EXPECT_EQ(bmpBitsPerPixel(tile), 24);
    }
}

// ---------------------------------------------------------------- Qt's dialogs

namespace {

// Runs answer on the next modal dialog once it shows.
template <class Dialog>
void whenShown(std::function<void(Dialog*)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        answer(dialog);
    });
}

} // namespace

TEST(ExportDialogs, ShowSaveShowsQtsSaveDialogAsSetUp)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath("old.bmp");
    writeFile(existing, kOldContent);
    struct Case {
        int32_t flags;
        QString typed;
        bool asksToReplace;
    } cases[] = {
        {platform::cdlOFNOverwritePrompt, existing, true},
        {platform::cdlOFNOverwritePrompt, dir.filePath("new.bmp"), false},
        {platform::cdlOFNNoValidate, existing, false},
        {platform::cdlOFNNoValidate, dir.filePath("new name"), false},
        // The output-folder choice: the offered pattern, accepted in a folder.
        {platform::cdlOFNNoValidate, dir.filePath("icon*"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString() + " with flags " + std::to_string(c.flags));
        platform::CommonDialog dialog;
        dialog.setCancelError(true);
        dialog.setDialogTitle("Save File");
        dialog.setFileName("icon*");
        dialog.setFilter("Bitmap|*.bmp");
        dialog.setFilterIndex(1);
        dialog.setFlags(c.flags);
        bool asked = false;
        whenShown<QFileDialog>([&](QFileDialog* shown) {
            EXPECT_EQ(shown->windowTitle(), "Save File");
            EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
            EXPECT_EQ(shown->nameFilters(), QStringList({"Bitmap (*.bmp)"}));
            EXPECT_EQ(shown->selectedNameFilter(), "Bitmap (*.bmp)");
            auto* name = shown->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            EXPECT_EQ(name->text(), "icon*");
            name->setText(c.typed);
            if (c.asksToReplace)
                whenShown<QMessageBox>([&](QMessageBox* box) {
                    asked = true;
                    box->button(QMessageBox::Yes)->click();
                });
            // Pressed as the user would: the button must take the typed name.
            QPushButton* save = shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save);
            ASSERT_NE(save, nullptr);
            if (!save->isEnabled()) {
                ADD_FAILURE() << "the Save button is disabled";
                shown->reject();
                return;
            }
            save->click();
        });
        dialog.ShowSave();
        EXPECT_EQ(asked, c.asksToReplace);
        EXPECT_EQ(dialog.FileName(), c.typed.toStdString());
    }
}

TEST(ExportDialogs, CancellingRaises32755OnlyWhenAskedTo)
{
    for (const bool cancelError : {true, false}) {
        SCOPED_TRACE(cancelError);
        platform::CommonDialog dialog;
        dialog.setCancelError(cancelError);
        dialog.setFileName("kept");
        whenShown<QFileDialog>([](QFileDialog* shown) { shown->reject(); });
        EXPECT_EQ(errorNumberOf([&] { dialog.ShowSave(); }), cancelError ? platform::DialogCancelled : 0);
        EXPECT_EQ(dialog.FileName(), "kept");
    }
}

TEST(ExportDialogs, MsgBoxWarnsWithOneButtonUnderTheProgramsTitle)
{
    whenShown<QMessageBox>([](QMessageBox* box) {
        EXPECT_EQ(box->windowTitle(), "Quorvel");
        EXPECT_EQ(box->text(), "Please select index of picture!");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    platform::MsgBox("Please select index of picture!", platform::vbExclamation);
}
