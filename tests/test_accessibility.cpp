// What a screen reader finds in the window: every control with a name and a
// role, read through Qt's accessibility interfaces as AT-SPI reads them. The
// strip and the preview carry the size and index texts, kept current.
#include "platform/screen.h"
#include "support/lists.h"
#include "support/scripted_dialogs.h"
#include "support/strips.h"
#include "window/f_main.h"

#include <QAccessible>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

namespace {

QAccessibleInterface* accessibleOf(const platform::Control& c)
{
    return QAccessible::queryAccessibleInterface(c.widget());
}

// The name a screen reader announces: on Linux a drop-down list's own name is
// the entry it shows, and the name comes from the label that labels it.
std::string announcedName(QAccessibleInterface* accessible)
{
    if (accessible->role() == QAccessible::ComboBox) {
        const auto labels = accessible->relations(QAccessible::Label);
        return labels.isEmpty() ? std::string() : labels.first().first->text(QAccessible::Name).toStdString();
    }
    return accessible->text(QAccessible::Name).toStdString();
}

struct Announced {
    const char* control;
    const platform::Control& (*of)(const f_Main&);
    const char* name;
    QAccessible::Role role;
};

#define CONTROL(member) #member, [](const f_Main& f) -> const platform::Control& { return f.member; }

const Announced kAnnounced[] = {
    {CONTROL(Frame2), "File", QAccessible::Grouping},
    {CONTROL(Drive1), "Drives", QAccessible::ComboBox},
    {CONTROL(Dir1), "Folders", QAccessible::List},
    {CONTROL(File1), "Files", QAccessible::List},
    {CONTROL(Frame1), "Image", QAccessible::Grouping},
    {CONTROL(Picture1), "Toolbar", QAccessible::ToolBar},
    {CONTROL(Label3), "Prefix:", QAccessible::StaticText},
    {CONTROL(txtPref), "Prefix", QAccessible::EditableText},
    {CONTROL(cmdDir), "Choose directory for store bitmaps", QAccessible::Button},
    {CONTROL(cmdSaveAll), "Save all bitmaps", QAccessible::Button},
    {CONTROL(cmdSave), "Save selected picture to file", QAccessible::Button},
    {CONTROL(lbDir), "Output folder", QAccessible::StaticText},
    {CONTROL(Label2), "Index:", QAccessible::StaticText},
    {CONTROL(Shape1), "Selected tile", QAccessible::Graphic},
    {CONTROL(Label1), "Size:", QAccessible::StaticText},
    {CONTROL(Image1), "Strip", QAccessible::Graphic},
    {CONTROL(Frame3), "Output", QAccessible::Grouping},
    {CONTROL(Picture2), "Preview", QAccessible::Graphic},
};

#undef CONTROL

} // namespace

TEST(Accessibility, EveryControlHasANameAndARole)
{
    ScriptedDialogs dialogs;
    f_Main form;
    for (const Announced& a : kAnnounced) {
        SCOPED_TRACE(a.control);
        QAccessibleInterface* accessible = accessibleOf(a.of(form));
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(announcedName(accessible), a.name);
        EXPECT_EQ(accessible->role(), a.role);
    }
    QAccessibleInterface* window = accessibleOf(form);
    EXPECT_EQ(window->text(QAccessible::Name), "Quorvel");
    EXPECT_EQ(window->role(), QAccessible::Window);
}

TEST(Accessibility, PicturesDescribeTheSizeAndTheIndex)
{
    ScriptedDialogs dialogs;
    f_Main form;
    QTemporaryDir dir;
    writeStrip(dir, "strip.bmp", 160, 16);
    form.lbDir.setCaption(dir.path().toStdString());
    form.Dir1.setPath(dir.path().toStdString());
    const struct {
        const char* step;
        std::function<void()> run;
        const char* description;
    } steps[] = {
        {"before a file", [] {}, "Size:, Index:"},
        {"a file chosen", [&] { chooseRow(form.File1, 0); }, "Size: 160x16, Index:"},
        {"a tile picked", [&] {
             int16_t button = 1, shift = 0;
             float x = platform::Screen.TwipsPerPixelX() * 40, y = 1;
             form.Image1_MouseDown(button, shift, x, y);
         }, "Size: 160x16, Index: 3 \xD0\xB8\xD0\xB7 10"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.run();
        for (const platform::Control* picture : {static_cast<const platform::Control*>(&form.Image1),
                                                 static_cast<const platform::Control*>(&form.Picture2)})
            EXPECT_EQ(accessibleOf(*picture)->text(QAccessible::Description).toStdString(), s.description);
        EXPECT_EQ(accessibleOf(form.lbDir)->text(QAccessible::Description), dir.path());
    }
}
