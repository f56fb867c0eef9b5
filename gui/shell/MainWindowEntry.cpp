// The main window module's entry points: the program reaches the main
// window only through these (see MainWindowModule.h).
#include "gui/shell/MainWindowModule.h"

#include <type_traits>

#define QUILLAN_MAIN_EXPORT extern "C" __attribute__((visibility("default")))

QUILLAN_MAIN_EXPORT int quillan_main_abi_version()
{
    return MainWindowModule::Abi::Version;
}

QUILLAN_MAIN_EXPORT void quillan_main_show(const QString *helpFilePath)
{
    MainWindowModule::show(*helpFilePath);
}

QUILLAN_MAIN_EXPORT void quillan_main_end()
{
    MainWindowModule::end();
}

// The entry points have the types the loader casts them to.
static_assert(std::is_same_v<decltype(&quillan_main_abi_version), MainWindowModule::Abi::VersionFunction>);
static_assert(std::is_same_v<decltype(&quillan_main_show), MainWindowModule::Abi::ShowFunction>);
static_assert(std::is_same_v<decltype(&quillan_main_end), MainWindowModule::Abi::EndFunction>);
