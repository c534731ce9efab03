// Choosing the output folder. There is no folder picker: the user picks or types
// a name in the wanted folder and only its folder part is kept.
#include "export/save_dialog.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "window/f_main.h"

void f_Main::cmdDir_Click()
{
    platform::ResumeNext Err;
    Err([&] { CommonDialog1.setCancelError(true); });
    Err([&] { CommonDialog1.setDialogTitle(exporting::kSaveDialogTitle); });
    Err([&] { CommonDialog1.setFileName(txtPref.Text() + "*"); });
    Err([&] { CommonDialog1.setFilter(exporting::kBitmapFilter); });
    Err([&] { CommonDialog1.setFilterIndex(exporting::kFirstFilter); });
    Err([&] { CommonDialog1.setFlags(platform::cdlOFNNoValidate); });
    Err([&] { CommonDialog1.ShowSave(); });
    if (Err.Number() == platform::DialogCancelled)
        return;
    std::string folder;
    Err([&] { folder = CommonDialog1.FileName(); });
    // A name without any folder part fails here and is kept whole.
    Err([&] { folder = platform::FolderOf(folder); });
    Err([&] { lbDir.setCaption(folder); });
}
