// A library file's own data, read from the file without loading or running
// the library: its named ELF sections, and what three of them carry.
//
//   ".quillan.typelib"  the type library's description text (typelib.h)
//   ".quillan.version"  the version block: "Name=Value" lines, UTF-8, ended
//                       by a zero byte (ReadLibraryIdentity below)
//   ".quillan.rsrc"     the resource table (resources.h)
//
// Only 64-bit little-endian ELF files carry sections here; any other file
// simply has none.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

inline constexpr const char *kTypeLibSection = ".quillan.typelib";
inline constexpr const char *kVersionSection = ".quillan.version";
inline constexpr const char *kResourceSection = ".quillan.rsrc";

// The bytes of the named sections that the file has, read with one opening
// of the file; a name the file has no section for (or whose bytes are not
// in the file) is left out. Empty optional when the file cannot be opened;
// an open file that is not an ELF file, or whose section table is damaged,
// has no sections.
std::optional<std::map<std::string, std::string, std::less<>>>
ReadElfSections(const std::filesystem::path &file, std::span<const std::string_view> sectionNames);

// The bytes of one named ELF section; empty optional when the file is
// unreadable, not an ELF file or has no such section.
std::optional<std::string> ReadElfSection(const std::filesystem::path &file, std::string_view sectionName);

// The "Name=Value" lines of a version block in the order stored; the block
// ends at its first zero byte, and lines without a name or '=' are skipped.
std::vector<std::pair<std::string, std::string>> ParseVersionBlock(std::string_view block);

// The identity strings (version block) of a library file, read from its
// ".quillan.version" section, in the order stored. Empty optional when the
// file cannot be read or has no block.
std::optional<std::vector<std::pair<std::string, std::string>>> ReadLibraryIdentity(const std::filesystem::path &file);

} // namespace platform
