// The module's entry points: the program reaches the browser window only
// through these (see BrowserInterfaces.h).

#include "gui/browser/module/BrowserEntry.h"

#include "gui/browser/module/frmBrowser1.h"
#include "gui/window/FormInstance.h"

#include <type_traits>

extern "C" {

int quillan_browser_abi_version()
{
    return BrowserModuleAbi::Version;
}

BrowserWindow *quillan_browser_window(BrowserHost *host)
{
    frmBrowser1::setHost(host);
    return &FormInstance<frmBrowser1>::get();
}

BrowserWindow *quillan_browser_window_if_loaded()
{
    return FormInstance<frmBrowser1>::ifLoaded();
}

} // extern "C"

// The entry points have the types the loader casts them to.
static_assert(std::is_same_v<decltype(&quillan_browser_abi_version), BrowserModuleAbi::VersionFunction>);
static_assert(std::is_same_v<decltype(&quillan_browser_window), BrowserModuleAbi::WindowFunction>);
static_assert(std::is_same_v<decltype(&quillan_browser_window_if_loaded), BrowserModuleAbi::IfLoadedFunction>);
