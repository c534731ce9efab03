// Chooses each input file in the form's file list, as a user would, picks its
// first, middle and last tile and saves each with Save selected. Writes what
// it saw into an output folder, one set of files per input: the error number
// or the picture's pixels, and the saved tiles. Two runs over the same inputs
// must write the same bytes, however the memory they get was used before.
// Usage: quorvel_probe OUTPUT_FOLDER INPUT...
#include "platform/app.h"
#include "platform/dialogs.h"
#include "platform/events.h"
#include "support/lists.h"
#include "window/f_main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>

namespace {

constexpr float kPickY = 10;
constexpr float kInsideTile = 10;

// Answers every save dialog with the next tile's name and keeps the messages.
class ProbeDialogs : public platform::UserDialogs {
public:
    std::string target;
    QByteArray messages;
    std::optional<std::string> askSaveFileName(const platform::SaveDialogRequest&) override { return target; }
    void showMessage(const std::string& text, int, const std::string&) override
    {
        messages += QByteArray::fromStdString(text) + "\n";
    }
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}


QByteArray pixelsOf(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray bytes = QByteArray::number(argb.width()) + "x" + QByteArray::number(argb.height()) + "\n";
    for (int y = 0; y < argb.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(argb.constScanLine(y)), argb.width() * 4);
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorvel_probe OUTPUT_FOLDER INPUT...\n");
        return 2;
    }
    QTemporaryDir scratch;
    qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::startRuntime();
    ProbeDialogs dialogs;
    platform::setUserDialogs(&dialogs);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString inputPath = scratch.filePath("input.bmp");
    f_Main form;
    form.Dir1.setPath(scratch.path().toStdString());
    for (int i = 2; i < argc; ++i) {
        const QString name = QString::number(i - 2);
        QFile::remove(inputPath);
        if (!QFile::copy(QString::fromLocal8Bit(argv[i]), inputPath)) {
            std::fprintf(stderr, "cannot copy %s\n", argv[i]);
            return 1;
        }
        form.File1.Refresh();
        dialogs.messages.clear();
        chooseRow(form.File1, 0);
        if (dialogs.messages.isEmpty()) {
            writeFile(out.filePath(name + ".pixels"), pixelsOf(form.Image1.picture().image()));
            const float width = form.Image1.Width();
            int saved = 0;
            for (const float X : {kInsideTile, width / 2, width - kInsideTile}) {
                int16_t button = 1;
                int16_t shift = 0;
                float x = X;
                float y = kPickY;
                platform::raiseEvent(form.Image1.MouseDown, button, shift, x, y);
                dialogs.target = out.filePath(name + "-" + QString::number(++saved) + ".bmp").toStdString();
                platform::raiseEvent(form.cmdSave.Click);
            }
        }
        // Messages name the scratch folder and the output folder, which differ between runs.
        writeFile(out.filePath(name + ".messages"),
                  dialogs.messages.replace(QFile::encodeName(out.path()), "OUT").replace(QFile::encodeName(scratch.path()), "SCRATCH"));
    }
    return 0;
}
