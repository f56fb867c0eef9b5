#pragma once
// How the start-up reaches the main window.
//
// The program itself links only what its first windows need, the loading
// window and the splash (Qt Widgets and the window helpers). The main window
// and everything it opens, with Qt Network, Qt Print Support and the help
// library under them, are the main window module: quillan-main.so in the
// program's folder, loaded when the splash's Start asks for the main window
// (MainWindowModule.cpp, the program's loader). A program that links the
// main window in, such as the in-process tests and the module itself, gets
// the same calls answered directly (MainWindowLinked.cpp). Exactly one of
// the two is linked into a program.
//
// The module links its own copy of the window helpers; the help file path
// is handed over with the first show.

#include <QString>

namespace MainWindowModule {

// Loads the module, once, when the main window is not linked in. False,
// with `error` set to why, when it cannot be loaded.
bool load(QString *error);

// Shows the main window, its help pointing at helpFilePath. Only after a
// load that succeeded.
void show(const QString &helpFilePath);

// After the event loop: removes what the main window's conversions leave
// for the end of the run (the private folder of fetched pages). Nothing
// happens when the module was never loaded.
void end();

// The module's C entry points, which the loader looks up by name.
namespace Abi {

// Raised whenever an entry point changes.
inline constexpr int Version = 1;

inline constexpr char VersionSymbol[] = "quillan_main_abi_version";
inline constexpr char ShowSymbol[] = "quillan_main_show";
inline constexpr char EndSymbol[] = "quillan_main_end";

// int quillan_main_abi_version(void): the Version the module was built with.
using VersionFunction = int (*)();
// void quillan_main_show(const QString *helpFilePath)
using ShowFunction = void (*)(const QString *);
// void quillan_main_end(void)
using EndFunction = void (*)();

} // namespace Abi

} // namespace MainWindowModule
