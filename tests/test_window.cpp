// The main window: its controls as they are created, the layout at every size,
// where the widgets land on screen, and how an untrapped error reaches the user.
#include "platform/colors.h"
#include "platform/events.h"
#include "platform/picture.h"
#include "platform/screen.h"
#include "resources/gif_writer.h"
#include "support/screen_scale.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "tiles/tile_rules.h"
#include "window/f_main.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <ostream>
#include <vector>

namespace {

constexpr float kTwipsPerPixel = 15; // the test program's screen: 96 DPI
const QColor kDarkBlue(0, 0, 0x80);
const QColor kRed(0xFF, 0, 0);

// Left, Top, Width, Height in twips.
struct Place {
    float left;
    float top;
    float width;
    float height;
    bool operator==(const Place& o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};

std::ostream& operator<<(std::ostream& os, const Place& p)
{
    return os << "(" << p.left << ", " << p.top << ", " << p.width << ", " << p.height << ")";
}

Place placeOf(const platform::Control& c) { return {c.Left(), c.Top(), c.Width(), c.Height()}; }

// The window's controls by name; CommonDialog1 has no place on the window.
std::vector<std::pair<std::string, platform::Control*>> controlsOf(f_Main& f)
{
    return {{"Frame3", &f.Frame3},   {"Picture2", &f.Picture2},     {"Frame2", &f.Frame2},
            {"File1", &f.File1},     {"Dir1", &f.Dir1},             {"Drive1", &f.Drive1},
            {"Frame1", &f.Frame1},   {"Picture1", &f.Picture1},     {"cmdDir", &f.cmdDir},
            {"txtPref", &f.txtPref}, {"cmdSaveAll", &f.cmdSaveAll}, {"cmdSave", &f.cmdSave},
            {"Label3", &f.Label3},   {"lbDir", &f.lbDir},           {"Label2", &f.Label2},
            {"Shape1", &f.Shape1},   {"Label1", &f.Label1},         {"Image1", &f.Image1}};
}

using Layout = std::map<std::string, Place>;

Layout layoutOf(f_Main& f)
{
    Layout layout;
    for (const auto& [name, control] : controlsOf(f))
        layout[name] = placeOf(*control);
    return layout;
}

std::string textOf(const platform::Control& c)
{
    if (auto* frame = dynamic_cast<const platform::Frame*>(&c))
        return frame->Caption();
    if (auto* label = dynamic_cast<const platform::Label*>(&c))
        return label->Caption();
    if (auto* box = dynamic_cast<const platform::TextBox*>(&c))
        return box->Text();
    return {};
}


// A desktop theme's palette forced on the whole program for a while, the way a
// dark GTK theme gives it.
class DesktopPalette {
public:
    explicit DesktopPalette(const QPalette& palette) : mOld(QApplication::palette()) { QApplication::setPalette(palette); }
    ~DesktopPalette() { QApplication::setPalette(mOld); }
    DesktopPalette(const DesktopPalette&) = delete;
    DesktopPalette& operator=(const DesktopPalette&) = delete;

private:
    QPalette mOld;
};

QPalette darkDesktop()
{
    const QColor light(238, 238, 236);
    QPalette dark(light, QColor(50, 50, 50), QColor(70, 70, 70), QColor(30, 30, 30), QColor(40, 40, 40), light,
                  QColor(45, 45, 45));
    dark.setColor(QPalette::Button, QColor(50, 50, 50));
    dark.setColor(QPalette::ButtonText, light);
    return dark;
}

// A window shown with nothing selected, drawn as it is on screen.
QImage drawnWindow(f_Main& f)
{
    f.Show();
    f.setWindowState(platform::vbNormal);
    return f.widget()->grab().toImage();
}

// A window that is shown, in the normal state whatever the settings store held.
class WindowShown : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.Show();
        form.setWindowState(platform::vbNormal);
    }
    f_Main form;
};

} // namespace

