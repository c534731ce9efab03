// The start and the end of a run.
#include "window/f_main.h"

void f_Main::Form_Load()
{
    LoadSettings();
    File1.setPath(Dir1.Path());
    File1.Refresh();
}

void f_Main::Form_QueryUnload(int16_t& /*Cancel*/, int16_t /*UnloadMode*/) { SaveSettings(); }
