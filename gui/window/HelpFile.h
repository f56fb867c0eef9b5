#pragma once
// The program's compiled help file, which every window's help reaches
// through ContextIDs::ShowHelp.

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

} // namespace Globals
