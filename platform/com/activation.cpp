// Activation: ProgID and class lookups, loading in-process servers, the
// table of loaded libraries.
#include "platform/com/activation.h"

#include "platform/com/typelib.h"
#include "platform/registry/registry.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace platform {

namespace {

struct LoadedLibrary {
    void *handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
};

// Recursive: a library's DllGetClassObject may itself create objects.
std::recursive_mutex &tableMutex()
{
    static std::recursive_mutex m;
    return m;
}

std::map<std::string, LoadedLibrary> &table()
{
    static std::map<std::string, LoadedLibrary> t;
    return t;
}

// Finds or loads the library; CO_E_DLLNOTFOUND / CO_E_ERRORINDLL on failure.
// The caller holds tableMutex().
HRESULT loadLibrary(const std::string &path, LoadedLibrary &out)
{
    auto it = table().find(path);
    if (it != table().end()) {
        out = it->second;
        return S_OK;
    }
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return CO_E_DLLNOTFOUND;
    LoadedLibrary lib;
    lib.handle = handle;
    lib.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    lib.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    if (!lib.getClassObject) {
        dlclose(handle);
        return CO_E_ERRORINDLL;
    }
    table().emplace(path, lib);
    out = lib;
    return S_OK;
}

// Reads the default text of a key below HKEY_CLASSES_ROOT. A missing key or
// value is REGDB_E_CLASSNOTREG; a registry that cannot be read (a damaged
// hive, one that may not be read) is REGDB_E_READREGDB, with the reason in
// RegLastErrorMessage().
HRESULT readClassesText(const std::string &key, std::string &out)
{
    RegValue v;
    const LONG status = RegGetValue(HKEY_CLASSES_ROOT, key, "", v);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_KEY_DELETED)
        return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS)
        return REGDB_E_READREGDB;
    if (v.type != REG_SZ && v.type != REG_EXPAND_SZ)
        return REGDB_E_CLASSNOTREG;
    if (!v.data.empty() && v.data.back() == 0)
        v.data.pop_back();
    out.assign(v.data.begin(), v.data.end());
    return S_OK;
}

} // namespace

HRESULT CLSIDFromString(const char *text, CLSID *clsid)
{
    if (!text || !clsid)
        return E_POINTER;
    auto g = GuidFromString(text);
    if (!g)
        return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

HRESULT CLSIDFromProgID(const char *progId, CLSID *clsid)
{
    if (!progId || !clsid)
        return E_POINTER;
    *clsid = GUID_NULL;
    if (!*progId)
        return CO_E_CLASSSTRING;
    std::string value;
    if (const HRESULT hr = readClassesText(std::string(progId) + "\\CLSID", value); FAILED(hr))
        return hr;
    auto g = GuidFromString(value);
    if (!g)
        return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void *pvReserved, REFIID riid, void **ppv)
{
    (void)pvReserved;
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return CLASS_E_CLASSNOTAVAILABLE;
    std::string path;
    if (const HRESULT hr = readClassesText("CLSID\\" + GuidToString(rclsid) + "\\InprocServer32", path); FAILED(hr))
        return hr;
    if (path.empty())
        return REGDB_E_CLASSNOTREG;
    // Only a full path names a server: a relative one would be looked for in
    // the working folder or along the library search path, and could load
    // whatever library happens to be found there.
    if (path.front() != '/')
        return CO_E_DLLNOTFOUND;
    // The table stays locked until the factory is handed out, so that
    // CoFreeUnusedLibraries on another thread cannot unload the library in
    // between; the factory reference then keeps it loaded.
    std::lock_guard lock(tableMutex());
    LoadedLibrary lib;
    HRESULT hr = loadLibrary(path, lib);
    if (FAILED(hr))
        return hr;
    return lib.getClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    IClassFactory *factory = nullptr;
    HRESULT hr =
        CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries()
{
    std::lock_guard lock(tableMutex());
    for (auto it = table().begin(); it != table().end();) {
        const LoadedLibrary &lib = it->second;
        if (lib.canUnloadNow && lib.canUnloadNow() == S_OK) {
            dlclose(lib.handle);
            it = table().erase(it);
        } else {
            ++it;
        }
    }
}

HRESULT CreateObjectByName(const std::string &name, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CLSID clsid;
    HRESULT hr = !name.empty() && name.front() == '{' ? CLSIDFromString(name.c_str(), &clsid)
                                                      : CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(hr))
        return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, ppv);
}

std::vector<std::filesystem::path> LoadedComLibraries()
{
    std::lock_guard lock(tableMutex());
    std::vector<std::filesystem::path> out;
    for (const auto &[path, lib] : table())
        out.emplace_back(path);
    return out;
}

} // namespace platform