TEST(WindowComposition, EveryControlAsCreated)
{
    f_Main f;
    constexpr int kNoTabStop = -1;
    const struct {
        platform::Control* control;
        platform::Control* container;
        Place place;
        const char* text;
        int tabIndex;
        const char* toolTip;
    } cases[] = {
        {&f.Frame2, &f, {45, 45, 6180, 2355}, "File", 1, ""},
        {&f.Drive1, &f.Frame2, {135, 225, 2580, 315}, "", 2, ""},
        {&f.Dir1, &f.Frame2, {135, 585, 2580, 1665}, "", 3, ""},
        {&f.File1, &f.Frame2, {2790, 225, 3300, 2040}, "", 4, ""},
        {&f.Frame1, &f, {45, 2475, 5910, 1905}, "Image", 0, ""},
        {&f.Picture1, &f.Frame1, {3060, 540, 2760, 465}, "", 7, ""},
        {&f.Label3, &f.Picture1, {45, 135, 825, 240}, "Prefix:", 13, ""},
        {&f.txtPref, &f.Picture1, {855, 90, 600, 330}, "", 12, ""},
        {&f.cmdDir, &f.Picture1, {1485, 45, 420, 375}, "", 15, "Choose directory for store bitmaps"},
        {&f.cmdSaveAll, &f.Picture1, {1905, 45, 420, 375}, "", 11, "Save all bitmaps"},
        {&f.cmdSave, &f.Picture1, {2325, 45, 420, 375}, "", 8, "Save selected picture to file"},
        {&f.lbDir, &f.Frame1, {2565, 225, 3210, 285}, "", 14, ""},
        {&f.Label2, &f.Frame1, {135, 855, 1590, 285}, "Index:", 6, ""},
        {&f.Shape1, &f.Frame1, {1620, 675, 375, 420}, "", kNoTabStop, ""},
        {&f.Label1, &f.Frame1, {135, 540, 1860, 285}, "Size:", 5, ""},
        {&f.Image1, &f.Frame1, {135, 1170, 5775, 375}, "", kNoTabStop, "Click to picture for select index"},
        {&f.Frame3, &f, {6030, 2475, 1140, 1905}, "Output", 9, ""},
        {&f.Picture2, &f.Frame3, {135, 360, 465, 420}, "", 10, ""},
    };
    ASSERT_EQ(std::size(cases), controlsOf(f).size());
    for (const auto& [name, control] : controlsOf(f)) {
        SCOPED_TRACE(name);
        const auto c = std::find_if(std::begin(cases), std::end(cases),
                                    [control = control](const auto& c) { return c.control == control; });
        ASSERT_NE(c, std::end(cases));
        EXPECT_EQ(control->container(), c->container);
        EXPECT_EQ(placeOf(*control), c->place);
        EXPECT_EQ(textOf(*control), c->text);
        if (c->tabIndex != kNoTabStop)
            EXPECT_EQ(control->TabIndex(), c->tabIndex);
        EXPECT_EQ(control->ToolTipText(), c->toolTip);
        // Only the outline starts hidden.
        EXPECT_EQ(control->Visible(), control != &f.Shape1);
    }
}

TEST(WindowComposition, FormAndStartingState)
{
    f_Main f;
    EXPECT_EQ(f.Name(), "f_Main");
    EXPECT_EQ(f.Caption(), "Quorvel");
    EXPECT_FALSE(f.widget()->windowIcon().isNull());
    EXPECT_EQ(f.WindowState(), platform::vbNormal);
    EXPECT_EQ(f.ScaleWidth(), 7215);
    EXPECT_EQ(f.ScaleHeight(), 4560);

    EXPECT_EQ(f.File1.Pattern(), "*.bmp;*.gif;*.png");
    EXPECT_TRUE(f.Image1.picture().isEmpty());
    EXPECT_TRUE(f.Picture1.picture().isEmpty());
    EXPECT_TRUE(f.Picture2.picture().isEmpty());
    EXPECT_FALSE(f.Picture2.AutoRedraw());
    EXPECT_EQ(f.CurrentIndex(), 0);

    for (const platform::Label* label : {&f.Label1, &f.Label2, &f.lbDir})
        EXPECT_EQ(label->widget()->palette().color(QPalette::WindowText), kDarkBlue) << textOf(*label);
    EXPECT_NE(f.Label3.widget()->palette().color(QPalette::WindowText), kDarkBlue);
}

TEST(WindowComposition, OutlineIsRedAndInFrontOfTheImage)
{
    f_Main f;
    const QObjectList& stack = f.Frame1.widget()->children(); // back to front
    EXPECT_GT(stack.indexOf(f.Shape1.widget()), stack.indexOf(f.Image1.widget()));

    // Every pixel of the edge is red, however thin the strip; the inside is
    // left to what lies below.
    const QSize sizes[] = {{25, 28}, {16, 16}, {1, 1}, {2, 2}, {16, 1}, {16, 2}, {1, 16}};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(::testing::Message() << size.width() << "x" << size.height());
        f.Shape1.Move(0, 0, size.width() * kTwipsPerPixel, size.height() * kTwipsPerPixel);
        const QImage drawn = f.Shape1.widget()->grab().toImage();
        ASSERT_EQ(drawn.size(), size);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const bool edge = x == 0 || y == 0 || x == size.width() - 1 || y == size.height() - 1;
                EXPECT_EQ(drawn.pixelColor(x, y) == kRed, edge) << x << "," << y;
            }
    }
}

