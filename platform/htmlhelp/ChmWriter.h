#pragma once

// Writes a compiled HTML Help file (.chm) whose objects are all stored
// uncompressed, in content section 0. The bytes depend on nothing but the
// objects and the language id given: no time stamps, no compression state,
// the directory in the order readers search it. Readers that follow the
// format (chmlib and the programs built on it) open such a file as any other.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace platform::htmlhelp {

class ChmWriter {
public:
    // Adds (or replaces) the object stored under `path`, a full path inside
    // the file starting with '/' ("/html/index.htm", "/#SYSTEM"). Names that
    // differ only in letter case are one name to readers: adding the second
    // throws std::invalid_argument, as does a path without the leading '/'
    // or one ending in '/'.
    ChmWriter &add(const std::string &path, std::string data);

    // The complete file. Throws std::length_error when the directory needs
    // more listing chunks than one index chunk can name.
    std::string bytes(std::uint32_t languageId = 0x409) const;

    // Writes bytes() to `path` through a temporary file beside it that is
    // renamed into place, so a failure never leaves a half-written file.
    // Throws std::runtime_error (or what bytes() throws).
    void write(const std::filesystem::path &path, std::uint32_t languageId = 0x409) const;

private:
    // Directory order: ASCII letters compared without case, as readers do.
    struct NameOrder {
        bool operator()(const std::string &a, const std::string &b) const;
    };
    std::map<std::string, std::string, NameOrder> objects_;
};

} // namespace platform::htmlhelp
