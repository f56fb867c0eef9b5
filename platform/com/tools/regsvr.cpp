// regsvr: registers or unregisters an in-process component library by
// calling its DllRegisterServer / DllUnregisterServer, or prints the
// identity strings embedded in the library file (without loading it).
//
//   regsvr LIBRARY        register
//   regsvr -u LIBRARY     unregister
//   regsvr -i LIBRARY     print the identity strings, then the resources
//                         the file carries (type, name, size)
//
// Exit codes: 0 success, 1 bad arguments, 3 the library could not be loaded
// or read, 4 the entry point or identity block is missing or the resource
// table is damaged, 5 the call failed.
#include "platform/com/activation.h"
#include "platform/com/com.h"
#include "platform/com/resources.h"
#include "platform/registry/registry.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace platform;

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitLoad = 3;
constexpr int kExitEntry = 4;
constexpr int kExitCall = 5;

int usage()
{
    std::fprintf(stderr, "usage: regsvr LIBRARY       register the library\n"
                         "       regsvr -u LIBRARY    unregister it\n"
                         "       regsvr -i LIBRARY    print its identity strings\n");
    return kExitUsage;
}

// One line a resource: "Resource TYPE NAME: SIZE bytes". A file without
// resources lists none; a damaged table is an error.
bool printResources(const std::string &file)
{
    std::vector<LibraryResource> resources;
    const HRESULT hr = ReadLibraryResources(file, resources);
    if (hr == HRESULT_INVALID_DATA) {
        std::fprintf(stderr, "regsvr: the resource table of %s is damaged: %s %s\n", file.c_str(),
                     HResultHex(hr).c_str(), HResultMessage(hr).c_str());
        return false;
    }
    for (const auto &r : resources)
        std::printf("Resource %s %s: %zu bytes\n", r.type.c_str(), r.name.c_str(), r.data.size());
    return true;
}

int printIdentity(const std::string &file)
{
    if (!std::filesystem::is_regular_file(file)) {
        std::fprintf(stderr, "regsvr: %s: no such file\n", file.c_str());
        return kExitLoad;
    }
    auto entries = ReadLibraryIdentity(file);
    if (!entries) {
        std::fprintf(stderr, "regsvr: %s carries no identity block\n", file.c_str());
        return kExitEntry;
    }
    for (const auto &[name, value] : *entries)
        std::printf("%s=%s\n", name.c_str(), value.c_str());
    return printResources(file) ? 0 : kExitEntry;
}

// The library only answers a status; when the registry is why it failed (a
// damaged hive, a full disk, a folder that may not be written, a busy
// registry), the registry says so here, naming the file.
void explainRegistryFailure()
{
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        if (RegCheckWritable(root) != ERROR_SUCCESS) {
            std::fprintf(stderr, "regsvr: %s\n", RegLastErrorMessage().c_str());
            return;
        }
    }
}

int callExport(const std::string &file, bool unregister)
{
    const char *entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    // A path without a slash would make dlopen search the library path.
    std::string path = file.find('/') == std::string::npos ? "./" + file : file;
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "regsvr: could not load %s: %s\n", file.c_str(), dlerror());
        return kExitLoad;
    }
    auto fn = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entry));
    if (!fn) {
        std::fprintf(stderr, "regsvr: %s was loaded, but the entry point %s was not found\n", file.c_str(), entry);
        dlclose(handle);
        return kExitEntry;
    }
    HRESULT hr = fn();
    dlclose(handle);
    if (FAILED(hr)) {
        std::fprintf(stderr, "regsvr: %s in %s failed: %s %s\n", entry, file.c_str(), HResultHex(hr).c_str(),
                     HResultMessage(hr).c_str());
        explainRegistryFailure();
        return kExitCall;
    }
    std::printf("%s in %s succeeded.\n", entry, file.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && argv[1][0] != '-')
        return callExport(argv[1], false);
    if (argc == 3 && std::strcmp(argv[1], "-u") == 0)
        return callExport(argv[2], true);
    if (argc == 3 && std::strcmp(argv[1], "-i") == 0)
        return printIdentity(argv[2]);
    return usage();
}