TEST(WindowLayout, WideImageIsCutOffByItsFrame)
{
    f_Main f;
    f.Form_Resize();
    const Layout before = layoutOf(f);
    const float width = f.Width();

    f.Image1.setPicture(platform::Picture(makeStrip(2000, 16)));

    Layout expected = before;
    expected["Image1"] = {135, 1170, 2000 * kTwipsPerPixel, 16 * kTwipsPerPixel};
    EXPECT_EQ(layoutOf(f), expected);
    EXPECT_EQ(f.Width(), width);
    EXPECT_GT(f.Image1.widget()->geometry().right(), f.Frame1.widget()->rect().right());
}

TEST(WindowLayout, FirstPassGivesTheWorkedExample)
{
    f_Main f;
    Layout expected = layoutOf(f);
    expected["Frame2"] = {0, 0, 7215, 2355};
    expected["File1"] = {2790, 225, 4365, 2040};
    expected["Frame3"] = {6075, 2355, 1140, 2205};
    expected["Frame1"] = {0, 2355, 6075, 2205};
    expected["lbDir"] = {60, 225, 5955, 285};
    expected["Picture1"] = {3180, 540, 2760, 465};

    f.Form_Resize();

    EXPECT_EQ(layoutOf(f), expected);
}

TEST(WindowLayout, WideningMovesOnlyTheRightHandSide)
{
    for (const float d : {1.0f, 15.0f, 7.5f, 1000.0f, 24000.0f}) {
        SCOPED_TRACE(d);
        f_Main f;
        f.Form_Resize();
        Layout expected = layoutOf(f);
        for (const char* widened : {"Frame2", "File1", "Frame1", "lbDir"})
            expected[widened].width += d;
        for (const char* moved : {"Frame3", "Picture1"})
            expected[moved].left += d;

        f.setWidth(f.Width() + d);
        f.Form_Resize();

        EXPECT_EQ(layoutOf(f), expected);
    }
}

TEST(WindowLayout, HeighteningGrowsOnlyTheLowerFrames)
{
    for (const float d : {1.0f, 15.0f, 7.5f, 1000.0f, 24000.0f}) {
        SCOPED_TRACE(d);
        f_Main f;
        f.Form_Resize();
        Layout expected = layoutOf(f);
        for (const char* grown : {"Frame1", "Frame3"})
            expected[grown].height += d;

        f.setHeight(f.Height() + d);
        f.Form_Resize();

        EXPECT_EQ(layoutOf(f), expected);
    }
}

TEST(WindowLayout, MinimumOuterSizeInEachDimension)
{
    const struct {
        float width;
        float height;
        float expectedWidth;
        float expectedHeight;
    } cases[] = {
        {5000, 7000, 6000, 7000},
        {8000, 3000, 8000, 4500},
        {100, 100, 6000, 4500},
        {5999.5f, 4499.5f, 6000, 4500},
        {6000, 4500, 6000, 4500},
        {6000.5f, 4500.5f, 6000.5f, 4500.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        f_Main f;
        f.Move(f.Left(), f.Top(), c.width, c.height);
        f.Form_Resize();

        EXPECT_EQ(f.Width(), c.expectedWidth);
        EXPECT_EQ(f.Height(), c.expectedHeight);
        // Laid out for the corrected size, with every part still on the window.
        EXPECT_EQ(f.Frame2.Width(), f.ScaleWidth());
        EXPECT_EQ(f.Frame1.Top() + f.Frame1.Height(), f.ScaleHeight());
        EXPECT_GT(f.Frame1.Height(), 0);
        EXPECT_GT(f.lbDir.Width(), 0);
        EXPECT_GE(f.Picture1.Left(), 0);
    }
}

TEST_F(WindowShown, MinimisingChangesNothing)
{
    const Layout before = layoutOf(form);

    form.setWindowState(platform::vbMinimized);
    ASSERT_EQ(form.WindowState(), platform::vbMinimized);
    // Even a size below the minimum is left alone while minimised.
    form.setWidth(3000);
    form.Form_Resize();

    EXPECT_EQ(layoutOf(form), before);
    EXPECT_EQ(form.Width(), 3000);

    // Restoring lays the window out again, for the restored size.
    form.setWindowState(platform::vbNormal);
    EXPECT_EQ(form.Width(), 6000);
    EXPECT_EQ(form.Frame2.Width(), form.ScaleWidth());
}

TEST_F(WindowShown, TheWindowSystemCannotMakeItSmallerThanTheMinimum)
{
    // The window manager is told the smallest client area, which with the
    // window's frame is 6000 x 4500 twips.
    QWidget* window = form.widget();
    const int frameWidth = std::lround((form.Width() - form.ScaleWidth()) / kTwipsPerPixel);
    const int frameHeight = std::lround((form.Height() - form.ScaleHeight()) / kTwipsPerPixel);
    EXPECT_EQ(window->minimumWidth() + frameWidth, std::lround(6000 / kTwipsPerPixel));
    EXPECT_EQ(window->minimumHeight() + frameHeight, std::lround(4500 / kTwipsPerPixel));

    // A drag below it stops at it, and the form reads the size it really has.
    window->resize(100, 50);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), window->minimumSize());
    EXPECT_EQ(form.Width(), 6000);
    EXPECT_EQ(form.Height(), 4500);
    EXPECT_EQ(form.Frame1.Top() + form.Frame1.Height(), form.ScaleHeight());
    EXPECT_EQ(std::lround(form.ScaleHeight() / kTwipsPerPixel), window->height());
}

