// Resources carried inside a library file: typed, named blocks of bytes
// (pictures, identifiers, the type library, the version block) that tools
// and hosts read from the file without loading or running the library.
//
// Where they live: the ELF section ".quillan.rsrc" holds a resource table;
// the type library and the version block keep their own sections
// (".quillan.typelib", ".quillan.version", see library_file.h) and are offered
// as the resources TYPELIB 1 and VERSION 1 (the section's bytes as stored,
// terminating zero included).
//
// The table, all integers little-endian:
//   "QRES"                      4 bytes, the mark
//   version                     uint32, 1
//   then for each resource:
//     type length, type         uint16, then that many bytes (ASCII)
//     name length, name         uint16, then that many bytes (ASCII)
//     data size, data           uint32, then that many bytes
//   a type length of 0 ends the table; any bytes after it are padding.
//
// Types and names are text: "BITMAP" 30000 is written as type "BITMAP",
// name "30000". Look-ups compare types and names without regard to case.
//
// A library builds its table at compile time with MakeResourceTable and
// places it in the section with
//   __attribute__((section(".quillan.rsrc"), used)) constexpr auto table = ...;
#pragma once

#include "base/littleendian.h"
#include "platform/com/com.h"
#include "platform/com/library_file.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr const char *kResourceTypeBitmap = "BITMAP";
inline constexpr const char *kResourceTypeTypeLib = "TYPELIB";
inline constexpr const char *kResourceTypeVersion = "VERSION";

// Win32 errors the resource functions report, as HRESULTs.
inline constexpr HRESULT HRESULT_FILE_NOT_FOUND = HRESULT_FROM_WIN32(2); // ERROR_FILE_NOT_FOUND
inline constexpr HRESULT HRESULT_INVALID_DATA = HRESULT_FROM_WIN32(13);  // ERROR_INVALID_DATA
inline constexpr HRESULT HRESULT_RESOURCE_DATA_NOT_FOUND = HRESULT_FROM_WIN32(1812);
inline constexpr HRESULT HRESULT_RESOURCE_TYPE_NOT_FOUND = HRESULT_FROM_WIN32(1813);
inline constexpr HRESULT HRESULT_RESOURCE_NAME_NOT_FOUND = HRESULT_FROM_WIN32(1814);

struct LibraryResource {
    std::string type;
    std::string name;
    std::string data;
};

// Every resource of a library file, read without loading it: the table's
// entries in stored order, then TYPELIB 1 and VERSION 1 when the file has
// those sections. S_OK with at least one resource;
// HRESULT_FILE_NOT_FOUND when the file cannot be opened;
// HRESULT_RESOURCE_DATA_NOT_FOUND when it carries no resources (not an ELF
// file, or none of the three sections); HRESULT_INVALID_DATA when the table
// is damaged (then `out` is left empty).
HRESULT ReadLibraryResources(const std::filesystem::path &file, std::vector<LibraryResource> &out);

// One resource's bytes. Besides the statuses above:
// HRESULT_RESOURCE_TYPE_NOT_FOUND when no resource has that type,
// HRESULT_RESOURCE_NAME_NOT_FOUND when the type has no resource of that
// name. `data` is emptied on failure.
HRESULT ReadLibraryResource(const std::filesystem::path &file, std::string_view type, std::string_view name,
                            std::string &data);

// ---------------------------------------------------------------------------
// Building a table at compile time.

struct ResourceEntry {
    std::string_view type;
    std::string_view name;
    std::span<const unsigned char> data;
};

// The table's size in bytes for these entries.
constexpr std::size_t ResourceTableSize(std::span<const ResourceEntry> entries)
{
    std::size_t size = 8 + 2; // mark and version, the closing type length
    for (const ResourceEntry &e : entries)
        size += 2 + e.type.size() + 2 + e.name.size() + 4 + e.data.size();
    return size;
}

// The table in the layout described above. Size must be
// ResourceTableSize(entries); types must not be empty.
template <std::size_t Size>
constexpr std::array<unsigned char, Size> MakeResourceTable(std::span<const ResourceEntry> entries)
{
    std::array<unsigned char, Size> table{};
    std::size_t pos = 0;
    auto put = [&](const auto &bytes) {
        for (std::uint8_t b : bytes)
            table[pos++] = b;
    };
    auto putText = [&](std::string_view text) {
        put(base::LeBytes<2>(text.size()));
        for (char c : text)
            table[pos++] = static_cast<unsigned char>(c);
    };
    for (char c : std::string_view("QRES"))
        table[pos++] = static_cast<unsigned char>(c);
    put(base::LeBytes<4>(1));
    for (const ResourceEntry &e : entries) {
        if (e.type.empty() || e.type.size() > 0xFFFF || e.name.size() > 0xFFFF || e.data.size() > 0xFFFFFFFFu)
            throw "a resource needs a type, and types, names and data must fit their length fields";
        putText(e.type);
        putText(e.name);
        put(base::LeBytes<4>(e.data.size()));
        for (unsigned char b : e.data)
            table[pos++] = b;
    }
    put(base::LeBytes<2>(0));
    return table;
}

} // namespace platform
