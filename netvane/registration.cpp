// Self-registration: the entries that make the Netvane class creatable by
// its ProgID, its type library findable by identifier, and its interfaces
// known; and their removal.
#include "netvane/module.h"
#include "netvane/netvane_ids.h"
#include "platform/registry/registry.h"

#include <string>
#include <vector>

using namespace platform;

#define NETVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace netvane {

namespace {

const std::string kClassKey = "CLSID\\" + GuidToString(CLSID_Netvane);
const std::string kTypeLibKey = "TypeLib\\" + GuidToString(LIBID_Vanelink);
const std::string kTypeLibVersionKey = kTypeLibKey + "\\1.0";
const std::string kInterfaceKey = "Interface\\" + GuidToString(IID__Netvane);
const std::string kEventInterfaceKey = "Interface\\" + GuidToString(DIID___Netvane);

// Deletes a key tree below HKEY_CLASSES_ROOT; a missing key is fine.
bool removeTree(const std::string &key)
{
    LONG status = RegDeleteTree(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// Collects writes and remembers whether any failed.
class Writer {
public:
    void text(const std::string &key, const char *valueName, const std::string &value)
    {
        if (ok_ && RegWriteString(HKEY_CLASSES_ROOT, key, valueName, value) != ERROR_SUCCESS)
            ok_ = false;
    }
    void emptyKey(const std::string &key)
    {
        if (!ok_)
            return;
        RegKey k;
        if (k.create(HKEY_CLASSES_ROOT, key, KEY_WRITE) != ERROR_SUCCESS)
            ok_ = false;
    }
    bool ok() const { return ok_; }

private:
    bool ok_ = true;
};

bool removeOwnEntries(bool &typeLibOk)
{
    bool classOk =
        removeTree(kClassKey) && removeTree(kProgID) && removeTree(kInterfaceKey) && removeTree(kEventInterfaceKey);
    typeLibOk = removeTree(kTypeLibVersionKey);
    // The library identifier's key goes too once no other version is
    // registered under it.
    if (typeLibOk && RegSubKeyNames(HKEY_CLASSES_ROOT, kTypeLibKey).empty() &&
        RegValues(HKEY_CLASSES_ROOT, kTypeLibKey).empty()) {
        LONG status = RegDeleteKey(HKEY_CLASSES_ROOT, kTypeLibKey.c_str());
        typeLibOk = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return classOk;
}

HRESULT writeEntries()
{
    const std::filesystem::path self = detail::modulePath();
    if (self.empty())
        return SELFREG_E_CLASS;
    const std::string path = self.string();
    const std::string folder = self.parent_path().string();
    const std::string clsid = GuidToString(CLSID_Netvane);
    const std::string libid = GuidToString(LIBID_Vanelink);
    const std::string marshaller = GuidToString(CLSID_PSOAInterface);

    // Start from a clean slate so that a second registration leaves exactly
    // one set of entries.
    bool typeLibOk = true;
    if (!removeOwnEntries(typeLibOk))
        return SELFREG_E_CLASS;
    if (!typeLibOk)
        return SELFREG_E_TYPELIB;

    Writer w;
    // Type library.
    w.text(kTypeLibVersionKey, "", "Vanelink");
    w.text(kTypeLibVersionKey + "\\0\\" + TypeLibPlatformKey(), "", path);
    w.text(kTypeLibVersionKey + "\\FLAGS", "", "2");
    w.text(kTypeLibVersionKey + "\\HELPDIR", "", folder);
    if (!w.ok())
        return SELFREG_E_TYPELIB;

    // Class.
    w.text(kClassKey, "", kProgID);
    w.text(kClassKey + "\\InprocServer32", "", path);
    w.text(kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment");
    w.text(kClassKey + "\\ProgID", "", kProgID);
    w.emptyKey(kClassKey + "\\Control");
    w.text(kClassKey + "\\ToolboxBitmap32", "", path + ", " + std::to_string(kToolboxBitmapId));
    w.text(kClassKey + "\\MiscStatus", "", "0");
    w.text(kClassKey + "\\MiscStatus\\1", "", std::to_string(kMiscStatus));
    w.text(kClassKey + "\\TypeLib", "", libid);
    w.text(kClassKey + "\\Version", "", "1.0");

    // ProgID.
    w.text(kProgID, "", kProgID);
    w.text(std::string(kProgID) + "\\CLSID", "", clsid);

    // Interfaces, marshalled by the automation marshaller.
    for (const auto &[key, name] : {std::pair{kInterfaceKey, "_Netvane"}, std::pair{kEventInterfaceKey, "__Netvane"}}) {
        w.text(key, "", name);
        w.text(key + "\\ProxyStubClsid32", "", marshaller);
        w.text(key + "\\TypeLib", "", libid);
        w.text(key + "\\TypeLib", "Version", "1.0");
    }
    return w.ok() ? S_OK : SELFREG_E_CLASS;
}

} // namespace

} // namespace netvane

NETVANE_EXPORT HRESULT DllRegisterServer()
{
    HRESULT hr = netvane::writeEntries();
    if (FAILED(hr)) {
        // Leave no half registration behind.
        bool typeLibOk = true;
        netvane::removeOwnEntries(typeLibOk);
    }
    return hr;
}

NETVANE_EXPORT HRESULT DllUnregisterServer()
{
    bool typeLibOk = true;
    if (!netvane::removeOwnEntries(typeLibOk))
        return SELFREG_E_CLASS;
    return typeLibOk ? S_OK : SELFREG_E_TYPELIB;
}
