#pragma once
// Opening a file or folder in the window: what the command line and a drop
// on the window both do.

#include <string>

class f_Main;

// A folder opens in the folder and file lists. A file opens its folder and is
// chosen in the file list, which loads it as a click does. Raises the
// window's errors: 76 for a folder that is not there, 53 for a file that is
// not, 481 for a file the list does not offer, and whatever loading raises.
void openInWindow(f_Main& form, const std::string& name);
