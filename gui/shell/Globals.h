#pragma once
// The program's start-up routine (the help file path lives one floor down,
// in gui/window/HelpFile.h, for every window to use).

#include "gui/window/HelpFile.h"

namespace Globals {

// The start-up routine: shows the loading window, sets HelpFilePath, puts
// up the splash (SplashWindow), closes the loading window and returns with the
// splash on screen. The caller then runs the event loop; the splash's Start
// opens the main window, its Quit ends the program.
// Needs a QApplication.
void Main();

} // namespace Globals
