#pragma once
// The program's way to the browser window, which lives in the browser
// module (quillan-browser.so in the program's folder). The module, and with
// it the browser engine, is loaded the first time window() is called; until
// then the program carries none of it.

#include "gui/browser/BrowserInterfaces.h"

#include <QString>

namespace BrowserModule {

// The browser window, loaded now when it is not (its load shows it), with
// host as the program's side (it must outlive every browser window).
// nullptr when the module cannot be loaded; loadError() then says why.
BrowserWindow *window(BrowserHost &host);

// The browser window if one is loaded, else nullptr. Never loads the module
// or the window.
BrowserWindow *ifLoaded();

// Why the module could not be loaded (empty when it could).
QString loadError();

// The module's file name, in the program's folder.
QString modulePath();

} // namespace BrowserModule
