#pragma once
// What the command line asks of the window once it is built: the starting language and the
// file to open, through the same commands as the menu and the source's LOAD button.
#include <functional>

#include "session/command_line.h"

namespace warpkit {

class TForm1;

// Switches to the starting language at once and opens the file as soon as the event loop
// runs, so its messages and the selection dialog stand in front of the window; then runs
// `after_open`. Under the start report (a test hook that ends the program once the file is
// open) `after_open` is not run.
void open_at_start(TForm1& form, const StartArguments& arguments, std::function<void()> after_open);

// Lets the desktop match the window with the installed entry and icon.
void identify_with_desktop_entry();

}  // namespace warpkit
