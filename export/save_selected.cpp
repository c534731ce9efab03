// Saving the selected tile under a name the user chooses.
#include "export/save_dialog.h"
#include "platform/errors.h"
#include "window/f_main.h"

void f_Main::cmdSave_Click()
{
    platform::ResumeNext Err;
    if (CurrentIndex() == 0) {
        platform::MsgBox("Please select index of picture!", platform::vbExclamation);
        return;
    }
    Err([&] { CommonDialog1.setCancelError(true); });
    Err([&] { CommonDialog1.setDialogTitle(exporting::kSaveDialogTitle); });
    Err([&] { CommonDialog1.setFileName(""); });
    Err([&] { CommonDialog1.setFilter(exporting::kBitmapFilter); });
    Err([&] { CommonDialog1.setFilterIndex(exporting::kFirstFilter); });
    Err([&] { CommonDialog1.setFlags(platform::cdlOFNOverwritePrompt); });
    Err([&] { CommonDialog1.ShowSave(); });
    if (Err.Number() == platform::DialogCancelled)
        return;
    std::string target;
    Err([&] { target = CommonDialog1.FileName(); });
    Err([&] { Picture2.setPicture(Picture2.Image()); });
    // The old file is replaced only by a complete new one, so nothing is deleted first.
    Err([&] { platform::SavePicture(Picture2.picture(), target); });
    // Nothing was written: the user must know.
    if (Err.Number() != 0)
        platform::MsgBox(Err.Description(), platform::vbExclamation);
}
