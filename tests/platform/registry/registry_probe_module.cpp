// A loadable module that uses the registry, as a component library does.
#include "platform/registry/registry.h"

extern "C" __attribute__((visibility("default"))) int probeWriteAndRead()
{
    using namespace platform;
    if (RegWriteString(HKEY_CLASSES_ROOT, "Probe", "", "value") != ERROR_SUCCESS)
        return 1;
    // A failing call too, so the per-thread message is used.
    if (RegReadString(HKEY_CLASSES_ROOT, "Missing", "").has_value() || RegLastErrorMessage().empty())
        return 2;
    return RegReadString(HKEY_CLASSES_ROOT, "Probe", "") == "value" ? 0 : 3;
}
