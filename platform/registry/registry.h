// The registry: a tree of keys with typed values, in the shape of the
// Win32 advapi32 registry functions (ANSI forms), as plain C++.
//
// Storage: one REGEDIT4 text hive file per root, HKLM.reg and HKCU.reg.
// HKEY_CLASSES_ROOT is a view of HKEY_LOCAL_MACHINE\Software\Classes: reads
// and writes through it land there. Where the files live:
// - $QUILLAN_REGISTRY_DIR, when set and not empty, holds both hives
//   (tests, development, `make run`); nothing else is looked at.
// - HKEY_CURRENT_USER otherwise lives in the user's folder,
//   $XDG_DATA_HOME/quillan/registry (~/.local/share/quillan/registry).
// - HKEY_LOCAL_MACHINE otherwise lives in the machine's folder:
//   $QUILLAN_MACHINE_REGISTRY_DIR when set and not empty; else, for an
//   installed program (its executable lies in PREFIX/bin, sbin, libexec or
//   lib..., PREFIX the install prefix it was built for), the folder fixed
//   when it was built, /var/lib/quillan/registry
//   unless CMake's QUILLAN_MACHINE_REGISTRY_DIR says otherwise; else (a
//   program run from its build tree) the user's folder, so that development
//   never touches the machine's hive.
// The machine's folder is meant to be writable by root only and readable by
// all: a process that cannot write there gets ERROR_ACCESS_DENIED for every
// change to HKEY_LOCAL_MACHINE (and HKEY_CLASSES_ROOT), never a private copy.
//
// Limits, as in the registry this stands in for: keys nest at most 512
// levels below their hive's root (HKEY_CLASSES_ROOT\X is three levels down
// HKEY_LOCAL_MACHINE) and a key's name has at most 255 characters. Creating
// anything beyond answers ERROR_BAD_PATHNAME (an import: ERROR_INVALID_PARAMETER)
// with the reason in RegLastErrorMessage().
//
// Semantics worth knowing:
// - Key and value names compare case-insensitively (ASCII letters) and keep
//   the case they were created with.
// - Value data is kept byte for byte with its exact count: a REG_SZ stored
//   with its terminating zero byte and one stored without it stay different.
// - A null or empty value name means the key's default value.
// - Every change takes an advisory lock on the hive, re-reads it, applies
//   the change, writes a new file, flushes it and renames it into place, so
//   concurrent processes never lose each other's changes and a crash never
//   leaves half a hive.
// - Reads use a parsed copy of the hive that is kept while the file's
//   identity, size and modification time stay the same.
// - A damaged hive file answers ERROR_BADDB; it is never overwritten or
//   truncated. RegLastErrorMessage() then says which file and line.
// - All functions are thread-safe. Handles are process-local.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__ *;

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