TEST_F(WindowShown, MaximisingFillsTheWholeClientArea)
{
    const QSize normal = form.widget()->size();
    form.setWindowState(platform::vbMaximized);
    QCoreApplication::processEvents();
    ASSERT_NE(form.widget()->size(), normal);

    const QWidget* client = form.widget();
    EXPECT_EQ(std::lround(form.ScaleWidth() / kTwipsPerPixel), client->width());
    EXPECT_EQ(std::lround(form.ScaleHeight() / kTwipsPerPixel), client->height());
    EXPECT_EQ(placeOf(form.Frame2), (Place{0, 0, form.ScaleWidth(), 2355}));
    EXPECT_EQ(placeOf(form.Frame3).width, 1140);
    EXPECT_EQ(form.Frame3.Left() + form.Frame3.Width(), form.ScaleWidth());
    EXPECT_EQ(form.Frame1.Top() + form.Frame1.Height(), form.ScaleHeight());
}

TEST(WindowPixels, WidgetsSitAtTheNearestPixel)
{
    for (const float twipsPerPixel : {kTwipsPerPixel, 12.0f}) {
        SCOPED_TRACE(twipsPerPixel);
        const ScreenScale scale(twipsPerPixel);
        f_Main f;
        // Edges off the pixel grid.
        f.setWidth(f.Width() + 7);
        f.Form_Resize();
        for (const auto& [name, control] : controlsOf(f)) {
            SCOPED_TRACE(name);
            control->placeWidget();
            const QRect g = control->widget()->geometry();
            const Place p = placeOf(*control);
            EXPECT_LE(std::abs(g.left() - p.left / twipsPerPixel), 0.5f);
            EXPECT_LE(std::abs(g.top() - p.top / twipsPerPixel), 0.5f);
            EXPECT_LE(std::abs(g.left() + g.width() - (p.left + p.width) / twipsPerPixel), 0.5f);
            EXPECT_LE(std::abs(g.top() + g.height() - (p.top + p.height) / twipsPerPixel), 0.5f);
        }
        // Frames that touch in twips touch on screen: no gap, no overlap.
        const QRect file = f.Frame2.widget()->geometry();
        const QRect image = f.Frame1.widget()->geometry();
        const QRect output = f.Frame3.widget()->geometry();
        EXPECT_EQ(image.top(), file.bottom() + 1);
        EXPECT_EQ(output.top(), file.bottom() + 1);
        EXPECT_EQ(output.left(), image.right() + 1);
    }
}

TEST_F(WindowShown, ClickOnTheOutlineReachesTheImage)
{
    std::vector<std::pair<float, float>> presses;
    form.Image1.MouseDown = [&presses](int16_t&, int16_t&, float& X, float& Y) { presses.emplace_back(X, Y); };
    // The outline over the image's top left corner, as a pick leaves it.
    form.Shape1.Move(form.Image1.Left(), form.Image1.Top(), 375, 375);
    form.Shape1.setVisible(true);

    // A press on the outline's border, delivered to the window as the window system would.
    QWidget* window = form.widget();
    const QPoint onBorder = form.Shape1.widget()->mapTo(window, QPoint(0, 5));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, onBorder, window->mapToGlobal(onBorder), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->windowHandle(), &event);
    }

    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].first, 0);
    EXPECT_EQ(presses[0].second, 5 * kTwipsPerPixel);
}

