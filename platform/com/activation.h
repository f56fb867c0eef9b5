// Activation of in-process component classes through the registry. The
// identity strings a library file carries (ReadLibraryIdentity) are read in
// library_file.h, included here for the tools that show them.
//
// Registry entries read (all below HKEY_CLASSES_ROOT):
//   <ProgID>\CLSID                      default value: the class identifier
//   CLSID\{clsid}\InprocServer32        default value: the library's path
//
// Libraries are loaded once per path (dlopen, local symbols) and kept in a
// process-wide table until CoFreeUnusedLibraries finds that the library's
// DllCanUnloadNow answers S_OK. These functions are thread-safe; the objects
// they create follow the apartment model (see com.h).
#pragma once

#include "platform/com/com.h"
#include "platform/com/library_file.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_ALL = 0x17;

// "{...}" -> the identifier; CO_E_CLASSSTRING when malformed.
HRESULT CLSIDFromString(const char *text, CLSID *clsid);

// ProgID -> class identifier through HKCR\<ProgID>\CLSID. A ProgID that is
// not registered answers REGDB_E_CLASSNOTREG (it names no registered class);
// a registered value that is not an identifier answers CO_E_CLASSSTRING;
// a registry that cannot be read (a damaged hive) answers REGDB_E_READREGDB,
// with the hive file and line in RegLastErrorMessage().
HRESULT CLSIDFromProgID(const char *progId, CLSID *clsid);

// Loads the class's in-process server and asks its DllGetClassObject.
// REGDB_E_CLASSNOTREG when the class has no InprocServer32 entry,
// REGDB_E_READREGDB when the registry cannot be read (as above),
// CO_E_DLLNOTFOUND when the entry is not a full path (a library is never
// looked for in the working folder or along the search path) or the
// library cannot be loaded, CO_E_ERRORINDLL when
// it lacks DllGetClassObject; CLASS_E_CLASSNOTAVAILABLE when only other
// contexts than in-process are asked for.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void *pvReserved, REFIID riid, void **ppv);

// Class factory -> CreateInstance -> the requested interface.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid, void **ppv);

// Asks every loaded library's DllCanUnloadNow and unloads those answering
// S_OK.
void CoFreeUnusedLibraries();

// Creates an object named by a ProgID or by a braced class identifier.
HRESULT CreateObjectByName(const std::string &progIdOrClsid, REFIID riid, void **ppv);

// The paths of the libraries loaded now (for diagnostics and tests).
std::vector<std::filesystem::path> LoadedComLibraries();

} // namespace platform