// Predefined root keys. The sign-extended 64-bit forms of these numbers
// (0xFFFFFFFF80000000 ...) are accepted as well.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u));

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Statuses (the platform's error numbers).
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_BUSY = 170;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM SYNCHRONIZE = 0x00100000;
inline constexpr REGSAM STANDARD_RIGHTS_REQUIRED = 0x000F0000;
inline constexpr REGSAM STANDARD_RIGHTS_READ = READ_CONTROL;
inline constexpr REGSAM STANDARD_RIGHTS_WRITE = READ_CONTROL;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM GENERIC_ALL = 0x10000000;
inline constexpr REGSAM GENERIC_EXECUTE = 0x20000000;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000;
inline constexpr REGSAM GENERIC_READ = 0x80000000;
inline constexpr REGSAM KEY_READ =
    (STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE; // 0x20019
inline constexpr REGSAM KEY_WRITE =
    (STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE; // 0x20006
inline constexpr REGSAM KEY_EXECUTE = KEY_READ;
inline constexpr REGSAM KEY_ALL_ACCESS = (STANDARD_RIGHTS_REQUIRED | KEY_QUERY_VALUE | KEY_SET_VALUE |
                                          KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &
                                         ~SYNCHRONIZE; // 0xF003F

// RegCreateKeyEx options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// ---------------------------------------------------------------------------
// The Win32-shaped functions. Paths below a key use '\' as separator; a null
// or empty sub-key means the key itself. Each returns ERROR_SUCCESS or a
// status above.

// Opens an existing key. ulOptions must be 0. The handle carries samDesired:
// later calls that need a right it lacks answer ERROR_ACCESS_DENIED.
// Needs no right on hKey.
LONG RegOpenKeyEx(HKEY hKey, const char *lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY *phkResult);

// Opens a key, creating it and any missing parents. Reserved must be 0;
// lpClass and lpSecurityAttributes are ignored. Creating a new key needs
// KEY_CREATE_SUB_KEY on hKey. lpdwDisposition (optional) receives
// REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LONG RegCreateKeyEx(HKEY hKey, const char *lpSubKey, DWORD Reserved, const char *lpClass, DWORD dwOptions,
                    REGSAM samDesired, const void *lpSecurityAttributes, HKEY *phkResult, DWORD *lpdwDisposition);

// Reads a value (needs KEY_QUERY_VALUE). lpReserved must be null.
// lpType (optional) receives the type. lpData null: *lpcbData receives the
// size. lpData given: lpcbData is required; when *lpcbData is smaller than
// the value, answers ERROR_MORE_DATA with the needed size in *lpcbData and
// leaves the buffer alone; otherwise copies the exact bytes and sets
// *lpcbData to their count (no terminating zero is added).
LONG RegQueryValueEx(HKEY hKey, const char *lpValueName, DWORD *lpReserved, DWORD *lpType, BYTE *lpData,
                     DWORD *lpcbData);

// Stores a value with exactly cbData bytes (needs KEY_SET_VALUE). Reserved
// must be 0; lpData may be null only when cbData is 0. Any type number is
// kept.
LONG RegSetValueEx(HKEY hKey, const char *lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData);

// Removes a value (needs KEY_SET_VALUE).
LONG RegDeleteValue(HKEY hKey, const char *lpValueName);

// Removes the sub-key lpSubKey, which must have no sub-keys of its own
// (ERROR_ACCESS_DENIED otherwise). A root cannot be removed.
LONG RegDeleteKey(HKEY hKey, const char *lpSubKey);

// Removes lpSubKey with everything below it; with a null or empty lpSubKey,
// removes every value and sub-key of hKey and keeps hKey itself. Needs
// KEY_ENUMERATE_SUB_KEYS and KEY_QUERY_VALUE (and KEY_SET_VALUE when lpSubKey
// is empty) on hKey. One atomic change.
LONG RegDeleteTree(HKEY hKey, const char *lpSubKey);

// Enumerates sub-keys, sorted case-insensitively (needs
// KEY_ENUMERATE_SUB_KEYS). *lpcchName: buffer size in characters including
// the terminating zero; on success the name length without it. Too small:
// ERROR_MORE_DATA, *lpcchName = needed length without the zero. Past the end:
// ERROR_NO_MORE_ITEMS. lpReserved must be null; class and time are optional
// and come back empty / zero.
LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, char *lpName, DWORD *lpcchName, DWORD *lpReserved, char *lpClass,
                  DWORD *lpcchClass, FILETIME *lpftLastWriteTime);

// Enumerates values in the order they were first stored (needs
// KEY_QUERY_VALUE). Name as for RegEnumKeyEx; data as for RegQueryValueEx
// (lpData and lpcbData optional). The default value has the empty name.
LONG RegEnumValue(HKEY hKey, DWORD dwIndex, char *lpValueName, DWORD *lpcchValueName, DWORD *lpReserved, DWORD *lpType,
                  BYTE *lpData, DWORD *lpcbData);

// Releases a handle. Closing a predefined root is a no-op success; closing
// an unknown or already closed handle answers ERROR_INVALID_HANDLE.
LONG RegCloseKey(HKEY hKey);

// The ANSI names, for code written against them.
inline LONG RegOpenKeyExA(HKEY k, const char *s, DWORD o, REGSAM sam, HKEY *r)
{
    return RegOpenKeyEx(k, s, o, sam, r);
}
inline LONG RegQueryValueExA(HKEY k, const char *n, DWORD *res, DWORD *t, BYTE *d, DWORD *cb)
{
    return RegQueryValueEx(k, n, res, t, d, cb);
}
inline LONG RegSetValueExA(HKEY k, const char *n, DWORD res, DWORD t, const BYTE *d, DWORD cb)
{
    return RegSetValueEx(k, n, res, t, d, cb);
}

// ---------------------------------------------------------------------------
// Import and export of REGEDIT4 text.
//
// Format written: "REGEDIT4", a blank line, then per key "[FULL\PATH]" and
// one line per value:
//   "name"="text"        REG_SZ made of printable text plus exactly one
//                        terminating zero byte (no other zero bytes)
//   "name"=dword:0000002a   REG_DWORD of exactly 4 bytes
//   "name"=hex:01,02     REG_BINARY
//   "name"=hex(N):..     anything else, N the type in hexadecimal; a REG_SZ
//                        without its terminating zero or with control bytes
//                        is written as hex(1):.. so its bytes survive exactly
// @ names the default value. In names and strings \\ and \" are escaped.
// Long hex lines continue with a trailing '\'. On import, "[-KEY]" deletes a
// key tree and "name"=- deletes a value; lines starting with ';' are ignored.

// Applies REGEDIT4 text. The whole text is checked first: on a syntax error
// nothing is applied (ERROR_INVALID_PARAMETER; RegLastErrorMessage() names
// the line). Every hive the text touches is locked, read and its new file
// written before any is replaced, so a damaged, busy or unwritable hive
// leaves all of them as they were; changes to one hive are one atomic
// change.
LONG RegImportText(std::string_view text);
LONG RegImportFile(const std::filesystem::path &file);

// Writes the key (and everything below it) as REGEDIT4 text. Key names are
// written under the root that hKey belongs to (HKEY_CLASSES_ROOT stays
// HKEY_CLASSES_ROOT). Needs KEY_QUERY_VALUE and KEY_ENUMERATE_SUB_KEYS.
// RegExportFile writes a fresh file beside `file` and renames it into place
// (a link keeps pointing at the file it names), so a failure leaves an
// earlier file as it was; it refuses with ERROR_ACCESS_DENIED to write onto
// a file of the registry itself (a hive, its lock), by name or by link.
LONG RegExportText(HKEY hKey, const char *lpSubKey, std::string &out);
LONG RegExportFile(HKEY hKey, const char *lpSubKey, const std::filesystem::path &file);

// ---------------------------------------------------------------------------
// Diagnostics and locations.

// A readable account of the last failure on this thread (which hive file is
// damaged and where, which file could not be written ...); empty after a
// call that succeeded.
std::string RegLastErrorMessage();

// The status number in words, e.g. "access denied" for 5.
const char *RegStatusText(LONG status);

// The folders that hold HKEY_CURRENT_USER's and HKEY_LOCAL_MACHINE's hive
// files, as resolved now from the environment (see Storage above).
std::filesystem::path RegDirectory();
std::filesystem::path RegMachineDirectory();

// Checks that a change to the hive of `root` could be stored now: takes its
// lock and writes a complete new hive file, then removes that file; the
// hive is not changed. For tools that explain a failure after the fact (a
// full disk, a folder that cannot be written, a busy or damaged hive).
LONG RegCheckWritable(HKEY root);

// Parses a root name: "HKLM", "HKEY_LOCAL_MACHINE", "HKCU",
// "HKEY_CURRENT_USER", "HKCR", "HKEY_CLASSES_ROOT" (any case). Null if
// unknown.
HKEY RegRootFromName(std::string_view name);
// The full name of a predefined root ("HKEY_LOCAL_MACHINE" ...), or empty.
std::string RegRootName(HKEY root);

// ---------------------------------------------------------------------------
// A small C++ layer on top.

// Owns an open handle and closes it.
class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY h) : handle_(h) {}
    RegKey(const RegKey &) = delete;
    RegKey &operator=(const RegKey &) = delete;
    RegKey(RegKey &&other) noexcept : handle_(other.release()) {}
    RegKey &operator=(RegKey &&other) noexcept;
    ~RegKey();

    // Opens / creates; returns the status, keeps the handle on success.
    LONG open(HKEY root, std::string_view subKey, REGSAM sam = KEY_READ);
    LONG create(HKEY root, std::string_view subKey, REGSAM sam = KEY_ALL_ACCESS);

    HKEY get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HKEY release()
    {
        HKEY h = handle_;
        handle_ = nullptr;
        return h;
    }
    void reset(HKEY h = nullptr);

private:
    HKEY handle_ = nullptr;
};

struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Reads a whole value of any size.
LONG RegGetValue(HKEY hKey, std::string_view subKey, std::string_view valueName, RegValue &out);

// Reads a REG_SZ or REG_EXPAND_SZ value as text (one terminating zero byte,
// if stored, is dropped). Empty optional when the key or value is missing,
// of another type, or unreadable.
std::optional<std::string> RegReadString(HKEY root, std::string_view subKey, std::string_view valueName);
// Reads a REG_DWORD value of exactly four bytes.
std::optional<DWORD> RegReadDword(HKEY root, std::string_view subKey, std::string_view valueName);

// Creates the key if needed and stores text with its terminating zero byte
// (type REG_SZ or REG_EXPAND_SZ).
LONG RegWriteString(HKEY root, std::string_view subKey, std::string_view valueName, std::string_view text,
                    DWORD type = REG_SZ);
// Creates the key if needed and stores a REG_DWORD.
LONG RegWriteDword(HKEY root, std::string_view subKey, std::string_view valueName, DWORD value);

// Names of the sub-keys / values of a key (empty on failure).
std::vector<std::string> RegSubKeyNames(HKEY root, std::string_view subKey);
std::vector<RegValue> RegValues(HKEY root, std::string_view subKey);

} // namespace platform
