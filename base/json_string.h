#pragma once
// Text written into JSON strings. Plain C++.

#include <string>
#include <string_view>

namespace base {

// Appends `bytes` to `out` as the contents of a JSON string (RFC 8259):
// '"' and '\\' escaped, control characters as \n, \r, \t or \u00XX, and
// every byte that is not part of valid UTF-8 replaced by U+FFFD, so that
// the string is valid UTF-8 whatever `bytes` holds.
void AppendJsonString(std::string &out, std::string_view bytes);

// Appends `bytes` to `out` with every byte that is not part of valid UTF-8
// replaced by U+FFFD, as AppendJsonString() replaces them, unescaped.
void AppendUtf8Replacing(std::string &out, std::string_view bytes);

} // namespace base
