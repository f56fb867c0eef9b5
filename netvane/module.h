// Internals shared by the parts of the Netvane library: object and lock
// counts, the library's own description, and its location on disk.
#pragma once

#include "platform/com/com.h"
#include "platform/com/typelib.h"

#include <atomic>
#include <filesystem>

namespace netvane::detail {

// Live Netvane objects, class-factory locks and references to the factory;
// the library may be unloaded only when all three are zero.
extern std::atomic<long> liveObjects;
extern std::atomic<long> serverLocks;
extern std::atomic<long> factoryReferences;

// The type description carried in the library file (section
// ".quillan.typelib"), and the identity strings (section ".quillan.version").
const char *typeLibraryText();
const char *versionBlockText();

// The type information of `_Netvane`, parsed once from typeLibraryText();
// null if the description cannot be parsed. Not AddRef'd: owned by the
// module.
platform::ITypeInfo *netvaneTypeInfo();

// The full path of this library file, found at run time.
std::filesystem::path modulePath();

} // namespace netvane::detail
