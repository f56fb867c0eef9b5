#pragma once
// The module's C entry points, for code linked with the module (its tests).
// The program looks them up by name instead (BrowserModuleAbi).

#include "gui/browser/BrowserInterfaces.h"
#include "gui/browser/module/BrowserExport.h"

extern "C" {
QUILLAN_BROWSER_EXPORT int quillan_browser_abi_version();
QUILLAN_BROWSER_EXPORT BrowserWindow *quillan_browser_window(BrowserHost *host);
QUILLAN_BROWSER_EXPORT BrowserWindow *quillan_browser_window_if_loaded();
}
