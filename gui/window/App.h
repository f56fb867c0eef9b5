#pragma once
// What the program knows about itself: its title, its version numbers, the
// folder it runs from and its icon.

#include "quillan_version.h"

#include <QIcon>
#include <QString>

namespace App {

// The program's title: window captions and message boxes.
inline constexpr char Title[] = "Quillan";

// The version numbers, from the project version.
inline constexpr int Major = quillan::version::Major;
inline constexpr int Minor = quillan::version::Minor;
inline constexpr int Revision = quillan::version::Revision;

// The version line the splash and the About box show:
// "Version major.minor.revision January 9, 2002".
QString VersionText(int major, int minor, int revision);

// The folder of the running executable, without a trailing separator.
// Needs a QCoreApplication.
QString Path();

// The program's icon in every size it is drawn in (16 to 256 pixels); its
// pictures are read from the files when one is first drawn.
QIcon Icon();

// The file of one size of the icon (":/icons/quillan-32.png"), for a window
// that shows the picture itself.
QString IconFile(int size);

// Tells the application object the program's name, version and icon (the
// icon of every window that sets none of its own). Call once, right after
// the QApplication is created.
void Describe();

} // namespace App
