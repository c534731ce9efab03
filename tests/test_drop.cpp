// Files and folders dropped on the window: a picture the file list offers
// opens as `quorvel FILE` does, a folder opens the folder, anything else is
// left alone. Delivered through Qt's drop event, as a file manager's drag ends.
#include "platform/errors.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

namespace {

// Drags the URLs onto the window's middle and drops them there; true when
// the window took the drop.
bool drop(f_Main& form, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QWidget* window = form.widget();
    const QPoint middle = window->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent dropped(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropped);
    return enter.isAccepted() && dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
}

} // namespace

TEST(Drop, OpensADroppedPictureOrFolderAndIgnoresTheRest)
{
    QTemporaryDir dir;
    const QString folder = writeFolderToOpen(dir);
    const auto file = [&](const char* name) { return QUrl::fromLocalFile(folder + "/" + name); };
    const struct Case {
        const char* what;
        QList<QUrl> urls;
        bool held;
        bool taken;
        std::string path;     // of the folder list, "" when it stays
        std::string fileName; // chosen in the file list
        std::string size;     // what Label1 shows
        int error;            // reported in a message box, 0 for none
    } cases[] = {
        {"a BMP strip", {file("strip.bmp")}, false, true, folder.toStdString(), "strip.bmp", "Size: 160x16", 0},
        {"a GIF strip", {file("tall.gif")}, false, true, folder.toStdString(), "tall.gif", "Size: 48x32", 0},
        {"a folder", {file("sub")}, false, true, folder.toStdString() + "/sub", "", "Size:", 0},
        {"a text file", {file("notes.txt")}, false, false, "", "", "Size:", 0},
        {"a text file, then a strip", {file("notes.txt"), file("strip.bmp")}, false, true, folder.toStdString(),
         "strip.bmp", "Size: 160x16", 0},
        {"a web address", {QUrl("https://example.org/strip.bmp")}, false, false, "", "", "Size:", 0},
        {"a damaged BMP", {file("broken.bmp")}, false, true, folder.toStdString(), "broken.bmp", "Size:",
         platform::InvalidPicture},
        {"a strip while Save all runs", {file("strip.bmp")}, true, false, "", "", "Size:", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedDialogs dialogs;
        f_Main form;
        form.Form_Load();
        const std::string before = form.Dir1.Path();
        form.holdInput(c.held);
        EXPECT_EQ(drop(form, c.urls), c.taken);
        form.holdInput(false);
        EXPECT_EQ(form.Dir1.Path(), c.path.empty() ? before : c.path);
        EXPECT_EQ(form.File1.Path(), form.Dir1.Path());
        EXPECT_EQ(form.File1.FileName(), c.fileName);
        EXPECT_EQ(form.Label1.Caption(), c.size);
        if (c.error == 0) {
            EXPECT_TRUE(dialogs.messages().empty());
        } else {
            ASSERT_EQ(dialogs.messages().size(), 1u);
            EXPECT_EQ(dialogs.messages()[0].text.rfind("Run-time error '" + std::to_string(c.error) + "':", 0), 0u)
                << dialogs.messages()[0].text;
        }
    }
}
