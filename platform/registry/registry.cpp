// The Win32-shaped registry functions over the hive files: handles, access
// checks, the operations, import/export and the small C++ layer.
#include "platform/registry/registry.h"

#include "platform/registry/hive.h"

#include "base/fd_io.h"
#include "base/littleendian.h"
#include "base/replace_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

using namespace detail;

namespace {

// The last failure's message, per thread. Plain characters on purpose: a
// thread-local object with a destructor would keep a shared library that
// links this code from ever being unloaded.
thread_local char lastErrorText[1024];

void setLastError(std::string_view text)
{
    const size_t n = std::min(text.size(), sizeof lastErrorText - 1);
    std::memcpy(lastErrorText, text.data(), n);
    lastErrorText[n] = '\0';
}

// What a handle stands for: a key path inside one hive, under one of the
// predefined roots, with the rights it was opened with.
struct OpenKey {
    HiveId hive = HiveId::LocalMachine;
    Path path;            // inside the hive
    size_t rootDepth = 0; // leading parts that belong to the root (HKCR: 2)
    std::string rootName;
    REGSAM access = 0;
    bool isRoot = false;
};

std::mutex handleMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<const OpenKey>> handles;
std::uintptr_t nextHandle = 0x10000;

LONG fail(LONG status, std::string message = {})
{
    setLastError(message.empty() ? std::string_view(RegStatusText(status)) : std::string_view(message));
    return status;
}

LONG succeed()
{
    lastErrorText[0] = '\0';
    return ERROR_SUCCESS;
}

// The three predefined roots, made once.
std::shared_ptr<const OpenKey> makeRoot(const char *name)
{
    RootPlace place;
    rootPlace(name, place);
    auto k = std::make_shared<OpenKey>();
    k->hive = place.hive;
    k->path = place.prefix;
    k->rootDepth = place.prefix.size();
    k->rootName = place.fullName;
    k->access = KEY_ALL_ACCESS;
    k->isRoot = true;
    return k;
}

std::shared_ptr<const OpenKey> rootKey(HKEY h)
{
    static const std::shared_ptr<const OpenKey> roots[3] = {
        makeRoot("HKEY_CLASSES_ROOT"), makeRoot("HKEY_CURRENT_USER"), makeRoot("HKEY_LOCAL_MACHINE")};
    std::uintptr_t v = reinterpret_cast<std::uintptr_t>(h);
    if (sizeof(v) > 4 && (v >> 32) == 0xFFFFFFFFu)
        v &= 0xFFFFFFFFu;
    if (v < 0x80000000u || v > 0x80000002u)
        return nullptr;
    return roots[v - 0x80000000u];
}

// The handle's description, shared with the table (no copy on the read path).
std::shared_ptr<const OpenKey> lookupHandle(HKEY h)
{
    if (auto root = rootKey(h))
        return root;
    std::lock_guard lock(handleMutex);
    const auto it = handles.find(reinterpret_cast<std::uintptr_t>(h));
    return it == handles.end() ? nullptr : it->second;
}

bool predefinedRoot(HKEY h, OpenKey &out)
{
    const auto root = rootKey(h);
    if (root)
        out = *root;
    return root != nullptr;
}

bool resolveHandle(HKEY h, OpenKey &out)
{
    const auto k = lookupHandle(h);
    if (k)
        out = *k;
    return k != nullptr;
}

HKEY newHandle(OpenKey key)
{
    key.isRoot = false;
    auto shared = std::make_shared<const OpenKey>(std::move(key));
    std::lock_guard lock(handleMutex);
    const std::uintptr_t h = nextHandle;
    nextHandle += 8;
    handles.emplace(h, std::move(shared));
    return reinterpret_cast<HKEY>(h);
}

REGSAM effectiveAccess(REGSAM sam)
{
    REGSAM out = sam & (KEY_ALL_ACCESS | KEY_CREATE_LINK);
    if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED))
        out |= KEY_ALL_ACCESS;
    if (sam & (GENERIC_READ | GENERIC_EXECUTE))
        out |= KEY_READ;
    if (sam & GENERIC_WRITE)
        out |= KEY_WRITE;
    return out;
}

bool hasAccess(const OpenKey &k, REGSAM needed)
{
    return (k.access & needed) == needed;
}

