#pragma once
// Symbols of the browser module that its tests link against. Everything
// else in the module is hidden; the program itself reaches the module only
// through the C entry points of BrowserInterfaces.h.

#include <QtGlobal>

#if defined(QUILLAN_BROWSER_BUILDING)
#define QUILLAN_BROWSER_EXPORT Q_DECL_EXPORT
#else
#define QUILLAN_BROWSER_EXPORT Q_DECL_IMPORT
#endif
