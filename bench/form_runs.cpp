#include "bench/form_runs.h"

#include "platform/app.h"
#include "platform/dialogs.h"
#include "platform/events.h"
#include "platform/screen.h"
#include "tiles/tile_rules.h"
#include "window/f_main.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

namespace bench {

namespace {

constexpr int kFormFailed = 2;
constexpr int16_t kLeftButton = 1;
constexpr int16_t kNoShift = 0;

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void printTiming(const char* name, double value) { std::printf("%s %.3f\n", name, value); }

// Nobody is there to answer: a message the form shows ends the run as a
// failure instead of waiting for a click that never comes.
class UnattendedDialogs : public platform::UserDialogs {
public:
    std::optional<std::string> askSaveFileName(const platform::SaveDialogRequest& request) override
    {
        std::fprintf(stderr, "the form asked for a file name (%s); nobody can answer\n", request.title.c_str());
        return std::nullopt;
    }
    void showMessage(const std::string& text, int, const std::string&) override
    {
        std::fprintf(stderr, "the form reported: %s\n", text.c_str());
        std::fflush(stdout);
        std::_Exit(kFormFailed);
    }
};

// The runtime and the form, as the program starts them, on a screen of its own.
struct Session {
    Session(int& argc, char** argv, const std::string& platformName)
    {
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platformName));
        app = std::make_unique<QApplication>(argc, argv);
        platform::startRuntime();
        platform::setUserDialogs(&dialogs);
        form = std::make_unique<f_Main>();
        form->Show();
        platform::DoEvents();
    }
    ~Session()
    {
        form.reset();
        platform::setUserDialogs(nullptr);
    }
    std::unique_ptr<QApplication> app;
    UnattendedDialogs dialogs;
    std::unique_ptr<f_Main> form;
};

// Opens the strip's folder and clicks the strip in the file list, as a user would.
bool clickStrip(f_Main& form, const std::string& strip)
{
    const std::filesystem::path path(strip);
    form.Dir1.setPath(path.parent_path().string());
    auto* list = qobject_cast<QAbstractItemView*>(form.File1.widget());
    const QModelIndexList found =
        list ? list->model()->match(list->model()->index(0, 0), Qt::DisplayRole,
                                    QString::fromStdString(path.filename().string()), 1, Qt::MatchExactly)
             : QModelIndexList();
    if (found.isEmpty()) {
        std::fprintf(stderr, "%s is not in the file list\n", strip.c_str());
        return false;
    }
    list->setCurrentIndex(found.front());
    if (form.Image1.picture().isEmpty()) {
        std::fprintf(stderr, "%s did not load\n", strip.c_str());
        return false;
    }
    return true;
}

// Delivers a key press and its release to a widget, as the keyboard would.
void typeKey(QWidget* widget, int key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

} // namespace

Timings parseTimings(const std::string& out)
{
    Timings timings;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        double value = 0;
        if (fields >> name >> value)
            timings[name] = value;
    }
    return timings;
}

int runIdle(int argc, char** argv, const std::string& platformName)
{
    Session session(argc, argv, platformName);
    return 0;
}

int runSaveAll(int argc, char** argv, const std::string& platformName, const std::string& strip,
               const std::string& outDir, const std::string& prefix)
{
    Session session(argc, argv, platformName);
    f_Main& form = *session.form;
    const Clock::time_point loadStart = Clock::now();
    if (!clickStrip(form, strip))
        return kFormFailed;
    printTiming("load_ms", msSince(loadStart));
    platform::DoEvents();

    form.lbDir.setCaption(outDir);
    form.txtPref.setText(prefix);
    const Clock::time_point saveStart = Clock::now();
    platform::raiseEvent(form.cmdSaveAll.Click);
    printTiming("save_all_ms", msSince(saveStart));
    return 0;
}

int runLoadPick(int argc, char** argv, const std::string& platformName, const std::string& strip)
{
    Session session(argc, argv, platformName);
    f_Main& form = *session.form;
    const Clock::time_point loadStart = Clock::now();
    if (!clickStrip(form, strip))
        return kFormFailed;
    printTiming("load_ms", msSince(loadStart));
    platform::DoEvents();
    printTiming("shown_ms", msSince(loadStart));

    const platform::Picture& picture = form.Image1.picture();
    const int32_t baseWidth = tiles::baseTileWidth(picture.pixelHeight());
    const int16_t count = std::max<int16_t>(1, tiles::wholeTileCount(picture.pixelWidth(), baseWidth));
    const float twipsPerPixel = platform::Screen.TwipsPerPixelX();
    double total = 0;
    double slowest = 0;
    for (int16_t i = 0; i < count; ++i) {
        // A click in the middle of each tile, then the repaint the user waits for.
        int16_t button = kLeftButton;
        int16_t shift = kNoShift;
        float x = twipsPerPixel * (float(i) * baseWidth + baseWidth / 2.0f);
        float y = platform::Screen.TwipsPerPixelY();
        const Clock::time_point pickStart = Clock::now();
        platform::raiseEvent(form.Image1.MouseDown, button, shift, x, y);
        platform::DoEvents();
        const double ms = msSince(pickStart);
        total += ms;
        slowest = std::max(slowest, ms);
    }
    printTiming("pick_ms", total / count);
    printTiming("pick_max_ms", slowest);
    printTiming("picks", count);
    return 0;
}

int runShowFolder(int argc, char** argv, const std::string& platformName, const std::string& folder)
{
    Session session(argc, argv, platformName);
    f_Main& form = *session.form;
    auto* files = qobject_cast<QAbstractItemView*>(form.File1.widget());
    if (!files)
        return kFormFailed;

    const Clock::time_point openStart = Clock::now();
    form.Dir1.setPath(folder);
    platform::DoEvents();
    printTiming("shown_ms", msSince(openStart));
    printTiming("entries", files->model()->rowCount());

    // What a user does next in a long list: drag to its end, type a name's
    // first letter, walk with the arrow keys. Each waits for its repaint.
    files->setFocus();
    const Clock::time_point scrollStart = Clock::now();
    files->verticalScrollBar()->setValue(files->verticalScrollBar()->maximum());
    platform::DoEvents();
    printTiming("scroll_ms", msSince(scrollStart));

    const Clock::time_point typeStart = Clock::now();
    typeKey(files, Qt::Key_M, "m");
    platform::DoEvents();
    printTiming("type_ms", msSince(typeStart));

    constexpr int kArrowPresses = 20;
    const Clock::time_point arrowStart = Clock::now();
    for (int i = 0; i < kArrowPresses; ++i) {
        typeKey(files, Qt::Key_Down);
        platform::DoEvents();
    }
    printTiming("arrow_ms", msSince(arrowStart) / kArrowPresses);
    return 0;
}

} // namespace bench
