// The data the library file carries about itself, each in its own ELF
// section so that tools read it from the file without loading the library:
// - ".quillan.typelib": the type library (the runtime's text description,
//   see com/typelib.h);
// - ".quillan.version": the version block, "Name=Value" lines.
#include "netvane/module.h"
#include "netvane/netvane_ids.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>

namespace netvane::detail {

namespace {

__attribute__((section(".quillan.typelib"), used)) const char kTypeLibrary[] =
    "# Type library of the Netvane control library\n"
    "library Vanelink {60096899-8E37-44E6-9D07-CD3047EAE329} 1.0 lcid=409 flags=control "
    "helpstring=\"Vanelink\" helpfile=\"Netvane.chm\" helpcontext=0\n"
    "importlib stdole2.tlb\n"
    "interface _Netvane {04BE33B5-1345-42C5-8965-11EFA8A2DCF1} 1.0 dual hidden nonextensible oleautomation\n"
    "propget ConnectedViaLAN 0x68030003 VARIANT_BOOL\n"
    "propget ConnectedViaModem 0x68030002 VARIANT_BOOL\n"
    "propget ConnectedViaProxy 0x68030001 VARIANT_BOOL\n"
    "propget ConnectedOnline 0x68030000 VARIANT_BOOL\n"
    "coclass Netvane {876FE8FE-D42A-41FB-9020-ECB11B32F145} 1.0 creatable control\n"
    "implements _Netvane default\n"
    "implements __Netvane default source\n"
    "dispinterface __Netvane {4FF53BEE-6A80-4D71-903E-678051706651} 1.0 hidden nonextensible\n";

__attribute__((section(".quillan.version"), used)) const char kVersionBlock[] = "Translation=040904B0\n"
                                                                                "FileVersionNumber=1.2.0.5\n"
                                                                                "ProductVersionNumber=1.2.0.5\n"
                                                                                "CompanyName=Vanelink\n"
                                                                                "FileVersion=1.02.0005\n"
                                                                                "InternalName=Netvane\n"
                                                                                "OLESelfRegister=\n"
                                                                                "OriginalFilename=Netvane.ocx\n"
                                                                                "ProductName=Netvane\n"
                                                                                "ProductVersion=1.02.0005\n";

// Holds the parsed type information for the life of the loaded library.
struct TypeInfoHolder {
    platform::ITypeInfo *info = nullptr;
    TypeInfoHolder()
    {
        platform::ITypeLib *lib = nullptr;
        if (platform::SUCCEEDED(platform::CreateTypeLibFromText(kTypeLibrary, &lib))) {
            lib->GetTypeInfoOfGuid(IID__Netvane, &info);
            lib->Release();
        }
    }
    ~TypeInfoHolder()
    {
        if (info)
            info->Release();
    }
    TypeInfoHolder(const TypeInfoHolder &) = delete;
    TypeInfoHolder &operator=(const TypeInfoHolder &) = delete;
};

} // namespace

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
std::atomic<long> factoryReferences{0};

const char *typeLibraryText()
{
    return kTypeLibrary;
}
const char *versionBlockText()
{
    return kVersionBlock;
}

platform::ITypeInfo *netvaneTypeInfo()
{
    static TypeInfoHolder holder;
    return holder.info;
}

std::filesystem::path modulePath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void *>(&kTypeLibrary), &info) || !info.dli_fname || !*info.dli_fname)
        return {};
    std::error_code ec;
    auto full = std::filesystem::weakly_canonical(std::filesystem::absolute(info.dli_fname, ec), ec);
    return ec ? std::filesystem::path(info.dli_fname) : full;
}

} // namespace netvane::detail
