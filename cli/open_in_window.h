#pragma once
// Opening the file or folder named on the command line in the window.

#include <string>

class f_Main;

namespace cli {

// A folder opens in the folder and file lists. A file opens its folder and is
// chosen in the file list, which loads it as a click does. Raises the
// window's errors: 76 for a folder that is not there, 53 for a file that is
// not, 481 for a file the list does not offer, and whatever loading raises.
void openInWindow(f_Main& form, const std::string& name);

} // namespace cli
