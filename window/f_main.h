#pragma once
// The main window: the form f_Main with its nineteen controls. Its event
// procedures are defined in the folder of their concern: browse/, tiles/,
// export/, settings/ and window/.

#include "platform/dialogs.h"
#include "platform/form.h"
#include "platform/image_controls.h"
#include "platform/lists.h"

class f_Main : public platform::Form {
public:
    f_Main();

    // The selected tile's 1-based number; assigning it rewrites Label2.
    int16_t CurrentIndex() const;
    void setCurrentIndex(int16_t vNewValue);

    // Controls, in the order the window is built: each container before what it holds.
    platform::Frame Frame3;
    platform::PictureBox Picture2;
    platform::CommonDialog CommonDialog1;
    platform::Frame Frame2;
    platform::FileListBox File1;
    platform::DirListBox Dir1;
    platform::DriveListBox Drive1;
    platform::Frame Frame1;
    platform::PictureBox Picture1;
    platform::CommandButton cmdDir;
    platform::TextBox txtPref;
    platform::CommandButton cmdSaveAll;
    platform::CommandButton cmdSave;
    platform::Label Label3;
    platform::Label lbDir;
    platform::Label Label2;
    platform::Shape Shape1;
    platform::Label Label1;
    platform::Image Image1;

    // Event procedures.
    void Form_Load();
    void Form_Resize();
    void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode);
    void Form_OLEDragDrop(const std::vector<std::string>& Files, int32_t& Effect);
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void Image1_MouseDown(int16_t& Button, int16_t& Shift, float& X, float& Y);
    void Image1_KeyDown(int16_t& KeyCode, int16_t& Shift);
    void cmdDir_Click();
    void cmdSave_Click();
    void cmdSaveAll_Click();

private:
    // The window's smallest outer size, twips.
    static constexpr float kMinimumWidth = 6000;
    static constexpr float kMinimumHeight = 4500;

    void LoadSettings();
    void SaveSettings();
    // Picks tile p of a strip whose tiles are baseWidth wide, as a plain left
    // click on the image's top row would.
    void PickTile(int16_t p, int32_t baseWidth);

    // The selection state of the last pick.
    int32_t mTileHeight = 0;
    int32_t mTileWidth = 0;
    int16_t mTileCount = 0;
    int16_t mCurrentIndex = 0;
};
