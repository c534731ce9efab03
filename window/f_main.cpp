// The window as it is created: every control in its container, at its design
// position and size, with its texts, tooltips, colours and tab order.
#include "window/f_main.h"

namespace {

constexpr float kClientWidth = 7215;
constexpr float kClientHeight = 4560;
constexpr platform::OLE_COLOR kDarkBlue = 0x00800000;
constexpr platform::OLE_COLOR kRed = 0x000000FF;

} // namespace

f_Main::f_Main()
    : platform::Form("f_Main", kClientWidth, kClientHeight),
      Frame3(*this, "Output"),
      Picture2(Frame3),
      Frame2(*this, "File"),
      File1(Frame2),
      Dir1(Frame2),
      Drive1(Frame2),
      Frame1(*this, "Image"),
      Picture1(Frame1),
      cmdDir(Picture1, ":/open_folder.xpm"),
      txtPref(Picture1),
      cmdSaveAll(Picture1, ":/save_all.xpm"),
      cmdSave(Picture1, ":/save.xpm"),
      Label3(Picture1, "Prefix:"),
      lbDir(Frame1),
      Label2(Frame1, "Index:"),
      Shape1(Frame1),
      Label1(Frame1, "Size:"),
      Image1(Frame1)
{
    setCaption("Quorvel");
    setIcon(":/icon.xpm");
    // A user's drag stops at the size below which Form_Resize would raise it again.
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    Frame2.Move(45, 45, 6180, 2355);
    Drive1.Move(135, 225, 2580, 315);
    Dir1.Move(135, 585, 2580, 1665);
    File1.Move(2790, 225, 3300, 2040);
    File1.setPattern("*.bmp;*.gif;*.png");

    Frame1.Move(45, 2475, 5910, 1905);
    Picture1.Move(3060, 540, 2760, 465);
    Label3.Move(45, 135, 825, 240);
    txtPref.Move(855, 90, 600, 330);
    cmdDir.Move(1485, 45, 420, 375);
    cmdDir.setToolTipText("Choose directory for store bitmaps");
    cmdSaveAll.Move(1905, 45, 420, 375);
    cmdSaveAll.setToolTipText("Save all bitmaps");
    cmdSave.Move(2325, 45, 420, 375);
    cmdSave.setToolTipText("Save selected picture to file");
    lbDir.Move(2565, 225, 3210, 285);
    lbDir.setForeColor(kDarkBlue);
    Label2.Move(135, 855, 1590, 285);
    Label2.setForeColor(kDarkBlue);
    // "Index: 32767 из 32767" is a little longer than the label: it takes the
    // free room to its right, short of the toolbar even at the window's minimum.
    Label2.setWidensToCaption(true);
    Shape1.Move(1620, 675, 375, 420);
    Shape1.setBorderColor(kRed);
    Shape1.setVisible(false);
    Label1.Move(135, 540, 1860, 285);
    Label1.setForeColor(kDarkBlue);
    Image1.Move(135, 1170, 5775, 375);
    Image1.setToolTipText("Click to picture for select index");
    // The outline is drawn over the image; clicks on it still reach the image.
    Shape1.ZOrder(0);

    Frame3.Move(6030, 2475, 1140, 1905);
    Picture2.Move(135, 360, 465, 420);

    Frame1.setTabIndex(0);
    Frame2.setTabIndex(1);
    Drive1.setTabIndex(2);
    Dir1.setTabIndex(3);
    File1.setTabIndex(4);
    Label1.setTabIndex(5);
    Label2.setTabIndex(6);
    Picture1.setTabIndex(7);
    cmdSave.setTabIndex(8);
    Frame3.setTabIndex(9);
    Picture2.setTabIndex(10);
    cmdSaveAll.setTabIndex(11);
    txtPref.setTabIndex(12);
    Label3.setTabIndex(13);
    lbDir.setTabIndex(14);
    cmdDir.setTabIndex(15);

    Load = [this] { Form_Load(); };
    Resize = [this] { Form_Resize(); };
    QueryUnload = [this](int16_t& Cancel, int16_t UnloadMode) { Form_QueryUnload(Cancel, UnloadMode); };
    Drive1.Change = [this] { Drive1_Change(); };
    Dir1.Change = [this] { Dir1_Change(); };
    File1.Click = [this] { File1_Click(); };
    Image1.MouseDown = [this](int16_t& Button, int16_t& Shift, float& X, float& Y) {
        Image1_MouseDown(Button, Shift, X, Y);
    };
    cmdDir.Click = [this] { cmdDir_Click(); };
    cmdSave.Click = [this] { cmdSave_Click(); };
    cmdSaveAll.Click = [this] { cmdSaveAll_Click(); };
}
