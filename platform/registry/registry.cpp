// Placeholder bodies while the storage is being written.
#include "registry/registry.h"

namespace platform {

namespace {
constexpr LONG kNotReady = 120;  // ERROR_CALL_NOT_IMPLEMENTED
}

LONG RegOpenKeyEx(HKEY, const char*, DWORD, REGSAM, HKEY*) { return kNotReady; }
LONG RegCreateKeyEx(HKEY, const char*, DWORD, const char*, DWORD, REGSAM, const void*, HKEY*, DWORD*) { return kNotReady; }
LONG RegQueryValueEx(HKEY, const char*, DWORD*, DWORD*, BYTE*, DWORD*) { return kNotReady; }
LONG RegSetValueEx(HKEY, const char*, DWORD, DWORD, const BYTE*, DWORD) { return kNotReady; }
LONG RegDeleteValue(HKEY, const char*) { return kNotReady; }
LONG RegDeleteKey(HKEY, const char*) { return kNotReady; }
LONG RegDeleteTree(HKEY, const char*) { return kNotReady; }
LONG RegEnumKeyEx(HKEY, DWORD, char*, DWORD*, DWORD*, char*, DWORD*, FILETIME*) { return kNotReady; }
LONG RegEnumValue(HKEY, DWORD, char*, DWORD*, DWORD*, DWORD*, BYTE*, DWORD*) { return kNotReady; }
LONG RegCloseKey(HKEY) { return kNotReady; }
LONG RegImportText(std::string_view) { return kNotReady; }
LONG RegImportFile(const std::filesystem::path&) { return kNotReady; }
LONG RegExportText(HKEY, const char*, std::string&) { return kNotReady; }
LONG RegExportFile(HKEY, const char*, const std::filesystem::path&) { return kNotReady; }
std::string RegLastErrorMessage() { return {}; }
const char* RegStatusText(LONG) { return "not implemented"; }
std::filesystem::path RegDirectory() { return {}; }
HKEY RegRootFromName(std::string_view) { return nullptr; }
std::string RegRootName(HKEY) { return {}; }
RegKey& RegKey::operator=(RegKey&& other) noexcept { reset(other.release()); return *this; }
RegKey::~RegKey() { reset(); }
LONG RegKey::open(HKEY, std::string_view, REGSAM) { return kNotReady; }
LONG RegKey::create(HKEY, std::string_view, REGSAM) { return kNotReady; }
void RegKey::reset(HKEY h) { handle_ = h; }
LONG RegGetValue(HKEY, std::string_view, std::string_view, RegValue&) { return kNotReady; }
std::optional<std::string> RegReadString(HKEY, std::string_view, std::string_view) { return std::nullopt; }
std::optional<DWORD> RegReadDword(HKEY, std::string_view, std::string_view) { return std::nullopt; }
LONG RegWriteString(HKEY, std::string_view, std::string_view, std::string_view, DWORD) { return kNotReady; }
LONG RegWriteDword(HKEY, std::string_view, std::string_view, DWORD) { return kNotReady; }
std::vector<std::string> RegSubKeyNames(HKEY, std::string_view) { return {}; }
std::vector<RegValue> RegValues(HKEY, std::string_view) { return {}; }

}  // namespace platform
