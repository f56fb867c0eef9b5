// Finding a registered type library through HKCR\TypeLib.
#include "platform/com/typelib.h"

#include "base/hex.h"
#include "platform/registry/registry.h"

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

const char *TypeLibPlatformKey()
{
    return sizeof(void *) == 8 ? "linux64" : "linux32";
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD wMajor, WORD wMinor, LCID lcid, ITypeLib **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const std::string base = "TypeLib\\" + GuidToString(libid);

    // Version keys are "major.minor" in hexadecimal.
    std::string bestKey;
    int bestMinor = -1;
    for (const auto &name : RegSubKeyNames(HKEY_CLASSES_ROOT, base)) {
        auto dot = name.find('.');
        if (dot == std::string::npos)
            continue;
        const auto maj = base::ParseHexNumber(std::string_view(name).substr(0, dot));
        const auto min = base::ParseHexNumber(std::string_view(name).substr(dot + 1));
        if (!maj || !min)
            continue;
        if (*maj == wMajor && *min >= wMinor && *min <= 0xFFFF && static_cast<int>(*min) > bestMinor) {
            bestMinor = static_cast<int>(*min);
            bestKey = name;
        }
    }
    if (bestKey.empty())
        return TYPE_E_LIBNOTREGISTERED;

    char buf[16];
    std::vector<std::string> locales;
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(lcid));
    locales.emplace_back(buf);
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(lcid & 0x3FF));
    locales.emplace_back(buf);
    locales.emplace_back("0");
    for (const auto &loc : locales) {
        auto path =
            RegReadString(HKEY_CLASSES_ROOT, base + "\\" + bestKey + "\\" + loc + "\\" + TypeLibPlatformKey(), "");
        if (path && !path->empty())
            return LoadTypeLibFromFile(*path, out);
    }
    return TYPE_E_LIBNOTREGISTERED;
}

} // namespace platform