TEST_F(WindowShown, TabOrder)
{
    // Follow Tab from the drive list once round the window, naming every stop.
    const auto controls = controlsOf(form);
    std::vector<std::string> stops;
    QWidget* const first = form.Drive1.widget();
    QWidget* w = first;
    do {
        const auto c = std::find_if(controls.begin(), controls.end(),
                                    [w](const auto& c) { return c.second->widget() == w; });
        stops.push_back(c != controls.end() ? c->first : w->metaObject()->className());
        do
            w = w->nextInFocusChain();
        while (w != first && !((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(form.widget())));
    } while (w != first);

    const std::vector<std::string> expected = {"Drive1", "Dir1", "File1", "cmdSave", "cmdSaveAll", "txtPref", "cmdDir"};
    EXPECT_EQ(stops, expected);
}

TEST(WindowEvents, UntrappedErrorIsShownOnceAndTheProgramGoesOn)
{
    const struct {
        int number;
        std::string description;
        std::string message;
    } cases[] = {
        {53, "File not found: 'x'", "Run-time error '53':\n\nFile not found: 'x'"},
        {6, "", "Run-time error '6':\n\nOverflow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        ScriptedDialogs dialogs;
        bool ran = false;
        const std::function<void()> procedure = [&] {
            ran = true;
            throw platform::RuntimeError(c.number, c.description);
        };

        EXPECT_NO_THROW(platform::raiseEvent(procedure));

        EXPECT_TRUE(ran);
        ASSERT_EQ(dialogs.messages().size(), 1u);
        EXPECT_EQ(dialogs.messages()[0].text, c.message);
        EXPECT_EQ(dialogs.messages()[0].title, "Quorvel");
    }
}

TEST(WindowFont, TextsFitTheirControls)
{
    f_Main f;
    for (const platform::Label* label : {&f.Label1, &f.Label2, &f.Label3, &f.lbDir}) {
        SCOPED_TRACE(textOf(*label));
        const QWidget* w = label->widget();
        // 240 to 285 twips: 16 to 19 pixels at 96 DPI.
        EXPECT_EQ(w->height(), std::lround(label->Height() / kTwipsPerPixel));
        const QFontMetrics metrics(w->font());
        EXPECT_LE(metrics.height(), w->height());
        EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(textOf(*label))), w->width());
    }

    // A frame's caption sits at its top left, a few pixels in, and must fit the
    // frame and stay clear of what the frame holds.
    constexpr int kCaptionRoom = 6 + 2 * 2;
    for (const platform::Frame* frame : {&f.Frame1, &f.Frame2, &f.Frame3}) {
        SCOPED_TRACE(textOf(*frame));
        const QWidget* box = frame->widget();
        const QFontMetrics metrics(box->font());
        EXPECT_LE(kCaptionRoom + metrics.horizontalAdvance(QString::fromStdString(frame->Caption())), box->width());
        for (const QObject* child : box->children())
            if (auto* w = qobject_cast<const QWidget*>(child))
                EXPECT_GE(w->y(), metrics.height());
    }

    const QWidget* prefix = f.txtPref.widget();
    EXPECT_LE(prefix->minimumSizeHint().height(), prefix->height());
}

TEST(WindowFont, EveryIndexTextShowsWholeAndClearOfTheToolbar)
{
    const struct {
        const char* what;
        float width;
    } windows[] = {{"design size", 0}, {"minimum size", 6000}};
    const std::string captions[] = {"Index:", tiles::indexText(1, 1), tiles::indexText(1000, 1000),
                                    tiles::indexText(32767, 32767), tiles::indexText(1, 10)};
    for (const auto& window : windows) {
        f_Main f;
        if (window.width > 0)
            f.setWidth(window.width);
        f.Form_Resize();
        const QRect toolbar = f.Picture1.widget()->geometry();
        for (const std::string& caption : captions) {
            SCOPED_TRACE(window.what + (": " + caption));
            f.Label2.setCaption(caption);
            const QRect label = f.Label2.widget()->geometry();
            EXPECT_GE(label.width(), QFontMetrics(f.Label2.widget()->font()).horizontalAdvance(QString::fromStdString(caption)));
            EXPECT_GE(label.width(), std::lround(1590 / kTwipsPerPixel));
            EXPECT_LT(label.right(), toolbar.left());
            // The label's own geometry is the designed one.
            EXPECT_EQ(placeOf(f.Label2), (Place{135, 855, 1590, 285}));
        }
    }
}