// A handle's key in a tree: the roots' own keys always exist (an absent
// HKEY_CLASSES_ROOT reads as empty); an opened key that has been deleted
// answers ERROR_KEY_DELETED.
LONG locate(const Key &root, const OpenKey &k, const Key *&out)
{
    static const Key empty;
    out = findKey(root, k.path);
    if (out)
        return ERROR_SUCCESS;
    if (k.isRoot) {
        out = &empty;
        return ERROR_SUCCESS;
    }
    return ERROR_KEY_DELETED;
}

// The handle's key inside a tree being changed; roots' own keys are made.
Key *locateForChange(Key &root, const OpenKey &k)
{
    if (k.isRoot) {
        Key *key = &root;
        for (const std::string &part : k.path)
            key = &key->ensureChild(part);
        return key;
    }
    return findKey(root, k.path);
}

// Opens the handle and reads its hive; shared prologue of the read calls.
struct ReadContext {
    std::shared_ptr<const OpenKey> handle;
    HiveView view;
    const Key *key = nullptr;
};

LONG beginRead(HKEY h, REGSAM needed, ReadContext &ctx)
{
    ctx.handle = lookupHandle(h);
    if (!ctx.handle)
        return fail(ERROR_INVALID_HANDLE);
    if (!hasAccess(*ctx.handle, needed))
        return fail(ERROR_ACCESS_DENIED, "the key was not opened with the access this call needs");
    ctx.view = readHive(ctx.handle->hive);
    if (ctx.view.status != ERROR_SUCCESS)
        return fail(ctx.view.status, ctx.view.message);
    const LONG st = locate(*ctx.view.root, *ctx.handle, ctx.key);
    return st == ERROR_SUCCESS ? ERROR_SUCCESS : fail(st);
}

LONG change(const OpenKey &k, const HiveChange &fn)
{
    std::string message;
    const LONG st = modifyHive(k.hive, fn, message);
    return st == ERROR_SUCCESS ? succeed() : fail(st, message);
}

bool splitSub(const char *sub, Path &out)
{
    return splitPath(sub ? std::string_view(sub) : std::string_view(), out);
}

// The handle's key and the parts of a sub-key name below it; shared
// prologue of the calls that delete keys.
LONG resolveWithSub(HKEY h, const char *subKey, OpenKey &key, Path &sub)
{
    if (!resolveHandle(h, key))
        return fail(ERROR_INVALID_HANDLE);
    if (!splitSub(subKey, sub))
        return fail(ERROR_BAD_PATHNAME);
    return ERROR_SUCCESS;
}

