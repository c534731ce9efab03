// Restoring and storing the window, the browsing lists and the output folder.
#include "window/f_main.h"

void f_Main::LoadSettings() {}

void f_Main::SaveSettings() {}