TEST(WindowLook, ADarkDesktopChangesNoColourOfTheWindow)
{
    f_Main light;
    const QImage lightWindow = drawnWindow(light);
    const DesktopPalette desktop(darkDesktop());
    f_Main dark;
    const QImage darkWindow = drawnWindow(dark);

    EXPECT_EQ(darkWindow, lightWindow);
    // The colours are the window's own, not the light desktop's by chance.
    const QPalette& palette = dark.widget()->palette();
    EXPECT_EQ(palette.color(QPalette::Window), qRgb(0xEF, 0xEF, 0xEF));
    EXPECT_EQ(palette.color(QPalette::Button), qRgb(0xEF, 0xEF, 0xEF));
    EXPECT_EQ(palette.color(QPalette::WindowText), Qt::black);
    const std::vector<const platform::Control*> boxes = {&dark.File1, &dark.Dir1, &dark.Drive1, &dark.txtPref};
    for (const platform::Control* box : boxes)
        EXPECT_EQ(box->widget()->palette().color(QPalette::Base), Qt::white);
    for (const platform::Label* label : {&dark.Label1, &dark.Label2, &dark.lbDir})
        EXPECT_EQ(label->widget()->palette().color(QPalette::WindowText), kDarkBlue) << textOf(*label);

    // A theme changed while the window is open changes nothing either.
    QPalette other = darkDesktop();
    other.setColor(QPalette::Window, Qt::darkGreen);
    QApplication::setPalette(other);
    EXPECT_EQ(dark.widget()->grab().toImage(), lightWindow);
}

TEST(WindowLook, ATransparentGifOrPngTileIsSavedTheSameOnEveryDesktop)
{
    QTemporaryDir dir;
    QImage strip(32, 16, QImage::Format_ARGB32);
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            strip.setPixel(x, y, (x + y) % 2 == 0 ? qRgba(0, 0, 0, 0) : qRgb(200, (x % 8) * 30, (y % 8) * 30));
    const QString gifPath = dir.filePath("strip.gif");
    QFile gifFile(gifPath);
    ASSERT_TRUE(gifFile.open(QIODevice::WriteOnly));
    ASSERT_GT(gifFile.write(gif::encode(strip)), 0);
    gifFile.close();
    // The same strip as a PNG, written by Qt.
    const QString pngPath = dir.filePath("strip.png");
    ASSERT_TRUE(strip.save(pngPath, "PNG"));

    const auto saveTile = [&](const QString& strip, const QString& name) {
        f_Main f;
        f.Image1.setPicture(platform::LoadPicture(strip.toStdString()));
        int16_t button = 1;
        int16_t shift = 0;
        float x = 20 * platform::Screen.TwipsPerPixelX();
        float y = 0;
        f.Image1_MouseDown(button, shift, x, y);
        const QString path = dir.filePath(name);
        platform::SavePicture(f.Picture2.Image(), path.toStdString());
        QFile saved(path);
        return saved.open(QIODevice::ReadOnly) ? saved.readAll() : QByteArray();
    };
    const QByteArray onLight = saveTile(gifPath, "light.bmp");
    QByteArray onDark;
    QByteArray pngOnDark;
    {
        const DesktopPalette desktop(darkDesktop());
        onDark = saveTile(gifPath, "dark.bmp");
        pngOnDark = saveTile(pngPath, "png-dark.bmp");
    }

    ASSERT_FALSE(onLight.isEmpty());
    EXPECT_EQ(onDark, onLight);
    EXPECT_EQ(platform::LoadPicture(pngPath.toStdString()).image(), platform::LoadPicture(gifPath.toStdString()).image());
    EXPECT_EQ(pngOnDark, onLight);
    // Transparent pixels hold the preview's own background.
    const QImage tile = QImage::fromData(onDark, "BMP");
    const platform::OLE_COLOR b = platform::kPreviewBackground;
    EXPECT_EQ(tile.pixel(0, 0) & RGB_MASK, qRgb(b & 0xFF, (b >> 8) & 0xFF, (b >> 16) & 0xFF) & RGB_MASK);
    EXPECT_EQ(tile.pixel(1, 0) & RGB_MASK, strip.pixel(17, 0) & RGB_MASK);
}