// Copies a name into a caller's character buffer (RegEnum* convention).
LONG copyName(const std::string &name, char *buf, DWORD *cch)
{
    if (!buf || !cch)
        return ERROR_INVALID_PARAMETER;
    if (*cch < name.size() + 1) {
        *cch = static_cast<DWORD>(name.size());
        return ERROR_MORE_DATA;
    }
    std::memcpy(buf, name.data(), name.size());
    buf[name.size()] = '\0';
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Copies value data into a caller's buffer (RegQueryValueEx convention).
LONG copyData(const Value &v, DWORD *type, BYTE *data, DWORD *cb)
{
    if (type)
        *type = v.type;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (!data) {
        if (cb)
            *cb = size;
        return ERROR_SUCCESS;
    }
    if (!cb)
        return ERROR_INVALID_PARAMETER;
    if (*cb < size) {
        *cb = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        std::memcpy(data, v.data.data(), size);
    *cb = size;
    return ERROR_SUCCESS;
}

std::string valueNameOf(const char *name)
{
    return name ? std::string(name) : std::string();
}

} // namespace

// ---------------------------------------------------------------------------

LONG RegOpenKeyEx(HKEY hKey, const char *lpSubKey, DWORD, REGSAM samDesired, HKEY *phkResult)
{
    if (!phkResult)
        return fail(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    ReadContext ctx;
    if (const LONG st = beginRead(hKey, 0, ctx); st != ERROR_SUCCESS)
        return st;
    Path sub;
    if (!splitSub(lpSubKey, sub))
        return fail(ERROR_BAD_PATHNAME, "bad key name '" + std::string(lpSubKey) + "'");
    OpenKey opened = *ctx.handle;
    const Key *k = ctx.key;
    for (const std::string &part : sub) {
        k = k->child(part);
        if (!k)
            return fail(ERROR_FILE_NOT_FOUND, "the key does not exist");
        opened.path.push_back(k->name);
    }
    opened.access = effectiveAccess(samDesired);
    *phkResult = newHandle(std::move(opened));
    return succeed();
}

LONG RegCreateKeyEx(HKEY hKey, const char *lpSubKey, DWORD Reserved, const char *, DWORD, REGSAM samDesired,
                    const void *, HKEY *phkResult, DWORD *lpdwDisposition)
{
    if (!phkResult || Reserved != 0)
        return fail(ERROR_INVALID_PARAMETER);
    *phkResult = nullptr;
    Path sub;
    std::string problem;
    if (!splitPath(lpSubKey ? std::string_view(lpSubKey) : std::string_view(), sub, &problem))
        return fail(ERROR_BAD_PATHNAME, problem + ": '" + std::string(lpSubKey ? lpSubKey : "") + "'");
    // Most calls find the key already there: open it without writing.
    const LONG opened = RegOpenKeyEx(hKey, lpSubKey, 0, samDesired, phkResult);
    if (opened == ERROR_SUCCESS) {
        if (lpdwDisposition)
            *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        return succeed();
    }
    if (opened != ERROR_FILE_NOT_FOUND)
        return opened;
    OpenKey base;
    if (!resolveHandle(hKey, base))
        return fail(ERROR_INVALID_HANDLE);
    if (!hasAccess(base, KEY_CREATE_SUB_KEY))
        return fail(ERROR_ACCESS_DENIED, "the key was not opened with the right to create sub-keys");
    if (base.path.size() + sub.size() > kMaxKeyDepth)
        return fail(ERROR_BAD_PATHNAME, tooDeepMessage());
    OpenKey result = base;
    bool createdAny = false;
    const LONG st = change(base, [&](Key &root, bool &changed) {
        Key *k = locateForChange(root, base);
        if (!k)
            return ERROR_KEY_DELETED;
        result.path = base.path;
        for (const std::string &part : sub) {
            bool created = false;
            k = &k->ensureChild(part, &created);
            createdAny = createdAny || created;
            result.path.push_back(k->name);
        }
        changed = createdAny;
        return ERROR_SUCCESS;
    });
    if (st != ERROR_SUCCESS)
        return st;
    result.access = effectiveAccess(samDesired);
    *phkResult = newHandle(std::move(result));
    if (lpdwDisposition)
        *lpdwDisposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return succeed();
}

LONG RegQueryValueEx(HKEY hKey, const char *lpValueName, DWORD *lpReserved, DWORD *lpType, BYTE *lpData,
                     DWORD *lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return fail(ERROR_INVALID_PARAMETER);
    ReadContext ctx;
    if (const LONG st = beginRead(hKey, KEY_QUERY_VALUE, ctx); st != ERROR_SUCCESS)
        return st;
    const Value *v = ctx.key->value(lpValueName ? std::string_view(lpValueName) : std::string_view());
    if (!v)
        return fail(ERROR_FILE_NOT_FOUND, "the value does not exist");
    const LONG st = copyData(*v, lpType, lpData, lpcbData);
    return st == ERROR_SUCCESS ? succeed() : fail(st);
}

LONG RegSetValueEx(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    if (Reserved != 0 || (!lpData && cbData != 0))
        return fail(ERROR_INVALID_PARAMETER);
    const std::string name = valueNameOf(lpValueName);
    if (!validValueName(name))
        return fail(ERROR_INVALID_PARAMETER, "a value name cannot hold a line break");
    OpenKey k;
    if (!resolveHandle(hKey, k))
        return fail(ERROR_INVALID_HANDLE);
    if (!hasAccess(k, KEY_SET_VALUE))
        return fail(ERROR_ACCESS_DENIED, "the key was not opened with the right to set values");
    std::vector<BYTE> bytes(lpData, lpData + cbData);
    return change(k, [&](Key &root, bool &changed) {
        Key *key = locateForChange(root, k);
        if (!key)
            return ERROR_KEY_DELETED;
        changed = key->setValue(name, dwType, std::move(bytes));
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY hKey, const char *lpValueName)
{
    OpenKey k;
    if (!resolveHandle(hKey, k))
        return fail(ERROR_INVALID_HANDLE);
    if (!hasAccess(k, KEY_SET_VALUE))
        return fail(ERROR_ACCESS_DENIED, "the key was not opened with the right to set values");
    const std::string name = valueNameOf(lpValueName);
    return change(k, [&](Key &root, bool &changed) {
        Key *key = findKey(root, k.path);
        if (!key)
            return k.isRoot ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        if (!key->removeValue(name))
            return ERROR_FILE_NOT_FOUND;
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKey(HKEY hKey, const char *lpSubKey)
{
    OpenKey k;
    Path sub;
    if (const LONG st = resolveWithSub(hKey, lpSubKey, k, sub); st != ERROR_SUCCESS)
        return st;
    Path target = k.path;
    target.insert(target.end(), sub.begin(), sub.end());
    if (target.size() <= k.rootDepth)
        return fail(ERROR_ACCESS_DENIED, "a root key cannot be deleted");
    return change(k, [&](Key &root, bool &changed) {
        const Path parentPath(target.begin(), target.end() - 1);
        Key *parent = findKey(root, parentPath);
        Key *victim = parent ? parent->child(target.back()) : nullptr;
        if (!victim)
            return ERROR_FILE_NOT_FOUND;
        if (!victim->children.empty())
            return ERROR_ACCESS_DENIED;
        parent->removeChild(target.back());
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTree(HKEY hKey, const char *lpSubKey)
{
    OpenKey k;
    Path sub;
    if (const LONG st = resolveWithSub(hKey, lpSubKey, k, sub); st != ERROR_SUCCESS)
        return st;
    REGSAM needed = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
    if (sub.empty())
        needed |= KEY_SET_VALUE;
    if (!hasAccess(k, needed))
        return fail(ERROR_ACCESS_DENIED, "the key was not opened with the rights to delete a tree");
    return change(k, [&](Key &root, bool &changed) {
        Key *base = findKey(root, k.path);
        if (!base)
            return k.isRoot ? (sub.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND) : ERROR_KEY_DELETED;
        if (sub.empty()) {
            changed = !base->children.empty() || !base->values.empty();
            base->children.clear();
            base->values.clear();
            return ERROR_SUCCESS;
        }
        const Path parentPath(sub.begin(), sub.end() - 1);
        Key *parent = findKey(*base, parentPath);
        if (!parent || !parent->removeChild(sub.back()))
            return ERROR_FILE_NOT_FOUND;
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, char *lpName, DWORD *lpcchName, DWORD *lpReserved, char *lpClass,
                  DWORD *lpcchClass, FILETIME *lpftLastWriteTime)
{
    if (lpReserved || !lpName || !lpcchName)
        return fail(ERROR_INVALID_PARAMETER);
    ReadContext ctx;
    if (const LONG st = beginRead(hKey, KEY_ENUMERATE_SUB_KEYS, ctx); st != ERROR_SUCCESS)
        return st;
    if (dwIndex >= ctx.key->children.size())
        return fail(ERROR_NO_MORE_ITEMS);
    auto it = ctx.key->children.begin();
    std::advance(it, dwIndex);
    if (const LONG st = copyName(it->second->name, lpName, lpcchName); st != ERROR_SUCCESS)
        return fail(st);
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{};
    return succeed();
}

LONG RegEnumValue(HKEY hKey, DWORD dwIndex, char *lpValueName, DWORD *lpcchValueName, DWORD *lpReserved, DWORD *lpType,
                  BYTE *lpData, DWORD *lpcbData)
{
    if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return fail(ERROR_INVALID_PARAMETER);
    ReadContext ctx;
    if (const LONG st = beginRead(hKey, KEY_QUERY_VALUE, ctx); st != ERROR_SUCCESS)
        return st;
    if (dwIndex >= ctx.key->values.size())
        return fail(ERROR_NO_MORE_ITEMS);
    const Value &v = ctx.key->values[dwIndex];
    if (const LONG st = copyName(v.name, lpValueName, lpcchValueName); st != ERROR_SUCCESS)
        return fail(st);
    const LONG st = copyData(v, lpType, lpData, lpcbData);
    return st == ERROR_SUCCESS ? succeed() : fail(st);
}

LONG RegCloseKey(HKEY hKey)
{
    OpenKey root;
    if (predefinedRoot(hKey, root))
        return succeed();
    std::lock_guard lock(handleMutex);
    if (handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) == 0)
        return fail(ERROR_INVALID_HANDLE);
    return succeed();
}

// ---------------------------------------------------------------------------
// Import and export.

LONG RegImportText(std::string_view text)
{
    std::vector<ImportOp> ops;
    std::string error;
    if (!parseRegedit(text, ops, error))
        return fail(ERROR_INVALID_PARAMETER, "not valid REGEDIT4 text: " + error);
    std::vector<HiveChangeOf> changes;
    for (HiveId hive : {HiveId::LocalMachine, HiveId::CurrentUser}) {
        const bool touched =
            std::any_of(ops.begin(), ops.end(), [hive](const ImportOp &op) { return op.hive == hive; });
        if (touched)
            changes.push_back({hive, [&ops, hive](Key &root, bool &changed) {
                                   changed = applyOps(root, ops, hive);
                                   return ERROR_SUCCESS;
                               }});
    }
    std::string message;
    const LONG st = modifyHives(changes, message);
    return st == ERROR_SUCCESS ? succeed() : fail(st, message);
}

LONG RegImportFile(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return fail(ERROR_FILE_NOT_FOUND, "cannot open " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return fail(ERROR_FILE_NOT_FOUND, "cannot read " + file.string());
    const LONG st = RegImportText(text.str());
    if (st != ERROR_SUCCESS)
        setLastError(file.string() + ": " + lastErrorText);
    return st;
}

LONG RegExportText(HKEY hKey, const char *lpSubKey, std::string &out)
{
    ReadContext ctx;
    if (const LONG st = beginRead(hKey, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, ctx); st != ERROR_SUCCESS)
        return st;
    Path sub;
    if (!splitSub(lpSubKey, sub))
        return fail(ERROR_BAD_PATHNAME);
    std::string name = ctx.handle->rootName;
    for (size_t i = ctx.handle->rootDepth; i < ctx.handle->path.size(); ++i)
        name += '\\' + ctx.handle->path[i];
    const Key *k = ctx.key;
    for (const std::string &part : sub) {
        k = k->child(part);
        if (!k)
            return fail(ERROR_FILE_NOT_FOUND, "the key does not exist");
        name += '\\' + k->name;
    }
    out.assign(kRegeditHeader);
    writeRegeditKey(*k, name, out);
    return succeed();
}

LONG RegExportFile(HKEY hKey, const char *lpSubKey, const std::filesystem::path &file)
{
    if (isRegistryFile(file))
        return fail(ERROR_ACCESS_DENIED, file.string() + " is a file of the registry itself; export to another file");
    std::string text;
    if (const LONG st = RegExportText(hKey, lpSubKey, text); st != ERROR_SUCCESS)
        return st;
    // A device or a pipe named as the file is written directly.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        base::UniqueFd direct(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
        int error = direct ? base::WriteAll(direct.get(), text.data(), text.size()) : errno;
        if (error == 0)
            error = direct.reset();
        if (error != 0)
            return fail(ERROR_WRITE_FAULT, "cannot write " + file.string() + ": " + std::strerror(error));
        return succeed();
    }
    base::FileReplacement out;
    int error = out.open(file);
    if (error == 0)
        error = base::WriteAll(out.fd(), text.data(), text.size());
    if (error == 0)
        error = out.commit();
    if (error != 0) {
        out.abandon();
        return fail(error == EACCES || error == EPERM || error == EROFS ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT,
                    "cannot write " + file.string() + ": " + std::strerror(error));
    }
    return succeed();
}

LONG RegCheckWritable(HKEY root)
{
    OpenKey k;
    if (!predefinedRoot(root, k))
        return fail(ERROR_INVALID_HANDLE);
    std::string message;
    const LONG st = probeHiveWrite(k.hive, message);
    return st == ERROR_SUCCESS ? succeed() : fail(st, message);
}

// ---------------------------------------------------------------------------
// Diagnostics.

std::string RegLastErrorMessage()
{
    return lastErrorText;
}

const char *RegStatusText(LONG status)
{
    switch (status) {
    case ERROR_SUCCESS: return "success";
    case ERROR_FILE_NOT_FOUND: return "the key or value does not exist";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_INVALID_HANDLE: return "invalid key handle";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    case ERROR_WRITE_FAULT: return "the registry could not be written";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_BAD_PATHNAME: return "bad key name";
    case ERROR_BUSY: return "the registry is busy";
    case ERROR_MORE_DATA: return "more data is available";
    case ERROR_NO_MORE_ITEMS: return "no more items";
    case ERROR_BADDB: return "the registry hive is damaged";
    case ERROR_KEY_DELETED: return "the key has been deleted";
    default: return "unknown status";
    }
}

HKEY RegRootFromName(std::string_view name)
{
    RootPlace place;
    if (!rootPlace(name, place))
        return nullptr;
    if (place.fullName == "HKEY_CLASSES_ROOT")
        return HKEY_CLASSES_ROOT;
    return place.hive == HiveId::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string RegRootName(HKEY root)
{
    OpenKey k;
    return predefinedRoot(root, k) ? k.rootName : std::string();
}

// ---------------------------------------------------------------------------
// The C++ layer.

RegKey &RegKey::operator=(RegKey &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

RegKey::~RegKey()
{
    reset();
}

void RegKey::reset(HKEY h)
{
    if (handle_)
        RegCloseKey(handle_);
    handle_ = h;
}

LONG RegKey::open(HKEY root, std::string_view subKey, REGSAM sam)
{
    HKEY h = nullptr;
    const LONG st = RegOpenKeyEx(root, std::string(subKey).c_str(), 0, sam, &h);
    if (st == ERROR_SUCCESS)
        reset(h);
    return st;
}

LONG RegKey::create(HKEY root, std::string_view subKey, REGSAM sam)
{
    HKEY h = nullptr;
    const LONG st = RegCreateKeyEx(root, std::string(subKey).c_str(), 0, nullptr, 0, sam, nullptr, &h, nullptr);
    if (st == ERROR_SUCCESS)
        reset(h);
    return st;
}

LONG RegGetValue(HKEY hKey, std::string_view subKey, std::string_view valueName, RegValue &out)
{
    ReadContext ctx;
    if (const LONG st = beginRead(hKey, KEY_QUERY_VALUE, ctx); st != ERROR_SUCCESS)
        return st;
    Path sub;
    if (!splitPath(subKey, sub))
        return fail(ERROR_BAD_PATHNAME);
    const Key *k = findKey(*ctx.key, sub);
    if (!k)
        return fail(ERROR_FILE_NOT_FOUND, "the key does not exist");
    const Value *v = k->value(valueName);
    if (!v)
        return fail(ERROR_FILE_NOT_FOUND, "the value does not exist");
    out.name = v->name;
    out.type = v->type;
    out.data = v->data;
    return succeed();
}

std::optional<std::string> RegReadString(HKEY root, std::string_view subKey, std::string_view valueName)
{
    RegValue v;
    if (RegGetValue(root, subKey, valueName, v) != ERROR_SUCCESS || (v.type != REG_SZ && v.type != REG_EXPAND_SZ))
        return std::nullopt;
    if (!v.data.empty() && v.data.back() == 0)
        v.data.pop_back();
    return std::string(v.data.begin(), v.data.end());
}

std::optional<DWORD> RegReadDword(HKEY root, std::string_view subKey, std::string_view valueName)
{
    RegValue v;
    if (RegGetValue(root, subKey, valueName, v) != ERROR_SUCCESS || v.type != REG_DWORD || v.data.size() != 4)
        return std::nullopt;
    return base::ReadLe32(v.data.data());
}

LONG RegWriteString(HKEY root, std::string_view subKey, std::string_view valueName, std::string_view text, DWORD type)
{
    RegKey key;
    if (const LONG st = key.create(root, subKey, KEY_SET_VALUE); st != ERROR_SUCCESS)
        return st;
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return RegSetValueEx(key.get(), std::string(valueName).c_str(), 0, type, bytes.data(),
                         static_cast<DWORD>(bytes.size()));
}

LONG RegWriteDword(HKEY root, std::string_view subKey, std::string_view valueName, DWORD value)
{
    RegKey key;
    if (const LONG st = key.create(root, subKey, KEY_SET_VALUE); st != ERROR_SUCCESS)
        return st;
    const auto bytes = base::LeBytes<4>(value);
    return RegSetValueEx(key.get(), std::string(valueName).c_str(), 0, REG_DWORD, bytes.data(), 4);
}

std::vector<std::string> RegSubKeyNames(HKEY root, std::string_view subKey)
{
    std::vector<std::string> names;
    ReadContext ctx;
    Path sub;
    if (beginRead(root, KEY_ENUMERATE_SUB_KEYS, ctx) != ERROR_SUCCESS || !splitPath(subKey, sub))
        return names;
    if (const Key *k = findKey(*ctx.key, sub))
        for (const auto &[folded, child] : k->children)
            names.push_back(child->name);
    return names;
}

std::vector<RegValue> RegValues(HKEY root, std::string_view subKey)
{
    std::vector<RegValue> out;
    ReadContext ctx;
    Path sub;
    if (beginRead(root, KEY_QUERY_VALUE, ctx) != ERROR_SUCCESS || !splitPath(subKey, sub))
        return out;
    if (const Key *k = findKey(*ctx.key, sub))
        for (const Value &v : k->values)
            out.push_back(RegValue{v.name, v.type, v.data});
    return out;
}

} // namespace platform
