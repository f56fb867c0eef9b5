#pragma once
// Program-wide values of the global module, and the program's start-up
// routine.

#include <QString>

namespace Globals {

// Full path of the compiled help file, the program's folder followed by
// "/qlnhelp.chm". Filled in when the application object is created (and by
// helpFilePath() if still empty); the start-up routine sets it again.
extern QString HelpFilePath;

// The help file path, set to the program's folder + "/qlnhelp.chm" the first
// time it is asked for while still empty. Needs a QCoreApplication.
const QString &helpFilePath();

// Sets the help file path (the start-up routine does this once).
void setHelpFilePath(const QString &path);

// The start-up routine: shows the loading window, sets HelpFilePath, puts
// up the splash (frmSplash), closes the loading window and returns with the
// splash on screen. The caller then runs the event loop; the splash's Start
// opens the main window, its Quit ends the program.
// Needs a QApplication.
void Main();

} // namespace Globals
