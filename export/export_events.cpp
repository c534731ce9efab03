// Choosing the output folder and saving tiles.
#include "window/f_main.h"

void f_Main::cmdDir_Click() {}

void f_Main::cmdSave_Click() {}

void f_Main::cmdSaveAll_Click() {}
