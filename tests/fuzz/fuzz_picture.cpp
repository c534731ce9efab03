// libFuzzer target: one picture file through the form, as a user takes it.
// The input is written as a file in a scratch folder and chosen in the file
// list (File1_Click loads it into Image1), a few tiles are picked, and the
// preview is saved with SavePicture and SaveNewPicture and read back; the
// picture as stored is written as PNG and read back. Errors the runtime
// reports are expected; a crash, a sanitizer report or a saved tile or
// picture whose pixels differ from what was saved is a finding.
#include "formats/bmp.h"
#include "formats/png.h"
#include "platform/app.h"
#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/picture.h"
#include "support/scribble.h"
#include "window/f_main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// Pictures larger than this are loaded but not cut: picking and saving them
// takes long and exercises nothing the smaller ones do not.
constexpr qint64 kMaxPixelsToCut = 1 << 20;
constexpr float kPickY = 10;
constexpr float kInsideTile = 10;

// Answers every save dialog with the same name and counts the messages.
class FuzzDialogs : public platform::UserDialogs {
public:
    std::string target;
    int messages = 0;
    std::optional<std::string> askSaveFileName(const platform::SaveDialogRequest&) override { return target; }
    void showMessage(const std::string&, int, const std::string&) override { ++messages; }
};

struct Scene {
    QTemporaryDir folder;
    FuzzDialogs dialogs;
    std::unique_ptr<f_Main> form;
};

Scene* gScene = nullptr;

void pick(f_Main& form, float X)
{
    int16_t button = 1;
    int16_t shift = 0;
    float Y = kPickY;
    platform::raiseEvent(form.Image1.MouseDown, button, shift, X, Y);
}

// A file must give the same picture each time, also when loaded over freed
// memory that holds something else.
void expectSameOnReload(const std::string& path, const QImage& shown)
{
    scribbleFreedMemory(shown.sizeInBytes());
    const QImage again = platform::LoadPicture(path).image();
    if (again.convertToFormat(QImage::Format_ARGB32) != shown.convertToFormat(QImage::Format_ARGB32))
        std::abort();
}

// A saved tile must read back as exactly the preview's pixels.
void expectSavedAsPreview(const std::string& path, const QImage& preview)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    const formats::DecodedBmp saved = formats::decodeBmp(file.readAll(), preview.width() * qint64(preview.height()));
    if (saved.image != preview.convertToFormat(QImage::Format_RGB32))
        std::abort();
}

// The pixels as the file stores them must come back from a PNG of them in the
// same kind of pixels.
void expectSameFromPng(const std::string& path)
{
    const QImage stored = platform::LoadPicture(path, platform::Pixels::AsStored).image();
    const formats::DecodedPng back =
        formats::decodePng(formats::encodePng(stored), stored.width() * qint64(stored.height()));
    if (back.image.format() != stored.format() || back.image != stored)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    platform::startRuntime();
    gScene = new Scene;
    platform::setUserDialogs(&gScene->dialogs);
    gScene->form = std::make_unique<f_Main>();
    gScene->form->Dir1.setPath(gScene->folder.path().toStdString());
    gScene->dialogs.target = gScene->folder.filePath("out/tile.bmp").toStdString();
    QDir(gScene->folder.path()).mkdir("out");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    f_Main& form = *gScene->form;
    QFile input(gScene->folder.filePath("input.bmp"));
    if (!input.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    input.write(reinterpret_cast<const char*>(data), qint64(size));
    input.close();

    // Chosen in the file list, so File1_Click runs through the dispatcher.
    form.File1.Refresh();
    const int messagesBefore = gScene->dialogs.messages;
    auto* files = qobject_cast<QAbstractItemView*>(form.File1.widget());
    files->setCurrentIndex(files->model()->index(0, 0));
    const platform::Picture& loaded = form.Image1.picture();
    // A message means the file was turned down and the form kept its picture.
    if (gScene->dialogs.messages != messagesBefore ||
        qint64(loaded.pixelWidth()) * loaded.pixelHeight() > kMaxPixelsToCut)
        return 0;

    expectSameOnReload(input.fileName().toStdString(), loaded.image());
    expectSameFromPng(input.fileName().toStdString());

    // The first tile, one in the middle and the last.
    const float width = form.Image1.Width();
    for (const float X : {kInsideTile, width / 2, width - kInsideTile})
        pick(form, X);

    const QImage preview = form.Picture2.Image().image();
    QFile::remove(QString::fromStdString(gScene->dialogs.target));
    platform::raiseEvent(form.cmdSave.Click);
    if (QFile::exists(QString::fromStdString(gScene->dialogs.target)))
        expectSavedAsPreview(gScene->dialogs.target, preview);
    const std::string fresh = gScene->folder.filePath("out/new.bmp").toStdString();
    QFile::remove(QString::fromStdString(fresh));
    platform::raiseEvent([&] { platform::SaveNewPicture(form.Picture2.Image(), fresh); });
    expectSavedAsPreview(fresh, preview);
    return 0;
}
